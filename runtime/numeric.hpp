// Numeric rules shared by every block, with the host's exact conventions.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "runtime/array.hpp"

namespace hfchain {

// A floor for a divisor that can round to 0 (a pivot, 1 - rho^2): far below any value a
// computation means, yet its reciprocal (1e300) stays finite.
inline constexpr double kSmallestDivisor = 1e-300;

// Counts of non-negative values by power-of-two range: a median that one value, or any share of
// the values under half, cannot move, found in one pass without sorting, to within a factor 2.
class BinadeCount {
public:
    // Counts a >= 0 (0 and subnormals count in the lowest range, +Inf and NaN in the highest).
    void add(double a) noexcept {
        ++bins_[(std::bit_cast<std::uint64_t>(a) >> 52) & 0x7ff];
        ++total_;
    }
    index_t total() const noexcept { return total_; }
    // The top 2^e of the range [2^(e-1), 2^e) that holds the lower median of the values counted:
    // 2^-1022 for the lowest range (0 and subnormals), +Inf for the highest; 0 when none was.
    double median_ceiling() const noexcept;

private:
    std::array<index_t, 2048> bins_{};
    index_t total_ = 0;
};

// Round to nearest, halves away from zero: round(2.5) = 3, round(-2.5) = -3.
double round_half_away(double x) noexcept;

// Round, then saturate to the signed 32-bit range (NaN gives 0).
std::int32_t to_int32_saturating(double x) noexcept;

// Exact product clamped to the signed 32-bit range.
std::int32_t mul_saturating(std::int32_t a, std::int32_t b) noexcept;

// mod with the sign of the divisor: mod(x, 0) = x; mod(-17, 72) = 55. For a divisor that is not a
// whole number, a quotient within one rounding step of a whole number gives 0.
double mod(double x, double y) noexcept;

// rem with the sign of the dividend: x - fix(x / y) * y; rem(-17, 72) = -17.
double rem(double x, double y) noexcept;

// Truncation toward zero.
double fix(double x) noexcept;

// 1-based positions of the true elements, ascending, as a column.
IntArray find(const BoolArray& mask);

// n copies of the column v stacked in order.
template <class T>
Array<T> repmat(const Array<T>& v, index_t n) {
    const index_t len = v.numel();
    Array<T> out(checked_size_product(len, n < 0 ? 0 : n));
    for (index_t c = 0; c < n; ++c) std::copy(v.begin(), v.end(), out.data() + c * len);
    return out;
}

// The same elements under new sizes; rows * cols must equal the element count
// ("Coder:MATLAB:getReshapeDims_notSameNumel").
template <class T>
Array<T> reshape(Array<T> v, index_t rows, index_t cols) {
    if (checked_size_product(rows, cols) != v.numel()) {
        raise(errid::kReshapeNumel, "To reshape, the number of elements must not change: " +
                                        std::to_string(v.numel()) + " elements cannot become " +
                                        std::to_string(rows) + " x " + std::to_string(cols) + ".");
    }
    v.reshape_in_place(rows, cols);
    return v;
}

}  // namespace hfchain
