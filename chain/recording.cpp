#include "chain/recording.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>

#include "chain/block_probes.hpp"
#include "params/modes.hpp"
#include "params/preamble.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "receiver/blocklock/blocklock.hpp"
#include "receiver/clocktrack/clockrefine.hpp"
#include "receiver/clocktrack/clocktrack.hpp"
#include "receiver/framesync/framelock.hpp"
#include "receiver/impulseblank/impulseblank.hpp"
#include "receiver/layout/layout.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "receiver/modelock/modelock.hpp"
#include "runtime/checks.hpp"
#include "runtime/cholesky.hpp"
#include "runtime/error.hpp"
#include "transmitter/bitbudget.hpp"
#include "transmitter/codetables.hpp"
#include "transmitter/constellation.hpp"
#include "transmitter/convcoder_puncturing.hpp"
#include "transmitter/scrambler.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {

namespace {

constexpr index_t kSearchSymbols = 288;  // where freqlock looks for a start in its window
constexpr index_t kSearchStep = 256;     // symbols the search window moves on
constexpr index_t kSearchPreamble = 1440;
constexpr index_t kSettleMargin = 16;  // symbols the settling search starts before a start
constexpr int kSettlePasses = 3;
constexpr index_t kPreambleRepeat = 480;  // symbols
constexpr index_t kMatchSegment = 48;     // symbols
// The least preamble_match of a start: a preamble of amplitude A in noise of variance N matches
// about A / sqrt(A^2 + N) (0.3 at an Es/N0 of -10 dB), noise alone about 0.9 sqrt(kMatchSegment)
// / sqrt(preamble) (0.13 over 1440 symbols).
constexpr double kLeastMatch = 0.3;
constexpr double kQuietWindow = 0.1;
constexpr index_t kNoiseWindow = 32;  // symbols over which the noise fit takes the channel as fixed
constexpr index_t kNoiseMargin = 4;   // taps the noise fit adds on each side of the sounding's
constexpr double kClockSlack = 200e-6;  // the most a sound card's clock runs slow, with margin
constexpr double kLongestTransmission = 20 * 60;  // s of data blocks
// Late entry: the least symbols before the first preamble found that are searched for frames (a
// short block to find a boundary by, and a whole one after it), and the most searched (two long
// blocks and a short one: a long block's closing frames, wherever the recording begins).
constexpr index_t kLateLeastSymbols = 2 * 1440;
constexpr index_t kLateSearchSymbols = 2 * 11520 + 1440;
constexpr index_t kLateMarginSymbols = 16;  // matched past a late entry's last block

// What the search and the length rule need of a mode, made once.
struct Shape {
    index_t M = 0, D = 0;      // samples a symbol, pulse half-length in symbols
    index_t preamble = 0;      // preamble symbols
    index_t blockSymbols = 0;  // symbols an interleaver block adds
    index_t fewestBlocks = 0;  // blocks that carry at least one information bit
    ModeParams search;         // the mode with the first 1440 preamble symbols
    BlockProbes probes;        // what the end rule matches
};

index_t symbols_of(const ModeParams& mode, double nFrame, HostServices& host) {
    return sendchain(mode, nFrame, 0, host).MultiplexOut.numel();
}

// The fewest whole blocks the bit budget accepts (at least one information bit).
index_t fewest_blocks(const ModeParams& mode) {
    constexpr index_t kMost = 64;
    for (index_t n = 1; n < kMost; ++n) {
        try {
            bit_budget(mode, static_cast<double>(n));
            return n;
        } catch (const Error&) {
        }
    }
    return kMost;
}

Shape shape_of(const ModeParams& mode, const VarShapping& shaping, HostServices& host) {
    Shape s;
    const double M = shaping.oversamplingFactor;
    if (!(M >= 2 && M == std::floor(M) && M <= 64) || !(shaping.pulseDelay >= 1) ||
        shaping.pulseDelay != std::floor(shaping.pulseDelay)) {
        raise("hfchain:recording:BadShaping",
              "The recording receiver needs a whole number of 2 to 64 samples a symbol and a "
              "whole pulse half-length of at least 1 symbol.");
    }
    s.M = static_cast<index_t>(M);
    s.D = static_cast<index_t>(shaping.pulseDelay);
    s.preamble = mode.preamSync.numel();
    s.fewestBlocks = fewest_blocks(mode);
    const auto n = static_cast<double>(s.fewestBlocks);
    s.blockSymbols = symbols_of(mode, n + 1, host) - symbols_of(mode, n, host);
    s.search = mode;
    const index_t keep = std::min(s.preamble, kSearchPreamble);
    s.search.preamSync = RealArray(1, keep);
    std::copy_n(mode.preamSync.begin(), keep, s.search.preamSync.begin());
    s.probes = block_probes(mode, shaping, host);
    return s;
}

// baseband[first, first + n) in double precision, zeros outside the recording.
ComplexArray piece(const Baseband& baseband, std::int64_t first, index_t n) {
    ComplexArray x(n);
    const auto size = static_cast<std::int64_t>(baseband.size());
    for (index_t k = 0; k < n; ++k) {
        const std::int64_t i = first + k;
        if (i >= 0 && i < size) {
            x[k] = cdouble(baseband[static_cast<std::size_t>(i)].real(),
                           baseband[static_cast<std::size_t>(i)].imag());
        }
    }
    return x;
}

double mean_power(const Baseband& baseband, std::int64_t first, std::int64_t n) {
    const auto size = static_cast<std::int64_t>(baseband.size());
    const std::int64_t a = std::clamp<std::int64_t>(first, 0, size);
    const std::int64_t b = std::clamp<std::int64_t>(first + n, 0, size);
    double sum = 0;
    for (std::int64_t i = a; i < b; ++i) sum += std::norm(baseband[static_cast<std::size_t>(i)]);
    return b > a ? sum / static_cast<double>(b - a) : 0.0;
}

// The least mean power over the recording's windows of kQuietWindow.
double quietest_power(const Baseband& baseband, index_t M) {
    const auto w = static_cast<std::int64_t>(kQuietWindow * kSymbolRate * static_cast<double>(M));
    double least = mean_power(baseband, 0, w);
    for (std::int64_t first = w; first + w <= static_cast<std::int64_t>(baseband.size());
         first += w) {
        least = std::min(least, mean_power(baseband, first, w));
    }
    return least;
}

// A start found in a search window: the 0-based baseband sample where the transmission's sound
// begins, how well the window's signal from there matches the preamble, and the frequency offset
// found with it.
struct Find {
    std::int64_t begin = -1;
    double match = 0;
    double offset = 0;
};

// How well `x` (freqlock's output, turned back) from its 1-based sample `start` matches the
// preamble: the magnitudes of the correlations over segments of kMatchSegment symbols, added,
// over the square root of the signal's and the preamble's energies (1 for a clean preamble;
// segments of the signal that hold something else add little).
double preamble_match(const ComplexArray& x, double start, const ModeParams& search, index_t M) {
    const RealArray symbols = scrambler_preamble(search.preamSync);
    const auto first = static_cast<index_t>(start) - 1;
    double sum = 0, energy = 0;
    index_t used = 0;
    for (index_t seg = 0; seg + kMatchSegment <= symbols.numel(); seg += kMatchSegment) {
        cdouble c;
        for (index_t i = seg; i < seg + kMatchSegment; ++i) {
            const index_t n = first + i * M;
            if (n < 0 || n >= x.numel()) continue;
            c += x[n] * std::conj(psk_points()[static_cast<std::size_t>(symbols[i])]);
            energy += std::norm(x[n]);
            ++used;
        }
        sum += std::abs(c);
    }
    return energy > 0 ? sum / std::sqrt(energy * static_cast<double>(used)) : 0.0;
}

// freqlock's start of `search`'s preamble in `matched` (a matched filter's output, M samples a
// symbol) where the preamble matches there: its 1-based sample as `begin`, or -1.
Find find_in(const ComplexArray& matched, const ModeParams& search, index_t M,
             const VarShapping& shaping, HostServices& host) {
    const FreqlockOut locked = freqlock(matched, search, shaping, host);
    if (locked.start.empty()) return {};
    const double match = preamble_match(locked.out, locked.start[0], search, M);
    if (match < kLeastMatch) return {};
    return {static_cast<std::int64_t>(locked.start[0]), match, locked.offset};
}

// The start found in the window from `first`.
Find search_window(const Baseband& baseband, std::int64_t first, const Shape& s,
                   const VarShapping& shaping, HostServices& host) {
    const index_t n = (kSearchSymbols + s.search.preamSync.numel() + 2 * s.D) * s.M;
    const PulsematchOut matched = pulsematch(piece(baseband, first, n), shaping, host);
    Find f = find_in(matched.out, s.search, s.M, shaping, host);
    if (f.begin >= 0) f.begin += first - 1 - 2 * s.D * s.M;
    return f;
}

// The start a first find leads to. The search's window may hold a preamble that begins after its
// first 288 symbols, and take the preamble's repetition (its segments of kPreambleRepeat symbols
// are alike but for their count) for a start, so the search is repeated a segment and two
// later, and the start that matches the preamble best is kept; each from a little before the
// start, until two searches agree.
Find settle(const Baseband& baseband, Find find, const Shape& s, const VarShapping& shaping,
            HostServices& host) {
    for (int pass = 0; pass < kSettlePasses; ++pass) {
        Find best;
        for (index_t k = 0; k < 3; ++k) {
            const std::int64_t from = find.begin + (k * kPreambleRepeat - kSettleMargin) * s.M;
            const Find again = search_window(baseband, from, s, shaping, host);
            if (again.begin >= 0 && again.match > best.match) best = again;
        }
        if (best.begin < 0) return find;
        const bool same = std::abs(best.begin - find.begin) <= s.M;
        find = best;
        if (same) break;
    }
    return find;
}

// The error of a transmission longer than the receiver decodes.
[[noreturn]] void too_long(std::int64_t begin, index_t M) {
    raise("hfchain:recording:TooLong",
          "The transmission that begins " +
              format_value(static_cast<double>(begin) / (kSymbolRate * static_cast<double>(M))) +
              " s into the recording lasts over " + format_value(kLongestTransmission / 60) +
              " minutes, the longest the receiver decodes (it holds a transmission whole, about "
              "70 MB a minute).");
}

// Whether a preamble segment of any mode begins within the `length` samples from `first`.
bool preamble_within(const Baseband& baseband, std::int64_t first, std::int64_t length,
                     const Shape& s, const VarShapping& shaping, HostServices& host) {
    const index_t n = static_cast<index_t>(length) + (kPreambleRepeat + 2 * s.D) * s.M;
    const PulsematchOut matched = pulsematch(piece(baseband, first, n), shaping, host);
    const VarModelock settings{.from = 1, .to = static_cast<double>(length)};
    return modelock(matched.out, shaping, settings, host).found;
}

// Blocks of the transmission whose sound begins at `found.begin`: see the length rule in the
// header (the power is taken from the recording's first sample at the earliest).
index_t count_blocks(const Baseband& baseband, const Find& found, const Shape& s, double quiet,
                     const VarShapping& shaping, HostServices& host) {
    const std::int64_t begin = std::max<std::int64_t>(found.begin, 0);
    const std::int64_t data = begin + (s.D + s.preamble) * s.M;
    const double preamble = mean_power(baseband, begin + s.D * s.M, s.preamble * s.M);
    const double floor = std::max(std::min(quiet, preamble / 4), preamble * 1e-6);
    const double threshold = std::sqrt(floor * preamble);
    const std::int64_t length = s.blockSymbols * s.M;
    // A recording whose clock runs slow holds a transmission in fewer samples: its last block
    // may end up to kClockSlack of the transmission before the block's nominal end.
    const auto fits = [&](index_t n) {
        const std::int64_t end = data + n * length;
        const auto slack =
            static_cast<std::int64_t>(kClockSlack * static_cast<double>(end - begin));
        return end - slack <= static_cast<std::int64_t>(baseband.size());
    };
    const auto power = [&](index_t b) { return mean_power(baseband, data + b * length, length); };
    std::int64_t drift = 0;
    const auto matches = [&](index_t b) {
        const std::int64_t peak = found.begin + (s.D + s.preamble) * s.M + b * length;
        return block_match(baseband, s.probes, peak, found.offset, drift) >= kLeastProbeMatch;
    };
    index_t blocks = 0;
    while (fits(blocks + 1)) {
        // A block under the threshold ends the transmission unless its probes match: a
        // recording the transmission fills has no quiet part, and its quietest 0.1 s (then a
        // fade of the transmission itself) puts the threshold at half the preamble's power.
        const bool loud = power(blocks) > threshold;
        if (!loud && !s.probes.any()) break;
        if (matches(blocks)) {
            ++blocks;
        } else if (!loud) {
            break;
        } else if (power(blocks) < preamble / 2 && fits(blocks + 2) &&
                   power(blocks + 1) > threshold && matches(blocks + 1)) {
            blocks += 2;  // a fade: the block after it is the transmission's again
        } else if (power(blocks) >= preamble / 2 &&
                   !preamble_within(baseband, data + blocks * length, length, s, shaping, host)) {
            ++blocks;  // as strong as the preamble and no new one begins: the transmission's
                       // own, its probes hidden by fading paths and noise
        } else {
            break;  // noise, or another transmission's preamble
        }
        if (static_cast<double>(blocks * s.blockSymbols) > kLongestTransmission * kSymbolRate) {
            too_long(begin, s.M);
        }
    }
    return blocks;
}

// Whether each block decoded (see the header).
std::vector<RecordedBlock> judge_blocks(const ModeParams& mode, index_t blocks, const Decoding& d,
                                        HostServices& host) {
    std::vector<RecordedBlock> out(static_cast<std::size_t>(blocks));
    const RealArray& llr = d.deinterleaved.out;
    const index_t T = llr.numel() / std::max<index_t>(1, blocks);
    if (is_uncoded(mode)) {
        for (index_t b = 0; b < blocks; ++b) {
            double expected = 0;
            for (index_t k = b * T; k < (b + 1) * T; ++k)
                expected += 1 / (1 + std::exp(std::abs(llr[k])));
            out[b].disagreement = expected / static_cast<double>(T);
            out[b].decoded = out[b].disagreement < kMaxUncodedErrors;
        }
        return out;
    }
    RealArray generators(2, 7);
    for (index_t r = 0; r < 2; ++r) {
        for (index_t j = 0; j < 7; ++j) generators(r, j) = kGenerators[r][j];
    }
    RealArray keep(2);
    keep.fill(1.0);
    const RealArray coded = convcoder_puncturing(d.decoded.DecodOut, generators, keep, host);
    const auto R = static_cast<index_t>(mode.repFactor);
    for (index_t b = 0; b < blocks; ++b) {
        index_t differ = 0;
        // Block b holds coded bits b T .. (b + 1) T - 1: T / (2 R) steps of 2 R copies.
        for (index_t step = b * T / (2 * R); step < (b + 1) * T / (2 * R); ++step) {
            for (index_t g = 0; g < 2; ++g) {
                double sum = 0;
                for (index_t c = 0; c < R; ++c) sum += llr[step * 2 * R + 2 * c + g];
                differ += (sum < 0) != (coded[2 * step + g] == 1) ? 1 : 0;
            }
        }
        out[b].disagreement = static_cast<double>(differ) / static_cast<double>(T / R);
        out[b].decoded = out[b].disagreement <= kMaxDisagreement;
    }
    return out;
}

// A sample-clock offset measured (or given).
struct ClockFix {
    bool measured = false;
    double ppm = 0;
    double uncertainty = std::numeric_limits<double>::quiet_NaN();
    double line = 0;  // clocktrack's own reading
};

// The sample-clock offset of the transmission of `mode` in `received` (`blocks` blocks, its sound
// from sample 0, under a frequency offset of `offset` Hz): clocktrack's reading, refined from the
// known symbols where they span the transmission (clockrefine.hpp), with an uncertainty that
// takes in how far the two readings lie apart.
ClockFix clock_offset(const ComplexArray& received, const ModeParams& mode, index_t blocks,
                      double offset, const Shape& s, const RecordingSettings& settings,
                      HostServices& host) {
    const double window = clocktrack_window(received.numel(), s.M);
    const PulsematchOut matched = pulsematch(received, settings.shaping, host);
    ClockFix fix{.measured = true, .ppm = clocktrack(matched, settings.shaping, window, host).ppm};
    fix.line = fix.ppm;
    const ClockrefineIn in{
        .M = s.M, .peak = 2 * s.D * s.M, .offset = offset, .ppm = fix.ppm, .window = window};
    if (const auto refined =
            clockrefine(matched.out, mode, s.preamble + blocks * s.blockSymbols, in)) {
        fix.ppm = refined->ppm;
        fix.uncertainty = std::max(refined->uncertainty, std::abs(fix.line - fix.ppm));
    }
    return fix;
}

// baseband[begin, begin + n (1 + ppm 1e-6)) resampled to the transmitter's clock, as n samples
// (zeros beyond the recording), with `clock` the offset measured over the first n samples (or
// the one it holds when measured); those samples as they are when they are too few to measure.
ComplexArray on_transmitter_clock(const Baseband& baseband, const Find& found, index_t n,
                                  const ModeParams& mode, index_t blocks, const Shape& s,
                                  const RecordingSettings& settings, HostServices& host,
                                  ClockFix& clock) {
    ComplexArray received = piece(baseband, found.begin, n);
    const double window = clocktrack_window(n, s.M);
    if (n < 3 * static_cast<index_t>(window) * s.M) return received;
    if (!clock.measured)
        clock = clock_offset(received, mode, blocks, found.offset, s, settings, host);
    const double ratio = 1 + clock.ppm * 1e-6;
    const auto longer = static_cast<index_t>(std::ceil(static_cast<double>(n) * ratio)) + s.M;
    const ComplexArray fixed =
        settings.reclock(piece(baseband, found.begin, std::max(n, longer)), (1 / ratio - 1) * 1e6);
    std::fill(received.begin(), received.end(), cdouble());
    std::copy_n(fixed.begin(), std::min(n, fixed.numel()), received.begin());
    return received;
}

// The noise variance of the matched filter's symbol samples (sounding.out), from the preamble:
// in windows of kNoiseWindow symbols (at least kNoiseWindow / 2 more than the taps) a free
// symbol-spaced response (the sounding's taps and kNoiseMargin more on each side) is fitted to the
// known symbols by least squares, and the residual over the degrees of freedom left is the noise.
// The free response also takes in what the sounding's paths leave out (an SSB filter's edges, a
// path between two taps), which would otherwise count as noise. 0 when no window fits.
double preamble_noise(const ChansoundOut& sounding, const ModeParams& mode) {
    const RealArray symbols = scrambler_preamble(mode.preamSync);
    const ComplexArray& y = sounding.out;
    const index_t taps = sounding.basis.rows() + 2 * kNoiseMargin;
    const index_t window = std::max(kNoiseWindow, taps + kNoiseWindow / 2);
    // y[n] ~ sum over i of h[i] s[n + kNoiseMargin - i]: every symbol read lies in the preamble.
    const index_t first = taps - 1 - kNoiseMargin;
    const index_t end = std::min(symbols.numel() - kNoiseMargin, y.numel());
    std::vector<cdouble> A(static_cast<std::size_t>(taps * taps)),
        h(static_cast<std::size_t>(taps));
    const auto s = [&](index_t n, index_t i) {
        return psk_points()[static_cast<std::size_t>(symbols[n + kNoiseMargin - i])];
    };
    double residual = 0;
    index_t freedom = 0;
    for (index_t w = first; w + window <= end; w += window) {
        std::fill(A.begin(), A.end(), cdouble());
        std::fill(h.begin(), h.end(), cdouble());
        for (index_t n = w; n < w + window; ++n) {
            for (index_t j = 0; j < taps; ++j) {
                const cdouble sj = std::conj(s(n, j));
                for (index_t i = 0; i < taps; ++i)
                    A[static_cast<std::size_t>(i * taps + j)] += sj * s(n, i);
                h[static_cast<std::size_t>(j)] += sj * y[n];
            }
        }
        if (!cholesky_factor(taps, A.data())) continue;
        cholesky_solve(taps, A.data(), h.data());
        for (index_t n = w; n < w + window; ++n) {
            cdouble model;
            for (index_t i = 0; i < taps; ++i) model += h[static_cast<std::size_t>(i)] * s(n, i);
            residual += std::norm(y[n] - model);
        }
        freedom += window - taps;
    }
    return freedom > 0 ? residual / static_cast<double>(freedom) : 0.0;
}

// The SNR in 3 kHz of a transmission of `symbols` symbols that the HF receiver took in: the
// signal's power is the matched filter's mean output power over the transmission, less the
// noise's, over the share (1 - roll-off / 4) of a symbol's energy the filter's output carries on
// average over its samples; against preamble_noise. The sounding's own path power over its
// noise where that noise cannot be fitted.
double measured_snr3k(const HfReceived& got, const ModeParams& mode, index_t symbols,
                      const VarShapping& shaping) {
    const double noise = preamble_noise(got.sounding, mode);
    const ComplexArray& mf = got.locked.out;
    const auto M = static_cast<index_t>(shaping.oversamplingFactor);
    const index_t first = std::max<index_t>(0, static_cast<index_t>(got.sounding.start) - 1);
    const index_t end = std::min(mf.numel(), first + symbols * M);
    double total = 0;
    for (index_t k = first; k < end; ++k) total += std::norm(mf[k]);
    const double es = end > first ? (total / static_cast<double>(end - first) - noise) /
                                        (1 - shaping.rolloffFactor / 4)
                                  : 0.0;
    if (noise > 0 && es > 0) return snr3k_of_esno(10 * std::log10(es / noise));
    double power = 0;
    for (const double p : got.sounding.pathPower) power += p;
    return snr3k_of_esno(10 * std::log10(power / got.sounding.noiseVar));
}

// The transmission whose sound begins at found.begin, of `blocks` blocks, through the HF
// receiver, on the sample clock `clock` holds when measured, else on the one measured into it.
RecordedTransmission decode_transmission(const Baseband& baseband, const Find& found,
                                         index_t blocks, const ModeParams& mode, const Shape& s,
                                         const RecordingSettings& settings, HostServices& host,
                                         ClockFix& clock) {
    const index_t symbols = s.preamble + blocks * s.blockSymbols;
    const index_t n = symbols * s.M + 2 * s.D * s.M;
    const ComplexArray received =
        settings.reclock
            ? on_transmitter_clock(baseband, found, n, mode, blocks, s, settings, host, clock)
            : piece(baseband, found.begin, n);
    const ImpulseblankOut blanking = impulseblank(received);
    const bool blank = !blanking.samples.empty();
    const PulsematchOut matched =
        pulsematch(blank ? blanked(received, blanking.samples) : received, settings.shaping, host);
    const RealArray frameStart = framelock(matched.out, mode, settings.shaping, host);
    const HfSettings hf{.nFrame = static_cast<double>(blocks),
                        .shaping = settings.shaping,
                        .iterations = settings.iterations,
                        .turboStop = settings.turboStop,
                        .softRule = settings.softRule};
    HfReceived got = receive_hf(matched.out, frameStart, blanking.samples, mode, hf, host);
    RecordedTransmission t;
    const double rate = kSymbolRate * static_cast<double>(s.M);
    t.start = static_cast<double>(found.begin) / rate;
    t.end = t.start + static_cast<double>(n) * (1 + clock.ppm * 1e-6) / rate;
    t.clockMeasured = clock.measured;
    t.clockOffset = clock.ppm;
    t.clockUncertainty = clock.uncertainty;
    if (!got.decoding.ran) return t;
    t.frequencyOffset = got.locked.offset;
    t.snr3k = measured_snr3k(got, mode, symbols, settings.shaping);
    t.blocks = judge_blocks(mode, blocks, got.decoding, host);
    t.infoBits = std::move(got.decoding.decoded.InfoBits);
    if (settings.keepSymbols) {
        t.sounded = std::move(got.sounding.out);
        t.equalised = std::move(got.decoding.symbols);
    }
    return t;
}

// The blocks up to the last that decoded.
index_t decoded_blocks(const RecordedTransmission& t) {
    index_t n = static_cast<index_t>(t.blocks.size());
    while (n > 0 && !t.blocks[static_cast<std::size_t>(n - 1)].decoded) --n;
    return n;
}

// How many of the transmission's blocks decoded.
std::size_t decoded_count(const RecordedTransmission& t) {
    return static_cast<std::size_t>(std::count_if(
        t.blocks.begin(), t.blocks.end(), [](const RecordedBlock& b) { return b.decoded; }));
}

// The transmission decoded on the clock read from its known symbols; when a block does not
// decode and clocktrack's own reading lies apart (two paths too close to tell apart can lead the
// refinement astray), decoded again on that reading, the one with more blocks decoded kept.
RecordedTransmission decode_on_clock(const Baseband& baseband, const Find& found, index_t blocks,
                                     const ModeParams& mode, const Shape& s,
                                     const RecordingSettings& settings, HostServices& host) {
    constexpr double kApart = 1;  // ppm
    ClockFix clock;
    RecordedTransmission t =
        decode_transmission(baseband, found, blocks, mode, s, settings, host, clock);
    if (!clock.measured || decoded_count(t) == t.blocks.size() ||
        std::abs(clock.line - clock.ppm) < kApart) {
        return t;
    }
    ClockFix line = clock;
    line.ppm = clock.line;
    RecordedTransmission u =
        decode_transmission(baseband, found, blocks, mode, s, settings, host, line);
    return decoded_count(u) > decoded_count(t) ? u : t;
}

// The transmission whose sound begins at `begin`, of at most `blocks` blocks, decoded. Blocks
// after the last that decoded are taken for what follows the transmission (the length rule can
// run on into the next one): it is decoded again without them. `blocks` becomes the blocks
// kept, fewer than the rate needs when too few decoded, the second decoding included (a
// transmission of another mode whose blocks come close to decoding as this one's): then the
// first decoding is returned.
RecordedTransmission decode_kept(const Baseband& baseband, const Find& found, index_t& blocks,
                                 const ModeParams& mode, const Shape& s,
                                 const RecordingSettings& settings, HostServices& host) {
    RecordedTransmission t = decode_on_clock(baseband, found, blocks, mode, s, settings, host);
    const index_t kept = decoded_blocks(t);
    blocks = std::min(blocks, kept);
    if (kept < static_cast<index_t>(t.blocks.size()) && kept >= s.fewestBlocks) {
        RecordedTransmission again =
            decode_on_clock(baseband, found, kept, mode, s, settings, host);
        if (decoded_blocks(again) < s.fewestBlocks) {
            blocks = 0;
            return t;
        }
        return again;
    }
    return t;
}

// The baseband sample after the transmission's, on the recording's clock.
std::int64_t after(const RecordedTransmission& t, std::int64_t begin, index_t blocks,
                   const Shape& s) {
    const double length = static_cast<double>((s.preamble + blocks * s.blockSymbols) * s.M);
    return begin + std::llround(length * (1 + t.clockOffset * 1e-6));
}

int mode_index(const ModeParams& mode) {
    const Mode* m = find_mode(mode);
    return m == nullptr ? -1 : static_cast<int>(m - kModes);
}

// Whether the preamble whose sound begins at `begin` surely announces a mode other than `mode`
// (the search of one mode matches most of another's preamble too: their segments differ in d1
// and d2 only).
bool announces_another(const Baseband& baseband, std::int64_t begin, const ModeParams& mode,
                       const Shape& s, const VarShapping& shaping, HostServices& host) {
    const index_t n = (2 * kSettleMargin + kPreambleRepeat + 2 * s.D) * s.M;
    const PulsematchOut matched =
        pulsematch(piece(baseband, begin - kSettleMargin * s.M, n), shaping, host);
    const VarModelock settings{.from = 1, .to = static_cast<double>(2 * kSettleMargin * s.M)};
    const ModelockOut lock = modelock(matched.out, shaping, settings, host);
    return lock.found && lock.confidence >= kLeastModeConfidence && lock.mode != mode_index(mode);
}

// `mode` with only the last three segments of its preamble (the 0.6 s preamble, which every
// preamble ends with).
ModeParams preamble_tail(const ModeParams& mode) {
    ModeParams tail = mode;
    const index_t whole = mode.preamSync.numel();
    const index_t keep = std::min(whole, kSearchPreamble);
    tail.preamSync = RealArray(1, keep);
    std::copy_n(mode.preamSync.begin() + (whole - keep), keep, tail.preamSync.begin());
    return tail;
}

// The decoding of each mode found without a mode given: the mode with only the last three
// segments of its preamble (the 0.6 s preamble), from which the search confirms a detection and
// the transmission is decoded.
struct AnyMode {
    ModeParams mode;
    Shape shape;
    index_t dropped = 0;  // preamble symbols before them
};

const AnyMode& any_mode(std::vector<std::unique_ptr<AnyMode>>& made, int m,
                        const VarShapping& shaping, HostServices& host) {
    auto& slot = made[static_cast<std::size_t>(m)];
    if (!slot) {
        slot = std::make_unique<AnyMode>();
        const ModeParams mode = rateconf(kModes[m].rate, kModes[m].interLen);
        slot->mode = preamble_tail(mode);
        slot->shape = shape_of(mode, shaping, host);
        const index_t keep = slot->mode.preamSync.numel();
        slot->dropped = mode.preamSync.numel() - keep;
        slot->shape.preamble = keep;
        slot->shape.search = slot->mode;
    }
    return *slot;
}

// What modelock found in the window from baseband sample `first`: where its preamble's last three
// segments begin (baseband sample of their sound) and where its first segment began.
struct AnyFind {
    ModelockOut lock;
    std::int64_t tail = 0;     // sound of the last three segments
    std::int64_t segment = 0;  // sound of the segment found
};

AnyFind search_any(const Baseband& baseband, std::int64_t first, index_t D, index_t M,
                   const VarShapping& shaping, HostServices& host) {
    // Segments whose sound lies wholly within the recording: a window that runs into the zeros
    // beyond it holds fewer symbols, and noise reaches the threshold more often there.
    const auto size = static_cast<std::int64_t>(baseband.size());
    const std::int64_t from = std::max<std::int64_t>(1, 2 * D * M + 1 - first);
    const std::int64_t to =
        std::min<std::int64_t>(kAnySearchStep * M, size - first + 1 - kPreambleRepeat * M);
    if (to < from) return {};
    const index_t n = (kAnySearchStep + 3 * kPreambleRepeat + 2 * D) * M;
    const PulsematchOut matched = pulsematch(piece(baseband, first, n), shaping, host);
    const VarModelock settings{.from = static_cast<double>(from), .to = static_cast<double>(to)};
    AnyFind f{modelock(matched.out, shaping, settings, host)};
    const auto sound = [&](double sample) {
        return first + static_cast<std::int64_t>(sample) - 1 - 2 * D * M;
    };
    f.segment = sound(f.lock.start);
    f.tail = sound(f.lock.firstData) - kSearchPreamble * M;
    return f;
}

// A transmission modelock found but that is not decoded: its mode read unsurely, or none of its
// blocks decoded under the mode read.
RecordedTransmission undecoded(const AnyFind& f, double rate) {
    RecordedTransmission t;
    t.mode = f.lock.mode;
    t.confidence = f.lock.confidence;
    t.modeRead = f.lock.confidence >= kLeastModeConfidence;
    t.frequencyOffset = f.lock.offset;
    t.start = (static_cast<double>(f.segment) -
               (preamble_segments(kModes[f.lock.mode].interLen) - 1 - f.lock.segmentsLeft) *
                   static_cast<double>(kPreambleRepeat) * rate / kSymbolRate) /
              rate;
    t.end = static_cast<double>(f.tail) / rate + static_cast<double>(kSearchPreamble) / kSymbolRate;
    return t;
}

// The whole blocks of a transmission entered late, from the one whose first symbol peaks at the
// baseband sample `peak`, that lie before the sample `end` and belong to it by the length rule's
// probes (see the header; a block that misses them belongs when the next matches again, a fade):
// what follows the transmission is not decoded.
index_t late_blocks(const Baseband& baseband, const BlockProbes& probes, std::int64_t peak,
                    double offset, std::int64_t length, std::int64_t end) {
    std::int64_t drift = 0;
    const auto fits = [&](index_t n) { return peak + n * length <= end; };
    const auto matches = [&](index_t b) {
        return block_match(baseband, probes, peak + b * length, offset, drift) >= probes.least;
    };
    index_t blocks = 0;
    while (fits(blocks + 1)) {
        if (matches(blocks)) {
            ++blocks;
        } else if (fits(blocks + 2) && matches(blocks + 1)) {
            blocks += 2;
        } else {
            break;
        }
    }
    return blocks;
}

// The whole blocks of a transmission from the one whose first symbol peaks at `blockStart`
// (1-based) on the matched filter's output of the recording from its sample `from` on (`matched`,
// when it reaches far enough, or matched again), of the mode and offset `lock` read, decoded by the
// HF receiver entered late: those that lie before the sample `end` and belong to it by the length
// rule's probes (late_blocks), those after the last that decoded dropped (decoded again without
// them); nothing when no block decodes.
std::optional<RecordedTransmission> decode_blocks(const Baseband& baseband, std::int64_t from,
                                                  double blockStart, const BlocklockOut& lock,
                                                  std::int64_t end, const Shape& any,
                                                  const RecordingSettings& settings,
                                                  HostServices& host, const ComplexArray& matched) {
    const index_t M = any.M, D = any.D;
    const ModeParams mode = rateconf(kModes[lock.mode].rate, kModes[lock.mode].interLen);
    const auto length =
        static_cast<std::int64_t>(kModes[lock.mode].block_symbols() * M);  // samples a block
    // The block's first symbol peaks at blockStart on the matched filter's output, 1-based: D
    // symbols after its sound begins in the baseband, D more through the filter.
    const auto peak = from + static_cast<std::int64_t>(blockStart) - 1 - D * M;
    const BlockProbes probes = uses_patterns(mode) ? block_repeats(mode, settings.shaping, host)
                                                   : block_probes(mode, settings.shaping, host);
    const index_t blocks = late_blocks(baseband, probes, peak, lock.offset, length, end - D * M);
    if (blocks == 0) return std::nullopt;
    // Those blocks and a margin for the paths behind the strongest, matched once.
    const auto n = static_cast<index_t>(
        std::min(end, peak + blocks * length + (2 * D + kLateMarginSymbols) * M) - from);
    const bool again = n > matched.numel();
    const PulsematchOut longer =
        again ? pulsematch(piece(baseband, from, n), settings.shaping, host) : PulsematchOut{};
    const ComplexArray& x = again ? longer.out : matched;
    HfSettings hf{.nFrame = static_cast<double>(blocks),
                  .shaping = settings.shaping,
                  .iterations = settings.iterations,
                  .turboStop = settings.turboStop,
                  .softRule = settings.softRule};
    RecordedTransmission t;
    HfLateReceived got;
    for (;;) {  // decoded again without the blocks after the last that decoded
        got = receive_hf_late(x, blockStart, lock.offset, mode, hf, host);
        const auto blocks = static_cast<index_t>(got.blocks);
        t.blocks = blocks > 0 ? judge_blocks(mode, blocks, got.decoding, host)
                              : std::vector<RecordedBlock>{};
        const index_t kept = decoded_blocks(t);
        if (kept == 0) return std::nullopt;
        if (kept == blocks) break;
        hf.nFrame = static_cast<double>(kept);
    }
    const double rate = kSymbolRate * static_cast<double>(M);
    const double blockSeconds = kModes[lock.mode].interLen;
    t.start =
        std::max(0.0, static_cast<double>(from) + blockStart - 1 - static_cast<double>(2 * D * M)) /
        rate;
    t.end = t.start + static_cast<double>(t.blocks.size()) * blockSeconds;
    t.mode = lock.mode;
    t.confidence = lock.confidence;
    t.frequencyOffset = lock.offset;
    t.snr3k = std::numeric_limits<double>::quiet_NaN();  // no preamble to measure the noise on
    t.infoBits = std::move(got.decoding.decoded.DecodOut);
    if (settings.keepSymbols) {
        t.sounded = std::move(got.sounding.out);
        t.equalised = std::move(got.decoding.symbols);
    }
    return t;
}

// A transmission the recording begins inside of, after its preamble, decoded from the first
// whole block in the recording's first `end` samples (see the header); nothing when none is found
// there surely, or no block decodes.
std::optional<RecordedTransmission> late_entry(const Baseband& baseband, std::int64_t end,
                                               const Shape& any, const RecordingSettings& settings,
                                               HostServices& host) {
    const index_t M = any.M, D = any.D;
    if (end < (kLateLeastSymbols + 2 * D) * M) return std::nullopt;
    const auto searched =
        static_cast<index_t>(std::min<std::int64_t>(end, (kLateSearchSymbols + 2 * D) * M));
    const PulsematchOut head = pulsematch(piece(baseband, 0, searched), settings.shaping, host);
    const BlocklockOut lock = blocklock(head.out, settings.shaping, {}, host);
    if (!lock.found || lock.mode < 0 || lock.confidence < kLeastModeConfidence) {
        return std::nullopt;
    }
    auto t = decode_blocks(baseband, 0, lock.blockStart, lock, end, any, settings, host, head.out);
    if (t) t->enteredLate = true;
    return t;
}

// The transmission of modelock's find `f` whose preamble's last segments did not confirm it (in a
// fade, their sync is lost too), where the frames after it bear it out (frames_after_find):
// decoded from its first block on as by a receiver entered late there, its start the
// preamble's; nothing where the frames do not bear it out or no block decodes.
std::optional<RecordedTransmission> framed_transmission(const Baseband& baseband, const AnyFind& f,
                                                        const Shape& any,
                                                        const RecordingSettings& settings,
                                                        HostServices& host) {
    const index_t M = any.M, D = any.D;
    const auto block = static_cast<index_t>(kModes[f.lock.mode].block_symbols());
    const index_t n = (kSearchPreamble + block + 2 * kLongestFrame + kSettleMargin + 2 * D) * M;
    const PulsematchOut matched = pulsematch(piece(baseband, f.tail, n), settings.shaping, host);
    // The first data symbol's sound is kSearchPreamble symbols after the piece's first sample,
    // its peak 2 D symbols later through the two filters.
    const auto firstData = static_cast<double>((kSearchPreamble + 2 * D) * M + 1);
    const BlocklockOut frames =
        frames_after_find(matched.out, f.lock.mode, firstData, settings.shaping, host);
    if (!frames.found) return std::nullopt;
    const auto end = static_cast<std::int64_t>(baseband.size());
    auto t =
        decode_blocks(baseband, f.tail, firstData, frames, end, any, settings, host, matched.out);
    if (t) t->start = undecoded(f, kSymbolRate * static_cast<double>(M)).start;
    return t;
}

}  // namespace

