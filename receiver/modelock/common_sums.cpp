#include "receiver/modelock/common_sums.hpp"

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
    }
}

void CommonSums::sums(const cdouble* x, index_t first, index_t W, index_t M, cdouble* D,
                      index_t step) {
    const auto segments = static_cast<index_t>(quarter_.size());
    const auto& points = psk_points();
    for (index_t o = 0; o < M && o < W; o += step) {
        const index_t Ws = (W - o + M - 1) / M;  // windows first + o + M s, s < Ws
        const index_t span = Ws + segments * S - 1;
        const index_t starts = Ws + (segments - 1) * S;  // segment starts n < starts
        const auto rot_size = static_cast<std::size_t>(kPskPhases * span);
        const auto c_size = static_cast<std::size_t>(kQuarters * kRows * starts);
        if (rot_re_.size() < rot_size) rot_re_.resize(rot_size), rot_im_.resize(rot_size);
        if (c_re_.size() < c_size) c_re_.resize(c_size), c_im_.resize(c_size);
        // The eight rotations y_m conj(s) of the symbol-spaced samples.
        const cdouble* y = x + first + o;
        for (int k = 0; k < kPskPhases; ++k) {
            const double cr = points[k].real(), ci = points[k].imag();
            double* re = rot_re_.data() + k * span;
            double* im = rot_im_.data() + k * span;
            for (index_t m = 0; m < span; ++m) {
                const double yr = y[m * M].real(), yi = y[m * M].imag();
                re[m] = yr * cr + yi * ci;
                im[m] = yi * cr - yr * ci;
            }
        }
        // The four patterns' correlations at every segment start n, for each quarter.
        for (int q = 0; q < kQuarters; ++q) {
            const double* ur[S];
            const double* ui[S];
            for (index_t i = 0; i < S; ++i) {
                const index_t k = sequence_[q * S + i];
                ur[i] = rot_re_.data() + k * span + i;
                ui[i] = rot_im_.data() + k * span + i;
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
        // D(s) = sum over j of c_{j+1}(s + 8 (j + 1)) conj(c_j(s + 8 j)).
        dr_.assign(static_cast<std::size_t>(Ws), 0.0);
        di_.assign(dr_.size(), 0.0);
        double* dr = dr_.data();
        double* di = di_.data();
        for (index_t j = 0; j + 1 < segments; ++j) {
            const index_t a = (quarter_[j] * kRows + pattern_[j]) * starts + j * S;
            const index_t b = (quarter_[j + 1] * kRows + pattern_[j + 1]) * starts + (j + 1) * S;
            const double* pr = c_re_.data() + a;
            const double* pi = c_im_.data() + a;
            const double* nr = c_re_.data() + b;
            const double* ni = c_im_.data() + b;
            for (index_t s = 0; s < Ws; ++s) {
                dr[s] += nr[s] * pr[s] + ni[s] * pi[s];
                di[s] += ni[s] * pr[s] - nr[s] * pi[s];
            }
        }
        for (index_t s = 0; s < Ws; ++s) D[o + s * M] = cdouble(dr[s], di[s]);
    }
}

}  // namespace hfchain::detail
