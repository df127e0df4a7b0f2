#include "receiver/framesync/framelock.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "receiver/framesync/corr_column.hpp"
#include "receiver/framesync/framelock_direct.hpp"
#include "receiver/layout/layout.hpp"
#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"
#include "transmitter/scrambler.hpp"

namespace hfchain {

namespace {

// The preamble symbols the scrambler processes, and the window length: 288 symbols, the first
// 288 of the scrambled preamble, are correlated against every candidate start.
constexpr index_t kPreambleRead = 1440;
constexpr index_t kWindow = 288;

// The candidate windows of one call, once the inputs have passed the checks.
struct Windows {
    const cdouble* x = nullptr;  // the signal; window w (0-based) starts at x[w]
    index_t stride = 0;          // OS: samples between two symbols of a window
    index_t count = 0;           // 288 OS windows
    detail::CentredReference ref;
};

// Steps 1, 2 and 5 of the search: the reference, the window count and every check, in the order
// the block has always made them.
Windows prepare(const ComplexArray& dados_sincro_in, const ModeParams& mode,
                const VarShapping& varShapping) {
    const index_t L = dados_sincro_in.numel();
    const double OS = varShapping.oversamplingFactor;

    // 1. Reference: the scrambled preamble symbol numbers used as plain numbers. The scrambler
    // runs over 1440 preamble symbols, so the preamble must hold them, though only the first 288
    // enter the correlation.
    const RealArray& preamSync = mode.preamSync;
    if (preamSync.numel() < kPreambleRead) {
        check_index(preamSync.numel() + 1, preamSync.numel(), "milstd.preamSync");
    }
    check_preamble_symbols(mode);
    RealArray r(kWindow);
    for (index_t k = 0; k < kWindow; ++k) r[k] = mod(preamSync[k] + kSequencia[k % 32], 8.0);

    // 2. Candidate windows: window w holds the samples w, w + OS, ..., w + 287 OS. They are read
    // straight from the signal rather than copied into a 288 x 288 OS matrix.
    const double windows_value = kWindow * OS;
    const index_t n_windows =
        check_nonnegative(check_integer(windows_value, "aux_correlacao"), "aux_correlacao");
    if (n_windows > 0) {
        if (OS != std::floor(OS)) check_index(1.0 + OS, L, "dados_sincro_in");
        check_index((2 * kWindow - 1) * OS, L, "dados_sincro_in");
    }

    // 5. The maximum of an empty set of magnitudes does not exist.
    if (n_windows == 0) {
        raise(errid::kMinMaxEmpty, "The maximum needs at least one candidate window.");
    }

    Windows windows;
    windows.x = dados_sincro_in.data();
    windows.stride = static_cast<index_t>(OS);
    windows.count = n_windows;
    windows.ref = detail::centre_reference(r.data(), kWindow);
    return windows;
}

// The correlation magnitude of window w with the arithmetic of corrPearson: the value the
// search compares.
double exact_magnitude(const Windows& windows, index_t w) {
    const cdouble c =
        detail::column_coefficient(windows.x + w, windows.stride, windows.ref, kWindow);
    return std::hypot(c.real(), c.imag());
}

// Windows between two interrupt polls.
constexpr index_t kWindowsPerPoll = 256;

// ---------------------------------------------------------------------------------------------
// The fast pass. It bounds every window's magnitude a(w) within an interval [lo(w), hi(w)]
// computed from cheap sums; the exact rule then only needs the windows whose hi reaches the
// largest lo, since every other window lies strictly below the maximum (see `search` below).
//
// What the pass computes, per window, with u = 2^-53 and m = 288:
//   - the sums of the real and imaginary parts, the means and the centred samples a_k + j b_k,
//     and the cross terms sum a_k yc_k and sum b_k yc_k, each with the same operations in the
//     same order as column_coefficient (lane by lane, k ascending, no fused multiply-add: this
//     library is built with -ffp-contract=off), so they are bit for bit the ones the exact rule
//     computes (the sign of the imaginary cross term aside, which the magnitude ignores;
//     rounding to nearest is symmetric, so the negated sum is the sum of the negated terms);
//   - N_f = sum a_k^2 + sum b_k^2 instead of the exact rule's N_e = sum hypot(|a_k|, |b_k|)^2;
//   - s, c = cross / s / t as the exact rule does, and v = min(sqrt(c_re^2 + c_im^2), 1).
//
// Error bound. With T = sum (a_k^2 + b_k^2) in real numbers, summing m non-negative rounded
// terms gives N_f within T (1 +- u)^(m+1), and (the C library's hypot being within 1 ulp, as
// glibc states, a relative 2u) N_e within T (1 +- 2u)^2 (1 +- u)^m. Hence N_e = N_f (1 + theta)
// with |theta| <= (2m + 8) u. The square roots halve that and add u each; the two divisions of each
// path add 4u between them and scale both components alike (the cross terms and t are shared), so
// the unclamped magnitudes satisfy |c_e| = |c_f| (1 + phi) with |phi| <= (m + 10) u; hypot (2u) and
// the fast pass's sqrt of a sum of squares (2u) leave the exact rule's unclamped magnitude m_e
// within v' (1 +- (m + 16) u), v' being the fast value before its clamp. The clamp maps m_e > 1 to
// a value within 1 +- 5u (the components divided by hypot, then hypot again), so the compared
// magnitude a = (m_e <= 1 ? m_e : ~1) lies in
//     [v (1 - eps) - tau, v (1 + eps) + tau],  v = min(v', 1),
// for any eps >= (m + 16) u = 3.4e-14 and tau >= 8u = 8.9e-16. The pass uses eps = 2^-40
// (9.1e-13) and tau = 2^-45 (2.8e-14): margins of over 25, which also absorb the rounding of
// the two lines computing lo and hi and would cover a hypot ten times less accurate.
//
// Where the bound holds. Underflow adds absolute errors of at most a few times 2^-1074 per
// operation; requiring N_f >= 2^-800 keeps them far below u relative to N_f, and those in the
// final components (cross / s / t with t >= 2^-100) far below tau. Requiring N_f <= 2^1000 and
// t <= 2^100 rules out overflow in both paths (|cross| <= sqrt(T) t (1 + m u) by the
// Cauchy-Schwarz inequality, so cross / s stays near t). A window outside these ranges, or
// holding NaN or infinity (which make N_f NaN or infinite), gets hi = +Inf and lo = -Inf: it is
// always re-done by the exact rule and never sets the bar. With t outside [2^-100, 2^100] (a
// reference of enormous or tiny values, or a constant one) no window is certain and the exact
// rule does them all.
constexpr double kEps = 0x1p-40;
constexpr double kTau = 0x1p-45;
constexpr double kSmallestEnergy = 0x1p-800;
constexpr double kLargestEnergy = 0x1p1000;
constexpr double kSmallestNorm = 0x1p-100;
constexpr double kLargestNorm = 0x1p100;

// W doubles in one vector register; may_alias and aligned(8) allow loads anywhere in a double
// array.
template <int W>
struct Lanes {
    typedef double type __attribute__((vector_size(8 * W), aligned(8), may_alias));
};

// Cross terms and centred energies of the B windows w0 .. w0 + B - 1, whose samples of symbol k
// lie side by side at x + 2 (w0 + k stride), real and imaginary parts interleaved: each lane of
// a vector follows one real or imaginary part of one window. Writes, per window j, cross[2j],
// cross[2j + 1] (sum a_k yc_k, sum b_k yc_k) and energy[j] = N_f.
template <int W, int B>
__attribute__((always_inline)) inline void block_sums(const double* x, index_t stride,
                                                      const double* yc, double* cross,
                                                      double* energy) {
    using vec = typename Lanes<W>::type;
    constexpr int kVectors = 2 * B / W;
    const index_t pitch = 2 * stride;

    vec sum[kVectors];
    for (int v = 0; v < kVectors; ++v) sum[v] = vec{};
    for (index_t k = 0; k < kWindow; ++k) {
        const double* row = x + k * pitch;
        for (int v = 0; v < kVectors; ++v) sum[v] += *reinterpret_cast<const vec*>(row + W * v);
    }
    vec mean[kVectors];
    for (int v = 0; v < kVectors; ++v) mean[v] = sum[v] / static_cast<double>(kWindow);

    vec cr[kVectors];
    vec sq[kVectors];
    for (int v = 0; v < kVectors; ++v) cr[v] = sq[v] = vec{};
    for (index_t k = 0; k < kWindow; ++k) {
        const double* row = x + k * pitch;
        const double y = yc[k];
        for (int v = 0; v < kVectors; ++v) {
            const vec xc = *reinterpret_cast<const vec*>(row + W * v) - mean[v];
            cr[v] += xc * y;
            sq[v] += xc * xc;
        }
    }
    for (int v = 0; v < kVectors; ++v) {
        for (int l = 0; l < W; l += 2) {
            const int j = (W * v + l) / 2;
            cross[2 * j] = cr[v][l];
            cross[2 * j + 1] = cr[v][l + 1];
            energy[j] = sq[v][l] + sq[v][l + 1];
        }
    }
}

// The interval [lo, hi] of every window w = first .. last - 1 (see above), B windows at a time
// (first and last are multiples of B): writes each hi[w] and returns the largest lo.
template <int W, int B>
__attribute__((always_inline)) inline double bound_windows(const Windows& windows, index_t first,
                                                           index_t last, double* hi) {
    const double* x = reinterpret_cast<const double*>(windows.x);
    const double t = windows.ref.t;
    double cross[2 * B];
    double energy[B];
    double bar = -std::numeric_limits<double>::infinity();
    for (index_t w0 = first; w0 < last; w0 += B) {
        block_sums<W, B>(x + 2 * w0, windows.stride, windows.ref.yc.data(), cross, energy);
        for (index_t j = 0; j < B; ++j) {
            const double n = energy[j];
            double v = std::numeric_limits<double>::quiet_NaN();
            if (n >= kSmallestEnergy && n <= kLargestEnergy) {
                const double s = std::sqrt(n);
                const double c_re = cross[2 * j] / s / t;
                const double c_im = cross[2 * j + 1] / s / t;
                v = std::sqrt(c_re * c_re + c_im * c_im);
                if (v > 1.0) v = 1.0;
            }
            if (v >= 0.0 && v <= 1.0) {
                bar = std::fmax(bar, v * (1.0 - kEps) - kTau);
                hi[w0 + j] = v * (1.0 + kEps) + kTau;
            } else {
                hi[w0 + j] = std::numeric_limits<double>::infinity();
            }
        }
    }
    return bar;
}

// The same code for 512-bit, 256-bit and the baseline 128-bit vectors, each lane doing the same
// operations in the same order. Window counts, 288 OS, are multiples of every block size.
constexpr index_t kWideBlock = 16;
constexpr index_t kBlock = 8;
static_assert(kWindow % kWideBlock == 0 && kWindowsPerPoll % kWideBlock == 0);

__attribute__((target("avx512f"))) double bound_windows_avx512(const Windows& windows,
                                                               index_t first, index_t last,
                                                               double* hi) {
    return bound_windows<8, kWideBlock>(windows, first, last, hi);
}

__attribute__((target("avx2"))) double bound_windows_avx2(const Windows& windows, index_t first,
                                                          index_t last, double* hi) {
    return bound_windows<4, kBlock>(windows, first, last, hi);
}

double bound_windows_baseline(const Windows& windows, index_t first, index_t last, double* hi) {
    return bound_windows<2, kBlock>(windows, first, last, hi);
}

enum class Kernel { baseline, avx2, avx512 };

Kernel best_kernel() {
    if (__builtin_cpu_supports("avx512f")) return Kernel::avx512;
    if (__builtin_cpu_supports("avx2")) return Kernel::avx2;
    return Kernel::baseline;
}

// 3.-6. The search. Every window gets its interval; `bar` is the largest lo. A window whose exact
// magnitude is the maximum a_max has hi >= a_max >= (the magnitude of the window that set the
// bar) >= bar, so every maximum, the first included, is among the windows with hi >= bar; every
// other window is a number strictly below a_max. The exact rule run over those windows alone,
// in ascending order (the first window that is a number starts the running maximum, only a
// strictly greater one replaces it, NaN skipped), therefore returns the window it returns over
// all of them. With no certain window the bar is -Inf and the exact rule sees every window.
RealArray search(const Windows& windows, HostServices* host, Kernel kernel) {
    const index_t n = windows.count;
    RealArray hi(n);
    double bar = -std::numeric_limits<double>::infinity();
    if (windows.ref.t >= kSmallestNorm && windows.ref.t <= kLargestNorm) {
        for (index_t first = 0; first < n; first += kWindowsPerPoll) {
            if (host != nullptr) host->poll_interrupt();
            const index_t last = first + kWindowsPerPoll < n ? first + kWindowsPerPoll : n;
            double range_bar = bar;
            switch (kernel) {
                case Kernel::avx512:
                    range_bar = bound_windows_avx512(windows, first, last, hi.data());
                    break;
                case Kernel::avx2:
                    range_bar = bound_windows_avx2(windows, first, last, hi.data());
                    break;
                case Kernel::baseline:
                    range_bar = bound_windows_baseline(windows, first, last, hi.data());
                    break;
            }
            bar = std::fmax(bar, range_bar);
        }
    } else {
        for (index_t w = 0; w < n; ++w) hi[w] = std::numeric_limits<double>::infinity();
    }

    index_t best = -1;
    double a_max = 0.0;
    index_t exact_done = 0;
    for (index_t w = 0; w < n; ++w) {
        if (!(hi[w] >= bar)) continue;
        if (host != nullptr && ++exact_done % kWindowsPerPoll == 0) host->poll_interrupt();
        const double a = exact_magnitude(windows, w);
        if (std::isnan(a)) continue;
        if (best < 0 || a > a_max) {
            best = w;
            a_max = a;
        }
    }
    if (best < 0) return RealArray(0);
    return RealArray{static_cast<double>(best + 1)};
}

}  // namespace

RealArray framelock(const ComplexArray& SincroFrameIn, const ModeParams& mode,
                    const VarShapping& varShapping) {
    return search(prepare(SincroFrameIn, mode, varShapping), nullptr, best_kernel());
}

RealArray framelock(const ComplexArray& SincroFrameIn, const ModeParams& mode,
                    const VarShapping& varShapping, HostServices& host) {
    return search(prepare(SincroFrameIn, mode, varShapping), &host, best_kernel());
}

namespace detail {

std::vector<int> framelock_kernel_widths() {
    std::vector<int> widths{128};
    if (__builtin_cpu_supports("avx2")) widths.push_back(256);
    if (__builtin_cpu_supports("avx512f")) widths.push_back(512);
    return widths;
}

RealArray framelock_kernel(const ComplexArray& SincroFrameIn, const ModeParams& mode,
                           const VarShapping& varShapping, int width) {
    const std::vector<int> widths = framelock_kernel_widths();
    if (std::find(widths.begin(), widths.end(), width) == widths.end()) {
        raise("hfchain:framesync:NoKernel",
              "This processor has no " + std::to_string(width) + "-bit kernel for framelock.");
    }
    const Kernel kernel =
        width == 512 ? Kernel::avx512 : (width == 256 ? Kernel::avx2 : Kernel::baseline);
    return search(prepare(SincroFrameIn, mode, varShapping), nullptr, kernel);
}

RealArray framelock_direct(const ComplexArray& SincroFrameIn, const ModeParams& mode,
                           const VarShapping& varShapping) {
    const Windows windows = prepare(SincroFrameIn, mode, varShapping);
    // 3.-6. Correlation magnitude of each window; the first window that is a number starts the
    // running maximum, only a strictly greater one replaces it, so equal magnitudes keep the
    // earliest window. No window that is a number: empty result.
    index_t best = -1;
    double a_max = 0.0;
    for (index_t w = 0; w < windows.count; ++w) {
        const double a = exact_magnitude(windows, w);
        if (std::isnan(a)) continue;
        if (best < 0 || a > a_max) {
            best = w;
            a_max = a;
        }
    }
    if (best < 0) return RealArray(0);
    return RealArray{static_cast<double>(best + 1)};
}

}  // namespace detail

}  // namespace hfchain
