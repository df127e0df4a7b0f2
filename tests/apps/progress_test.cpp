// The progress bar: it follows the engine's revised estimates without leaping or going back.
#include "apps/progress.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace hfchain::app {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// A sweep reported four times a second whose estimate is revised at 30 s (the rest looks shorter:
// the fraction leaps from 0.3 to 0.5), again at 50 s (longer: from 0.83 back to 0.4) and ends at
// 70 s with its last point.
TEST(ProgressReport, FollowsRevisedEstimatesSmoothlyAndNeverBack) {
    const std::unique_ptr<std::FILE, FileCloser> sink(std::tmpfile());
    ASSERT_NE(sink, nullptr);
    const struct { bool terminal; } cases[] = {{true}, {false}};
    for (const auto& c : cases) {
        ProgressReport report(sink.get(), c.terminal);
        double before = 0;
        double largest_step = 0;
        for (int k = 1; k <= 4 * 70; ++k) {
            sweep::SweepProgress p;
            p.pointsTotal = 10;
            p.elapsed = k / 4.0;
            const double t = p.elapsed;
            p.fraction = t < 30 ? t / 100 : t < 50 ? t / 60 : t / 125;
            p.pointsDone = k == 4 * 70 ? 10 : static_cast<int>(t / 10);
            report.update(p);
            EXPECT_GE(report.shown(), before) << "at " << t << " s";
            if (k < 4 * 70) largest_step = std::max(largest_step, report.shown() - before);
            before = report.shown();
        }
        // Where the estimate leaps by 0.2 the bar moves less than 0.02 a step; it reaches the
        // end with the last point.
        EXPECT_LT(largest_step, 0.02);
        EXPECT_EQ(before, 1.0);
    }
}

}  // namespace
}  // namespace hfchain::app
