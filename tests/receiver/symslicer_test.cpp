#include "receiver/demod/symslicer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <limits>
#include <vector>

#include "runtime/builtin_host.hpp"
#include "tests/channel/recording_host.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");

ModeParams general(double b) {
    ModeParams mode;
    mode.bitsToSym = b;
    return mode;
}

// The nearest-point rule as written: all K distances hypot(|re|, |im|) to the points
// exp(j (2 pi k) / K), NaN skipped, the first smallest wins, all NaN gives point 0.
int nearest_by_rule(cdouble y, int K) {
    int best = -1;
    double best_d = 0;
    for (int k = 0; k < K; ++k) {
        const double phase = 6.2831853071795862 * k / K;
        const double d = std::hypot(std::fabs(y.real() - std::cos(phase)),
                                    std::fabs(y.imag() - std::sin(phase)));
        if (std::isnan(d)) continue;
        if (best < 0 || d < best_d) best = k, best_d = d;
    }
    return best < 0 ? 0 : best;
}

void expect_rule(const std::vector<cdouble>& ys) {
    ComplexArray in(static_cast<index_t>(ys.size()));
    for (index_t i = 0; i < in.numel(); ++i) in[i] = ys[i];
    const SymslicerOut out = symslicer(in, general(3));
    ASSERT_EQ(out.DemodOutDemapIn.numel(), in.numel());
    for (index_t i = 0; i < in.numel(); ++i) {
        ASSERT_EQ(out.DemodOutDemapIn[i], nearest_by_rule(in[i], 8))
            << "y = " << in[i].real() << " + " << in[i].imag() << "j";
    }
}

TEST(Symslicer, KnownDecisionsAndBits) {
    const ComplexArray in{{1, 0}, {-1, 0}, {0, 1}, {0.7, 0.69}, {0.1, -2}};
    const SymslicerOut out = symslicer(in, modeconf(0.6));
    const double decisions[] = {0, 4, 2, 1, 6};
    // Gray values 0, 6, 3, 1, 5.
    const double bits[] = {0, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1};
    ASSERT_EQ(out.DemodOutDemapIn.numel(), 5);
    ASSERT_EQ(out.DemapOut.numel(), 15);
    for (index_t i = 0; i < 5; ++i) EXPECT_EQ(out.DemodOutDemapIn[i], decisions[i]);
    for (index_t i = 0; i < 15; ++i) EXPECT_EQ(out.DemapOut[i], bits[i]);
    const SymslicerOut empty = symslicer(ComplexArray(0), modeconf(0.6));
    EXPECT_EQ(empty.DemodOutDemapIn.numel(), 0);
    EXPECT_EQ(empty.DemodOutDemapIn.cols(), 1);
    EXPECT_EQ(empty.DemapOut.numel(), 0);
    EXPECT_EQ(empty.DemapOut.cols(), 1);
}

TEST(Symslicer, FastDecisionsEqualTheRuleOnRandomInput) {
    BuiltinHost host(2024);
    std::vector<cdouble> ys;
    for (const double noise : {0.05, 0.3, 1.0, 10.0}) {
        const RealArray u = host.rand(20000);
        const RealArray z = host.randn(2, 20000);
        for (index_t i = 0; i < 20000; ++i) {
            const double a = 2 * 3.141592653589793 * u[i];
            ys.push_back({std::cos(a) + noise * z(0, i), std::sin(a) + noise * z(1, i)});
        }
    }
    expect_rule(ys);
}

