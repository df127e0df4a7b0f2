#include "receiver/patternslicer/patternslicer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "params/rateconf.hpp"
#include "receiver/demux/unframer.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/receiver/expect_error.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr index_t kLs = 32;
constexpr double kPi = std::numbers::pi;

const ModeParams& mode75() {
    static const ModeParams m = rateconf(75, 0.6);
    return m;
}

// The value a pair of coded bits goes out as, from the transmitter's rules: the pair read as a
// binary number u (first bit most significant), Gray-mapped by gray2bina = 0, 1, 3, 2.
int value_of(int b1, int b2) {
    constexpr int kGray[4] = {0, 1, 3, 2};
    return kGray[2 * b1 + b2];
}

// The pattern of value v for block k (1-based) as points: column v + 1 of chSymMapping, or v + 5
// on every 45th block (0.6 s).
std::vector<cdouble> pattern(int v, index_t k) {
    const index_t column = v + (k % 45 == 0 ? 4 : 0);
    std::vector<cdouble> s(kLs);
    for (index_t i = 0; i < kLs; ++i)
        s[i] = std::polar(1.0, kPi * mode75().chSymMapping(i, column) / 4);
    return s;
}

// ln of the sum of exp(x) over the values.
double log_sum_exp(const std::vector<double>& x) {
    const double top = *std::max_element(x.begin(), x.end());
    double sum = 0;
    for (const double v : x) sum += std::exp(v - top);
    return top + std::log(sum);
}

// -sum |y - g s|^2 / N0 over one block.
double log_likelihood(const cdouble* y, const std::vector<cdouble>& s, cdouble g, double N0) {
    double d = 0;
    for (index_t i = 0; i < kLs; ++i) d += std::norm(y[i] - g * s[i]);
    return -d / N0;
}

// Phases of the channel the noncoherent brute force averages (exact) or maximises (max-log)
// over; the trapezoid rule on a periodic analytic integrand is exact to rounding once the grid is
// much finer than the peak's width, 1 / sqrt(2 a |c| / N0) (below 1e3 here: 0.03 rad).
constexpr int kPhases = 2048;

// The ratios of block k by brute force: for each of the four bit pairs, the likelihood of the
// whole block under the model, then the sum (exact) or the largest (max-log) over the pairs of
// each bit value.
std::vector<double> brute_force(const cdouble* y, index_t k, cdouble h, double N0,
                                PatternDetection detection, SoftRule rule) {
    double metric[2][2];  // [b1][b2]
    for (int b1 = 0; b1 < 2; ++b1) {
        for (int b2 = 0; b2 < 2; ++b2) {
            const std::vector<cdouble> s = pattern(value_of(b1, b2), k);
            if (detection == PatternDetection::coherent) {
                metric[b1][b2] = log_likelihood(y, s, h, N0);
                continue;
            }
            std::vector<double> over_phase(kPhases);
            for (int p = 0; p < kPhases; ++p) {
                over_phase[p] =
                    log_likelihood(y, s, std::polar(std::abs(h), 2 * kPi * p / kPhases), N0);
            }
            metric[b1][b2] = rule == SoftRule::exact
                                 ? log_sum_exp(over_phase) - std::log(kPhases)
                                 : *std::max_element(over_phase.begin(), over_phase.end());
        }
    }
    const auto combine = [&](std::vector<double> x) {
        return rule == SoftRule::exact ? log_sum_exp(x) : *std::max_element(x.begin(), x.end());
    };
    return {combine({metric[0][0], metric[0][1]}) - combine({metric[1][0], metric[1][1]}),
            combine({metric[0][0], metric[1][0]}) - combine({metric[0][1], metric[1][1]})};
}

// Noisy blocks of random patterns through the gain h: y = h s + n, E|n|^2 = N0.
struct Blocks {
    ComplexArray y;
    std::vector<int> bits;  // two per block
};

Blocks noisy_blocks(index_t B, cdouble h, double N0, double seed) {
    BuiltinHost host(seed);
    const RealArray u = host.rand(2 * B);
    const RealArray re = host.randn(B * kLs, 1);
    const RealArray im = host.randn(B * kLs, 1);
    Blocks b{ComplexArray(B * kLs), std::vector<int>(2 * B)};
    const double sd = std::sqrt(N0 / 2);
    for (index_t k = 0; k < B; ++k) {
        b.bits[2 * k] = u[2 * k] < 0.5 ? 0 : 1;
        b.bits[2 * k + 1] = u[2 * k + 1] < 0.5 ? 0 : 1;
        const std::vector<cdouble> s = pattern(value_of(b.bits[2 * k], b.bits[2 * k + 1]), k + 1);
        for (index_t i = 0; i < kLs; ++i) {
            const index_t n = k * kLs + i;
            b.y[n] = h * s[i] + sd * cdouble(re[n], im[n]);
        }
    }
    return b;
}

