// The decoders' one rule for the coded-bit ratios they take: ln P(bit = 0) / P(bit = 1), positive
// favouring 0, 0 an erased bit, +-Inf a sure bit. A NaN says nothing a decoder could use, not
// even "unknown" (that is 0), so both decoders refuse it, naming the element.
//
// Outliers. A ratio more than kOutlierMedians times the top of the power-of-two range that holds
// the median magnitude (of the finite non-zero ratios) is an outlier: an impulse a receiver let
// through, not a measurement, since ordinary ratios lie far below it (the median over a block of
// noisy or faded bits is within a small factor of its typical ratio). Neither decoder lets one
// rule the others: the Viterbi's scale counts it at that bound, the soft-output decoder
// saturates it there.
#pragma once

#include <cmath>
#include <limits>

#include "runtime/array.hpp"
#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

inline constexpr double kOutlierMedians = 64;

// The top of the power-of-two range that holds the median magnitude of x(0..n-1), read over
// every third finite non-zero magnitude (every one when n < 192); 0 when there is none. NaN
// values are not counted.
inline double ratio_median_ceiling(const double* x, index_t n) {
    constexpr double kMax = std::numeric_limits<double>::max();
    BinadeCount binades;
    const index_t stride = n >= 3 * 64 ? 3 : 1;
    for (index_t k = 0; k < n; k += stride) {
        const double a = std::fabs(x[k]);
        if (a > 0.0 && a <= kMax) binades.add(a);
    }
    return binades.median_ceiling();
}

// The bound above which a ratio is an outlier, from ratio_median_ceiling: kOutlierMedians times
// it; +Inf when it is 0 (no finite non-zero ratio).
inline double outlier_bound(double ceiling) {
    return ceiling > 0 ? kOutlierMedians * ceiling : std::numeric_limits<double>::infinity();
}

// Raises `identifier` for the first NaN in DecoderIn: "DecoderIn(k) is NaN: a log-likelihood
// ratio must be a number (0 marks an erased bit)."
inline void check_ratios(const RealArray& DecoderIn, const char* identifier) {
    check_not_nan(DecoderIn, "DecoderIn", identifier,
                  "a log-likelihood ratio must be a number (0 marks an erased bit).");
}

}  // namespace hfchain
