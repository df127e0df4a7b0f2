// The yardstick host of the benchmarks: the built-in host's streams (same seeding, same values)
// drawn one word and one number at a time, the way the built-in host drew them before it filled
// whole blocks.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>

#include "runtime/builtin_host.hpp"

namespace hfchain::bench {

// The Mersenne Twister and its draws one at a time, with the construction of the built-in host
// (uniforms from two words, the polar method with one cached value).
class PlainTwister {
public:
    void seed_with(std::uint32_t seed) {
        if (seed == 0) seed = 5489u;
        mt_[0] = seed;
        for (int i = 1; i < kN; ++i) {
            mt_[i] =
                1812433253u * (mt_[i - 1] ^ (mt_[i - 1] >> 30)) + static_cast<std::uint32_t>(i);
        }
        index_ = kN;
        has_cached_ = false;
        cached_ = 0.0;
    }

    double uniform() {
        for (;;) {
            const std::uint32_t a = next_u32() >> 5;
            const std::uint32_t b = next_u32() >> 6;
            const double u = (a * 67108864.0 + b) * (1.0 / 9007199254740992.0);
            if (u != 0.0) return u;
        }
    }

    double normal() {
        if (has_cached_) {
            has_cached_ = false;
            return cached_;
        }
        double x1, x2, r2;
        do {
            x1 = 2.0 * uniform() - 1.0;
            x2 = 2.0 * uniform() - 1.0;
            r2 = x1 * x1 + x2 * x2;
        } while (r2 >= 1.0 || r2 == 0.0);
        const double f = std::sqrt(-2.0 * std::log(r2) / r2);
        cached_ = f * x1;
        has_cached_ = true;
        return f * x2;
    }

private:
    static constexpr int kN = 624;

    std::uint32_t next_u32() {
        if (index_ >= kN) {
            for (int i = 0; i < kN; ++i) {
                const std::uint32_t y = (mt_[i] & 0x80000000u) | (mt_[(i + 1) % kN] & 0x7fffffffu);
                mt_[i] = mt_[(i + 397) % kN] ^ (y >> 1) ^ ((y & 1u) ? 0x9908b0dfu : 0u);
            }
            index_ = 0;
        }
        std::uint32_t y = mt_[index_++];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9d2c5680u;
        y ^= (y << 15) & 0xefc60000u;
        y ^= y >> 18;
        return y;
    }

    std::array<std::uint32_t, kN> mt_{};
    int index_ = kN;
    bool has_cached_ = false;
    double cached_ = 0.0;
};

class PlainHost final : public HostServices {
public:
    std::unique_ptr<RngSettings> seed_twister(double seed) override {
        auto previous = std::make_unique<Settings>(generator_);
        generator_.seed_with(check_seed(seed));
        return previous;
    }
    void restore(const RngSettings& settings) override {
        generator_ = dynamic_cast<const Settings&>(settings).generator;
    }
    RealArray rand(index_t n) override {
        RealArray out(n < 0 ? 0 : n);
        for (double& u : out) u = generator_.uniform();
        return out;
    }
    RealArray randn(index_t rows, index_t cols) override {
        RealArray out(rows < 0 ? 0 : rows, cols < 0 ? 0 : cols);
        for (double& z : out) z = generator_.normal();
        return out;
    }

private:
    struct Settings final : RngSettings {
        explicit Settings(const PlainTwister& g) : generator(g) {}
        PlainTwister generator;
    };
    PlainTwister generator_;
};

}  // namespace hfchain::bench
