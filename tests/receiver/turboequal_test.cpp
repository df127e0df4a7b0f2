#include "receiver/turboequal/turboequal.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "params/rateconf.hpp"
#include "receiver/turboequal/blockmmse.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/receiver/hf_support.hpp"
#include "tests/support/signals.hpp"
#include "transmitter/constellation.hpp"

namespace hfchain {
namespace {

using testing::expect_error;
using testing::standard;
using testing::static_road;
using testing::TwoRay;

const VarShapping kShaping{0.35, 6, 5};

// Solves A x = b for a dense complex matrix by Gaussian elimination with partial pivoting.
std::vector<cdouble> dense_solve(std::vector<std::vector<cdouble>> A, std::vector<cdouble> b) {
    const std::size_t n = b.size();
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < n; ++r) {
            if (std::abs(A[r][c]) > std::abs(A[pivot][c])) pivot = r;
        }
        std::swap(A[c], A[pivot]);
        std::swap(b[c], b[pivot]);
        for (std::size_t r = c + 1; r < n; ++r) {
            const cdouble f = A[r][c] / A[c][c];
            for (std::size_t k = c; k < n; ++k) A[r][k] -= f * A[c][k];
            b[r] -= f * b[c];
        }
    }
    std::vector<cdouble> x(n);
    for (std::size_t i = n; i-- > 0;) {
        cdouble s = b[i];
        for (std::size_t k = i + 1; k < n; ++k) s -= A[i][k] * x[k];
        x[i] = s / A[i][i];
    }
    return x;
}

// The equaliser's banded recursions against the textbook formulas on dense matrices:
// C = H V H^H + W (W: noise plus the unknown part of symbols outside the segment),
// zhat = xbar + h^H C^-1 r / g, zvar = 1 / g - v, g = h^H C^-1 h.
TEST(BlockMmse, MatchesTheDenseSolution) {
    struct Case {
        index_t L;
        index_t count;
        index_t available;  // samples from n0 on (fewer than count + L - 1 cuts the end)
        double outside;     // variance of the symbols around the segment
        bool mixed_priors;  // segment symbols known, certain-ish and uncertain
    };
    const Case cases[] = {
        {1, 8, 100, 0, false}, {3, 8, 100, 0, false},  {7, 12, 100, 0, true},
        {7, 12, 14, 0, false}, {5, 6, 100, 0.5, true}, {12, 32, 100, 0.2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "L " << c.L << ", count " << c.count);
        const index_t n0 = 20;
        const index_t Ny = n0 + c.available;
        const index_t symbols = Ny;
        const index_t L = c.L;
        const ComplexArray taps = random_complex(L * Ny, 11 + L);
        const ComplexArray residual = random_complex(Ny, 12 + L);
        const ComplexArray draws = random_complex(symbols, 13 + L);
        RealArray noise(Ny);
        for (index_t n = 0; n < Ny; ++n) noise[n] = 0.05 + 0.01 * (n % 7);
        ComplexArray mean(symbols);
        RealArray var(symbols);
        for (index_t m = 0; m < symbols; ++m) {
            const bool inside = m >= n0 && m < n0 + c.count;
            mean[m] = 0.3 * draws[m];
            var[m] = inside ? 1.0 : c.outside;
            if (inside && c.mixed_priors) var[m] = (m % 3 == 0) ? 0.0 : (m % 3 == 1 ? 1e-3 : 0.6);
        }
        ChannelView view{taps.data(), residual.data(), noise.data(), L, Ny};
        BlockMmse equaliser(c.count, L);
        std::vector<cdouble> zhat(c.count);
        std::vector<double> zvar(c.count);
        equaliser.equalise(n0, c.count, view, mean, var, zhat.data(), zvar.data());

        const index_t No = std::min(c.count + L - 1, Ny - n0);
        auto h = [&](index_t i, index_t n) { return taps[n * L + i]; };
        std::vector<std::vector<cdouble>> C(No, std::vector<cdouble>(No));
        for (index_t k = 0; k < No; ++k) {
            const index_t n = n0 + k;
            double W = noise[n];
            for (index_t i = 0; i < L && n - i >= 0; ++i) {
                const index_t m = n - i;
                if (m < n0 || m >= n0 + c.count) W += std::norm(h(i, n)) * var[m];
            }
            C[k][k] += W;
        }
        auto column = [&](index_t j) {
            std::vector<cdouble> u(No);
            for (index_t k = j; k < No && k - j < L; ++k) u[k] = h(k - j, n0 + k);
            return u;
        };
        for (index_t j = 0; j < c.count; ++j) {
            const std::vector<cdouble> u = column(j);
            for (index_t a = 0; a < No; ++a) {
                for (index_t b = 0; b < No; ++b) C[a][b] += var[n0 + j] * u[a] * std::conj(u[b]);
            }
        }
        std::vector<cdouble> r(No);
        for (index_t k = 0; k < No; ++k) r[k] = residual[n0 + k];
        for (index_t j = 0; j < c.count; ++j) {
            const double v = var[n0 + j];
            if (v == 0) {
                EXPECT_EQ(zvar[j], 0);
                EXPECT_EQ(zhat[j], mean[n0 + j]);
                continue;
            }
            const std::vector<cdouble> u = column(j);
            const std::vector<cdouble> f = dense_solve(C, u);
            double g = 0;
            cdouble q{};
            for (index_t k = 0; k < No; ++k) {
                g += (std::conj(u[k]) * f[k]).real();
                q += std::conj(f[k]) * r[k];
            }
            const cdouble want = mean[n0 + j] + q / g;
            EXPECT_NEAR(std::abs(zhat[j] - want), 0, 1e-9 * (1 + std::abs(want))) << j;
            EXPECT_NEAR(zvar[j], 1 / g - v, 1e-9 * (1 / g)) << j;
        }
    }
}