std::vector<RecordedTransmission> receive_recording(const Baseband& baseband,
                                                    const RecordingSettings& settings,
                                                    HostServices& host) {
    const Shape any =
        shape_of(rateconf(kModes[0].rate, kModes[0].interLen), settings.shaping, host);
    const index_t M = any.M;
    const double rate = kSymbolRate * static_cast<double>(M);
    const double quiet = quietest_power(baseband, M);
    std::vector<std::unique_ptr<AnyMode>> made(std::size(kModes));
    std::vector<RecordedTransmission> found;
    const auto end = static_cast<std::int64_t>(baseband.size());
    std::int64_t first = 0;
    while (first + kPreambleRepeat * M <= end) {
        host.poll_interrupt();
        const AnyFind f = search_any(baseband, first, any.D, M, settings.shaping, host);
        if (!f.lock.found) {
            first += kAnySearchStep * M;
            continue;
        }
        // The preamble's last segments, searched with the mode read (the others' differ from
        // them in d1 and d2 only): noise does not match them.
        const AnyMode& m = any_mode(made, f.lock.mode, settings.shaping, host);
        const std::int64_t past = f.tail + kSearchPreamble * M;  // the first data symbol's sound
        const Find confirmed =
            search_window(baseband, f.tail - kSettleMargin * M, m.shape, settings.shaping, host);
        if (confirmed.begin < 0 || std::abs(confirmed.begin - f.tail) > kSettleMargin * M) {
            // Those segments in a fade: the frames of the first block may confirm the find.
            auto framed = framed_transmission(baseband, f, any, settings, host);
            if (!framed) {
                first = f.segment + kPreambleRepeat * M;
                continue;
            }
            first = std::max(past, static_cast<std::int64_t>(std::llround(framed->end * rate)));
            found.push_back(std::move(*framed));
            continue;
        }
        if (f.lock.confidence < kLeastModeConfidence) {
            found.push_back(undecoded(f, rate));
            first = past;
            continue;
        }
        index_t blocks = count_blocks(baseband, confirmed, m.shape, quiet, settings.shaping, host);
        RecordedTransmission t =
            blocks == 0 ? RecordedTransmission{}
                        : decode_kept(baseband, confirmed, blocks, m.mode, m.shape, settings, host);
        if (blocks < m.shape.fewestBlocks) {
            RecordedTransmission u = undecoded(f, rate);
            if (!t.blocks.empty()) {
                u.frequencyOffset = t.frequencyOffset;
                u.clockMeasured = t.clockMeasured;
                u.clockOffset = t.clockOffset;
                u.clockUncertainty = t.clockUncertainty;
                u.snr3k = t.snr3k;
                u.blocks = std::move(t.blocks);
            }
            u.end = std::max(u.end, t.end);
            first = std::max(past, static_cast<std::int64_t>(std::llround(u.end * rate)));
            found.push_back(std::move(u));
            continue;
        }
        first = after(t, confirmed.begin, blocks, m.shape);
        t.mode = f.lock.mode;
        t.confidence = f.lock.confidence;
        t.start -= static_cast<double>(m.dropped) / kSymbolRate;
        found.push_back(std::move(t));
    }
    const std::int64_t head =
        found.empty() ? end : static_cast<std::int64_t>(std::floor(found.front().start * rate));
    if (auto late = late_entry(baseband, head, any, settings, host)) {
        found.insert(found.begin(), std::move(*late));
    }
    return found;
}

