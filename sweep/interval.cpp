#include "sweep/interval.hpp"

#include <algorithm>
#include <cmath>

namespace hfchain::sweep {

namespace {

// The two-sided 95 % point of the normal distribution.
constexpr double kZ95 = 1.959963984540054;

// P(X <= k) for X Poisson of mean `mean` (k >= 0), summed in the logarithm's domain.
double poisson_cdf(std::int64_t k, double mean) {
    if (mean <= 0) return 1;
    const double log_mean = std::log(mean);
    double peak = -INFINITY;
    for (std::int64_t i = 0; i <= k; ++i) {
        const auto x = static_cast<double>(i);
        peak = std::max(peak, x * log_mean - mean - std::lgamma(x + 1));
    }
    double sum = 0;
    for (std::int64_t i = 0; i <= k; ++i) {
        const auto x = static_cast<double>(i);
        sum += std::exp(x * log_mean - mean - std::lgamma(x + 1) - peak);
    }
    return std::min(1.0, std::exp(peak) * sum);
}

// The mean at which P(X <= k) falls to `p` (it falls as the mean grows), by bisection.
double poisson_mean_at(std::int64_t k, double p) {
    const auto n = static_cast<double>(k);
    double low = 0;
    double high = n + 20 * std::sqrt(n) + 20;
    for (int step = 0; step < 200 && high - low > 1e-12 * high; ++step) {
        const double mid = (low + high) / 2;
        (poisson_cdf(k, mid) > p ? low : high) = mid;
    }
    return (low + high) / 2;
}

}  // namespace

Interval poisson_interval(std::int64_t count) {
    constexpr double kTail = 0.025;
    if (count <= 0) return {0, poisson_mean_at(0, kTail)};
    return {poisson_mean_at(count - 1, 1 - kTail), poisson_mean_at(count, kTail)};
}

Interval wilson_interval(std::int64_t errors, std::int64_t bits) {
    if (bits <= 0) return {};
    const double n = static_cast<double>(bits);
    const double p = static_cast<double>(errors) / n;
    const double z2n = kZ95 * kZ95 / n;
    const double centre = (p + z2n / 2) / (1 + z2n);
    const double half = kZ95 * std::sqrt(p * (1 - p) / n + z2n / (4 * n)) / (1 + z2n);
    return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

Interval trial_interval(std::int64_t errors, std::int64_t bits, const TrialSpread& spread) {
    Interval wilson = wilson_interval(errors, bits);
    if (bits <= 0 || spread.trials < 2) return wilson;
    const double B = static_cast<double>(bits);
    const double r = static_cast<double>(errors) / B;
    // sum (e_i - r b_i)^2, expanded; the terms are exact sums, so only a spread near zero can
    // come out a rounding error below it.
    const double scatter =
        std::max(0.0, spread.errors2 - 2 * r * spread.errorsBits + r * r * spread.bits2);
    if (errors <= 0) return wilson;
    const auto n = static_cast<double>(spread.trials);
    const double s = std::sqrt(n / (n - 1) * scatter) / B;
    const double factor = std::exp(kZ95 * s / r);
    return {std::min(wilson.low, r / factor), std::min(1.0, std::max(wilson.high, r * factor))};
}

}  // namespace hfchain::sweep