// The demapper's ratios against their definition over the eight points, with and without the
// other bits' priors; without priors they agree with softslicer's exact rule.
TEST(Turboequal, SoftDemapperMatchesItsDefinition) {
    const index_t N = 24;
    const ComplexArray z = random_complex(N, 21);
    const ComplexArray pr = random_complex(2 * N, 22);
    std::vector<double> nv(N);
    std::vector<float> prior(3 * N), with(3 * N), without(3 * N);
    for (index_t k = 0; k < N; ++k) nv[k] = 0.05 + 0.1 * (k % 5);
    for (index_t i = 0; i < 3 * N; ++i) {
        prior[i] = static_cast<float>(3 * (i % 2 ? pr[i / 2].imag() : pr[i / 2].real()));
    }
    equaliser_llrs(N, z.data(), nv.data(), prior.data(), with.data());
    equaliser_llrs(N, z.data(), nv.data(), nullptr, without.data());
    const int gray2bina[8] = {0, 1, 3, 2, 7, 6, 4, 5};
    for (index_t k = 0; k < N; ++k) {
        for (int b = 0; b < 3; ++b) {
            double num[2] = {0, 0}, plain[2] = {0, 0};
            for (int v = 0; v < 8; ++v) {
                const cdouble point = std::polar(1.0, std::numbers::pi * gray2bina[v] / 4);
                const double like = std::exp(-std::norm(z[k] - point) / nv[k]);
                double others = 1;
                for (int l = 0; l < 3; ++l) {
                    if (l == b) continue;
                    const int bit = (v >> (2 - l)) & 1;
                    others *= std::exp((bit == 0 ? 0.5 : -0.5) * prior[3 * k + l]);
                }
                const int bit = (v >> (2 - b)) & 1;
                num[bit] += like * others;
                plain[bit] += like;
            }
            // Ratios are clamped at +-50: beyond, a bit is as good as sure.
            const double want = std::clamp(std::log(num[0] / num[1]) - 0.0, -50.0, 50.0);
            const double want_plain = std::clamp(std::log(plain[0] / plain[1]), -50.0, 50.0);
            EXPECT_NEAR(with[3 * k + b], want, 1e-4) << k << " " << b;
            EXPECT_NEAR(without[3 * k + b], want_plain, 1e-4) << k << " " << b;
        }
    }
    ComplexArray zz(N);
    RealArray vv(N);
    for (index_t k = 0; k < N; ++k) {
        zz[k] = z[k];
        vv[k] = nv[k];
    }
    const RealArray exact = softslicer(zz, vv, standard(0.6), SoftRule::exact).LLR;
    for (index_t i = 0; i < 3 * N; ++i) {
        EXPECT_NEAR(without[i], std::clamp(exact[i], -50.0, 50.0), 1e-4) << i;
    }
}

// Without noise, every pass gives back the transmitted data points (descrambled, unbiased): what
// is left is the pulse tails the sounder leaves out of its taps (each under a thousandth of the
// energy), far below the decision distance (0.38), and the stated error variances account for it.
TEST(Turboequal, GivesBackTheDataPointsOfAQuietChannel) {
    for (const double iterations : {0.0, 1.0, 2.0}) {
        const auto road =
            static_road(0.6, 1, TwoRay{24, std::polar(0.6, 1.0), std::polar(1.0, -0.5)}, 80, 17);
        const ChansoundOut s = chansound(road.matched, road.start, standard(0.6), kShaping);
        const TurboequalOut e = turboequal(s, standard(0.6), 1, iterations, TurboStop::all);
        ASSERT_EQ(e.out.numel(), road.tx.ComplexPSKSymbols.numel());
        EXPECT_EQ(e.passes, iterations + 1);
        double worst = 0, error = 0, stated = 0;
        for (index_t k = 0; k < e.out.numel(); ++k) {
            const double d = std::abs(e.out[k] - road.tx.ComplexPSKSymbols[k]);
            worst = std::max(worst, d);
            error += d * d;
            stated += e.noiseVar[k];
        }
        EXPECT_LT(worst, 0.15) << iterations;
        EXPECT_LT(error / e.out.numel(), 1e-3) << iterations;
        EXPECT_GT(error / stated, 0.3) << iterations;
        EXPECT_LT(error / stated, 3.0) << iterations;
    }
}

