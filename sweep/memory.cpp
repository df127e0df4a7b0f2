#include "sweep/memory.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "channel/channel_text.hpp"
#include "params/modeconf.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "sweep/engine.hpp"

namespace hfchain::sweep {

namespace {

// A limit read from a control-group file: a number of bytes, or "max" (none).
double read_limit_file(const char* file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text) || text == "max") return 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0' && v > 0 ? v : 0;
}

}  // namespace

double road_memory_bytes(const ModeParams& mode, double nFrame, const VarShapping& shaping,
                         ChannelKind channel, const std::vector<ReceiverKind>& receivers,
                         double paths, double audioRate) {
    const double T = static_cast<double>(mode.interTable.numel());
    const double blocks = std::ceil(nFrame - 1e-9);  // the last block is completed with padding
    const double coded = blocks * T;
    // At 75 bit/s each pair of coded bits goes out as one 32-symbol pattern (a frame's data).
    const double dataSymbols = uses_patterns(mode)  ? coded / 2 * mode.data
                               : mode.bitsToSym > 0 ? coded / mode.bitsToSym
                                                    : coded;
    const double frames = mode.data > 0 ? dataSymbols / mode.data : 0;
    const double symbols =
        static_cast<double>(mode.preamSync.numel()) + frames * (mode.data + mode.trein);
    const double M = shaping.oversamplingFactor;
    const double samples = symbols * M + 2 * shaping.pulseDelay * M;
    const double sampleSignals = channel == ChannelKind::none   ? 2
                                 : channel == ChannelKind::awgn ? 4
                                                                : 5 + std::max(paths, 1.0);
    double bytes = 16 * samples * sampleSignals + 40 * symbols + 48 * dataSymbols + 36 * coded;
    // The HF receiver keeps its sounding (path gains per sample), the equaliser's symbols,
    // variances and segment matrices, and both decoders' ratios: measured up to about 900 bytes a
    // symbol sent on "muito_ruim" (the widest multipath; a third of it for one path) and 48 a
    // sample, the genie's view within.
    const bool decoders = std::any_of(receivers.begin(), receivers.end(), [](ReceiverKind k) {
        return k == ReceiverKind::hf || k == ReceiverKind::genie;
    });
    const bool fading = channel == ChannelKind::paths;
    if (decoders) bytes += 48 * samples + (fading ? 900 : 300) * symbols;
    if (audioRate > 0) bytes += 56 * samples * audioRate / (kSymbolRate * M) + 80 * samples;
    return bytes * 1.1 + 1048576;
}

double road_call_bytes(const ModeParams& mode, const RoadConfig& config) {
    return road_memory_bytes(mode, config.nFrame, config.shaping, config.channel.kind,
                             config.receivers,
                             static_cast<double>(config.channel.fading.paths.size()));
}

double hfchannel_call_bytes(double L, const HfChannel& channel, double M) {
    double most = 0;
    for (const HfPath& p : channel.paths) {
        if (p.delay <= kMaxPathDelay) most = std::max(most, p.delay);  // the block refuses more
    }
    const double Ly = L + std::ceil(delay_samples(most, M));
    return 16 * (L * static_cast<double>(channel.paths.size()) + 3 * Ly);
}

void check_call_memory(double bytes, const std::string& what, const std::string& remedy) {
    const MemoryLimit limit = memory_limit(0);
    if (bytes > limit.bytes) {
        raise(hfchain::errid::kOutOfMemory,
              what + " needs about " + format_bytes(bytes) + " of memory, more than the " +
                  format_bytes(limit.bytes) + " limit (" + limit.source + "); " + remedy);
    }
}

MemoryLimit memory_limit(double requested, const FieldNames& names) {
    if (requested > 0) return {requested, field_name(names, "maxMemory")};
    MemoryLimit limit;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page = ::sysconf(_SC_PAGE_SIZE);
    limit.bytes = pages > 0 && page > 0 ? static_cast<double>(pages) * page : 0;
    limit.source = "physical memory";
    auto consider = [&limit](double bytes, const char* source) {
        if (bytes > 0 && (limit.bytes <= 0 || bytes < limit.bytes)) limit = {bytes, source};
    };
    consider(read_limit_file("/sys/fs/cgroup/memory.max"), "control-group limit");
    consider(read_limit_file("/sys/fs/cgroup/memory/memory.limit_in_bytes"), "control-group limit");
    struct rlimit as {};
    if (::getrlimit(RLIMIT_AS, &as) == 0 && as.rlim_cur != RLIM_INFINITY) {
        consider(static_cast<double>(as.rlim_cur), "ulimit -v");
    }
    if (limit.bytes <= 0) limit = {INFINITY, "no known limit"};
    return limit;
}

