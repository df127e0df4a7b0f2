#include "apps/progress.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "params/waveform.hpp"
#include "runtime/checks.hpp"

namespace hfchain::app {

void format_duration(double seconds, char* buf, std::size_t size) {
    const long s = std::lround(std::max(0.0, seconds));
    if (s >= 3600) {
        std::snprintf(buf, size, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(buf, size, "%ld:%02ld", s / 60, s % 60);
    }
}

void ProgressReport::follow(const sweep::SweepProgress& p) {
    if (p.fraction >= 1 || p.pointsDone >= p.pointsTotal) {
        total_ = p.elapsed;
        shown_ = 1;
    } else if (p.fraction > 0 && p.elapsed > 0) {
        const double estimate = p.elapsed / p.fraction;
        // A revision is followed over a tenth of the time elapsed (at least five seconds).
        const double share = std::min(1.0, (p.elapsed - seen_) / std::max(5.0, 0.1 * p.elapsed));
        total_ = total_ > 0 ? total_ + std::max(0.0, share) * (estimate - total_) : estimate;
        total_ = std::max(total_, p.elapsed);
        shown_ = std::max(shown_, std::min(0.999, p.elapsed / total_));
    }
    seen_ = std::max(seen_, p.elapsed);
}

void ProgressReport::update(const sweep::SweepProgress& p) {
    follow(p);
    // The time left is only shown once a few percent are done: before that the estimate means
    // little.
    char elapsed[32];
    char left[32] = "?";
    format_duration(p.elapsed, elapsed, sizeof elapsed);
    if (shown_ >= 0.02 && shown_ < 1) {
        format_duration(total_ - p.elapsed, left, sizeof left);
    } else if (shown_ >= 1) {
        format_duration(0, left, sizeof left);
    }
    if (!terminal_) {
        if (p.finished == nullptr) return;
        const sweep::PointResult& r = *p.finished;
        // The rate is named where it is not the one a sweep has by default.
        const std::string rate =
            r.dataRate == 2400 ? std::string() : format_value(r.dataRate) + " bit/s ";
        std::fprintf(out_,
                     "sweep: %d/%d points; %s%s at SNR(3 kHz) %.4g dB, Es/N0 %.4g dB: %lld errors "
                     "in %lld bits; elapsed %s, about %s left\n",
                     p.pointsDone, p.pointsTotal, rate.c_str(), r.condition.c_str(),
                     snr3k_of_esno(r.esno), r.esno, static_cast<long long>(r.errors),
                     static_cast<long long>(r.bits), elapsed, left);
        std::fflush(out_);
        return;
    }
    // The bar shows the totals, redrawn at most five times a second and at the end.
    if (p.finished != nullptr) return;
    if (p.pointsDone < p.pointsTotal && last_draw_ >= 0 && p.elapsed - last_draw_ < 0.2) return;
    last_draw_ = p.elapsed;
    constexpr int width = 32;
    const int filled = static_cast<int>(std::lround(shown_ * width));
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(width - filled), '.');
    std::fprintf(out_, "\rsweep [%s] %3d%%  %d/%d points  %s elapsed, about %s left \x1b[K",
                 bar.c_str(), static_cast<int>(std::floor(shown_ * 100)), p.pointsDone,
                 p.pointsTotal, elapsed, left);
    std::fflush(out_);
    drawn_ = true;
}

void ProgressReport::finish() {
    if (terminal_ && drawn_) std::fputc('\n', out_);
    drawn_ = false;
}

}  // namespace hfchain::app