TEST(Symslicer, FastDecisionsEqualTheRuleOnBoundariesAndSpecialValues) {
    std::vector<cdouble> ys;
    // Decision boundaries (odd multiples of 22.5 degrees) and the points themselves, at many
    // radii, nudged by a few units in the last place either way.
    const double radii[] = {0,         5e-324, 1e-300, 1e-17, 1e-9,  0.5,   1,
                            1 + 1e-15, 2,      1e8,    1e15,  1e154, 1e300, kInf};
    for (int m = 0; m < 16; ++m) {
        const double phase = 3.141592653589793 * m / 8;
        for (const double r : radii) {
            const double x = r * std::cos(phase);
            const double y = r * std::sin(phase);
            for (int dx = -3; dx <= 3; ++dx) {
                for (int dy = -3; dy <= 3; ++dy) {
                    double xn = x;
                    double yn = y;
                    for (int s = 0; s < std::abs(dx); ++s) xn = std::nextafter(xn, dx * kInf);
                    for (int s = 0; s < std::abs(dy); ++s) yn = std::nextafter(yn, dy * kInf);
                    ys.push_back({xn, yn});
                }
            }
        }
    }
    // Exact ties on the computed doubles: points mirrored about an axis, and the origin.
    for (int k = 0; k < 8; ++k) {
        const double phase = 6.2831853071795862 * k / 8;
        ys.push_back({std::cos(phase), 0});
        ys.push_back({0, std::sin(phase)});
        ys.push_back({0.5 * (std::cos(phase) + std::cos(phase + 0.785)), 0});
    }
    // Signed zeros, infinities and NaN in every combination.
    const double specials[] = {0.0, -0.0, 1.0, -1.0, kInf, -kInf, kNaN, 1e-310};
    for (const double a : specials) {
        for (const double b : specials) ys.push_back({a, b});
    }
    // Points just off a boundary ray, a relative 1e-13 .. 1e-16 away.
    for (int m = 1; m < 16; m += 2) {
        const double phase = 3.141592653589793 * m / 8;
        for (const double offset : {1e-13, 1e-14, 1e-15, 3e-16, 1e-16}) {
            for (const double r : {0.3, 1.0, 3.0}) {
                ys.push_back(std::polar(r, phase + offset));
                ys.push_back(std::polar(r, phase - offset));
            }
        }
    }
    expect_rule(ys);
}

TEST(Symslicer, TiesGoToTheLowerPoint) {
    // At the origin every distance is 1 on the computed doubles; an infinite input is infinitely
    // far from every point; NaN gives no distance at all. Each decides point 0.
    for (const double b : {1.0, 2.0, 3.0}) {
        const ComplexArray in{{0, 0}, {kInf, 0}, {-kInf, -kInf}, {kNaN, 0}, {0, kNaN}};
        const SymslicerOut out = symslicer(in, general(b));
        for (index_t i = 0; i < in.numel(); ++i) EXPECT_EQ(out.DemodOutDemapIn[i], 0) << b << i;
    }
}

TEST(Symslicer, OtherConstellationSizes) {
    // b = 1: BPSK; b = 2: QPSK with Gray values 0, 1, 3, 2.
    const SymslicerOut bpsk = symslicer(ComplexArray{{-0.9, 0.2}, {0.3, -4}}, general(1));
    EXPECT_EQ(bpsk.DemodOutDemapIn[0], 1);
    EXPECT_EQ(bpsk.DemodOutDemapIn[1], 0);
    ASSERT_EQ(bpsk.DemapOut.numel(), 2);
    EXPECT_EQ(bpsk.DemapOut[0], 1);
    const SymslicerOut qpsk = symslicer(ComplexArray{{0, -1}, {-1, 0}}, general(2));
    EXPECT_EQ(qpsk.DemodOutDemapIn[0], 3);
    EXPECT_EQ(qpsk.DemodOutDemapIn[1], 2);
    const double qbits[] = {1, 0, 1, 1};
    for (index_t i = 0; i < 4; ++i) EXPECT_EQ(qpsk.DemapOut[i], qbits[i]);
    // b = 4: decisions 8 and above have no Gray value.
    expect_error(
        [&] { symslicer(ComplexArray{std::polar(1.0, 3.141592653589793 * 9 / 8)}, general(4)); },
        errid::kIndexOutOfBounds, "bina2gray");
    // One point: valid only for a single symbol. No point: no minimum.
    const SymslicerOut one = symslicer(ComplexArray{{3, 3}}, general(0));
    EXPECT_EQ(one.DemodOutDemapIn[0], 0);
    EXPECT_EQ(one.DemapOut.numel(), 0);
    expect_error([&] { symslicer(ComplexArray(2), general(0)); }, errid::kAutoDim);
    expect_error([&] { symslicer(ComplexArray(2), general(-1)); }, errid::kMinMaxEmpty);
    expect_error([&] { symslicer(ComplexArray(2), general(31)); }, errid::kMaxSize);
}

// The 75 bit/s parameter variant: two-point first stage, blocks of 32 matched to chSymMapping.
ModeParams rate75(double interl) {
    ModeParams mode = modeconf(0.6);
    mode.rate = 75;
    mode.bitsToSym = 2;
    mode.interl = interl;
    return mode;
}

ComplexArray blocks_of_columns(const ModeParams& mode, const std::vector<int>& columns) {
    ComplexArray in(32 * static_cast<index_t>(columns.size()));
    for (std::size_t b = 0; b < columns.size(); ++b) {
        for (index_t i = 0; i < 32; ++i) {
            const double s = mode.chSymMapping(i, columns[b]);
            // Noisy points 0 or 4: exp(j pi s / 4).
            in[32 * static_cast<index_t>(b) + i] =
                std::polar(1.0, 3.141592653589793 * s / 4) + cdouble{0.3, -0.2};
        }
    }
    return in;
}