// Against brute force, every detection and rule, gains and noise levels from a faint noisy block
// to one whose noncoherent argument 2 |h| |c| / N0 (about 1e3) takes ln I0 past its series
// switch; 47 blocks so that block 45 is of the alternate set. Tolerances: the metrics reach 1e3,
// and a brute-force sum of 2048 terms of that size loses about 1e-12 to rounding (1e-9 allowed);
// the max-log brute force maximises over a grid of phases, off the true maximum by at most
// (pi / 2048)^2 / 2 of the argument (5e-6 of it allowed).
TEST(Patternslicer, MatchesBruteForceOverTheFourValues) {
    struct Case {
        const char* what;
        cdouble h;
        double N0;
        PatternDetection detection;
        SoftRule rule;
    };
    const cdouble turned = std::polar(0.8, 2.1);
    const Case cases[] = {
        {"coherent exact, unit gain", 1.0, 4.0, PatternDetection::coherent, SoftRule::exact},
        {"coherent exact, turned", turned, 10.0, PatternDetection::coherent, SoftRule::exact},
        {"coherent exact, clean", turned, 0.05, PatternDetection::coherent, SoftRule::exact},
        {"coherent max-log, turned", turned, 3.0, PatternDetection::coherent, SoftRule::max_log},
        {"noncoherent exact, faint", turned, 20.0, PatternDetection::noncoherent, SoftRule::exact},
        {"noncoherent exact", turned, 2.0, PatternDetection::noncoherent, SoftRule::exact},
        {"noncoherent exact, past the series switch", 1.0, 0.05, PatternDetection::noncoherent,
         SoftRule::exact},
        {"noncoherent max-log", turned, 2.0, PatternDetection::noncoherent, SoftRule::max_log},
    };
    constexpr index_t B = 47;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Blocks b = noisy_blocks(B, c.h, c.N0, 3);
        const PatternslicerOut out =
            patternslicer(b.y, ComplexArray{c.h}, RealArray{c.N0}, mode75(), c.detection, c.rule);
        ASSERT_EQ(out.LLR.numel(), 2 * B);
        for (index_t k = 0; k < B; ++k) {
            if (k > 3 && k < 43) continue;  // a few ordinary blocks, the alternate one and after
            const std::vector<double> want =
                brute_force(b.y.data() + k * kLs, k + 1, c.h, c.N0, c.detection, c.rule);
            double tolerance = 1e-9 * (1 + std::fabs(want[0]) + std::fabs(want[1]));
            if (c.detection == PatternDetection::noncoherent && c.rule == SoftRule::max_log) {
                double largest = 0;
                for (index_t v = 0; v < 4; ++v) {
                    largest = std::max(largest,
                                       2 * std::abs(c.h) * std::abs(out.Correlations(v, k)) / c.N0);
                }
                tolerance = 5e-6 * largest;
            }
            EXPECT_NEAR(out.LLR[2 * k], want[0], tolerance) << "block " << k + 1;
            EXPECT_NEAR(out.LLR[2 * k + 1], want[1], tolerance) << "block " << k + 1;
        }
    }
}

// The correlations are those of the block's own set (32 products of magnitude about 2 summed in
// another order: apart by some 1e-14, 1e-12 allowed), and one gain or noise variance per block
// is the same as a call per block, bit for bit.
TEST(Patternslicer, CorrelatesWithTheBlocksOwnSetAndTakesValuesPerBlock) {
    constexpr index_t B = 46;
    const Blocks b = noisy_blocks(B, 1.0, 1.0, 8);
    ComplexArray gains(B);
    RealArray noise(B);
    for (index_t k = 0; k < B; ++k) {
        gains[k] = std::polar(0.5 + 0.01 * k, 0.1 * k);
        noise[k] = 0.5 + 0.05 * k;
    }
    for (const PatternDetection d : {PatternDetection::coherent, PatternDetection::noncoherent}) {
        const PatternslicerOut all = patternslicer(b.y, gains, noise, mode75(), d, SoftRule::exact);
        for (index_t k = 0; k < B; ++k) {
            for (int v = 0; v < 4; ++v) {
                const std::vector<cdouble> s = pattern(v, k + 1);
                cdouble c = 0;
                for (index_t i = 0; i < kLs; ++i) c += b.y[k * kLs + i] * std::conj(s[i]);
                EXPECT_NEAR(std::abs(all.Correlations(v, k) - c), 0, 1e-12) << k;
            }
            // Alone, a block is block 1 of its call, of the ordinary set: the 45th is not.
            if ((k + 1) % 45 == 0) continue;
            ComplexArray one(kLs);
            std::copy_n(b.y.data() + k * kLs, kLs, one.data());
            const PatternslicerOut alone = patternslicer(
                one, ComplexArray{gains[k]}, RealArray{noise[k]}, mode75(), d, SoftRule::exact);
            EXPECT_EQ(alone.LLR[0], all.LLR[2 * k]) << k;
            EXPECT_EQ(alone.LLR[1], all.LLR[2 * k + 1]) << k;
        }
    }
}