std::vector<RecordedTransmission> receive_recording(const Baseband& baseband,
                                                    const ModeParams& mode,
                                                    const RecordingSettings& settings,
                                                    HostServices& host) {
    const Shape s = shape_of(mode, settings.shaping, host);
    const double quiet = quietest_power(baseband, s.M);
    std::vector<RecordedTransmission> found;
    const auto end = static_cast<std::int64_t>(baseband.size());
    const std::int64_t least = (s.preamble + s.fewestBlocks * s.blockSymbols) * s.M;
    std::int64_t first = 0;
    while (first + least <= end) {
        host.poll_interrupt();
        const Find find = search_window(baseband, first, s, settings.shaping, host);
        const Find settled =
            find.begin < 0 ? find : settle(baseband, find, s, settings.shaping, host);
        index_t blocks = settled.begin < 0
                             ? 0
                             : count_blocks(baseband, settled, s, quiet, settings.shaping, host);
        if (blocks >= s.fewestBlocks &&
            !announces_another(baseband, settled.begin, mode, s, settings.shaping, host)) {
            RecordedTransmission t =
                decode_kept(baseband, settled, blocks, mode, s, settings, host);
            if (blocks >= s.fewestBlocks) {
                first = after(t, settled.begin, blocks, s);
                t.mode = mode_index(mode);
                found.push_back(std::move(t));
                continue;
            }
        }
        first += kSearchStep * s.M;
    }
    return found;
}

