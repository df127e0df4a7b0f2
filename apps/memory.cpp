#include "apps/memory.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "apps/options.hpp"

namespace hfchain::app {

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

double road_memory_bytes(const Milstd& milstd, double nFrame, const VarShapping& shaping,
                         ChannelKind channel, const std::vector<ReceiverKind>& receivers) {
    const double T = static_cast<double>(milstd.interTable.numel());
    const double blocks = std::ceil(nFrame - 1e-9);  // the last block is completed with padding
    const double coded = blocks * T;
    const double dataSymbols = milstd.bitsToSym > 0 ? coded / milstd.bitsToSym : coded;
    const double frames = milstd.data > 0 ? dataSymbols / milstd.data : 0;
    const double symbols =
        static_cast<double>(milstd.preamSync.numel()) + frames * (milstd.data + milstd.trein);
    const double M = shaping.oversamplingFactor;
    const double samples = symbols * M + 2 * shaping.pulseDelay * M;
    const double sampleSignals = channel == ChannelKind::none   ? 2
                                 : channel == ChannelKind::awgn ? 4
                                                                : 7;
    double bytes = 16 * samples * sampleSignals + 40 * symbols + 48 * dataSymbols + 36 * coded;
    // The HF receiver keeps its sounding (path gains per sample), the equaliser's symbols,
    // variances and segment matrices, and both decoders' ratios: measured up to about 900 bytes a
    // symbol sent on "muito_ruim" (the widest multipath; a third of it for one path) and 48 a
    // sample, the genie's view within.
    const bool decoders = std::any_of(receivers.begin(), receivers.end(), [](ReceiverKind k) {
        return k == ReceiverKind::hf || k == ReceiverKind::genie;
    });
    if (decoders) bytes += 48 * samples + (channel == ChannelKind::watterson ? 900 : 300) * symbols;
    return bytes * 1.1 + 1048576;
}

MemoryLimit memory_limit(double requested) {
    if (requested > 0) return {requested, "--max-memory"};
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

double parse_memory_size(const std::string& text) {
    const std::string refused = "--max-memory: '" + text +
                                "' is not a size; give bytes with an optional K, M, G or T "
                                "(powers of 1024), for example 512M or 1.5G";
    std::size_t used = 0;
    double v = 0;
    try {
        v = std::stod(text, &used);
    } catch (const std::exception&) {
        throw UsageError(refused);
    }
    std::string unit = text.substr(used);
    for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (unit.size() == 3 && unit.substr(1) == "IB") unit.resize(1);
    if (unit.size() == 2 && unit[1] == 'B') unit.resize(1);
    double scale = 1;
    if (unit == "K") {
        scale = 1024.0;
    } else if (unit == "M") {
        scale = 1024.0 * 1024;
    } else if (unit == "G") {
        scale = 1024.0 * 1024 * 1024;
    } else if (unit == "T") {
        scale = 1024.0 * 1024 * 1024 * 1024;
    } else if (!unit.empty() && unit != "B") {
        throw UsageError(refused);
    }
    const double bytes = v * scale;
    if (!std::isfinite(bytes) || bytes < 1) throw UsageError(refused);
    return bytes;
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

}  // namespace hfchain::app
