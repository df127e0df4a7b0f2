#include "receiver/modelock/common_sums.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "receiver/freqlock/diffsum.hpp"
#include "transmitter/constellation.hpp"
#include "transmitter/scrambler.hpp"

namespace hfchain::detail {

namespace {

constexpr index_t S = kCoarseSegment;
constexpr index_t kHalf = S / 2;  // the pattern signs repeat after kHalf symbols
constexpr int kRows = 4;          // Hadamard rows: the patterns a segment can hold
constexpr index_t kSequence = 32;
constexpr int kQuarters = kSequence / S;

// Sign of row r at i of the 4 x 4 Hadamard matrix (++++, +-+-, ++--, +--+).
double hadamard(int r, index_t i) {
    int bits = r & static_cast<int>(i);
    int parity = 0;
    for (; bits != 0; bits &= bits - 1) parity ^= 1;
    return parity != 0 ? -1.0 : 1.0;
}

}  // namespace

CommonSums::CommonSums(const std::vector<cdouble>& p)
    : sequence_(kSequencia.begin(), kSequencia.end()) {
    const auto& points = psk_points();
    const auto segments = static_cast<index_t>(p.size()) / S;
    for (index_t j = 0; j < segments; ++j) {
        double b[S];
        for (index_t i = 0; i < S; ++i) {
            const cdouble sign =
                p[j * S + i] / std::conj(points[sequence_[(j * S + i) % kSequence]]);
            b[i] = std::round(sign.real());
            if (std::abs(sign - b[i]) > 1e-9 || std::abs(b[i]) != 1) {
                throw std::logic_error("modelock: a common symbol is not a sequence point");
            }
        }
        int row = -1;
        for (int r = 0; r < kRows && row < 0; ++r) {
            bool same = true;
            for (index_t i = 0; i < S; ++i) same = same && b[i] == hadamard(r, i % kHalf);
            if (same) row = r;
        }
        if (row < 0) throw std::logic_error("modelock: a segment's pattern is not a row");
        quarter_.push_back(static_cast<int>(j % kQuarters));
        pattern_.push_back(row);
        row_used_[row] = true;
        if (j % kQuarters != 0 && row != pattern_[j - 1]) {
            throw std::logic_error("modelock: a block's segments hold different patterns");
        }
    }
    if (segments % kQuarters != 0) throw std::logic_error("modelock: a block is not whole");
}

void CommonSums::sums(const cdouble* x, index_t first, index_t W, index_t M, cdouble* D,
                      index_t step) {
    const auto segments = static_cast<index_t>(quarter_.size());
    for (index_t o = 0; o < M && o < W; o += step) {
        Phase ph;
        ph.y = x + first + o;
        ph.M = M;
        ph.Ws = (W - o + M - 1) / M;  // windows first + o + M s, s < Ws
        ph.span = ph.Ws + segments * S - 1;
        ph.starts = ph.Ws + (segments - 1) * S;  // segment starts n < starts
        rotate(ph);
        transform(ph);
        normalise(ph);
        block_products(ph);
        add_products(ph);
        for (index_t s = 0; s < ph.Ws; ++s) D[o + s * M] = cdouble(dr_[s], di_[s]);
    }
}

// The eight rotations y_m conj(s) of the symbol-spaced samples.
void CommonSums::rotate(const Phase& ph) {
    const auto& points = psk_points();
    const auto size = static_cast<std::size_t>(kPskPhases * ph.span);
    if (rot_re_.size() < size) rot_re_.resize(size), rot_im_.resize(size);
    for (int k = 0; k < kPskPhases; ++k) {
        const double cr = points[k].real(), ci = points[k].imag();
        double* re = rot_re_.data() + k * ph.span;
        double* im = rot_im_.data() + k * ph.span;
        for (index_t m = 0; m < ph.span; ++m) {
            const double yr = ph.y[m * ph.M].real(), yi = ph.y[m * ph.M].imag();
            re[m] = yr * cr + yi * ci;
            im[m] = yi * cr - yr * ci;
        }
    }
}

// The four patterns' correlations at every segment start n, for each quarter.
void CommonSums::transform(const Phase& ph) {
    const index_t starts = ph.starts;
    const auto size = static_cast<std::size_t>(kQuarters * kRows * starts);
    if (c_re_.size() < size) c_re_.resize(size), c_im_.resize(size);
    for (int q = 0; q < kQuarters; ++q) {
        const double* ur[S];
        const double* ui[S];
        for (index_t i = 0; i < S; ++i) {
            const index_t k = sequence_[q * S + i];
            ur[i] = rot_re_.data() + k * ph.span + i;
            ui[i] = rot_im_.data() + k * ph.span + i;
        }
        double* cr = c_re_.data() + q * kRows * starts;
        double* ci = c_im_.data() + q * kRows * starts;
        for (index_t n = 0; n < starts; ++n) {
            const double u0r = ur[0][n] + ur[4][n], u0i = ui[0][n] + ui[4][n];
            const double u1r = ur[1][n] + ur[5][n], u1i = ui[1][n] + ui[5][n];
            const double u2r = ur[2][n] + ur[6][n], u2i = ui[2][n] + ui[6][n];
            const double u3r = ur[3][n] + ur[7][n], u3i = ui[3][n] + ui[7][n];
            const double ar = u0r + u1r, ai = u0i + u1i, br = u0r - u1r, bi = u0i - u1i;
            const double er = u2r + u3r, ei = u2i + u3i, dr = u2r - u3r, di = u2i - u3i;
            cr[n] = ar + er, ci[n] = ai + ei;                            // ++++
            cr[starts + n] = br + dr, ci[starts + n] = bi + di;          // +-+-
            cr[2 * starts + n] = ar - er, ci[2 * starts + n] = ai - ei;  // ++--
            cr[3 * starts + n] = br - dr, ci[3 * starts + n] = bi - di;  // +--+
        }
    }
}

// Each segment start's correlations over sqrt(S e), e its energy (0 without energy).
void CommonSums::normalise(const Phase& ph) {
    scale_.resize(static_cast<std::size_t>(ph.span));
    double* scale = scale_.data();
    for (index_t m = 0; m < ph.span; ++m) scale[m] = std::norm(ph.y[m * ph.M]);
    for (index_t n = 0; n < ph.starts; ++n) {
        double e = 0;
        for (index_t i = 0; i < S; ++i) e += scale[n + i];
        scale[n] = e > 0 ? 1 / std::sqrt(static_cast<double>(S) * e) : 0.0;
    }
    for (index_t a = 0; a < kQuarters * kRows; ++a) {
        double* cr = c_re_.data() + a * ph.starts;
        double* ci = c_im_.data() + a * ph.starts;
        for (index_t n = 0; n < ph.starts; ++n) {
            cr[n] *= scale[n];
            ci[n] *= scale[n];
        }
    }
}

// N(s) = sum over j of c_{j+1}(s + 8 (j + 1)) conj(c_j(s + 8 j)), both normalised. The three
// products within a 32-symbol block depend on its row alone: Q_r(n), their sum for a block of row
// r at n, serves every block of that row.
void CommonSums::block_products(const Phase& ph) {
    const index_t blocks = static_cast<index_t>(quarter_.size()) / kQuarters;
    const index_t block_starts = ph.Ws + (blocks - 1) * kSequence;
    q_re_.resize(static_cast<std::size_t>(kRows * block_starts));
    q_im_.resize(q_re_.size());
    for (int r = 0; r < kRows; ++r) {
        if (!row_used_[r]) continue;
        double* qr = q_re_.data() + r * block_starts;
        double* qi = q_im_.data() + r * block_starts;
        std::fill(qr, qr + block_starts, 0.0);
        std::fill(qi, qi + block_starts, 0.0);
        for (int q = 0; q + 1 < kQuarters; ++q) {
            const double* pr = c_re_.data() + (q * kRows + r) * ph.starts + q * S;
            const double* pi = c_im_.data() + (q * kRows + r) * ph.starts + q * S;
            const double* nr = c_re_.data() + ((q + 1) * kRows + r) * ph.starts + (q + 1) * S;
            const double* ni = c_im_.data() + ((q + 1) * kRows + r) * ph.starts + (q + 1) * S;
            for (index_t n = 0; n < block_starts; ++n) {
                qr[n] += nr[n] * pr[n] + ni[n] * pi[n];
                qi[n] += ni[n] * pr[n] - nr[n] * pi[n];
            }
        }
    }
}

// Each window's sum: its blocks' Q and the products across blocks.
void CommonSums::add_products(const Phase& ph) {
    const auto segments = static_cast<index_t>(quarter_.size());
    const index_t blocks = segments / kQuarters;
    const index_t block_starts = ph.Ws + (blocks - 1) * kSequence;
    dr_.assign(static_cast<std::size_t>(ph.Ws), 0.0);
    di_.assign(dr_.size(), 0.0);
    double* dr = dr_.data();
    double* di = di_.data();
    for (index_t b = 0; b < blocks; ++b) {
        const index_t at = pattern_[b * kQuarters] * block_starts + b * kSequence;
        const double* qr = q_re_.data() + at;
        const double* qi = q_im_.data() + at;
        for (index_t s = 0; s < ph.Ws; ++s) {
            dr[s] += qr[s];
            di[s] += qi[s];
        }
    }
    for (index_t j = kQuarters - 1; j + 1 < segments; j += kQuarters) {
        const index_t a = (quarter_[j] * kRows + pattern_[j]) * ph.starts + j * S;
        const index_t b = (quarter_[j + 1] * kRows + pattern_[j + 1]) * ph.starts + (j + 1) * S;
        const double* pr = c_re_.data() + a;
        const double* pi = c_im_.data() + a;
        const double* nr = c_re_.data() + b;
        const double* ni = c_im_.data() + b;
        for (index_t s = 0; s < ph.Ws; ++s) {
            dr[s] += nr[s] * pr[s] + ni[s] * pi[s];
            di[s] += ni[s] * pr[s] - nr[s] * pi[s];
        }
    }
}

cdouble normalised_sum(const cdouble* x, index_t M, const std::vector<cdouble>& p) {
    const auto segments = static_cast<index_t>(p.size()) / S;
    cdouble sum = 0.0, previous = 0.0;
    for (index_t j = 0; j < segments; ++j) {
        cdouble c = 0.0;
        double e = 0;
        for (index_t k = j * S; k < (j + 1) * S; ++k) {
            c += x[k * M] * p[k];
            e += std::norm(x[k * M]);
        }
        c = e > 0 ? c / std::sqrt(static_cast<double>(S) * e) : 0.0;
        if (j > 0) sum += c * std::conj(previous);
        previous = c;
    }
    return sum;
}

}  // namespace hfchain::detail
