#include "receiver/blocklock/blocklock.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <string>
#include <vector>

#include "params/modes.hpp"
#include "params/preamble.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "receiver/freqlock/diffsum.hpp"
#include "receiver/impulseblank/impulseblank.hpp"
#include "receiver/layout/reception.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "transmitter/constellation.hpp"
#include "transmitter/scrambler.hpp"

namespace hfchain {

namespace {

constexpr const char* kBlock = "blocklock";

// A channel pattern: an 8-symbol piece repeated to 32 symbols, one of 8 columns.
constexpr index_t kPiece = 8;
constexpr index_t kPieces = 4;
constexpr index_t kColumns = 8;

const std::string kTooLargeRule = "blocklock takes samples up to " + format_value(kLargestSample) +
                                  " in magnitude, so that its sums of products cannot overflow.";

// A frame geometry: `data` + `trein` symbols; trein 0 is the 75 bit/s patterns (data 32).
struct Geometry {
    index_t data = 0, trein = 0;

    index_t frame() const { return data + trein; }
    bool patterns() const { return trein == 0; }
    // Frames from one frame that starts on the sequence's first symbol to the next.
    index_t cycle() const { return std::lcm(frame(), index_t{kDataSequencePeriod}) / frame(); }
    // The symbols of a frame that step 2 correlates: the probes, or the whole pattern.
    index_t runStart() const { return patterns() ? 0 : data; }
    index_t run() const { return patterns() ? data : trein; }
    bool operator==(const Geometry&) const = default;
};

constexpr Geometry kGeometries[] = {{32, 16}, {20, 20}, {32, 0}};

Geometry geometry_of(const Mode& m) { return {m.data, m.trein}; }

// Frames (patterns) an interleaver block of `m` fills: its seconds of symbols over the frame.
index_t block_frames(const Mode& m) { return m.block_symbols() / geometry_of(m).frame(); }

// The point sent for symbol `value` at position n of the data sequence (any whole n).
cdouble sent_point(int value, index_t n) {
    const auto& seq = data_sequence_period();
    const index_t phase = (n % kDataSequencePeriod + kDataSequencePeriod) % kDataSequencePeriod;
    return psk_points()[(value + seq[phase]) % kPskPhases];
}

struct Timing {
    Geometry geometry;
    index_t window = -1;  // 0-based sample of a frame that starts on the sequence's first symbol
    double score = 0;
    double offset = 0;  // Hz
};

// Step 1 for one geometry over the windows of one period of frames and sequence.
Timing search_timing(const ComplexArray& x, const Geometry& g, index_t M, double power,
                     HostServices* host) {
    Timing best{g};
    const index_t F = g.frame();
    const index_t W = g.cycle() * F * M;
    const index_t reach = (g.runStart() + g.run() - 1) * M;  // a frame's last sample read
    const index_t room = x.numel() - W - reach;
    if (room < 0) return best;
    const index_t frames = room / (F * M) + 1;
    // Segments of the probe runs' halves, or single samples one piece apart.
    const index_t seg = g.patterns() ? 1 : g.trein / 2;
    const index_t lag = g.patterns() ? kPiece : seg;
    std::vector<cdouble> D(static_cast<std::size_t>(W)), part(D.size());
    std::vector<cdouble> p(static_cast<std::size_t>(g.patterns() ? kPieces : g.trein));
    index_t products = 0;
    for (index_t f = 0; f < frames; ++f) {
        if (host != nullptr) host->poll_interrupt();
        // With probes: the probe run, less a data run of the same length read alike (content of
        // one value, which matches the zero probes everywhere, cancels). The data run starts
        // (data - trein) / 2 symbols into the frame: 8 or 0, never a multiple of 16 symbols
        // (of 40 at 20 + 20) before the probes, so that no shift by whole frames and sequences
        // lays it on the probes of another frame. Without probes: the eight interleaved
        // sequences of samples one piece apart.
        for (index_t i = 0; i < (g.patterns() ? kPiece : 2); ++i) {
            const index_t run = i == 0 ? g.data : (g.data - g.trein) / 2;
            const index_t first = g.patterns() ? f * F + i : f * F + run;
            const index_t step = g.patterns() ? kPiece : 1;
            for (std::size_t k = 0; k < p.size(); ++k) {
                p[k] = std::conj(sent_point(0, first + static_cast<index_t>(k) * step));
            }
            const auto count = static_cast<index_t>(p.size()) / seg;
            differential_sums(x.data() + first * M, W, step * M, p, seg, count, nullptr,
                              part.data());
            const double sign = !g.patterns() && i == 1 ? -1.0 : 1.0;
            for (index_t w = 0; w < W; ++w) D[w] += sign * part[w];
            products += count - 1;
        }
    }
    const double spread =
        std::sqrt(static_cast<double>(products)) * static_cast<double>(seg) * power;
    for (index_t w = 0; w < W; ++w) {
        const double score = std::abs(D[w]) / spread;
        if (score > best.score) {
            best.score = score;
            best.window = w;
        }
    }
    if (best.window >= 0) {
        best.offset = std::arg(D[best.window]) * kSymbolRate /
                      (2 * std::numbers::pi * static_cast<double>(lag));
    }
    return best;
}

// Step 2 reads each frame's run on every path of the channel: at every sample within the largest
// differential delay of the paths (12 symbols) either side of the timing step 1 found.
constexpr index_t kPathSpread = 12;
// A tap counts as a path where its mean correlation energy over the frames stands this many
// standard errors above what noise alone gives, carries at least kPathFloor of the strongest
// path's, and lies a symbol or more from every path kept (closer taps see the same path); at
// most kMostPaths, the timed one first.
constexpr double kPathSignificance = 3.5;
constexpr double kPathFloor = 0.1;
constexpr std::size_t kMostPaths = 3;

// The frames' runs as step 2 reads them: per frame and symbol of its run, the offset's turn
// times the conjugate of the scrambled zero. Read `tap` samples from the timing, a run's offset
// turn differs by one phase for all its symbols, which no energy and no frame-to-frame turn sees.
struct Runs {
    const ComplexArray& x;
    const Timing& t;
    index_t M = 0;
    index_t first = 0, last = -1;  // the frames read
    std::vector<cdouble> ref;      // (last - first + 1) x run

