#include "receiver/impulseblank/impulseblank.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace hfchain {

ImpulseblankOut impulseblank(const ComplexArray& x) {
    ImpulseblankOut out;
    const index_t n = x.numel();
    if (n == 0) return out;
    // |x|^2 of every sample, NaN as +Inf so that the order is total.
    RealArray power(n);
    for (index_t k = 0; k < n; ++k) {
        const double p = std::norm(x[k]);
        power[k] = std::isnan(p) ? std::numeric_limits<double>::infinity() : p;
    }
    // The median: the upper middle value when n is even.
    double* middle = power.data() + n / 2;
    std::nth_element(power.data(), middle, power.data() + n);
    out.level = *middle;
    if (!(out.level > 0 && std::isfinite(out.level))) return out;
    const double threshold = kBlankRatio * kBlankRatio * out.level;
    double largest = 0;
    for (index_t k = 0; k < n; ++k) {
        const cdouble v = x[k];
        if (!std::isfinite(v.real()) || !std::isfinite(v.imag())) continue;
        const double p = std::norm(v);  // +Inf for a finite sample beyond 1e154: blanked
        largest = std::max(largest, p);
        if (p > threshold) out.samples.push_back(k);
    }
    out.peak = largest / out.level;
    return out;
}

ComplexArray blanked(const ComplexArray& x, const std::vector<index_t>& samples) {
    ComplexArray out = x;
    for (const index_t k : samples) {
        if (k >= 0 && k < out.numel()) out[k] = 0.0;
    }
    return out;
}

namespace {

// A whole number of at least `least` within 32 bits, else -1.
index_t whole(double v, double least) {
    return v >= least && v < 2147483648.0 && v == std::floor(v) ? static_cast<index_t>(v) : -1;
}

// The data symbol that transmitted symbol t is, or -1 (preamble, probe, beyond `count`).
index_t data_symbol(index_t t, index_t preamble, index_t data, index_t frame, index_t count) {
    if (t < preamble) return -1;
    const index_t f = (t - preamble) / frame, j = (t - preamble) % frame;
    const index_t k = f * data + j;
    return j < data && k < count ? k : -1;
}

}  // namespace

std::vector<index_t> reached_data_symbols(const std::vector<index_t>& samples,
                                          const RealArray& peaks, const VarShapping& varShapping,
                                          const ModeParams& mode, index_t count) {
    std::vector<index_t> reached;
    const index_t M = whole(varShapping.oversamplingFactor, 1);
    const index_t D = whole(varShapping.pulseDelay, 0);
    const index_t trein = whole(mode.trein, 0);
    index_t data = whole(mode.data, 1);
    if (M < 0 || D < 0 || trein < 0 || data < 0 || samples.empty()) return reached;
    const index_t frame = data + trein;
    if (mode.rate == 75) data = frame;
    const index_t preamble = mode.preamSync.numel();
    for (const double peak : peaks) {
        if (!std::isfinite(peak) || std::abs(peak) > 1e15) continue;
        const auto P = static_cast<index_t>(std::llround(peak));
        // Symbol t peaks at matched-filter sample P - 1 + t M (0-based), which gathers the
        // received samples around P - 1 + t M - D M: sample s lies within one symbol of it
        // for t = u / M when M divides u = s + D M - P + 1, else for floor(u / M) and the next.
        for (const index_t s : samples) {
            const index_t u = s + D * M - P + 1;
            const index_t q = u >= 0 ? u / M : -((-u + M - 1) / M);
            for (index_t t = q; t <= q + (u == q * M ? 0 : 1); ++t) {
                const index_t k = data_symbol(t, preamble, data, frame, count);
                if (k >= 0) reached.push_back(k);
            }
        }
    }
    std::sort(reached.begin(), reached.end());
    reached.erase(std::unique(reached.begin(), reached.end()), reached.end());
    return reached;
}

}  // namespace hfchain
