#include "chain/hf_receiver.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "params/modes.hpp"
#include "receiver/chansound/pathtrack.hpp"
#include "receiver/impulseblank/impulseblank.hpp"
#include "receiver/layout/layout.hpp"
#include "receiver/layout/reception.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "transmitter/bitbudget.hpp"

namespace hfchain {

namespace {

// Coherent passes of the 75 bit/s pattern detector after its noncoherent one, each on the track
// of the previous pass's decisions. One: a second pass tracks the first pass's sharper decisions,
// each block's own among them, so that a wrong one pulls the track towards itself and is
// confirmed (on "ruim" at Es/N0 -8 dB, 200 trials: 1.2e-3 after one pass, 1.2e-2 after two; on
// "muito_ruim" about alike).
constexpr double kPatternPasses = 1;

// freqlock's offsets (Hz) above which the receiver also sounds the unturned signal: well above
// what a Doppler spread of a few hertz makes of no offset, well below an offset that smears the
// unturned paths over a frame.
constexpr double kSecondLookOffset = 10;

// A sounding's paths cannot hold more power than the signal it sounded, and a fit gone wild (two
// taps of large opposite gains, whose samples cancel while their powers add) claims far more:
// the paths' power counts up to this share of the signal's mean power over the preamble.
constexpr double kLargestPathShare = 2;

// How clearly a sounding of `signal` from sample `start` (1-based) sees its paths: their summed
// power, at most kLargestPathShare times the signal's, over the noise variance.
double sounding_clarity(const ChansoundOut& s, const ComplexArray& signal, double start,
                        const ModeParams& mode, index_t M) {
    double power = 0;
    for (index_t p = 0; p < s.pathPower.numel(); ++p) power += s.pathPower[p];
    const auto first = std::max<index_t>(0, static_cast<index_t>(start) - 1);
    const index_t end = std::min(signal.numel(), first + mode.preamSync.numel() * M);
    double received = 0;
    for (index_t n = first; n < end; ++n) received += std::norm(signal[n]);
    if (end > first) received /= static_cast<double>(end - first);
    power = std::min(power, kLargestPathShare * received);
    return s.noiseVar > 0 ? power / s.noiseVar
           : power > 0    ? std::numeric_limits<double>::infinity()
                          : 0;
}

// The information bits of the uncoded 4800 bit/s mode from coded-bit ratios in transmission
// order (the encoder's: nothing is interleaved): their signs, the first `info` of them.
void decide_uncoded(const RealArray& llr, index_t info, Decoding& r) {
    r.deinterleaved.out = llr;
    r.decoded.DecodOut = RealArray(llr.numel());
    for (index_t k = 0; k < llr.numel(); ++k) r.decoded.DecodOut[k] = llr[k] < 0 ? 1.0 : 0.0;
    r.decoded.InfoBits = RealArray(std::min(info, llr.numel()));
    std::copy_n(r.decoded.DecodOut.begin(), r.decoded.InfoBits.numel(), r.decoded.InfoBits.begin());
}

// freqlock's search can be misled where the preamble arrives through a deep fade at low SNR (a
// wrong offset of tens of hertz, a start near or far from the paths). When framelock's start on
// the received signal lies elsewhere, or freqlock reads an offset of more than
// kSecondLookOffset, framelock's start is sounded too, without any offset, and the sounding that
// sees its paths more clearly is kept: under a real offset the unturned signal's paths smear and
// lose; with no offset it is the right one. Without an offset both starts agree and the reading
// is small: nothing more is done. Returns whether a sounding is held.
bool second_look(const ComplexArray& matched, const RealArray& frameStart, bool locked,
                 const ModeParams& mode, const VarShapping& shaping, HostServices& host,
                 HfReceived& r) {
    const double reach = static_cast<double>(kMaxPathSpread) * shaping.oversamplingFactor;
    if (frameStart.empty() || !(!locked || std::abs(r.locked.start[0] - frameStart[0]) > reach ||
                                std::abs(r.locked.offset) > kSecondLookOffset)) {
        return locked;
    }
    ChansoundOut unturned;
    try {
        unturned = chansound(matched, frameStart[0], mode, shaping, host);
    } catch (const Error& e) {
        // No preamble to be seen from that start: freqlock's stays.
        if (e.identifier() != kChansoundNoSignal) throw;
        return locked;
    }
    const auto M = static_cast<index_t>(shaping.oversamplingFactor);
    if (!locked || sounding_clarity(unturned, matched, frameStart[0], mode, M) >
                       sounding_clarity(r.sounding, r.locked.out, r.locked.start[0], mode, M)) {
        r.sounding = std::move(unturned);
        r.locked.start = frameStart;
        r.locked.offset = 0;
        r.locked.out = matched;
    }
    return true;
}

// receive_hf_late at 75 bit/s, on r.turned: the `patterns` patterns from the block start decided
// without a channel estimate, the paths sounded on those decisions, then the pattern detector and
// the decoder with the trellis open at both ends.
void decode_late_patterns(double blockStart, const ModeParams& entered, const HfSettings& settings,
                          index_t patterns, HostServices& host, HfLateReceived& r) {
    const auto M = static_cast<index_t>(settings.shaping.oversamplingFactor);
    const ComplexArray decided = decide_patterns(r.turned, blockStart, entered, M, patterns);
    r.sounding =
        chansound_from_decisions(r.turned, blockStart, entered, settings.shaping, decided, host);
    r.patterns = patterntrack(r.sounding, entered, kPatternPasses, settings.softRule);
    Decoding& d = r.decoding;
    d.symbols = r.patterns.out;
    d.noiseVar = r.patterns.noiseVar;
    decode_pattern_ratios(entered, r.blocks, r.patterns.LLR, d, TrellisEnds::open);
}

}  // namespace

index_t frames_per_block(const ModeParams& mode) {
    const Layout layout = transmission_layout(mode, 0);  // checks bitsToSym (1, 2 or 3)
    return uses_patterns(mode) ? mode.interTable.numel() / static_cast<index_t>(mode.bitsToSym)
                               : layout.framesPerBlock;
}

RealArray first_or_erased(const RealArray& x, index_t n) {
    RealArray head(n);
    std::copy_n(x.begin(), std::min(x.numel(), n), head.begin());
    return head;
}

index_t coded_bit_count(const ModeParams& mode, double nFrame, TrellisEnds ends) {
    const index_t total = ends == TrellisEnds::open ? block_budget(mode, nFrame).total
                                                    : bit_budget(mode, nFrame).total;
    return is_uncoded(mode) ? total : total * 2 * static_cast<index_t>(mode.repFactor);
}

void decode_symbols(const ModeParams& mode, double nFrame, SoftRule rule, Decoding& r,
                    TrellisEnds ends) {
    r.soft = softslicer(r.symbols, r.noiseVar, mode, rule);
    if (is_uncoded(mode)) {
        const BitBudget budget =
            ends == TrellisEnds::open ? block_budget(mode, nFrame) : bit_budget(mode, nFrame);
        decide_uncoded(r.soft.LLR, budget.info, r);
    } else {
        r.deinterleaved = unshuffle(r.soft.LLR, mode);
        r.decoded = vitdecode(r.deinterleaved.out, mode, nFrame, ends);
    }
    r.ran = true;
}

void decode_pattern_ratios(const ModeParams& mode, double nFrame, const RealArray& llr, Decoding& r,
                           TrellisEnds ends) {
    r.soft.LLR = first_or_erased(llr, coded_bit_count(mode, nFrame, ends));
    r.deinterleaved = unshuffle(r.soft.LLR, mode);
    r.decoded = vitdecode(r.deinterleaved.out, mode, nFrame, ends);
    r.ran = true;
}

HfReceived receive_hf(const ComplexArray& matched, const RealArray& frameStart,
                      const std::vector<index_t>& blanked, const ModeParams& mode,
                      const HfSettings& settings, HostServices& host) {
    HfReceived r;
    const VarShapping& shaping = settings.shaping;
    r.locked = freqlock(matched, mode, shaping, host);
    bool locked = !r.locked.start.empty();
    if (locked) r.sounding = chansound(r.locked.out, r.locked.start[0], mode, shaping, host);
    locked = second_look(matched, frameStart, locked, mode, shaping, host, r);
    if (!locked) return r;
    Decoding& d = r.decoding;
    if (uses_patterns(mode)) {
        r.patterns = patterntrack(r.sounding, mode, kPatternPasses, settings.softRule);
        d.symbols = r.patterns.out;
        d.noiseVar = r.patterns.noiseVar;
        decode_pattern_ratios(mode, settings.nFrame, r.patterns.LLR, d);
        return r;
    }
    // Uncoded 4800 bit/s has no decoder to iterate with: one equaliser pass.
    const double iterations = is_uncoded(mode) ? 0.0 : settings.iterations;
    r.equalised =
        turboequal(r.sounding, mode, settings.nFrame, iterations, host, settings.turboStop);
    d.symbols = r.equalised.out;
    d.noiseVar = r.equalised.noiseVar;
    erase(reached_data_symbols(blanked, r.sounding.delays, shaping, mode, d.symbols.numel()), d);
    decode_symbols(mode, settings.nFrame, settings.softRule, d);
    return r;
}

HfLateReceived receive_hf_late(const ComplexArray& matched, double blockStart, double offset,
                               const ModeParams& mode, const HfSettings& settings,
                               HostServices& host) {
    HfLateReceived r;
    const VarShapping& shaping = settings.shaping;
    const ModeParams entered = entered_at_block(mode);
    const auto M = static_cast<index_t>(shaping.oversamplingFactor);
    // The whole blocks from the block's first symbol on: the output counted as one whose
    // transmission starts there (its first peak 2 D M samples in, past the filters' tails).
    const double edge = 2.0 * shaping.pulseDelay * shaping.oversamplingFactor;
    const double rest = static_cast<double>(matched.numel()) - (blockStart - 1) + edge;
    const index_t frames = rest >= 1 && blockStart >= 1
                               ? frames_in(static_cast<index_t>(rest), entered, shaping.pulseDelay,
                                           oversampling_factor(shaping, "chain"))
                               : 0;
    const index_t perBlock = frames_per_block(entered);
    const double wanted = settings.nFrame >= 1 ? std::floor(settings.nFrame) : 0;  // NaN: none
    r.blocks = perBlock > 0 ? std::min(wanted, static_cast<double>(frames / perBlock)) : 0;
    if (r.blocks < 1) return r;
    if (!std::isfinite(offset)) {
        raise("hfchain:late:BadOffset",
              "The frequency offset must be finite; it is " + format_value(offset) + " Hz.");
    }
    r.turned = turned_back(matched, offset, M);
    if (uses_patterns(mode)) {
        decode_late_patterns(blockStart, entered, settings,
                             static_cast<index_t>(r.blocks) * perBlock, host, r);
        return r;
    }
    r.sounding = chansound_from_block(r.turned, blockStart, entered, shaping,
                                      static_cast<index_t>(r.blocks) * perBlock, host);
    // Uncoded 4800 bit/s has no decoder to iterate with: one equaliser pass.
    const double iterations = is_uncoded(mode) ? 0.0 : settings.iterations;
    r.equalised = turboequal(r.sounding, entered, r.blocks, iterations, host, settings.turboStop,
                             TrellisEnds::open);
    Decoding& d = r.decoding;
    d.symbols = r.equalised.out;
    d.noiseVar = r.equalised.noiseVar;
    decode_symbols(mode, r.blocks, settings.softRule, d, TrellisEnds::open);
    return r;
}

}  // namespace hfchain
