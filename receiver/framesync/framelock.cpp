#include "receiver/framesync/framelock.hpp"

#include <cmath>

#include "receiver/framesync/corr_column.hpp"
#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"
#include "transmitter/scrambler.hpp"

namespace hfchain {

namespace {

// The preamble symbols the scrambler processes, and the window length: 288 symbols, the first
// 288 of the scrambled preamble, are correlated against every candidate start.
constexpr index_t kPreambleRead = 1440;
constexpr index_t kWindow = 288;

}  // namespace

RealArray framelock(const ComplexArray& SincroFrameIn, const Milstd& milstd,
                    const VarShapping& varShapping) {
    const ComplexArray& dados_sincro_in = SincroFrameIn;
    const index_t L = dados_sincro_in.numel();
    const double OS = varShapping.oversamplingFactor;

    // 1. Reference: the scrambled preamble symbol numbers used as plain numbers. The scrambler
    // runs over 1440 preamble symbols, so the preamble must hold them, though only the first 288
    // enter the correlation.
    const RealArray& preamSync = milstd.preamSync;
    if (preamSync.numel() < kPreambleRead) {
        check_index(preamSync.numel() + 1, preamSync.numel(), "milstd.preamSync");
    }
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
    const index_t stride = static_cast<index_t>(OS);

    // 5. The maximum of an empty set of magnitudes does not exist.
    if (n_windows == 0) {
        raise(errid::kMinMaxEmpty, "The maximum needs at least one candidate window.");
    }

    // 3.-6. Correlation magnitude of each window, with the arithmetic of corrPearson; the first
    // window that is a number starts the running maximum, only a strictly greater one replaces
    // it, so equal magnitudes keep the earliest window. No window that is a number: empty result.
    const detail::CentredReference ref = detail::centre_reference(r.data(), kWindow);
    index_t best = -1;
    double a_max = 0.0;
    for (index_t w = 0; w < n_windows; ++w) {
        const cdouble c =
            detail::column_coefficient(dados_sincro_in.data() + w, stride, ref, kWindow);
        const double a = std::hypot(c.real(), c.imag());
        if (std::isnan(a)) continue;
        if (best < 0 || a > a_max) {
            best = w;
            a_max = a;
        }
    }
    if (best < 0) return RealArray(0);
    return RealArray{static_cast<double>(best + 1)};
}

}  // namespace hfchain