std::string format_bytes(double bytes) {
    if (!std::isfinite(bytes)) return "unlimited";
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    int u = 0;
    while (bytes >= 1024 && u < 5) {
        bytes /= 1024;
        ++u;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, u == 0 ? "%.0f %s" : "%.1f %s", bytes, units[u]);
    return buf;
}

int fit_threads(const SweepConfig& c, double maxMemory, int sharing, std::string* notes,
                const FieldNames& names) {
    // The trials of the most demanding condition and rate: fading keeps more signals than white
    // noise, the more paths the more; the rate with the most symbols per trial the longest signals.
    ChannelKind worst = ChannelKind::awgn;
    double paths = 0;
    for (const std::string& name : c.conditions) {
        if (name == "awgn") continue;
        worst = ChannelKind::paths;
        try {
            paths = std::max(paths, static_cast<double>(read_channel(name).channel.paths.size()));
        } catch (const Error&) {
            paths = std::max(paths, 2.0);  // an unknown name, which the checks refuse
        }
    }
    double trial = 0;
    for (const double rate : c.rates) {
        trial =
            std::max(trial, road_memory_bytes(rateconf(rate, rate_interleaver(rate, c.interLen)),
                                              trial_nframe(c, rate), c.shaping, worst, c.receivers,
                                              paths, c.audioRate));
    }
    // Acquisition's trials of noise alone: the Gaussian symbols, the shaped signal, the channel's
    // signals and the matched filter's output, and as much again for the search's sums.
    const bool noise = c.metric == Metric::acquisition && c.noiseSeconds > 0;
    if (noise) {
        const double M = c.shaping.oversamplingFactor;
        const double symbols = c.noiseSeconds * kSymbolRate;
        const double samples = symbols * M + 2 * c.shaping.pulseDelay * M;
        const double sampleSignals = worst == ChannelKind::awgn ? 4 : 5 + std::max(paths, 1.0);
        trial = (16 * samples * (sampleSignals + 3) + 32 * symbols) * 1.1 + 1048576;
    }
    const MemoryLimit limit = memory_limit(maxMemory, names);
    sharing = std::max(1, sharing);
    const double fitting = std::floor(limit.bytes / (trial * sharing));
    const bool given = c.threads > 0;
    int threads = worker_count(c.threads, sharing);
    if (!given && fitting >= 1 && fitting < threads) {
        const int fewer = static_cast<int>(fitting);
        if (notes != nullptr) {
            *notes += "running " + counted(fewer, "worker thread", "worker threads") +
                      " instead of " + std::to_string(threads) + ": a trial needs about " +
                      format_bytes(trial) + " and the limit is " + format_bytes(limit.bytes) +
                      " (" + limit.source + ")\n";
        }
        threads = fewer;
    }
    const double need = trial * threads * sharing;
    if (need > limit.bytes) {
        std::string who =
            std::to_string(threads) + (threads == 1 ? " worker thread" : " worker threads");
        if (sharing > 1) {
            who += " in each of " + std::to_string(sharing) + " processes on this machine";
        }
        const bool fewer_threads = threads > 1 && given;
        if (noise) {
            raise(errid::kInvalidConfig,
                  field_name(names, fewer_threads ? "threads" : "noiseSeconds") + ": trials of " +
                      format_value(c.noiseSeconds) + " s of noise need about " +
                      format_bytes(trial) + " of memory each; " + who +
                      (threads == 1 && sharing == 1 ? " needs " : " need ") + format_bytes(need) +
                      ", more than the " + format_bytes(limit.bytes) + " limit (" + limit.source +
                      "); give " + (fewer_threads ? "fewer threads or " : "") +
                      "shorter trials of noise");
        }
        raise(errid::kInvalidConfig,
              field_name(names, fewer_threads ? "threads" : "nFrame") + ": trials of " +
                  nframe_text(c) +
                  (nframe_text(c) == "1" ? " interleaver block" : " interleaver blocks") + " of " +
                  format_value(c.interLen) + " s at " + format_value(c.shaping.oversamplingFactor) +
                  " samples per symbol need about " + format_bytes(trial) + " of memory each; " +
                  who + (threads == 1 && sharing == 1 ? " needs " : " need ") + format_bytes(need) +
                  ", more than the " + format_bytes(limit.bytes) + " limit (" + limit.source +
                  "); give " + (fewer_threads ? "fewer threads or " : "") +
                  "fewer blocks per trial" +
                  (maxMemory > 0 ? ""
                                 : ", or a larger " + field_name(names, "maxMemory") +
                                       " if swap space allows"));
    }
    return threads;
}

}  // namespace hfchain::sweep