    Runs(const ComplexArray& input, const Timing& timing, index_t m) : x(input), t(timing), M(m) {
        const Geometry& g = t.geometry;
        const index_t F = g.frame();
        first = -(t.window / (F * M));
        last = (x.numel() - 1 - t.window - (g.runStart() + g.run() - 1) * M) / (F * M);
        const double turn =
            -2 * std::numbers::pi * t.offset / (kSymbolRate * static_cast<double>(M));
        ref.reserve(static_cast<std::size_t>((last - first + 1) * g.run()));
        for (index_t f = first; f <= last; ++f) {
            const index_t start = f * F + g.runStart();
            for (index_t k = 0; k < g.run(); ++k) {
                const index_t n = t.window + (start + k) * M;
                ref.push_back(std::polar(1.0, turn * static_cast<double>(n)) *
                              std::conj(sent_point(0, start + k)));
            }
        }
    }
    index_t frames() const { return last - first + 1; }

    // Frame f's run, read `tap` samples from the timing, correlated with every column (samples
    // beyond the input read as 0). Every column is an 8-symbol piece repeated.
    std::array<cdouble, kColumns> correlate(index_t f, index_t tap) const {
        static const std::array<std::array<cdouble, kPiece>, kColumns> columns = [] {
            const ModeParams p = rateconf(kModes[0].rate, kModes[0].interLen);
            std::array<std::array<cdouble, kPiece>, kColumns> c{};
            for (index_t v = 0; v < kColumns; ++v) {
                for (index_t j = 0; j < kPiece; ++j)
                    c[v][j] = std::conj(psk_points()[static_cast<int>(p.chSymMapping(j, v))]);
            }
            return c;
        }();
        const Geometry& g = t.geometry;
        const index_t run = g.run();
        const index_t base = t.window + (f * g.frame() + g.runStart()) * M + tap;
        const cdouble* a = ref.data() + (f - first) * run;
        std::array<cdouble, kPiece> u{};
        for (index_t k = 0; k < run; ++k) {
            const index_t n = base + k * M;
            if (n >= 0 && n < x.numel()) u[k % kPiece] += x[n] * a[k];
        }
        std::array<cdouble, kColumns> c{};
        for (index_t v = 0; v < kColumns; ++v) {
            for (index_t j = 0; j < kPiece; ++j) c[v] += u[j] * columns[v][j];
        }
        return c;
    }
};

// What a run holds where a path carries it: the zero probe, or the strongest pattern.
index_t held_column(const std::array<double, kColumns>& e, bool patterns) {
    return patterns ? std::max_element(e.begin(), e.end()) - e.begin() : 0;
}

// The taps (samples from the timing) of the channel's paths, the timed one (0) first: the local
// maxima of the frames' mean held energy that stand clear of noise. A tap of noise alone holds
// n P on average (P the input's mean power: off the paths the signal is noise too), and the
// largest of the eight columns' energies H8 n P (H8 = 1 + 1/2 + ... + 1/8).
std::vector<index_t> find_paths(const Runs& r, double power) {
    const Geometry& g = r.t.geometry;
    const index_t D = kPathSpread * r.M;
    std::vector<double> sum(static_cast<std::size_t>(2 * D + 1)), squares(sum.size());
    for (index_t f = r.first; f <= r.last; ++f) {
        for (index_t d = -D; d <= D; ++d) {
            const auto c = r.correlate(f, d);
            std::array<double, kColumns> e{};
            for (index_t v = 0; v < kColumns; ++v) e[v] = std::norm(c[v]);
            const double held = e[held_column(e, g.patterns())];
            sum[d + D] += held;
            squares[d + D] += held * held;
        }
    }
    const double harmonic = g.patterns() ? 761.0 / 280 : 1;  // H8
    const double noise = harmonic * static_cast<double>(g.run()) * power;
    const auto count = static_cast<double>(r.frames());
    std::vector<double> excess(sum.size());
    for (std::size_t i = 0; i < sum.size(); ++i) excess[i] = sum[i] / count - noise;
    const double top = *std::max_element(excess.begin(), excess.end());
    std::vector<index_t> candidates;
    for (index_t i = 0; i <= 2 * D; ++i) {
        const double mean = sum[i] / count;
        const double error = std::sqrt(std::max(squares[i] / count - mean * mean, 0.0) / count);
        const bool peak =
            (i == 0 || excess[i] >= excess[i - 1]) && (i == 2 * D || excess[i] >= excess[i + 1]);
        if (peak && excess[i] > kPathSignificance * error && excess[i] >= kPathFloor * top)
            candidates.push_back(i - D);
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](index_t a, index_t b) { return excess[a + D] > excess[b + D]; });
    std::vector<index_t> taps{0};
    for (const index_t d : candidates) {
        if (taps.size() == kMostPaths) break;
        if (std::all_of(taps.begin(), taps.end(),
                        [&](index_t p) { return std::abs(p - d) >= r.M; }))
            taps.push_back(d);
    }
    return taps;
}

// Step 2's correlations: each frame's run with every pattern column, the offset turned back,
// read on every path and combined noncoherently: a path's energies weighed by its own
// g / (1 + g) / (n N0), so that the combined energies are log-likelihood terms.
struct Frames {
    index_t first = 0;                                 // index of the first frame read (<= 0)
    std::vector<std::array<double, kColumns>> energy;  // weighed |correlation|^2 a frame and column
    double residual = 0;  // what remains of the offset, Hz (on the timed path)
    double N0 = 0;        // a symbol's noise power, as the timed path's runs show it
};

Frames correlate_frames(const ComplexArray& x, const Timing& t, index_t M, double power) {
    const Geometry& g = t.geometry;
    const Runs r(x, t, M);
    Frames fr;
    fr.first = r.first;
    fr.energy.assign(static_cast<std::size_t>(std::max<index_t>(r.frames(), 0)), {});
    std::vector<std::array<double, kColumns>> e(fr.energy.size());
    const auto count = static_cast<double>(fr.energy.size());
    if (count == 0) return fr;
    for (const index_t tap : find_paths(r, power)) {
        double noise = 0, top = 0;
        cdouble previous = 0.0, turning = 0.0;  // the held column's correlation, frame to frame
        for (index_t f = r.first; f <= r.last; ++f) {
            const auto c = r.correlate(f, tap);
            auto& ef = e[static_cast<std::size_t>(f - r.first)];
            for (index_t v = 0; v < kColumns; ++v) ef[v] = std::norm(c[v]);
            // What the run holds; the rest is noise.
            const index_t kept = held_column(ef, g.patterns());
            if (f > r.first) turning += c[kept] * std::conj(previous);
            previous = c[kept];
            top += ef[kept];
            noise += (std::accumulate(ef.begin(), ef.end(), 0.0) - ef[kept]) / (kColumns - 1);
        }
        const double nN0 = noise / count;
        const double signal = std::max(0.0, top / count - nN0);  // n^2 S
        if (tap == 0) {
            fr.N0 = nN0 / static_cast<double>(g.run());
            fr.residual = std::arg(turning) * kSymbolRate /
                          (2 * std::numbers::pi * static_cast<double>(g.frame()));
        }
        if (!(nN0 > 0)) continue;
        const double weight = signal / (signal + nN0) / nN0;  // g = n^2 S / (n N0)
        for (std::size_t i = 0; i < e.size(); ++i) {
            for (index_t v = 0; v < kColumns; ++v) fr.energy[i][v] += weight * e[i][v];
        }
    }
    return fr;
}

// The values of a preamble's segments from d1 on (d1, d2, the three count values and the closing
// value), scrambled and conjugated, for every mode and every segment: what a receiver that enters
// late in the preamble may hear of a segment just before the next one, or before the first data
// block. Element c of a mode's list is the segment after which c segments are still to come.
constexpr index_t kTailSymbols = (kSegmentValues - kD1Value) * kPatternSymbols;

const std::vector<std::vector<std::vector<cdouble>>>& preamble_tails() {
    static const std::vector<std::vector<std::vector<cdouble>>> tails = [] {
        std::vector<std::vector<std::vector<cdouble>>> all;
        for (const Mode& m : kModes) {
            const std::vector<cdouble> p = conjugated_preamble(rateconf(m.rate, m.interLen));
            std::vector<std::vector<cdouble>> segments;
            for (auto end = p.end(); end - p.begin() >= kSegmentSymbols; end -= kSegmentSymbols)
                segments.emplace_back(end - kTailSymbols, end);
            all.push_back(std::move(segments));
        }
        return all;
    }();
    return tails;
}

// What the frames were read with: the input, its timing, what the frames showed of it, and the
// noise power the preamble's tail is weighed with (the same for every geometry: that of the
// geometry that scored highest, whose frames fit the input best).
struct Heard {
    const ComplexArray& x;
    const Timing& t;
    index_t M;
    const Frames& fr;
    double tailN0 = 0;
};

// The log-likelihood ratio that mode m's preamble ends where frame b starts, from the values of
// its last segment from d1 on that the input holds whole, against data there. Each value's pattern
// correlates to an energy E that is exponential with mean n^2 S + n N0 where the pattern was sent
// and n (S + N0) over data (n = 32 symbols). The noise N0 is the frames'; the signal S is what the
// tail's own symbols hold above it: the channel fades, and weighed with the frames' mean S, data
// in a stronger stretch than the mean passes for a tail that fits (and then hides the closing
// frames before its block). Every segment carries the same d1, d2 and closing value, so the end of
// an earlier segment, whole segments before the first data symbol, fits as a tail too (better,
// where the last one lies in a fade): only the count values tell them apart, and the last
// segment's ratio counts only where no other segment of the preamble fits better. It counts 0
// where below 0 too: over data it lies below 0 but for a small chance, and a preamble not heard,
// or heard in a fade, tells nothing.
double tail_ratio(const Heard& h, int m, index_t b) {
    const auto& segments = preamble_tails()[static_cast<std::size_t>(m)];
    const double turn =
        -2 * std::numbers::pi * h.t.offset / (kSymbolRate * static_cast<double>(h.M));
    const index_t end = h.t.window + b * h.t.geometry.frame() * h.M;  // the block's first sample
    const auto held = [&](index_t v) {  // the first sample of value v's pattern, -1 if not whole
        const index_t first = end - (kTailSymbols - v) * h.M;
        return first < 0 || first + (kPatternSymbols - 1) * h.M >= h.x.numel() ? -1 : first;
    };
    double power = 0, count = 0;
    for (index_t v = 0; v < kTailSymbols; v += kPatternSymbols) {
        if (held(v) < 0) continue;
        for (index_t k = 0; k < kPatternSymbols; ++k) power += std::norm(h.x[held(v) + k * h.M]);
        count += kPatternSymbols;
    }
    const double S = count > 0 ? std::max(power / count - h.tailN0, 0.0) : 0;
    const double sent = kPatternSymbols * (kPatternSymbols * S + h.tailN0);
    const double data = kPatternSymbols * (S + h.tailN0);
    if (!(data > 0) || !(S > 0)) return 0;
    const auto ratio = [&](const std::vector<cdouble>& tail) {
        double sum = 0;
        for (index_t v = 0; v < kTailSymbols; v += kPatternSymbols) {
            const index_t first = held(v);
            if (first < 0) continue;
            cdouble c = 0.0;
            for (index_t k = 0; k < kPatternSymbols; ++k) {
                const index_t n = first + k * h.M;
                c += h.x[n] * std::polar(1.0, turn * static_cast<double>(n)) * tail[v + k];
            }
            sum += std::norm(c) * (1 / data - 1 / sent) - std::log(sent / data);
        }
        return sum;
    };
    const double last = ratio(segments.front());
    for (std::size_t c = 1; c < segments.size(); ++c) {
        if (ratio(segments[c]) > last) return 0;
    }
    return std::max(last, 0.0);
}

// log sum exp(e_v) over the columns from `from` to from + 3.
double log_sum(const std::array<double, kColumns>& e, index_t from) {
    double top = -std::numeric_limits<double>::infinity();
    for (index_t v = from; v < from + 4; ++v) top = std::max(top, e[v]);
    double sum = 0;
    for (index_t v = from; v < from + 4; ++v) sum += std::exp(e[v] - top);
    return top + std::log(sum);
}

// The log-likelihood ratio that the frames before block-start frame b close a block of `m`.
double closing_ratio(const Frames& fr, index_t b, const Mode& m, bool patterns) {
    const auto& last = fr.energy[static_cast<std::size_t>(b - 1 - fr.first)];
    if (patterns) return log_sum(last, 4) - log_sum(last, 0);
    const auto& before = fr.energy[static_cast<std::size_t>(b - 2 - fr.first)];
    return before[m.d1] - before[0] + last[m.d2] - last[0];
}

struct Reading {
    int mode = -1;
    double ratio = -std::numeric_limits<double>::infinity();  // its best hypothesis's
    index_t residue = 0;                                      // block-start frames, modulo B
    bool afterPreamble = false;  // its first block start follows a preamble it heard
    double tail = 0;             // the part of its ratio the preamble's tail gave
    index_t tailFrame = 0;       // the block-start frame that preamble ends at
    double rest = -std::numeric_limits<double>::infinity();  // log of the sum of exp(ratio) over
                                                             // the mode's other hypotheses
    double prior = 0;  // the log of each hypothesis's prior: 1 over the mode's block starts
};

// log(exp(a) + exp(b)).
double log_add(double a, double b) {
    const double top = std::max(a, b);
    if (top == -std::numeric_limits<double>::infinity()) return top;
    return top + std::log1p(std::exp(std::min(a, b) - top));
}

// The log of the prior of each block start of mode m: every mode alike likely, and each of its
// block starts (frames that start on the sequence's first symbol, within a block).
double block_start_prior(const Mode& m) {
    const Geometry g = geometry_of(m);
    return -std::log(static_cast<double>(block_frames(m) / g.cycle()));
}

// The best hypothesis of mode m and the sum over its others (rest), a hypothesis whose block
// starts fall where no frame of the input could show them counting a ratio of 0. Each
// hypothesis's first block start may also follow m's preamble (tail_ratio).
Reading read_mode(const Heard& h, int m) {
    const Frames& fr = h.fr;
    const Geometry& g = h.t.geometry;
    const Mode& mode = kModes[m];
    const index_t B = block_frames(mode);
    const index_t closing = g.patterns() ? 1 : 2;
    std::vector<double> ratio(static_cast<std::size_t>(B), 0.0);
    std::vector<double> tails(ratio.size(), 0.0);
    std::vector<index_t> tailFrames(ratio.size(), 0);
    std::vector<char> seen(ratio.size(), 0);
    const auto frames = static_cast<index_t>(fr.energy.size());
    // Block starts lie on frames that start on the sequence's first symbol.
    const index_t cycle = g.cycle();
    index_t b = fr.first + closing;
    b += ((-b) % cycle + cycle) % cycle;
    for (; b - 1 - fr.first < frames; b += cycle) {
        const index_t r = (b % B + B) % B;
        // Where a preamble's tail precedes a block, its frames before it are no closing frames.
        const double tail = seen[r] ? 0 : tail_ratio(h, m, b);
        if (tail > 0) {
            tails[r] = tail;
            tailFrames[r] = b;
        }
        ratio[r] += tail > 0 ? tail : closing_ratio(fr, b, mode, g.patterns());
        seen[r] = 1;
    }
    Reading best;
    best.mode = m;
    best.prior = block_start_prior(mode);
    for (index_t r = 0; r < B; r += cycle) {
        if (seen[r] && ratio[r] > best.ratio) {
            best.ratio = ratio[r];
            best.residue = r;
            best.afterPreamble = tails[r] > 0;
            best.tail = tails[r];
            best.tailFrame = tailFrames[r];
        }
    }
    for (index_t r = 0; r < B; r += cycle) {
        if (!seen[r] || r != best.residue) best.rest = log_add(best.rest, ratio[r]);
    }
    return best;
}

// What step 2 reads in one geometry: the block start and mode of its best hypothesis (out), that
// hypothesis's ratio, and the sum over every other hypothesis of the geometry (any mode, any
// block start) that the confidence weighs it against.
struct GeometryReading {
    BlocklockOut out;
    double ratio = -std::numeric_limits<double>::infinity();
    double rivals = -std::numeric_limits<double>::infinity();  // log sum of exp(their ratios)
    bool afterPreamble = false;  // its best hypothesis's first block follows a preamble heard
    double tail = 0;             // the part of its ratio the preamble's tail gave
    double N0 = 0;               // a symbol's noise power, as its frames show it

