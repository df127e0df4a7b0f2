// The per-column arithmetic of the Pearson correlation, shared by `corrPearson` (columns of a
// matrix) and `framelock` (windows read from the signal with a stride), so that both give
// bit-identical coefficients for equal samples.
#pragma once

#include <cmath>

#include "runtime/array.hpp"

namespace hfchain::detail {

// The centred reference yc = y - mean(y) and its norm t = sqrt(sum yc^2), both sums in row order.
struct CentredReference {
    RealArray yc;
    double t = 0.0;
};

inline CentredReference centre_reference(const double* y, index_t m) {
    CentredReference ref{RealArray(m), 0.0};
    double sum = 0.0;
    for (index_t k = 0; k < m; ++k) sum += y[k];
    const double mean = sum / m;
    double energy = 0.0;
    for (index_t k = 0; k < m; ++k) {
        ref.yc[k] = y[k] - mean;
        energy += ref.yc[k] * ref.yc[k];
    }
    ref.t = std::sqrt(energy);
    return ref;
}

// Pearson coefficient of the m samples x[0], x[stride], ..., x[(m - 1) stride] with the centred
// reference: mean, centring, cross term conj(xc)' * yc, column norm from hypot magnitudes, the
// two divisions, then the clamp to magnitude 1. Every sum runs over the rows in order.
inline cdouble column_coefficient(const cdouble* x, index_t stride, const CentredReference& ref,
                                  index_t m) {
    double sum_re = 0.0;
    double sum_im = 0.0;
    for (index_t k = 0; k < m; ++k) {
        sum_re += x[k * stride].real();
        sum_im += x[k * stride].imag();
    }
    const double mean_re = sum_re / m;
    const double mean_im = sum_im / m;

    double cross_re = 0.0;
    double cross_im = 0.0;
    double norm2 = 0.0;
    for (index_t k = 0; k < m; ++k) {
        const double xc_re = x[k * stride].real() - mean_re;
        const double xc_im = x[k * stride].imag() - mean_im;
        cross_re += xc_re * ref.yc[k];
        cross_im += -xc_im * ref.yc[k];
        const double magnitude = std::hypot(std::fabs(xc_re), std::fabs(xc_im));
        norm2 += magnitude * magnitude;
    }
    const double s = std::sqrt(norm2);
    double c_re = cross_re / s / ref.t;
    double c_im = cross_im / s / ref.t;

    // The clamp keeps the phase; NaN compares false and stays.
    const double magnitude = std::hypot(c_re, c_im);
    if (magnitude > 1.0) {
        c_re /= magnitude;
        c_im /= magnitude;
    }
    return {c_re, c_im};
}

}  // namespace hfchain::detail