TEST(Symslicer, SeventyFiveBitsMatchesChannelSymbolSequences) {
    // 90 blocks with interl 0.6: blocks 45 and 90 are sent from the alternate set.
    const ModeParams mode = rate75(0.6);
    std::vector<int> columns;
    std::vector<int> expected;
    for (int k = 1; k <= 90; ++k) {
        const int c = (k * 5) % 4;
        columns.push_back(k % 45 == 0 ? c + 4 : c);
        expected.push_back(c);
    }
    const SymslicerOut out = symslicer(blocks_of_columns(mode, columns), mode);
    ASSERT_EQ(out.DemodOutDemapIn.numel(), 90);
    ASSERT_EQ(out.DemapOut.numel(), 180);
    const double pairs[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    for (int k = 0; k < 90; ++k) {
        EXPECT_EQ(out.DemodOutDemapIn[k], expected[k]) << k;
        EXPECT_EQ(out.DemapOut[2 * k], pairs[expected[k]][0]);
        EXPECT_EQ(out.DemapOut[2 * k + 1], pairs[expected[k]][1]);
    }
    // With interl = 0 every block is matched against the normal set: the alternate sequences are
    // equally far from all four and decide 0.
    const SymslicerOut normal_only = symslicer(blocks_of_columns(mode, columns), rate75(0));
    EXPECT_EQ(normal_only.DemodOutDemapIn[44], 0);
    EXPECT_EQ(normal_only.DemodOutDemapIn[0], expected[0]);
    // 4.8 s: the period is 360, so block 45 uses the normal set.
    const SymslicerOut long_interleaver = symslicer(blocks_of_columns(mode, columns), rate75(4.8));
    EXPECT_EQ(long_interleaver.DemodOutDemapIn[44], 0);
}

TEST(Symslicer, SeventyFiveBitsFailures) {
    const ModeParams mode = rate75(0.6);
    expect_error([&] { symslicer(ComplexArray(33), mode); }, errid::kNonIntegerSize);
    expect_error([&] { symslicer(ComplexArray(0), mode); }, errid::kReshapeEmptyLimit);
    ModeParams single = mode;
    single.chSymMapping = RealArray(1, 8);
    expect_error([&] { symslicer(ComplexArray(3), single); }, errid::kAutoDim);
}

// Checks that need no decision come before any symbol is decided: a host that interrupts at its
// first poll is never polled.
TEST(Symslicer, SeventyFiveBitsChecksComeBeforeTheDecisions) {
    ModeParams four_columns = rate75(0.6);
    four_columns.chSymMapping = RealArray(32, 4);
    ModeParams single = rate75(0.6);
    single.chSymMapping = RealArray(1, 8);
    const struct {
        ModeParams mode;
        index_t N;
        const char* id;
        const char* fragment;
    } cases[] = {
        {rate75(0.6), 33, errid::kNonIntegerSize, ""},
        {rate75(0.6), 0, errid::kReshapeEmptyLimit, ""},
        {single, 3, errid::kAutoDim, ""},
        // Block 45 would need the alternate set, columns 5-8.
        {four_columns, 32 * 45, errid::kIndexOutOfBounds, "Index 5 is out of bounds"},
    };
    for (const auto& c : cases) {
        RecordingHost host(1);
        host.interrupt_at_poll = 1;
        expect_error([&] { symslicer(ComplexArray(c.N), c.mode, host); }, c.id, c.fragment);
        EXPECT_EQ(host.polls, 0) << c.id;
    }
    // 44 blocks use the normal set only.
    EXPECT_EQ(symslicer(ComplexArray(32 * 44), four_columns).DemodOutDemapIn.numel(), 44);
}

// The decision of a single symbol on 2^b points: the result, or the point named by the refusal
// of a decision beyond the Gray table.
index_t decision_of(cdouble y, double b) {
    try {
        return static_cast<index_t>(symslicer(ComplexArray{y}, general(b)).DemodOutDemapIn[0]);
    } catch (const Error& e) {
        long long index = 0;
        EXPECT_EQ(std::sscanf(e.what(), "Index %lld is out of bounds for 'bina2gray'", &index), 1)
            << e.what();
        return static_cast<index_t>(index - 1);
    }
}

// Constellations larger than the tabulated ones are searched near the symbol only; the decision
// is the whole rule's, ties, tiny and huge magnitudes and non-finite values included.
TEST(Symslicer, LargeConstellationsDecideByTheWholeRule) {
    for (const double b : {7.0, 10.0, 16.0}) {
        const int K = 1 << static_cast<int>(b);
        std::vector<cdouble> ys;
        const ComplexArray noise = random_complex(b < 16 ? 400 : 60, b);
        for (const double scale : {1.0, 1e-300, 1e-9, 1e6, 1e14, 1e300}) {
            for (index_t i = 0; i < noise.numel() / 4; ++i) ys.push_back(scale * noise[i]);
        }
        for (int k = 0; k < K; k += K / 16 + 1) {
            // On a point, and halfway between two neighbours (a tie up to rounding), at several
            // radii.
            const double mid = 6.2831853071795862 * (k + 0.5) / K;
            for (const double r : {1.0, 0.5, 3.0, 1e-20}) {
                ys.push_back(std::polar(r, 6.2831853071795862 * k / K));
                ys.push_back(std::polar(r, mid));
            }
        }
        for (const cdouble y :
             {cdouble{0, 0}, cdouble{-0.0, 0}, cdouble{1e300, 0}, cdouble{-1e300, 1e300},
              cdouble{5e-324, -5e-324}, cdouble{kInf, 0}, cdouble{0, -kInf}, cdouble{kNaN, 1},
              cdouble{kInf, kNaN}, cdouble{1.7e308, 1.7e308}}) {
            ys.push_back(y);
        }
        for (const cdouble y : ys) {
            ASSERT_EQ(decision_of(y, b), nearest_by_rule(y, K))
                << "K = " << K << ", y = " << y.real() << " + " << y.imag() << "j";
        }
    }
}

// 2^26 or 2^30 points: the second symbol, at 45 degrees, is decided as point 2^b / 8 and refused
// at once, without building the constellation (a handful of polls, not 2^b points).
TEST(Symslicer, HugeConstellationsRefuseAtTheFirstDecisionBeyondTheGrayTable) {
    ComplexArray in(40);
    for (index_t n = 0; n < 40; ++n) in[n] = std::polar(1.0, 6.2831853071795862 * (n % 8) / 8);
    const struct {
        double b;
        const char* message;
    } cases[] = {
        {26, "Index 8388609 is out of bounds for 'bina2gray' (valid range 1..8)."},
        {30, "Index 134217729 is out of bounds for 'bina2gray' (valid range 1..8)."},
    };
    for (const auto& c : cases) {
        RecordingHost host(1);
        try {
            symslicer(in, general(c.b), host);
            ADD_FAILURE() << "accepted b = " << c.b;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), errid::kIndexOutOfBounds);
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_LE(host.polls, 2) << c.b;
    }
}

