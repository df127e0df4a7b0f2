// The HF receiver's sounder and equaliser in the modes of 20 data and 20 probe symbols (2- and
// 4-PSK, with and without repetition of the coded bits).
#include <gtest/gtest.h>

#include <cmath>

#include "params/rateconf.hpp"
#include "receiver/chansound/chansound.hpp"
#include "receiver/layout/layout.hpp"
#include "tests/receiver/hf_support.hpp"

namespace hfchain {
namespace {

using testing::static_road_of;
using testing::TwoRay;

const VarShapping kShaping{0.35, 6, 5};

// The least whole number of 0.6 s blocks that carries information bits: at 150 bit/s the 144
// flush bits fill one block of 90 encoder input bits by themselves.
double blocks_for(double rate) { return rate == 150 ? 2 : 1; }

// Two static rays 24 samples (4.8 symbols) apart at 30 dB: the sounder finds each within a sample
// of its pulse peak; its windows are the 40-symbol frames; and its smoothed gain of each ray
// stays on the ray's complex gain at every sample of the transmission. The gains' error, from
// 20 probes a window at 30 dB, has a standard deviation of about sqrt(1e-3 / 20) = 0.007 before
// smoothing over windows; 0.05 leaves room for the pulse tails the taps leave out. The receiver
// then decodes every information bit, with and without turbo iterations.
TEST(HfAtEveryRate, SounderFollowsStaticRaysAtTwentySymbolProbes) {
    const TwoRay rays{24, std::polar(0.8, 1.0), std::polar(0.6, -2.0)};
    for (const double rate : {1200.0, 600.0, 300.0, 150.0}) {
        SCOPED_TRACE(::testing::Message() << rate << " bit/s");
        const Milstd m = rateconf(rate, 0.6);
        const double nFrame = blocks_for(rate);
        const auto road = static_road_of(m, nFrame, rays, 30, 7);
        const ChansoundOut s = chansound(road.matched, road.start, m, kShaping);
        const Layout layout = transmission_layout(m, static_cast<index_t>(s.frames));
        ASSERT_EQ(layout.frame(), 40);
        EXPECT_EQ(s.windowGains.cols(), window_count(layout.symbols, 40));
        const double peaks[2] = {61, 61.0 + rays.delay};
        const cdouble gains[2] = {rays.g1, rays.g2};
        for (int ray = 0; ray < 2; ++ray) {
            index_t best = 0;
            for (index_t p = 1; p < s.delays.numel(); ++p) {
                if (std::abs(s.delays[p] - peaks[ray]) < std::abs(s.delays[best] - peaks[ray]))
                    best = p;
            }
            ASSERT_NEAR(s.delays[best], peaks[ray], 1.0) << "ray " << ray;
            double worst = 0;
            for (index_t n = 0; n < layout.symbols; ++n) {
                worst = std::max(worst, std::abs(s.gains(best, n) - gains[ray]));
            }
            EXPECT_LT(worst, 0.05) << "ray " << ray;
        }
        for (const double iterations : {0.0, 2.0}) {
            EXPECT_EQ(testing::hf_errors_of(road, m, nFrame, iterations), 0) << iterations;
        }
    }
}

}  // namespace
}  // namespace hfchain