bool confirms_find(const ComplexArray& matched, const ModelockOut& lock, const VarShapping& shaping,
                   HostServices& host) {
    if (!lock.found || lock.mode < 0) return false;
    const auto M = static_cast<index_t>(shaping.oversamplingFactor);
    const ModeParams tail =
        preamble_tail(rateconf(kModes[lock.mode].rate, kModes[lock.mode].interLen));
    // The tail's first symbol (0-based sample), and the window searched from a little before it.
    const auto at = static_cast<std::int64_t>(lock.firstData) - 1 - tail.preamSync.numel() * M;
    const std::int64_t first = at - kSettleMargin * M;
    const index_t n = (kSearchSymbols + tail.preamSync.numel()) * M;
    ComplexArray window(n);
    for (index_t k = 0; k < n; ++k) {
        const std::int64_t i = first + k;
        if (i >= 0 && i < matched.numel()) window[k] = matched[i];
    }
    const Find f = find_in(window, tail, M, shaping, host);
    return f.begin >= 0 && std::abs(first + f.begin - 1 - at) <= kSettleMargin * M;
}

BlocklockOut frames_after_find(const ComplexArray& matched, int mode, double firstData,
                               const VarShapping& shaping, HostServices& host) {
    const auto M = static_cast<index_t>(shaping.oversamplingFactor);
    const auto block = static_cast<index_t>(kModes[mode].block_symbols());
    // The stretch from a little before the preamble's last three segments to two frames (and
    // the paths' spread) past the end of the first block.
    const auto data = static_cast<std::int64_t>(firstData) - 1;
    const std::int64_t from =
        std::max<std::int64_t>(0, data - (kSearchPreamble + kSettleMargin) * M);
    const std::int64_t to = std::min<std::int64_t>(
        matched.numel(), data + (block + 2 * kLongestFrame + kSettleMargin) * M);
    if (to - from < kBlocklockShortest * M) return {};
    ComplexArray stretch(static_cast<index_t>(to - from));
    std::copy(matched.begin() + from, matched.begin() + to, stretch.begin());
    BlocklockOut frames = blocklock(stretch, shaping, {}, host);
    if (!frames.found || frames.mode != mode || frames.confidence < kLeastModeConfidence) {
        return {};
    }
    // A block start a whole number of blocks (none or more) after the find's first data symbol.
    const double length = static_cast<double>(block * M);
    const double after = frames.blockStart + static_cast<double>(from) - firstData;
    const double nearest = std::max(0.0, std::round(after / length)) * length;
    if (std::abs(after - nearest) > static_cast<double>(kSettleMargin * M)) return {};
    frames.blockStart = firstData;
    return frames;
}

}  // namespace hfchain
