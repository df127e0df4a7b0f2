// Late entry's acquisition against Es/N0: the share of receivers entering at a random symbol of
// a transmission's first data block, under a random offset within +-75 Hz, that blocklock leads
// to the right mode and the next block's first symbol (within the largest path spread), with
// the shares of a wrong mode and of nothing found. Five samples a symbol.
//
// With `decode`: the bit error rate of the first whole block after the entry, decoded by a full
// reception of the same transmission and by the receiver that entered late (receive_hf_late, on
// blocklock's reading; trials where blocklock misread the mode or the block are counted apart),
// and the Es/N0 at which each crosses 1e-3; then the late entry against the full reception of
// the same trials (those blocklock read right), and with a misread trial's block counted as lost
// (every bit wrong) against the full reception of all trials.
//
// Usage: late_entry RATE INTERLEAVER CHANNEL ESNO_LIST TRIALS [decode] (LATE_DEBUG set in the
// environment: each wrong trial on standard error)
//   CHANNEL "awgn" (one fixed path) or a preset name ("ruim", ...); ESNO_LIST "a,b,c" in dB.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "chain/hf_receiver.hpp"
#include "channel/channel_text.hpp"
#include "channel/conditions.hpp"
#include "channel/hfchannel.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "receiver/blocklock/blocklock.hpp"
#include "receiver/layout/reception.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/bitbudget.hpp"
#include "transmitter/sendchain.hpp"

using namespace hfchain;

namespace {

const VarShapping kShaping{0.35, 6, 5};
constexpr index_t M = 5;
constexpr index_t kDelay = 2 * 6 * M;  // symbol n peaks at sample kDelay + n M

struct Counts {
    int right = 0, wrong = 0, missed = 0;
};

// The blocks to send: two, or as many as the flush bits need.
double blocks_of(const ModeParams& params) {
    double n = 2;
    const double T = static_cast<double>(params.interTable.numel());
    while (T * n / (is_uncoded(params) ? params.repFactor : 2 * params.repFactor) <=
           static_cast<double>(kFlushBits)) {
        n += 1;
    }
    return n;
}

// One transmission heard from a random symbol of its first data block, under a random offset.
struct Heard {
    SendchainOut tx;
    ComplexArray matched;  // the whole reception's matched-filter output
    ComplexArray heard;    // its samples from the entry on
    index_t next = 0;      // the first whole block after the entry (its first data symbol)
    double expected = 0;   // the 1-based sample of `heard` at which that block's first symbol peaks
    double offset = 0;     // the offset, Hz
    index_t entry = 0;     // the entry's data symbol
};

Heard hear(const Mode& mode, const ModeParams& params, const HfChannel& channel, double EsNodB,
           double seed, double blocks) {
    BuiltinHost host;
    const index_t block = mode.block_symbols();
    Heard h;
    HfChannel shifted = channel;
    {
        SeededStream stream(host, seed + 2);
        const RealArray u = host.rand(2);
        h.entry = static_cast<index_t>(u[0] * static_cast<double>(block));
        shifted.offset = 150 * u[1] - 75;
    }
    h.offset = shifted.offset;
    h.tx = sendchain(params, blocks, seed, host);
    const ComplexArray x = pulseshaper(h.tx.MultiplexOut, kShaping).out;
    const HfchannelOut y = hfchannel(x, {shifted, EsNodB, seed + 1}, kShaping, host);
    h.matched = pulsematch(y.AwgnOut, kShaping).out;
    const index_t cut = (params.preamSync.numel() + h.entry) * M;
    h.heard = ComplexArray(h.matched.numel() - cut);
    for (index_t n = 0; n < h.heard.numel(); ++n) h.heard[n] = h.matched[cut + n];
    // The first block whose first symbol peaks within the input: the filters' delay keeps the
    // peaks of the kDelay / M symbols before the entry in it.
    const index_t first = std::max<index_t>(0, h.entry - kDelay / M);
    h.next = (first + block - 1) / block * block;
    h.expected = static_cast<double>(kDelay + (h.next - h.entry) * M + 1);
    return h;
}

// Whether blocklock read the mode and the block start right.
bool locked_right(const Mode& mode, const BlocklockOut& got, const Heard& h) {
    return got.found && got.mode == static_cast<int>(&mode - kModes) &&
           std::abs(got.blockStart - h.expected) <= static_cast<double>((kMaxPathSpread + 1) * M);
}

void trial(const Mode& mode, const ModeParams& params, const HfChannel& channel, double EsNodB,
           double seed, Counts& counts) {
    const Heard h = hear(mode, params, channel, EsNodB, seed, blocks_of(params));
    const BlocklockOut got = blocklock(h.heard, kShaping, {});
    if (!got.found) {
        ++counts.missed;
    } else if (!locked_right(mode, got, h)) {
        ++counts.wrong;
        if (std::getenv("LATE_DEBUG") != nullptr) {
            std::fprintf(stderr,
                         "entry %d mode %d conf %.3f start %.0f expected %.0f score %.1f offset "
                         "%.2f true %.2f\n",
                         h.entry, got.mode, got.confidence, got.blockStart, h.expected, got.score,
                         got.offset, h.offset);
        }
    } else {
        ++counts.right;
    }
}

// Bit errors of the first whole block after the entry, decoded by a full reception and by the
// receiver that entered late (when blocklock read its mode and block right).
struct BlockErrors {
    double bits = 0, full = 0, late = 0, lateBits = 0;
    double fullLocked = 0;  // the full reception's errors in the trials blocklock read right
    int unlocked = 0;

