#include "receiver/impulseblank/impulseblank.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "params/modes.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

ImpulseblankOut impulseblank(const ComplexArray& x) {
    ImpulseblankOut out;
    const index_t n = x.numel();
    const double* d = reinterpret_cast<const double*>(x.data());
    double largest = 0;  // the largest |x|^2 (NaN samples pass unseen)
    for (index_t k = 0; k < n; ++k) {
        const double p = d[2 * k] * d[2 * k] + d[2 * k + 1] * d[2 * k + 1];
        largest = p > largest ? p : largest;
    }
    BinadeCount binades;
    for (index_t k = 0; k < n; k += kLevelStride) binades.add(std::norm(x[k]));
    const double level = binades.median_ceiling();
    // The median in the lowest range (0 or subnormal) or the highest (Inf, NaN): no level.
    if (!(level > 0x1p-1022 && std::isfinite(level))) return out;
    out.level = level;
    out.peak = largest / level;
    const double threshold = kBlankRatio * kBlankRatio * level;
    if (!(largest > threshold)) return out;
    for (index_t k = 0; k < n; ++k) {
        const cdouble v = x[k];
        // |x|^2 is +Inf for a finite sample beyond 1e154: blanked.
        if (std::isfinite(v.real()) && std::isfinite(v.imag()) && std::norm(v) > threshold) {
            out.samples.push_back(k);
        }
    }
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
    if (uses_patterns(mode)) data = frame;
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