TEST(Int2bin, BitsMostSignificantFirst) {
    const RealArray bits = int2bin({0, 1, 3, 2, 6, 7, 5, 4}, 3);
    const double expected[] = {0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 1, 0,
                               1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 0, 0};
    ASSERT_EQ(bits.numel(), 24);
    for (index_t i = 0; i < 24; ++i) EXPECT_EQ(bits[i], expected[i]) << i;
    // Whole values beyond 31 bits and fractions take the floating-point path.
    const RealArray wide = int2bin({34359738371.0}, 40);  // 2^35 + 3
    for (index_t i = 0; i < 40; ++i) EXPECT_EQ(wide[i], (i == 4 || i == 38 || i == 39) ? 1 : 0);
    const RealArray fraction = int2bin({5.75}, 3);
    EXPECT_EQ(fraction[0], 1);
    EXPECT_EQ(fraction[1], 0);
    EXPECT_EQ(fraction[2], 1);
    EXPECT_EQ(int2bin(RealArray(0), 3).numel(), 0);
    EXPECT_EQ(int2bin({0, 0}, 0).numel(), 0);
}

TEST(Int2bin, CapacityMessage) {
    const std::string message =
        "ERRO! N\xC3\xBAmero de bits insuficientes para representar o s\xC3\xADmbolo (n).";
    ASSERT_EQ(message.size(), 68u);
    EXPECT_NO_THROW(int2bin({7}, 3));
    expect_error([] { int2bin({8}, 3); }, "", message);
    expect_error([] { int2bin({0, 1}, 0); }, "", message);
    try {
        int2bin({8}, 3);
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.message()), message);
    }
}

}  // namespace
}  // namespace hfchain
