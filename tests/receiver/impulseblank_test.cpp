// Impulse blanking: which samples it blanks and which data symbols they reach.
#include "receiver/impulseblank/impulseblank.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "params/modeconf.hpp"
#include "runtime/builtin_host.hpp"

namespace hfchain {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// n samples of complex white noise of unit power.
ComplexArray noise(index_t n, double seed) {
    BuiltinHost host(seed);
    const RealArray re = host.randn(n, 1), im = host.randn(n, 1);
    ComplexArray x(n);
    for (index_t k = 0; k < n; ++k) x[k] = cdouble(re[k], im[k]) * std::sqrt(0.5);
    return x;
}

// Samples far above the median magnitude are blanked, and only they: the level is the median's
// power-of-two range, which the impulses do not move; moderate peaks, NaN and Inf (refused after)
// stay; a signal mostly of zeros has no level and keeps everything.
TEST(Impulseblank, BlanksTheSamplesFarAboveTheMedian) {
    struct Case {
        const char* what;
        std::vector<std::pair<index_t, cdouble>> set;  // samples replaced in the noise
        std::vector<index_t> blanked;
        index_t zeros = 0;  // leading samples set to 0
    };
    const Case cases[] = {
        {"noise alone", {}, {}},
        {"one impulse 1e6", {{500, cdouble(1e6, 0)}}, {500}},
        {"1e200, whose square overflows", {{7, cdouble(0, -1e200)}}, {7}},
        {"three impulses", {{0, 1e3}, {999, -1e4}, {400, cdouble(60, 60)}}, {0, 400, 999}},
        {"20 times the RMS stays", {{300, 20.0}}, {}},
        {"NaN and Inf stay", {{10, kNaN}, {20, cdouble(kInf, 0)}, {30, 1e9}}, {30}},
        {"half zeros", {{900, 1e9}}, {}, 500},
    };
    for (const Case& c : cases) {
        ComplexArray x = noise(1000, 3);
        for (index_t k = 0; k < c.zeros; ++k) x[k] = 0.0;
        for (const auto& [k, v] : c.set) x[k] = v;
        const ImpulseblankOut out = impulseblank(x);
        EXPECT_EQ(out.samples, c.blanked) << c.what;
        if (c.zeros == 0) {
            EXPECT_EQ(out.level, 1.0) << c.what;  // the median, ln 2, lies in [0.5, 1)
        }
        const ComplexArray y = blanked(x, out.samples);
        for (index_t k = 0; k < x.numel(); ++k) {
            const bool zeroed = std::find(c.blanked.begin(), c.blanked.end(), k) != c.blanked.end();
            if (zeroed) {
                EXPECT_EQ(y[k], cdouble(0.0, 0.0)) << c.what << " " << k;
            }
        }
    }
}

// A received sample reaches the data symbols whose matched-filter peak, through any path, lies
// within one symbol of it. With D = 6, M = 5, the first symbol peaking at 2 D M + 1 = 61
// (1-based) gathers the received samples around 0-based D M = 30, symbol t around 30 + 5 t
// (the shaping filter's delay). The 2400 bit/s
// mode: 1440 preamble symbols, then frames of 32 data and 16 probe symbols.
TEST(Impulseblank, ReachesTheDataSymbolsWithinOneSymbol) {
    const ModeParams mode = modeconf(0.6);
    const VarShapping vs{0.35, 6, 5};
    const index_t first = 30 + 1440 * 5;  // the sample of the first data symbol through peak 61
    struct Case {
        const char* what;
        std::vector<index_t> samples;
        RealArray peaks;
        std::vector<index_t> symbols;
    };
    const Case cases[] = {
        {"on a symbol", {first + 5 * 3}, RealArray{61}, {3}},
        {"between two", {first + 5 * 3 + 2}, RealArray{61}, {3, 4}},
        {"a later path", {first + 5 * 3 + 10}, RealArray{71}, {3}},
        {"two paths, two symbols apart", {first + 5 * 3}, RealArray{61, 71}, {1, 3}},
        {"in the preamble", {first - 10}, RealArray{61}, {}},
        {"preamble and first symbol", {first - 3}, RealArray{61}, {0}},
        {"last data symbol and the probes",
         {first + 5 * 31 + 1, first + 5 * 40},
         RealArray{61},
         {31}},
        {"the next frame's first", {first + 5 * 48}, RealArray{61}, {32}},
        {"beyond the count", {first + 5 * 48 * 100}, RealArray{61}, {}},
        {"before the signal", {0}, RealArray{61 + 5 * 2000}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(reached_data_symbols(c.samples, c.peaks, vs, mode, 960), c.symbols) << c.what;
    }
}

}  // namespace
}  // namespace hfchain
