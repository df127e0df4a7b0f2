#include "shaping/rrc_fir.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "runtime/error.hpp"

namespace hfchain {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct KnownTap {
    double alpha, D, M;
    index_t n;  // 0-based tap
    double value;
};

TEST(RrcFir, KnownTaps) {
    const double centre_035 = 1 - 0.35 + 4 * 0.35 / std::numbers::pi;
    const KnownTap cases[] = {
        {0.35, 0, 5, 0, 1.095633840657307},
        {0.35, 6, 5, 30, centre_035},
        {0.25, 2, 4, 4, -0.0642371557769986},   // singular point t = -1
        {0.25, 2, 4, 12, -0.0642371557769986},  // singular point t = +1
        {1.0, 1, 4, 3, 1.0},                    // singular point t = -1/4
        {1.0, 1, 4, 5, 1.0},                    // singular point t = +1/4
    };
    for (const KnownTap& c : cases) {
        const RealArray h = rrc_fir(c.alpha, c.D, c.M);
        ASSERT_EQ(h.numel(), static_cast<index_t>(2 * c.D * c.M + 1));
        EXPECT_NEAR(h[c.n], c.value, 1e-15) << c.alpha << " " << c.D << " " << c.M << " " << c.n;
    }
}

TEST(RrcFir, SymmetricAndUnitEnergy) {
    const double designs[][3] = {{0.35, 6, 5},  {0.25, 2, 4}, {1.0, 1, 4},
                                 {0.5, 1.5, 1}, {0.2, 3, 10}, {0.35, 0, 7}};
    for (const auto& d : designs) {
        const RealArray h = rrc_fir(d[0], d[1], d[2]);
        const index_t N = h.numel();
        for (index_t n = 0; n < N; ++n) {
            ASSERT_TRUE(std::isfinite(h[n]));
            EXPECT_NEAR(h[n], h[N - 1 - n], 1e-14) << d[0] << " " << d[1] << " " << d[2];
        }
        const RealArray filter = unit_energy_filter(h);
        ASSERT_EQ(filter.rows(), 1);
        ASSERT_EQ(filter.cols(), N);
        double energy = 0;
        for (index_t n = 0; n < N; ++n) energy += filter[n] * filter[n];
        EXPECT_NEAR(energy, 1.0, 1e-14);
    }
    EXPECT_EQ(unit_energy_filter(rrc_fir(0.35, 0, 5))[0], 1.0);
}

TEST(RrcFir, LengthMustBeAWholeNonNegativeNumber) {
    const struct {
        double D, M;
        const char* id;
    } cases[] = {
        {1.25, 1, errid::kNonInteger},  // N = 3.5
        {kInf, 1, errid::kNonInteger}, {0, kNaN, errid::kNonInteger},
        {-1, 1, errid::kNegative},  // N = -1
        {-3, 2, errid::kNegative},
    };
    for (const auto& c : cases) {
        for (const auto& call : {+[](double D, double M) { rrc_fir(0.35, D, M); },
                                 +[](double D, double M) { rrc_length(D, M); }}) {
            try {
                call(c.D, c.M);
                ADD_FAILURE() << "no error for D = " << c.D << ", M = " << c.M;
            } catch (const Error& e) {
                EXPECT_EQ(e.identifier(), c.id) << c.D << " " << c.M;
            }
        }
    }
    EXPECT_EQ(rrc_length(6, 5), 61);
    EXPECT_EQ(rrc_length(-0.5, 1), 0);
    EXPECT_EQ(rrc_length(1e8, 1), 200000001);
}

// A roll-off inside (0, 1] so small that 1 / (4 alpha) overflows gives infinite and NaN taps; the
// shaping filter refuses it with the roll-off message instead of returning them.
TEST(ShapingFilter, RefusesRolloffsWhoseTapsAreNotFinite) {
    for (const double alpha : {4.9e-324, 1e-320, 1e-310}) {
        EXPECT_FALSE(std::isfinite(rrc_fir(alpha, 2, 4)[8])) << alpha;  // the centre tap
        try {
            shaping_filter(alpha, 2, 4, no_host());
            ADD_FAILURE() << "accepted " << alpha;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), "");
            EXPECT_EQ(std::string(e.message()), "ERRO! Fator de rolloff invalido.");
        }
    }
    for (const double alpha : {1e-300, 1e-9, 0.35, 1.0}) {
        const RealArray f = shaping_filter(alpha, 2, 4, no_host());
        const RealArray expected = unit_energy_filter(rrc_fir(alpha, 2, 4));
        ASSERT_EQ(f.numel(), 17);
        for (index_t i = 0; i < 17; ++i) EXPECT_EQ(f[i], expected[i]) << alpha;
    }
}

TEST(RrcFir, RolloffOutsideZeroToOneIsRefused) {
    for (double alpha : {0.0, -0.1, 1.0000001, kNaN, kInf, -kInf}) {
        try {
            check_rolloff(alpha);
            ADD_FAILURE() << "accepted " << alpha;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), "");
            EXPECT_EQ(std::string(e.message()), "ERRO! Fator de rolloff invalido.");
        }
    }
    for (double alpha : {1e-9, 0.35, 1.0}) EXPECT_NO_THROW(check_rolloff(alpha)) << alpha;
}

}  // namespace
}  // namespace hfchain
