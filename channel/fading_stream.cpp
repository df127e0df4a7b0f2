#include "channel/fading_stream.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "channel/watterson_rays.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"

namespace hfchain {

using namespace watterson_rays;

struct FadingStream::Rays {
    std::vector<Ray> rays;  // one a path (unused for a fixed path)
};

FadingStream::FadingStream(const HfChannel& channel, double M, HostServices& host)
    : paths_(channel.paths), rays_(std::make_unique<Rays>()), offset_(channel.offset) {
    check_hf_channel(channel);
    check_positive(M, "oversamplingFactor");
    inv_fs_ = 1.0 / (M * kSymbolRate);
    index_t largest = 0;
    for (std::size_t p = 0; p < paths_.size(); ++p) {
        const double d = delay_samples(paths_[p].delay, M);
        if (!whole_samples(d)) {
            raise("hfchain:hfchannel:FractionalDelay",
                  "Path " + std::to_string(p + 1) + ": the delay " + format_value(paths_[p].delay) +
                      " s is " + format_value(d) + " samples at " + format_value(M * kSymbolRate) +
                      " samples a second; give a whole number of samples.");
        }
        delays_.push_back(delay_in_samples(paths_[p].delay, inv_fs_));
        largest = std::max(largest, delays_.back());
    }
    rays_->rays.resize(paths_.size());
    for (std::size_t p = 0; p < paths_.size(); ++p) {
        fading_.push_back(paths_[p].spread > 0);
        if (fading_[p]) {
            rays_->rays[p] = draw_ray(host, paths_[p].spread, inv_fs_,
                                      std::sqrt(std::pow(10.0, paths_[p].power / 10.0) / 2));
        }
    }
    ring_ = largest + 1;
    products_.assign(paths_.size() * static_cast<std::size_t>(ring_), cdouble{});
    gains_.resize(paths_.size() * kAnchorInterval);
    const double step = kTwoPi * channel.offset * inv_fs_;
    offsetStep_ = {std::cos(step), std::sin(step)};
}

FadingStream::~FadingStream() = default;

// The gains of every path for the inputs n_ .. n_ + 255 (n_ a multiple of 256), as hfchannel's
// path_gains makes them.
void FadingStream::fill_gains() {
    for (std::size_t p = 0; p < paths_.size(); ++p) {
        cdouble* g = gains_.data() + p * kAnchorInterval;
        if (!fading_[p]) {
            std::fill(g, g + kAnchorInterval,
                      cdouble(std::sqrt(std::pow(10.0, paths_[p].power / 10.0)), 0.0));
        } else {
            Lanes g_re[kLaneSteps], g_im[kLaneSteps];
            ray_gains(rays_->rays[p], n_, inv_fs_, g_re, g_im);
            for (index_t i = 0; i < kAnchorInterval; ++i) {
                g[i] = {g_re[i / kLanes][i % kLanes], g_im[i / kLanes][i % kLanes]};
            }
        }
        if (paths_[p].shift != 0) turn(g, n_, kAnchorInterval, paths_[p].shift, inv_fs_);
    }
}

void FadingStream::push(const cdouble* x, std::size_t n, cdouble* y) {
    const std::size_t P = paths_.size();
    for (std::size_t k = 0; k < n; ++k, ++n_) {
        const index_t block = static_cast<index_t>(n_ % kAnchorInterval);
        if (block == 0) {
            fill_gains();
            const double phi = kTwoPi * offset_ * (static_cast<double>(n_) * inv_fs_);
            offsetTurn_ = {std::cos(phi), std::sin(phi)};
        }
        const double a = x[k].real(), b = x[k].imag();
        const index_t slot = static_cast<index_t>(n_ % ring_);
        double y_re = 0, y_im = 0;
        for (std::size_t p = 0; p < P; ++p) {
            const cdouble g = gains_[p * kAnchorInterval + static_cast<std::size_t>(block)];
            cdouble* ring = products_.data() + p * static_cast<std::size_t>(ring_);
            ring[slot] = {a * g.real() - b * g.imag(), a * g.imag() + b * g.real()};
            const index_t from = static_cast<index_t>((n_ + ring_ - delays_[p]) % ring_);
            y_re += ring[from].real();
            y_im += ring[from].imag();
        }
        cdouble out{y_re, y_im};
        if (offset_ != 0) {
            out *= offsetTurn_;
            offsetTurn_ *= offsetStep_;
        }
        y[k] = out;
    }
}

}  // namespace hfchain
