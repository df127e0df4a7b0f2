// 95 % intervals of an error rate measured over independent trials.
//
// Errors come in bursts: a decoder error event flips several bits at once, and a deep fade spoils
// a whole interleaver block, so the bits of one trial are not independent and an interval that
// counts them as such (Wilson's) is far too narrow on fading. The trials are: each draws its own
// transmission, fading and noise from its own seeds. A point's rate is the ratio estimator
//   r = sum_i e_i / sum_i b_i        (e_i wrong bits among b_i bits of trial i, n trials)
// and its variance is estimated from the spread between trials (the delta method for a ratio):
//   var(r) = n / (n - 1) * sum_i (e_i - r b_i)^2 / (sum_i b_i)^2,
// so that bursts widen the interval exactly as much as they scatter the trials. The sum of bursts
// is skewed (a few trials hold most of the errors), so the interval is taken on log r, whose
// variance is var(r) / r^2 by the same delta method:
//   r exp(-z s / r) .. r exp(z s / r),   s = sqrt(var(r)), z = 1.959963984540054,
// longer above the rate than below it and never below 0; it is then widened to hold the Wilson
// interval of the pooled bits: bits that err independently can be known no better than that, and
// it is what remains when there are too few trials or no error for a spread (no error at all:
// [0, about 3.8 / sum b_i], the least the interval can be).
//
// With heavy bursts the interval needs error events to hold: over 20 runs of 300 trials on "ruim"
// at SNR(3 kHz) 10 dB (about 25 trials with errors each, most of the errors in a few lost
// blocks) it held the rate of all runs pooled in 17 (the Wilson interval in 2); with the stop
// rule's default of error events it holds about as often as it should (docs/program.md).
// With fewer events it does not: a run that happened to miss a rare heavy event sees neither
// its rate nor its spread, and its interval is too narrow. Such an interval is not widened (its
// values stay what they are) but marked, in every output, as resting on few events.
#pragma once

#include <cstdint>

namespace hfchain::sweep {

struct Interval {
    double low = 0;
    double high = 1;
};

// Wilson score interval for `errors` in `bits` Bernoulli trials at z = 1.959963984540054 (95 %):
// centre (p + z^2/2n) / (1 + z^2/n), half-width z sqrt(p(1-p)/n + z^2/4n^2) / (1 + z^2/n).
// n = 0 gives [0, 1].
Interval wilson_interval(std::int64_t errors, std::int64_t bits);

// What the interval needs of a point's trials besides their sums: the sums of squares and
// products of each trial's wrong bits e_i and bits b_i, and how many trials had a wrong bit (the
// error events). Whole numbers up to 2^53 are summed exactly.
struct TrialSpread {
    std::int64_t trials = 0;
    std::int64_t events = 0;  // trials with e_i > 0
    double errors2 = 0;       // sum e_i^2
    double errorsBits = 0;    // sum e_i b_i
    double bits2 = 0;         // sum b_i^2

    void add(std::int64_t errors, std::int64_t bits) {
        const auto e = static_cast<double>(errors);
        const auto b = static_cast<double>(bits);
        ++trials;
        events += errors > 0 ? 1 : 0;
        errors2 += e * e;
        errorsBits += e * b;
        bits2 += b * b;
    }
};

// An interval over trials resting on fewer error events (trials with a wrong bit) than this is
// marked as such: below it the interval held the rate far less often than 95 % where a few heavy
// events carry most of the errors (docs/program.md). A point without any error is marked too:
// its bound is that of independent bits.
inline constexpr std::int64_t kFewEvents = 30;

inline bool rests_on_few_events(std::int64_t events) { return events < kFewEvents; }

// The exact (Garwood) 95 % interval of the mean of a Poisson count of which `count` were seen:
// the means at which seeing at least `count` (for the low end; 0 when none was seen) or at most
// `count` (for the high end) has probability 2.5 %. count 0 gives [0, 3.689].
Interval poisson_interval(std::int64_t count);

// The 95 % interval over trials of the rate `errors` / `bits`, these being the sums over the
// trials of `spread` (see above).
Interval trial_interval(std::int64_t errors, std::int64_t bits, const TrialSpread& spread);

}  // namespace hfchain::sweep