    // The late entry's rate with every bit of a misread trial's block wrong.
    double lost() const { return (late + (bits - lateBits)) / bits; }
};

// The errors of `decoded` against the encoder input bits from `first` on, `count` of them.
double errors_in(const RealArray& decoded, index_t from, const RealArray& sent, index_t first,
                 index_t count) {
    double e = 0;
    for (index_t k = 0; k < count; ++k) {
        const bool have = from + k < decoded.numel();
        e += !have || decoded[from + k] != sent[first + k] ? 1 : 0;
    }
    return e;
}

void decode_trial(const Mode& mode, const ModeParams& params, const HfChannel& channel,
                  double EsNodB, double seed, BlockErrors& counts) {
    const double blocks = std::max(3.0, blocks_of(params));
    const Heard h = hear(mode, params, channel, EsNodB, seed, blocks);
    BuiltinHost host;
    HfSettings settings;
    settings.shaping = kShaping;
    settings.nFrame = blocks;
    const index_t block = mode.block_symbols();
    const index_t steps = bit_budget(params, blocks).total / static_cast<index_t>(blocks);
    const index_t first = h.next / block * steps;
    const HfReceived full = receive_hf(h.matched, RealArray(), {}, params, settings, host);
    counts.bits += static_cast<double>(steps);
    const double fullErrors = full.decoding.ran ? errors_in(full.decoding.decoded.DecodOut, first,
                                                            h.tx.BitInCodIn, first, steps)
                                                : static_cast<double>(steps);
    counts.full += fullErrors;
    const BlocklockOut got = blocklock(h.heard, kShaping, {});
    if (!locked_right(mode, got, h)) {
        ++counts.unlocked;
        return;
    }
    counts.fullLocked += fullErrors;
    settings.nFrame = blocks - static_cast<double>(h.next / block);
    const HfLateReceived late =
        receive_hf_late(h.heard, got.blockStart, got.offset, params, settings, host);
    counts.lateBits += static_cast<double>(steps);
    counts.late += late.decoding.ran
                       ? errors_in(late.decoding.decoded.DecodOut, 0, h.tx.BitInCodIn, first, steps)
                       : static_cast<double>(steps);
}

// The Es/N0 at which the bit error rate crosses 1e-3 from above, by log-linear interpolation
// between the points around it; NaN when the points do not bracket it.
double crossing(const std::vector<double>& esno, const std::vector<double>& ber) {
    const double target = std::log10(1e-3);
    for (std::size_t i = 0; i + 1 < esno.size(); ++i) {
        const double a = std::log10(std::max(ber[i], 1e-9));
        const double b = std::log10(std::max(ber[i + 1], 1e-9));
        if (a >= target && b < target)
            return esno[i] + (a - target) / (a - b) * (esno[i + 1] - esno[i]);
    }
    return std::nan("");
}

// The 95 % Wilson interval of k successes in n.
void wilson(int k, int n, double& low, double& high) {
    const double z = 1.96, p = static_cast<double>(k) / n, nn = n;
    const double centre = (p + z * z / (2 * nn)) / (1 + z * z / nn);
    const double half = z * std::sqrt(p * (1 - p) / nn + z * z / (4 * nn * nn)) / (1 + z * z / nn);
    low = centre - half;
    high = centre + half;
}

void acquisition(const Mode& mode, const ModeParams& params, const HfChannel& channel,
                 const std::string& name, const std::vector<double>& esno, int trials) {
    std::printf(
        "| mode | channel | Es/N0 | right | 95 %% interval | wrong mode or block | missed |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const double EsNodB : esno) {
        Counts counts;
        for (int t = 0; t < trials; ++t)
            trial(mode, params, channel, EsNodB, 1000.0 * t + 7, counts);
        double low = 0, high = 0;
        wilson(counts.right, trials, low, high);
        std::printf("| %s | %s | %.1f | %.3f | %.3f .. %.3f | %d | %d |\n", mode.name, name.c_str(),
                    EsNodB, static_cast<double>(counts.right) / trials, low, high, counts.wrong,
                    counts.missed);
        std::fflush(stdout);
    }
}

void decoding(const Mode& mode, const ModeParams& params, const HfChannel& channel,
              const std::string& name, const std::vector<double>& esno, int trials) {
    std::printf(
        "| mode | channel | Es/N0 | full reception | late entry | full, same trials | "
        "late, misread lost | not locked |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    std::vector<double> full, late, lost, paired;
    for (const double EsNodB : esno) {
        BlockErrors counts;
        for (int t = 0; t < trials; ++t)
            decode_trial(mode, params, channel, EsNodB, 1000.0 * t + 7, counts);
        full.push_back(counts.full / counts.bits);
        late.push_back(counts.lateBits > 0 ? counts.late / counts.lateBits : 1.0);
        lost.push_back(counts.lost());
        paired.push_back(counts.lateBits > 0 ? counts.fullLocked / counts.lateBits : 1.0);
        std::printf("| %s | %s | %.1f | %.2e | %.2e | %.2e | %.2e | %d |\n", mode.name,
                    name.c_str(), EsNodB, full.back(), late.back(), paired.back(), lost.back(),
                    counts.unlocked);
        std::fflush(stdout);
    }
    const auto verdict = [&](const char* what, const std::vector<double>& ref,
                             const std::vector<double>& ber) {
        const double a = crossing(esno, ref), b = crossing(esno, ber);
        std::printf(
            "%s on %s: bit error rate 1e-3 at Es/N0 %.1f dB (full), %.1f dB (%s): "
            "within 1 dB %s\n",
            mode.name, name.c_str(), a, b, what,
            std::isnan(a) || std::isnan(b) ? "unknown (not bracketed)"
            : b - a <= 1                   ? "met"
                                           : "missed");
    };
    verdict("late entry", full, late);
    verdict("late entry; full on the same trials", paired, late);
    verdict("late entry, a misread block lost", full, lost);
}

}  // namespace

int main(int argc, char** argv) {
    const bool decode = argc == 7 && std::string(argv[6]) == "decode";
    if (argc != 6 && !decode) {
        std::fprintf(stderr,
                     "usage: late_entry RATE INTERLEAVER CHANNEL ESNO_LIST TRIALS [decode]\n");
        return 2;
    }
    const Mode& mode = mode_of(std::atof(argv[1]), std::atof(argv[2]));
    const ModeParams params = rateconf(mode.rate, mode.interLen);
    const std::string name = argv[3];
    const HfChannel channel =
        name == "awgn" ? HfChannel{{{0, 0, 0, 0}}, 0} : preset_channel(*find_channel_preset(name));
    const int trials = std::atoi(argv[5]);
    std::vector<double> esno;
    std::stringstream list(argv[4]);
    std::string item;
    while (std::getline(list, item, ',')) esno.push_back(std::atof(item.c_str()));
    if (decode) {
        decoding(mode, params, channel, name, esno, trials);
    } else {
        acquisition(mode, params, channel, name, esno, trials);
    }
    return 0;
}
