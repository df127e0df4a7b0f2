#include "runtime/numeric.hpp"

#include <cmath>
#include <limits>

namespace hfchain {

double BinadeCount::median_ceiling() const noexcept {
    if (total_ == 0) return 0;
    index_t seen = 0;
    for (int b = 0; b < 2047; ++b) {
        seen += bins_[b];
        if (2 * seen >= total_) return std::ldexp(1.0, b - 1022);
    }
    return std::numeric_limits<double>::infinity();
}

double round_half_away(double x) noexcept { return std::round(x); }

std::int32_t to_int32_saturating(double x) noexcept {
    if (std::isnan(x)) return 0;
    const double r = std::round(x);
    if (r >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (r <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(r);
}

std::int32_t mul_saturating(std::int32_t a, std::int32_t b) noexcept {
    const std::int64_t p = static_cast<std::int64_t>(a) * b;
    if (p > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (p < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(p);
}

double fix(double x) noexcept { return std::trunc(x); }

double mod(double x, double y) noexcept {
    if (y == 0.0) return x;
    if (y == std::floor(y)) return x - std::floor(x / y) * y;
    const double q = x / y;
    if (std::fabs(q - std::round(q)) <= 2.220446049250313e-16 * std::fabs(q)) return 0.0;
    return y * (q - std::floor(q));
}

double rem(double x, double y) noexcept { return x - std::trunc(x / y) * y; }

IntArray find(const BoolArray& mask) {
    index_t count = 0;
    for (const bool b : mask) count += b ? 1 : 0;
    IntArray out(count);
    index_t k = 0;
    for (index_t i = 0; i < mask.numel(); ++i) {
        if (mask[i]) out[k++] = i + 1;
    }
    return out;
}

}  // namespace hfchain
