#include "receiver/modelock/modelock.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "params/modes.hpp"
#include "params/preamble.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "receiver/freqlock/diffsum.hpp"
#include "receiver/layout/reception.hpp"
#include "receiver/modelock/common_sums.hpp"
#include "runtime/checks.hpp"
#include "runtime/complexmath.hpp"
#include "transmitter/constellation.hpp"
#include "transmitter/scrambler.hpp"

namespace hfchain {

namespace {

// The symbols every segment of every mode shares (the values before d1), their coarse segments,
// and the symbols a reading needs (through the last count value).
constexpr index_t kCommon = kD1Value * kPatternSymbols;
constexpr index_t kCoarseCount = kCommon / kCoarseSegment;
constexpr index_t kRead = (kCountValue + kCountDigits) * kPatternSymbols;
constexpr int kReadValues = kCountValue + kCountDigits - kD1Value;

// The most segments a preamble has.
constexpr int kMostSegments = [] {
    int most = 0;
    for (const Mode& m : kModes) most = std::max(most, preamble_segments(m.interLen));
    return most;
}();

// Symbols a sampling phase scores at once (their work arrays stay within a megabyte).
constexpr index_t kChunkSymbols = 2048;

// After the first window that reaches the threshold, a segment's own window is the best of the
// next kPeakSpan symbols (less than a segment, so that the next segment's is not among them).
// The first window that reaches the threshold may be a sidelobe of a segment: one 96 symbols
// before or after it holds three of the nine values of the common symbols in place, one 160
// before it two of them. They lie within a segment
// before a segment's own window, the strongest path up to kMaxPathSpread symbols after the
// first, and every sidelobe is weaker than the window it belongs to.
constexpr index_t kPeakSpan = kSegmentSymbols - 1;

// The known symbols each path's gain is measured on: the last two values before d1, next to the
// values read, so that a small error in the offset turns the phase little between them.
constexpr index_t kGainSymbols = 2 * kPatternSymbols;

// The noise power is taken as at least this share of the received power, so that a clean signal
// gives large but finite likelihoods.
constexpr double kLeastNoise = 1e-3;

// The values read coherently, through the paths' gains: d1 and d2, within 64 symbols of the
// symbols the gains are measured on. The count's values lie up to 160 symbols (67 ms) away, over
// which paths of a few hertz of Doppler spread turn: each is read by the size of its paths'
// correlations combined through their gains, whatever the phase they turned by since.
constexpr int kCoherentValues = 2;

const std::string kTooLargeRule = "modelock takes samples up to " + format_value(kLargestSample) +
                                  " in magnitude, so that its sums of products cannot overflow.";

// What the search and the reading correlate with, built once: the conjugated points of the
// common symbols, and of the 32 symbols of every value's pattern scrambled as a segment's value
// is (the preamble sequence has period 32, so every value of a segment is scrambled alike).
struct References {
    std::vector<cdouble> common;
    std::array<std::array<cdouble, kPatternSymbols>, kPskPhases> patterns;
};

const References& references() {
    static const References refs = [] {
        References r;
        const ModeParams mode = rateconf(kModes[0].rate, kModes[0].interLen);
        r.common = conjugated_preamble(mode);
        r.common.resize(static_cast<std::size_t>(kCommon));
        const auto& points = psk_points();
        for (int v = 0; v < kPskPhases; ++v) {
            for (int i = 0; i < kPatternSymbols; ++i) {
                const int value = static_cast<int>(mode.chSymMapping(i, v)) + kSequencia[i];
                r.patterns[v][i] = std::conj(points[value % kPskPhases]);
            }
        }
        return r;
    }();
    return refs;
}

// The detection statistic of a normalised sum: |N| over its count of terms.
double statistic(cdouble N) { return std::abs(N) / static_cast<double>(kCoarseCount - 1); }

// The statistic of the one window at x, term by term.
double window_statistic(const cdouble* x, index_t M, const std::vector<cdouble>& p) {
    return statistic(detail::normalised_sum(x, M, p));
}

struct Peak {
    index_t window = -1;  // 0-based sample of the best window
    double score = 0;
    int segments = 1;  // the segments from it whose statistics were added
};

// freqlock's differential sum at window w, added over `segments` consecutive segments from it:
// each turns by the same offset, so their sum gives it even where one segment lies in a fade.
cdouble segments_sum(const cdouble* x, index_t w, int segments, index_t M,
                     const std::vector<cdouble>& p) {
    cdouble D = 0.0;
    for (int k = 0; k < segments; ++k) {
        D += differential_sum(x + w + k * kSegmentSymbols * M, M, p, kCoarseSegment, kCoarseCount);
    }
    return D;
}

// The sampling phases the search scores: every `step`-th of the M, step the largest whole number
// of samples within 0.4 symbol, so that every window lies within a fifth of a symbol of one
// scored. There a segment's statistic is at least 0.87 of its best (the raised-cosine pulse at a
// fifth of a symbol is 0.93, and the sum D goes with its square), so a scored window that reaches
// kPhaseLoss of the threshold has its neighbours scored exactly.
constexpr double kPhaseLoss = 0.8;
index_t phase_step(index_t M) { return std::max<index_t>(1, (2 * M) / 5); }

// A preamble too weak for any one segment to reach the threshold (at a low SNR, or with every
// segment in a fade of some path) is still found by three consecutive segments together: the
// sums N of the windows w, w + 480 M and w + 960 M add with the same angle (that of the offset),
// so their sum, over its 3 x 35 terms, reaches kJointShare of the threshold where each reaches it
// alone. On noise alone the sum of three has a third of the variance of one, so its tail at
// kJointShare of the threshold lies about as far out (0.62^2 x 3 = 1.15 as many standard
// deviations squared).
constexpr int kJointSegments = 3;
constexpr double kJointShare = 0.62;

// The joint statistic of window v: |N(v) + N(v + 480 M) + N(v + 960 M)| over its 3 x 35 terms.
double joint_statistic(const cdouble* x, index_t v, index_t M, const std::vector<cdouble>& p) {
    cdouble N = 0.0;
    for (int k = 0; k < kJointSegments; ++k) {
        N += detail::normalised_sum(x + v + k * kSegmentSymbols * M, M, p);
    }
    return std::abs(N) / static_cast<double>(kJointSegments * (kCoarseCount - 1));
}

// The windows first .. last (0-based, inclusive) searched a chunk at a time: the first, in order,
// that reaches `threshold` among the neighbours (less than `step` samples away) of the scored
// windows that reach kPhaseLoss of it, their statistic computed exactly; or, where a scored
// window w's joint statistic (kept the last two segments' sums) reaches kPhaseLoss of
// kJointShare of the threshold, the first of its neighbours whose joint statistic reaches that
// share, searched as the window 960 symbols before w; or window -1.
index_t first_crossing(const cdouble* x, index_t first, index_t last, index_t M,
                       const std::vector<cdouble>& p, double threshold, HostServices* host) {
    detail::CommonSums common(p);
    const index_t step = phase_step(M);
    const index_t chunk = kChunkSymbols * M;
    const index_t segment = kSegmentSymbols * M;
    const index_t back = (kJointSegments - 1) * segment;
    std::vector<cdouble> N(static_cast<std::size_t>(chunk));
    std::vector<cdouble> kept(static_cast<std::size_t>(back));  // N(w) at (w - first) mod back
    // kPhaseLoss of the thresholds as |N|^2 (no square root a window).
    const double terms = static_cast<double>(kCoarseCount - 1);
    const double near = std::pow(kPhaseLoss * threshold * terms, 2);
    const double joint = kJointShare * threshold;
    const double near_joint = std::pow(kPhaseLoss * joint * kJointSegments * terms, 2);
    for (index_t c0 = first; c0 <= last; c0 += chunk) {
        if (host != nullptr) host->poll_interrupt();
        const index_t W = std::min(chunk, last - c0 + 1);
        common.sums(x, c0, W, M, N.data(), step);
        for (index_t w = 0; w < W; ++w) {
            if ((w % M) % step != 0) continue;
            const index_t at = c0 + w;
            cdouble& older = kept[static_cast<std::size_t>((at - first) % back)];
            const cdouble& old = kept[static_cast<std::size_t>((at - first + segment) % back)];
            const index_t v0 = at - back;
            if (v0 >= first && std::norm(older + old + N[w]) >= near_joint) {
                const index_t to = std::min(last - back, v0 + step - 1);
                for (index_t v = std::max(first, v0 - step + 1); v <= to; ++v) {
                    if (joint_statistic(x, v, M, p) >= joint) return v;
                }
            }
            older = N[w];
            if (!(std::norm(N[w]) >= near)) continue;
            const index_t from = std::max(first, at - step + 1);
            const index_t to = std::min(last, at + step - 1);
            for (index_t v = from; v <= to; ++v) {
                if (window_statistic(x + v, M, p) >= threshold) return v;
            }
        }
    }
    return -1;
}

// The best window from `first` to `last`: the one whose statistic, added over it and the windows
// of the kPeakSegments - 1 segments after it (those that fit in the input, up to window
// last_fit), is the largest. A sidelobe of a segment in a fade may outscore the segment's own
// window, but seldom its own window and those of the segments after it together. Its own
// statistic is computed exactly.
constexpr int kPeakSegments = 3;

Peak best_window(const cdouble* x, index_t first, index_t last, index_t last_fit, index_t M,
                 const std::vector<cdouble>& p) {
    const index_t W = last - first + 1;
    std::vector<cdouble> N(static_cast<std::size_t>(W));
    std::vector<double> sum(static_cast<std::size_t>(W), 0.0);
    detail::CommonSums common(p);
    Peak peak;
    peak.segments = 0;
    for (int k = 0; k < kPeakSegments; ++k) {
        const index_t shift = k * kSegmentSymbols * M;
        if (last + shift > last_fit) break;
        common.sums(x, first + shift, W, M, N.data());
        for (index_t w = 0; w < W; ++w) sum[w] += statistic(N[w]);
        ++peak.segments;
    }
    peak.window = first + (std::max_element(sum.begin(), sum.end()) - sum.begin());
    peak.score = window_statistic(x + peak.window, M, p);
    return peak;
}

// A found segment: its window and its paths (windows a symbol apart around it whose |D|, added
// over `segments` consecutive segments, reaches kPathShare of its own, and whose reading fits in
// the input).
struct Segment {
    index_t window = 0;
    std::vector<index_t> taps;
};

Segment segment_at(const cdouble* x, index_t Lmf, index_t M, index_t window, int segments,
                   const std::vector<cdouble>& p) {
    Segment s{window, {}};
    const double own = std::abs(segments_sum(x, window, segments, M, p));
    for (index_t i = -kMaxPathSpread; i <= kMaxPathSpread; ++i) {
        const index_t t = window + i * M;
        if (t < 0 || t + (kRead - 1) * M > Lmf - 1) continue;
        const double d = i == 0 ? own : std::abs(segments_sum(x, t, segments, M, p));
        if (d >= kPathShare * own) s.taps.push_back(t);
    }
    return s;
}

// Segment s moved by `shift` samples, with the paths whose reading fits in the input.
Segment shifted(const Segment& s, index_t shift, index_t Lmf, index_t M) {
    Segment moved{s.window + shift, {}};
    for (const index_t t : s.taps) {
        if (t + shift >= 0 && t + shift + (kRead - 1) * M <= Lmf - 1)
            moved.taps.push_back(t + shift);
    }
    return moved;
}

// Log-likelihoods of the eight values at each read position of a segment (d1, d2, C1..C3), from
// its paths: each path's gain h is measured on the kGainSymbols known symbols before d1, and N0 is
// the received power less the paths'. d1 and d2 score 2 Re(conj(h) z) / N0 added over the paths,
// z a value's correlation with the offset taken out. The count's values lie up to 67 ms after the
// gains' symbols, over which fading paths turn each by its own phase: each path scores
// log I0(2 |h| |z| / N0), the likelihood of a path of that size at any phase, and the paths add.
using Reading = std::array<std::array<double, kPskPhases>, kReadValues>;

// log I0(v) for v >= 0, by its series where that is exact and its expansion beyond.
double log_bessel_i0(double v) {
    if (v < 30) return std::log(std::cyl_bessel_i(0.0, v));
    return v - 0.5 * std::log(2 * std::numbers::pi * v) + std::log1p(1 / (8 * v));
}

// A segment's reading, with its received power and the noise's (the power its paths leave).
struct SegmentReading {
    Reading L{};
    double received = 0;
    double noise = 0;
};

SegmentReading read_segment(const cdouble* x, index_t M, const Segment& s, double offset,
                            const References& refs) {
    const double per_sample = offset / (kSymbolRate * static_cast<double>(M));
    const cdouble step = std::polar(1.0, -2 * std::numbers::pi * per_sample * M);
    double received = 0;
    for (index_t k = 0; k < kCommon; ++k) received += std::norm(x[s.window + k * M]);
    received /= static_cast<double>(kCommon);
    std::vector<cdouble> r(static_cast<std::size_t>(kRead));
    std::vector<std::array<cdouble, kReadValues * kPskPhases>> z(s.taps.size());
    std::vector<cdouble> gains(s.taps.size());
    double paths = 0;
    for (std::size_t t = 0; t < s.taps.size(); ++t) {
        const index_t w = s.taps[t];
        double turns = per_sample * static_cast<double>(w);
        turns -= std::round(turns);
        cdouble phasor = std::polar(1.0, -2 * std::numbers::pi * turns);
        for (index_t k = 0; k < kRead; ++k) {
            r[k] = cmul(x[w + k * M], phasor);
            phasor = cmul(phasor, step);
        }
        cdouble h = 0.0;
        for (index_t k = kCommon - kGainSymbols; k < kCommon; ++k) h += r[k] * refs.common[k];
        gains[t] = h / static_cast<double>(kGainSymbols);
        paths += std::norm(gains[t]);
        for (int b = 0; b < kReadValues; ++b) {
            const cdouble* block = r.data() + kCommon + b * kPatternSymbols;
            for (int v = 0; v < kPskPhases; ++v) {
                cdouble c = 0.0;
                for (int i = 0; i < kPatternSymbols; ++i) c += block[i] * refs.patterns[v][i];
                z[t][b * kPskPhases + v] = c;
            }
        }
    }
    const double noise =
        std::max({received - paths, kLeastNoise * received, std::numeric_limits<double>::min()});
    SegmentReading out{{}, received, noise};
    Reading& L = out.L;
    for (int b = 0; b < kReadValues; ++b) {
        for (int v = 0; v < kPskPhases; ++v) {
            double sum = 0;
            for (std::size_t t = 0; t < s.taps.size(); ++t) {
                const cdouble c = std::conj(gains[t]) * z[t][b * kPskPhases + v];
                sum += b < kCoherentValues ? 2 * c.real() / noise
                                           : log_bessel_i0(2 * std::abs(c) / noise);
            }
            L[b][v] = sum;
        }
    }
    return out;
}

// A position's log-likelihoods as the decision weighs them: a reading is taken as wrong with
// probability kMisread, whatever it says, so that one misread value (a path that turned, a burst
// of noise) costs at most log(1 / kMisread); each less that of a value not known (the log of the
// mean of exp(L) over the eight values), so that a position outside the preamble counts 0.
// Against that, a segment that holds other values (data, at the power of the preamble) counts
// less than 0 on average for the value a hypothesis puts there, as it should; but so does a
// reading of noise alone (a segment in a fade, or noise before the transmission), and then the
// hypotheses that leave faded segments out of their preamble (another count, or a mode whose
// preamble is shorter) would win. So the weights are also lowered by `noise_share` (the share of
// the segment's power that is noise) of their mean over the eight values: a reading of noise
// alone then counts 0 on average, whatever the value. read_around() does so for the segments
// after the found one only, which lie within the transmission.
constexpr double kMisread = 0.02;

std::array<double, kPskPhases> weighed(const std::array<double, kPskPhases>& L,
                                       double noise_share) {
    const double top = *std::max_element(L.begin(), L.end());
    double mean = 0;
    for (const double l : L) mean += std::exp(l - top);
    mean /= kPskPhases;
    std::array<double, kPskPhases> w{};
    double typical = 0;
    for (int v = 0; v < kPskPhases; ++v) {
        w[v] = std::log((1 - kMisread) * std::exp(L[v] - top) + kMisread * mean) - std::log(mean);
        typical += w[v] / kPskPhases;
    }
    for (double& x : w) x -= noise_share * typical;
    return w;
}

// The readings of consecutive segments as weighed(): weighed[k] that of the segment k - found
// after the found one (earlier segments first).
struct Readings {
    std::vector<Reading> weighed;
    int found = 0;
};

// The mode and count that fit the readings best: a count c for the found segment says the one n
// segments after it holds c - n, within 0 .. the mode's segments - 1 (n may be negative); the
// segments outside the preamble count 0. A find of `before` + 1
// segments together may begin up to `before` segments ahead of the preamble (the sum of three
// windows reaches the threshold through the last alone): c then runs to the mode's segments - 1 +
// before, the windows ahead of the preamble holding values not known.
void decide(const Readings& readings, int before, ModelockOut& out) {
    const auto K = static_cast<int>(readings.weighed.size());
    double best = -std::numeric_limits<double>::infinity();
    std::vector<double> per_mode(std::size(kModes), best);
    for (std::size_t m = 0; m < std::size(kModes); ++m) {
        const Mode& mode = kModes[m];
        const int segments = preamble_segments(mode.interLen);
        for (int c = 0; c < segments + before; ++c) {
            double score = 0;
            for (int k = 0; k < K; ++k) {
                const int left = c - (k - readings.found);
                if (left < 0 || left >= segments) continue;
                const auto values = segment_values(mode.d1, mode.d2, left);
                for (int b = 0; b < kReadValues; ++b) {
                    score += readings.weighed[k][b][values[kD1Value + b]];
                }
            }
            if (score > per_mode[m]) per_mode[m] = score;
            if (score > best) {
                best = score;
                out.mode = static_cast<int>(m);
                out.segmentsLeft = c;
            }
        }
    }
    double runner = -std::numeric_limits<double>::infinity();
    for (std::size_t m = 0; m < per_mode.size(); ++m) {
        if (static_cast<int>(m) != out.mode) runner = std::max(runner, per_mode[m]);
    }
    out.confidence = std::tanh((best - runner) / 2);
}

// Every segment a preamble around the found one could hold, within the input and from the first
// window searched on: the segments that reached the threshold through their own paths, the
// others (in a fade, or below the threshold at a low SNR) through the found segment's paths.
Readings read_around(const cdouble* x, index_t Lmf, index_t M, index_t first,
                     const std::vector<Segment>& found, double offset, const References& refs) {
    const index_t segment = kSegmentSymbols * M;
    const Segment& own = found.front();
    std::vector<SegmentReading> read;
    Readings readings;
    for (int n = -(kMostSegments - 1); n < kMostSegments; ++n) {
        const index_t shift = n * segment;
        if (own.window + shift < first) continue;
        const Segment s = n >= 0 && n < static_cast<int>(found.size())
                              ? found[static_cast<std::size_t>(n)]
                              : shifted(own, shift, Lmf, M);
        if (s.taps.empty() || s.window + (kCommon - 1) * M > Lmf - 1) {
            if (n >= 0) break;
            continue;
        }
        if (n == 0) readings.found = static_cast<int>(read.size());
        read.push_back(read_segment(x, M, s, offset, refs));
    }
    // The noise's power is the found segment's. A segment before the found one may be noise
    // before the transmission, and weighed as one outside the preamble such segments would let
    // the preamble reach back into it by chance: those keep the weights that count noise a little
    // against a hypothesis that takes it for a segment.
    const double noise = read[static_cast<std::size_t>(readings.found)].noise;
    for (std::size_t k = 0; k < read.size(); ++k) {
        const SegmentReading& r = read[k];
        const bool after = static_cast<int>(k) > readings.found;
        const double share = !after ? 0.0 : r.received > noise ? noise / r.received : 1.0;
        auto& w = readings.weighed.emplace_back();
        for (int b = 0; b < kReadValues; ++b) w[b] = weighed(r.L[b], share);
    }
    return readings;
}

// A 1-based sample setting as a 0-based window, within 0 .. limit (a huge value is limit).
index_t window_setting(double value, index_t limit) {
    if (value - 1 >= static_cast<double>(limit)) return limit;
    return static_cast<index_t>(value) - 1;
}

void check_settings(const VarModelock& settings) {
    if (!(settings.threshold > 0 && settings.threshold <= 1)) {
        raise("hfchain:modelock:BadThreshold",
              "settings.threshold = " + format_value(settings.threshold) +
                  " must lie in (0, 1]: the detection statistic of a clean segment is 1.");
    }
    const auto whole = [](double v, double least) {
        return v >= least && v == std::floor(v) && std::isfinite(v);
    };
    if (!whole(settings.from, 1) || !whole(settings.to, 0) ||
        (settings.to != 0 && settings.to < settings.from)) {
        raise("hfchain:modelock:BadRange",
              "settings.from = " + format_value(settings.from) +
                  " and settings.to = " + format_value(settings.to) +
                  " must be whole sample numbers, from >= 1 and to >= from (to = 0: as far as a "
                  "segment fits).");
    }
}

ModelockOut search(const ComplexArray& mf, const VarShapping& varShapping,
                   const VarModelock& settings, HostServices* host) {
    const index_t M = oversampling_factor(varShapping, "modelock");
    check_settings(settings);
    check_bounded(mf, kLargestSample, "MatchedFilterIn", "hfchain:modelock:NonFinite",
                  "matched-filter samples must be finite.", "hfchain:modelock:TooLarge",
                  kTooLargeRule.c_str());
    const References& refs = references();
    const std::vector<cdouble>& p = refs.common;
    const index_t Lmf = mf.numel();
    const cdouble* x = mf.data();

    // The windows searched: those after which a whole segment fits.
    ModelockOut out;
    const index_t last_fit = Lmf - 1 - (kSegmentSymbols - 1) * M;
    if (last_fit < 0) return out;
    const index_t first = window_setting(settings.from, last_fit + 1);
    const index_t last =
        settings.to == 0 ? last_fit : std::min(last_fit, window_setting(settings.to, last_fit));
    if (first > last) return out;
    const index_t crossing = first_crossing(x, first, last, M, p, settings.threshold, host);
    if (crossing < 0) return out;
    const Peak peak =
        best_window(x, crossing, std::min(last_fit, crossing + kPeakSpan * M), last_fit, M, p);
    out.found = true;
    out.score = peak.score;
    out.start = static_cast<double>(peak.window + 1);

    // The segments that follow it within the input: those whose statistics placed it (through its
    // paths), then while each reaches the threshold (through its own).
    std::vector<Segment> segments{segment_at(x, Lmf, M, peak.window, peak.segments, p)};
    for (index_t w = peak.window + kSegmentSymbols * M; w + (kSegmentSymbols - 1) * M <= Lmf - 1;
         w += kSegmentSymbols * M) {
        const auto k = static_cast<int>(segments.size());
        if (k >= kMostSegments) break;
        if (k < peak.segments) {
            segments.push_back(shifted(segments.front(), w - peak.window, Lmf, M));
            continue;
        }
        if (window_statistic(x + w, M, p) < settings.threshold) break;
        segments.push_back(segment_at(x, Lmf, M, w, 1, p));
    }

    // The offset: coarse from the found window, fine over every path of every segment.
    if (host != nullptr) host->poll_interrupt();
    std::vector<index_t> taps;
    for (const Segment& s : segments) taps.insert(taps.end(), s.taps.begin(), s.taps.end());
    const cdouble D = segments_sum(x, peak.window, peak.segments, M, p);
    out.offset = fine_offset(x, Lmf, M, p, offset_of(D, kCoarseSegment), taps);

    decide(read_around(x, Lmf, M, first, segments, out.offset, refs), peak.segments - 1, out);
    const Mode& mode = kModes[out.mode];
    const double segment = static_cast<double>(kSegmentSymbols * M);
    // A find that began ahead of the preamble starts on its first segment.
    const int ahead = out.segmentsLeft - (preamble_segments(mode.interLen) - 1);
    if (ahead > 0) {
        out.start += ahead * segment;
        out.segmentsLeft -= ahead;
    }
    out.preambleStart =
        out.start - (preamble_segments(mode.interLen) - 1 - out.segmentsLeft) * segment;
    out.firstData = out.start + (out.segmentsLeft + 1) * segment;
    return out;
}

}  // namespace

ModelockOut modelock(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                     const VarModelock& settings) {
    return search(MatchedFilterIn, varShapping, settings, nullptr);
}

ModelockOut modelock(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                     const VarModelock& settings, HostServices& host) {
    return search(MatchedFilterIn, varShapping, settings, &host);
}

}  // namespace hfchain