// The transmitter's own 75 bit/s transmission, noiseless and turned by an unknown phase: the
// signs give back every interleaved bit, the alternate block of each interleaver block included,
// for both interleavers.
TEST(Patternslicer, SignsGiveBackTheTransmittedBits) {
    for (const double interLen : {0.6, 4.8}) {
        const ModeParams m = rateconf(75, interLen);
        BuiltinHost host;
        const SendchainOut tx = sendchain(m, interLen == 0.6 ? 4 : 1, 7, host);
        ComplexArray received = tx.MultiplexOut;
        const cdouble turn = std::polar(0.3, 2.5);
        for (cdouble& x : received) x *= turn;
        const ComplexArray data = unframer(received, m).out;
        for (const PatternDetection d :
             {PatternDetection::coherent, PatternDetection::noncoherent}) {
            for (const SoftRule rule : {SoftRule::max_log, SoftRule::exact}) {
                const RealArray llr =
                    patternslicer(data, ComplexArray{turn}, RealArray{0.1}, m, d, rule).LLR;
                ASSERT_EQ(llr.numel(), tx.InterOutMapIn.numel());
                for (index_t k = 0; k < llr.numel(); ++k) {
                    ASSERT_EQ(llr[k] < 0 ? 1 : 0, tx.InterOutMapIn[k]) << interLen << " bit " << k;
                }
            }
        }
    }
}

// Orthogonal signalling on white noise: the four patterns of a set are orthogonal, so the
// max-log decisions (the most likely pattern) fail as M = 4 orthogonal signals of energy E = 32
// Es do. Coherent: P = 1 - integral of phi(x - sqrt(2 E / N0)) Phi(x)^3 dx; noncoherent:
// P = sum_{n=1..3} (-1)^(n+1) C(3, n) exp(-n E / ((n + 1) N0)) / (n + 1). 20000 blocks, five
// binomial standard deviations. At Es/N0 = 0 dB (E/N0 = 32: P below 1e-6) none of 2000 fails.
double coherent_orthogonal(double EN0) {
    const double mu = std::sqrt(2 * EN0);
    const auto Phi = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
    const auto integrand = [&](double x) {
        return std::exp(-0.5 * (x - mu) * (x - mu)) / std::sqrt(2 * kPi) * std::pow(Phi(x), 3);
    };
    // Simpson over mu +- 12 standard deviations, 4000 steps.
    const double a = mu - 12, h = 24.0 / 4000;
    double sum = integrand(a) + integrand(a + 24);
    for (int i = 1; i < 4000; ++i) sum += (i % 2 ? 4 : 2) * integrand(a + i * h);
    return 1 - sum * h / 3;
}

double noncoherent_orthogonal(double EN0) {
    return 1.5 * std::exp(-EN0 / 2) - std::exp(-2 * EN0 / 3) + 0.25 * std::exp(-3 * EN0 / 4);
}

TEST(Patternslicer, PatternErrorsFollowOrthogonalSignallingOnWhiteNoise) {
    struct Case {
        PatternDetection detection;
        double EsNodB;
        double (*theory)(double);
        index_t B;
    };
    const Case cases[] = {{PatternDetection::coherent, -9, coherent_orthogonal, 20000},
                          {PatternDetection::noncoherent, -9, noncoherent_orthogonal, 20000},
                          {PatternDetection::coherent, 0, coherent_orthogonal, 2000},
                          {PatternDetection::noncoherent, 0, noncoherent_orthogonal, 2000}};
    for (const Case& c : cases) {
        const index_t B = c.B;
        const double N0 = std::pow(10.0, -c.EsNodB / 10);
        const cdouble h =
            c.detection == PatternDetection::coherent ? cdouble(1) : std::polar(1.0, 0.7);
        const Blocks b = noisy_blocks(B, h, N0, 11 + c.EsNodB);
        const RealArray llr =
            patternslicer(b.y, ComplexArray{h}, RealArray{N0}, mode75(), c.detection).LLR;
        double wrong = 0;
        for (index_t k = 0; k < B; ++k) {
            wrong += (llr[2 * k] < 0) != (b.bits[2 * k] == 1) ||
                     (llr[2 * k + 1] < 0) != (b.bits[2 * k + 1] == 1);
        }
        const double p = c.theory(32 / N0);
        const double rate = wrong / B;
        EXPECT_NEAR(rate, p, 5 * std::sqrt(p * (1 - p) / B) + 1e-12)
            << static_cast<int>(c.detection) << " at " << c.EsNodB << " dB";
        if (c.EsNodB == 0) {
            EXPECT_EQ(wrong, 0);
        }
    }
}