// Equal to the last bit.
template <typename T>
bool identical(const Array<T>& a, const Array<T>& b) {
    return a.numel() == b.numel() && std::equal(a.data(), a.data() + a.numel(), b.data());
}

// The nearest 8-PSK label of each symbol.
std::vector<int> decisions(const ComplexArray& z) {
    const Constellation& points = constellation(3);
    std::vector<int> d(z.numel());
    for (index_t k = 0; k < z.numel(); ++k) {
        double best = -1e300;
        for (int v = 0; v < points.size; ++v) {
            const double c = (std::conj(points.point[v]) * z[k]).real();
            if (c > best) {
                best = c;
                d[k] = v;
            }
        }
    }
    return d;
}

// Each stop rule ends the loop after the passes it should, and its output is then that of the
// loop run for those passes alone, to the last bit. Where the first pass's decisions are already
// a codeword (a quiet channel, or one well above the noise) the loop stops there, with the plain
// equaliser's output and the decisions the whole loop ends with. In between, the decoder's second
// pass repeats its first one's decisions and `converged` skips the last equaliser pass; `confident`
// sees that already in the first pass's firm ratios. At Es/N0 4 dB (8-PSK gets about one symbol in
// ten wrong) none fires.
TEST(Turboequal, StopRulesEndTheLoopWhereTheDecisionsSettle) {
    struct Case {
        double EsNodB;
        double codeword;   // passes of 3 under TurboStop::codeword
        double converged;  // under TurboStop::converged
        double confident;  // and under TurboStop::confident
    };
    for (const Case& c :
         {Case{80, 1, 1, 1}, Case{25, 1, 1, 1}, Case{12, 3, 2, 1}, Case{4, 3, 3, 3}}) {
        const auto road = static_road(
            0.6, 1, TwoRay{24, std::polar(0.6, 1.0), std::polar(1.0, -0.5)}, c.EsNodB, 17);
        const ChansoundOut s = chansound(road.matched, road.start, standard(0.6), kShaping);
        const TurboequalOut full = turboequal(s, standard(0.6), 1, 2, TurboStop::all);
        EXPECT_EQ(full.passes, 3) << c.EsNodB;
        const std::pair<TurboStop, double> rules[] = {{TurboStop::codeword, c.codeword},
                                                      {TurboStop::converged, c.converged},
                                                      {TurboStop::confident, c.confident}};
        for (const auto& [rule, passes] : rules) {
            const TurboequalOut stopped = turboequal(s, standard(0.6), 1, 2, rule);
            ASSERT_EQ(stopped.passes, passes) << c.EsNodB << " dB, rule " << static_cast<int>(rule);
            const TurboequalOut alone = turboequal(s, standard(0.6), 1, passes - 1, TurboStop::all);
            EXPECT_TRUE(identical(stopped.out, alone.out)) << c.EsNodB;
            EXPECT_TRUE(identical(stopped.noiseVar, alone.noiseVar)) << c.EsNodB;
            if (c.codeword == 1) {
                EXPECT_EQ(decisions(stopped.out), decisions(full.out)) << c.EsNodB;
            }
        }
    }
}

TEST(Turboequal, Failures) {
    const auto road = static_road(0.6, 1, TwoRay{6, 1.0, 0.5}, 20, 3);
    const ChansoundOut s = chansound(road.matched, road.start, standard(0.6), kShaping);
    expect_error([&] { turboequal(s, standard(0.6), 1, -1); }, "hfchain:turboequal:BadIterations",
                 "-1");
    expect_error([&] { turboequal(s, standard(0.6), 1, 1.5); }, "hfchain:turboequal:BadIterations");
    expect_error([&] { turboequal(s, standard(0.6), 1, 11); }, "hfchain:turboequal:BadIterations");
    expect_error([&] { turboequal(s, standard(0.6), 2, 1); }, "hfchain:turboequal:FrameMismatch",
                 "nFrame = 2");
    expect_error([&] { turboequal(s, standard(0.6), 0.01, 1); }, "",
                 "Erro: Total de frames insuficientes para transmissao");
    ChansoundOut cut = s;
    cut.out = ComplexArray(s.out.numel() - 1);
    expect_error([&] { turboequal(cut, standard(0.6), 1, 0); }, errid::kSizeMismatch, "out");
    ChansoundOut narrow = s;
    narrow.gains = ComplexArray(s.gains.rows(), s.gains.cols() - 1);
    expect_error([&] { turboequal(narrow, standard(0.6), 1, 0); }, errid::kSizeMismatch, "gains");
    ModeParams uncoded = standard(0.6);
    uncoded.rate = 4800;
    expect_error([&] { turboequal(s, uncoded, 1, 1); }, "hfchain:turboequal:Uncoded");
    ModeParams no_probes = standard(0.6);
    no_probes.trein = 0;
    expect_error([&] { turboequal(s, no_probes, 1, 0); }, "hfchain:turboequal:UnsupportedMode");
    expect_error([&] { turboequal(s, rateconf(75, 0.6), 1, 0); },
                 "hfchain:turboequal:UnsupportedMode", "needs probes");
}

}  // namespace
}  // namespace hfchain
