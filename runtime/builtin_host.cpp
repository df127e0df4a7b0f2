#include "runtime/builtin_host.hpp"

#include <cmath>

#include "runtime/checks.hpp"

namespace hfchain {

namespace {

struct BuiltinSettings final : RngSettings {
    explicit BuiltinSettings(const Mt19937& g) : generator(g) {}
    Mt19937 generator;
};

}  // namespace

std::uint32_t check_seed(double seed) {
    if (!(seed >= 0.0 && seed <= 4294967295.0) || seed != std::floor(seed)) {
        raise(errid::kBadSeed, "Seed " + format_value(seed) +
                                   " is not valid: a seed must be a whole number from 0 to "
                                   "4294967295.");
    }
    return static_cast<std::uint32_t>(seed);
}

void Mt19937::seed_with(std::uint32_t seed) {
    if (seed == 0) seed = 5489u;
    mt_[0] = seed;
    for (int i = 1; i < kN; ++i) {
        mt_[i] = 1812433253u * (mt_[i - 1] ^ (mt_[i - 1] >> 30)) + static_cast<std::uint32_t>(i);
    }
    index_ = kN;
    has_cached_normal_ = false;
    cached_normal_ = 0.0;
}

void Mt19937::twist() {
    constexpr int kM = 397;
    constexpr std::uint32_t kUpper = 0x80000000u, kLower = 0x7fffffffu, kMatrix = 0x9908b0dfu;
    for (int i = 0; i < kN; ++i) {
        const std::uint32_t y = (mt_[i] & kUpper) | (mt_[(i + 1) % kN] & kLower);
        mt_[i] = mt_[(i + kM) % kN] ^ (y >> 1) ^ ((y & 1u) ? kMatrix : 0u);
    }
    index_ = 0;
}

std::uint32_t Mt19937::next_u32() {
    if (index_ >= kN) twist();
    std::uint32_t y = mt_[index_++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

double Mt19937::next_uniform() {
    for (;;) {
        const std::uint32_t a = next_u32() >> 5;
        const std::uint32_t b = next_u32() >> 6;
        const double u = (a * 67108864.0 + b) * (1.0 / 9007199254740992.0);
        if (u != 0.0) return u;
    }
}

double Mt19937::next_normal() {
    if (has_cached_normal_) {
        has_cached_normal_ = false;
        return cached_normal_;
    }
    double x1, x2, r2;
    do {
        x1 = 2.0 * next_uniform() - 1.0;
        x2 = 2.0 * next_uniform() - 1.0;
        r2 = x1 * x1 + x2 * x2;
    } while (r2 >= 1.0 || r2 == 0.0);
    const double f = std::sqrt(-2.0 * std::log(r2) / r2);
    cached_normal_ = f * x1;
    has_cached_normal_ = true;
    return f * x2;
}

std::unique_ptr<RngSettings> BuiltinHost::settings() const {
    return std::make_unique<BuiltinSettings>(generator_);
}

std::unique_ptr<RngSettings> BuiltinHost::seed_twister(double seed) {
    const std::uint32_t s = check_seed(seed);
    std::unique_ptr<RngSettings> previous = settings();
    generator_.seed_with(s);
    return previous;
}

void BuiltinHost::restore(const RngSettings& settings) {
    const auto* own = dynamic_cast<const BuiltinSettings*>(&settings);
    if (own == nullptr) {
        raise("hfchain:host:ForeignSettings",
              "These generator settings do not come from this host.");
    }
    generator_ = own->generator;
}

RealArray BuiltinHost::rand(index_t n) {
    RealArray out(n < 0 ? 0 : n);
    for (double& u : out) u = generator_.next_uniform();
    return out;
}

RealArray BuiltinHost::randn(index_t rows, index_t cols) {
    RealArray out(rows < 0 ? 0 : rows, cols < 0 ? 0 : cols);
    for (double& z : out) z = generator_.next_normal();
    return out;
}

void BuiltinHost::poll_interrupt() {
    if (interrupt_ != nullptr && interrupt_->load(std::memory_order_relaxed)) {
        raise(errid::kInterrupted, "Interrupted by the user.");
    }
}

}  // namespace hfchain