// Erasures and limits: an infinite noise variance or a zero gain gives ratios of 0; a noise
// variance near the smallest doubles gives sure bits, never NaN; symbols near the largest
// doubles are still summed.
TEST(Patternslicer, ErasuresAndLimits) {
    const Blocks b = noisy_blocks(2, 1.0, 0.5, 5);
    for (const PatternDetection d : {PatternDetection::coherent, PatternDetection::noncoherent}) {
        for (const SoftRule rule : {SoftRule::max_log, SoftRule::exact}) {
            const RealArray erased =
                patternslicer(b.y, ComplexArray{1.0}, RealArray{kInf, 0.5}, mode75(), d, rule).LLR;
            EXPECT_EQ(erased[0], 0);
            EXPECT_EQ(erased[1], 0);
            EXPECT_NE(erased[2], 0);
            const RealArray silent =
                patternslicer(b.y, ComplexArray{0.0}, RealArray{0.5}, mode75(), d, rule).LLR;
            for (const double l : silent) EXPECT_EQ(l, 0);
            const RealArray sure =
                patternslicer(b.y, ComplexArray{1.0}, RealArray{5e-324}, mode75(), d, rule).LLR;
            for (index_t k = 0; k < 4; ++k) {
                EXPECT_TRUE(std::isinf(sure[k])) << sure[k];
                EXPECT_EQ(sure[k] < 0 ? 1 : 0, b.bits[k]);
            }
            ComplexArray huge = b.y;
            for (cdouble& x : huge) x *= 1e307;
            const RealArray big =
                patternslicer(huge, ComplexArray{1e307}, RealArray{1e307}, mode75(), d, rule).LLR;
            for (index_t k = 0; k < 4; ++k) {
                EXPECT_FALSE(std::isnan(big[k]));
                EXPECT_EQ(big[k] < 0 ? 1 : 0, b.bits[k]);
            }
        }
    }
}

TEST(Patternslicer, RefusesWhatItCannotDetect) {
    const ComplexArray y(64);
    const ComplexArray one{1.0};
    const RealArray n0{1.0};
    const auto call = [&](const ComplexArray& in, const ComplexArray& g, const RealArray& v,
                          const ModeParams& m) {
        return [&in, &g, &v, m] { patternslicer(in, g, v, m, PatternDetection::noncoherent); };
    };
    ModeParams rate = mode75();
    rate.rate = 2400;
    ModeParams narrow = mode75();
    narrow.chSymMapping = RealArray(32, 4);
    ModeParams symbol = mode75();
    symbol.chSymMapping(3, 6) = 8;
    ModeParams fraction = mode75();
    fraction.chSymMapping(0, 0) = 0.5;
    expect_error(call(y, one, n0, rate), "hfchain:patternslicer:Rate", "2400");
    expect_error(call(y, one, n0, narrow), "hfchain:patternslicer:Patterns", "32 x 4");
    expect_error(call(y, one, n0, symbol), "hfchain:patternslicer:Patterns", "is 8");
    expect_error(call(y, one, n0, fraction), "hfchain:patternslicer:Patterns", "is 0.5");
    const ComplexArray partial(40);
    expect_error(call(partial, one, n0, mode75()), "hfchain:patternslicer:PartialBlock", "40");
    const ComplexArray three(3);
    expect_error(call(y, three, n0, mode75()), "hfchain:patternslicer:GainSize", "holds 3");
    const RealArray nv3(3);
    expect_error(call(y, one, nv3, mode75()), "hfchain:patternslicer:NoiseVarSize", "holds 3");
    const ComplexArray nan_gain{cdouble(1, std::nan(""))};
    expect_error(call(y, nan_gain, n0, mode75()), "hfchain:patternslicer:Gain", "gain(1)");
    for (const double bad : {0.0, -1.0, std::nan("")}) {
        const RealArray v{1.0, bad};
        expect_error(call(y, one, v, mode75()), "hfchain:patternslicer:NoiseVar", "noiseVar(2)");
    }
    ComplexArray inf = y;
    inf[40] = cdouble(kInf, 0);
    expect_error(call(inf, one, n0, mode75()), "hfchain:patternslicer:NonFinite",
                 "DemodulatorIn(41)");
    // No symbols: no blocks, nothing to refuse.
    EXPECT_EQ(
        patternslicer(ComplexArray(), one, n0, mode75(), PatternDetection::coherent).LLR.numel(),
        0);
}

}  // namespace
}  // namespace hfchain