    // What its frames alone claim for its best hypothesis, the preamble's tail aside.
    double frames() const { return ratio - tail; }
    // The odds against its best hypothesis among those of its geometry.
    double doubt() const { return std::exp(rivals - ratio); }
};

// How much more reading a claims than b (both found). Their frames alone are compared, unless
// both place the first block after the same preamble (within a symbol, M samples): that tail is
// then the same evidence for both, telling their modes apart by d1 and d2, and their whole ratios
// are compared. (Geometries timed on different paths weigh a tail alike only by chance.)
double margin(const GeometryReading& a, const GeometryReading& b, index_t M) {
    const bool samePreamble =
        a.afterPreamble && b.afterPreamble &&
        std::abs(a.out.blockStart - b.out.blockStart) <= static_cast<double>(M);
    return samePreamble ? a.ratio - b.ratio : a.frames() - b.frames();
}

// Step 2: the offset's residual, the mode, its confidence and the first block start within the
// input; the preamble's tail weighed with the noise power `tailN0`, or with the one these frames
// show when it is null.
GeometryReading read_boundary(const ComplexArray& x, const Timing& t, index_t M, double power,
                              const double* tailN0) {
    const Frames fr = correlate_frames(x, t, M, power);
    GeometryReading reading;
    reading.N0 = fr.N0;
    const double weight = tailN0 != nullptr ? *tailN0 : fr.N0;
    BlocklockOut& out = reading.out;
    out.score = t.score;
    out.offset = t.offset + fr.residual;
    const Geometry& g = t.geometry;
    // Each mode's best hypothesis; the winner is weighed against every other hypothesis.
    const Heard heard{x, t, M, fr, weight};
    std::vector<Reading> readings;
    for (int m = 0; m < static_cast<int>(std::size(kModes)); ++m) {
        if (geometry_of(kModes[m]) == g) readings.push_back(read_mode(heard, m));
    }
    // Every mode alike likely, and every block start of a mode: a mode with fewer block starts
    // (0.6 s against 4.8 s) needs less evidence for each.
    std::size_t winner = 0;
    for (std::size_t k = 1; k < readings.size(); ++k) {
        if (readings[k].ratio + readings[k].prior > readings[winner].ratio + readings[winner].prior)
            winner = k;
    }
    const Reading& best = readings[winner];
    double rivals = best.rest + best.prior;
    for (std::size_t k = 0; k < readings.size(); ++k) {
        if (k != winner)
            rivals =
                log_add(rivals, log_add(readings[k].ratio, readings[k].rest) + readings[k].prior);
    }
    reading.rivals = rivals - best.prior;
    reading.ratio = best.ratio;
    reading.afterPreamble = best.afterPreamble;
    reading.tail = best.tail;
    if (best.mode < 0 || !(best.ratio > 0)) return reading;
    // The first block start within the input; where a preamble's tail precedes one, that one (a
    // preamble spans a whole block, and a block start before its tail lies within it).
    const index_t B = block_frames(kModes[best.mode]);
    const index_t frame =
        best.afterPreamble ? best.tailFrame : fr.first + ((best.residue - fr.first) % B + B) % B;
    out.found = true;
    out.mode = best.mode;
    out.blockStart = static_cast<double>(t.window + frame * g.frame() * M + 1);
    return reading;
}

// Where the patterns win, the frames of each probe geometry that placed no block where they do are
// read again, timed on that block start: a transmission with probes closes its blocks with d1 and
// d2, patterns of the other four columns, and so shows a 75 bit/s block boundary there too, while
// its own geometry's timing may have fallen on another path or in a fade. A reading counts, and
// wins, where it is sure within its geometry (kRereadSure, against its other modes and places)
// and its frames claim more than the patterns' (its closing probes there, plainer than what the
// patterns make of them): at a low SNR the tails alone do not tell a 75 bit/s preamble's end from
// another mode's, d1 or d2 apart, and in a 75 bit/s transmission's frames the best of another
// geometry's many places is chosen by chance.
constexpr double kRereadSure = 0.9;

void reread_boundary(const ComplexArray& x, index_t M, double power, double N0,
                     std::vector<GeometryReading>& counted, std::size_t& best) {
    const BlocklockOut placed = counted[best].out;
    if (!geometry_of(kModes[placed.mode]).patterns()) return;
    const auto start = static_cast<index_t>(placed.blockStart) - 1;
    for (const Geometry& g : kGeometries) {
        if (g.patterns()) continue;
        const bool there = std::any_of(counted.begin(), counted.end(), [&](const auto& r) {
            return geometry_of(kModes[r.out.mode]) == g &&
                   std::abs(r.out.blockStart - placed.blockStart) <= static_cast<double>(M);
        });
        if (there) continue;
        const index_t span = g.cycle() * g.frame() * M;
        const Timing t{g, start % span, placed.score, placed.offset};
        GeometryReading reading = read_boundary(x, t, M, power, &N0);
        const bool sure = 1 / (1 + reading.doubt()) >= kRereadSure;
        if (!reading.out.found || !sure || !(reading.frames() > counted[best].frames())) continue;
        counted.push_back(std::move(reading));
        best = counted.size() - 1;
    }
}

BlocklockOut lock(const ComplexArray& mf, const VarShapping& varShapping,
                  const VarBlocklock& settings, HostServices* host) {
    const index_t M = oversampling_factor(varShapping, kBlock);
    if (!(settings.threshold >= 0)) {
        raise("hfchain:blocklock:BadThreshold",
              "threshold = " + format_value(settings.threshold) + " must be at least 0.");
    }
    if (mf.numel() < kBlocklockShortest * M) {
        raise("hfchain:blocklock:TooShort",
              "The matched-filter output of " + std::to_string(mf.numel()) +
                  " samples is too short: a late entry needs at least " +
                  std::to_string(kBlocklockShortest * M) + " (1440 symbols at " +
                  std::to_string(M) + " samples a symbol).");
    }
    check_bounded(mf, kLargestSample, "MatchedFilterIn", "hfchain:blocklock:NonFinite",
                  "matched-filter samples must be finite.", "hfchain:blocklock:TooLarge",
                  kTooLargeRule.c_str());
    const ImpulseblankOut impulses = impulseblank(mf);
    const ComplexArray cleaned =
        impulses.samples.empty() ? ComplexArray() : blanked(mf, impulses.samples);
    const ComplexArray& x = impulses.samples.empty() ? mf : cleaned;
    double power = 0;
    for (index_t n = 0; n < x.numel(); ++n) power += std::norm(x[n]);
    power /= static_cast<double>(x.numel());

    BlocklockOut out;
    if (power == 0) return out;
    // Every geometry that reaches the threshold is read. Where one with probes scores highest,
    // the highest-scoring one that finds a block wins: a transmission with probes also scores as
    // patterns (its probe runs are scrambled zeros, a piece repeated) and a little in the other
    // probe geometry, at a fraction of its own geometry's score, and where a block could end in a
    // geometry not the transmission's, the likeliest of its many places claims by chance as much
    // as a pair of closing frames read in a fade. Where the patterns score highest, the readings
    // are weighed against each other (margin()): content of one value (a transmission's closing
    // zero bits) and a preamble's patterns score higher as patterns than in their own frames,
    // which show their closing probes far plainer, and with the data run's share cancelled (see
    // search_timing()) the scores of the probe geometries tell little there.
    std::vector<Timing> timings;
    for (const Geometry& g : kGeometries) timings.push_back(search_timing(x, g, M, power, host));
    std::stable_sort(timings.begin(), timings.end(),
                     [](const Timing& a, const Timing& b) { return a.score > b.score; });
    out.score = timings.front().score;
    out.offset = timings.front().offset;
    const bool weigh = timings.front().geometry.patterns();
    std::vector<GeometryReading> counted;  // the readings that found a block and count
    std::size_t best = 0;
    double N0 = 0;  // the highest-scoring geometry's noise power
    for (const Timing& t : timings) {
        // Once a block is found to follow a preamble heard, a transmission is there: the
        // geometries below the threshold are read too (in a fade the frames of the right one may
        // score below it, and a preamble's end fits the first block of every mode).
        const bool heard = !counted.empty() && counted[best].afterPreamble;
        if (t.window < 0 || (t.score < settings.threshold && !heard)) break;
        if (host != nullptr) host->poll_interrupt();
        const bool front = &t == &timings.front();
        GeometryReading reading = read_boundary(x, t, M, power, front ? nullptr : &N0);
        if (front) {
            out.offset = reading.out.offset;
            N0 = reading.N0;
        }
        // Below the threshold, only a block that follows the preamble heard counts.
        if (!reading.out.found || (t.score < settings.threshold && !reading.afterPreamble))
            continue;
        counted.push_back(std::move(reading));
        if (weigh && margin(counted.back(), counted[best], M) > 0) best = counted.size() - 1;
    }
    if (counted.empty()) return out;
    if (weigh) reread_boundary(x, M, power, N0, counted, best);
    const GeometryReading& winner = counted[best];
    double doubt = winner.doubt();
    for (std::size_t k = 0; k < counted.size(); ++k) {
        if (k != best && weigh) doubt += std::exp(-margin(winner, counted[k], M));
    }
    BlocklockOut found = winner.out;
    found.confidence = 1 / (1 + doubt);
    return found;
}

}  // namespace

BlocklockOut blocklock(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                       const VarBlocklock& settings) {
    return lock(MatchedFilterIn, varShapping, settings, nullptr);
}

BlocklockOut blocklock(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                       const VarBlocklock& settings, HostServices& host) {
    return lock(MatchedFilterIn, varShapping, settings, &host);
}

}  // namespace hfchain
