#include "runtime/builtin_host.hpp"

#include <algorithm>
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

namespace {

// The next block of the generator: mt[i] = mt[i + 397] ^ twist(mt[i], mt[i + 1]) for
// i = 0 .. 623, indices modulo 624, in three runs that need no modulo (and so vectorise; the
// second reads words the first has renewed), then every word tempered into `out`.
__attribute__((always_inline)) inline void twist_and_temper(std::uint32_t* mt, std::uint32_t* out) {
    constexpr int kN = Mt19937::kN;
    constexpr int kM = 397;
    constexpr std::uint32_t kUpper = 0x80000000u, kLower = 0x7fffffffu, kMatrix = 0x9908b0dfu;
    const auto step = [](std::uint32_t current, std::uint32_t next, std::uint32_t far) {
        const std::uint32_t y = (current & kUpper) | (next & kLower);
        return far ^ (y >> 1) ^ ((0u - (y & 1u)) & kMatrix);
    };
    int i = 0;
    for (; i < kN - kM; ++i) mt[i] = step(mt[i], mt[i + 1], mt[i + kM]);
    for (; i < kN - 1; ++i) mt[i] = step(mt[i], mt[i + 1], mt[i + kM - kN]);
    mt[kN - 1] = step(mt[kN - 1], mt[0], mt[kM - 1]);
    for (i = 0; i < kN; ++i) {
        std::uint32_t y = mt[i];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9d2c5680u;
        y ^= (y << 15) & 0xefc60000u;
        y ^= y >> 18;
        out[i] = y;
    }
}

// The same integer operations with 256-bit and with the baseline 128-bit vectors.
__attribute__((target("avx2"))) void twist_and_temper_avx2(std::uint32_t* __restrict mt,
                                                           std::uint32_t* __restrict out) {
    twist_and_temper(mt, out);
}

void twist_and_temper_baseline(std::uint32_t* __restrict mt, std::uint32_t* __restrict out) {
    twist_and_temper(mt, out);
}

}  // namespace

void Mt19937::refill() {
    if (__builtin_cpu_supports("avx2")) {
        twist_and_temper_avx2(mt_.data(), tempered_.data());
    } else {
        twist_and_temper_baseline(mt_.data(), tempered_.data());
    }
    index_ = 0;
}

namespace {

// One uniform draw from two output words; exact in every operation (a < 2^27, b < 2^26).
inline double to_uniform(std::uint32_t a, std::uint32_t b) {
    return (static_cast<std::int32_t>(a >> 5) * 67108864.0 + static_cast<std::int32_t>(b >> 6)) *
           (1.0 / 9007199254740992.0);
}

}  // namespace

namespace detail {

index_t words_to_uniforms(const std::uint32_t* words, index_t pairs, double* out) {
    for (index_t p = 0; p < pairs; ++p) out[p] = to_uniform(words[2 * p], words[2 * p + 1]);
    for (index_t p = 0; p < pairs; ++p) {
        if (out[p] == 0.0) return p;
    }
    return pairs;
}

}  // namespace detail

double Mt19937::next_uniform() {
    for (;;) {
        const std::uint32_t a = next_u32();
        const std::uint32_t b = next_u32();
        const double u = to_uniform(a, b);
        if (u != 0.0) return u;
    }
}

double Mt19937::next_normal() {
    if (has_cached_normal_) {
        has_cached_normal_ = false;
        return cached_normal_;
    }
    double x1, x2, r2;
    while (!polar_attempt(x1, x2, r2)) {
    }
    const double f = std::sqrt(-2.0 * std::log(r2) / r2);
    cached_normal_ = f * x1;
    has_cached_normal_ = true;
    return f * x2;
}

void Mt19937::fill_uniform(double* out, index_t n) {
    index_t i = 0;
    while (i < n) {
        if (index_ >= kN) refill();
        const index_t pairs = std::min<index_t>(n - i, (kN - index_) / 2);
        if (pairs == 0) {
            out[i++] = next_uniform();  // one word left: the pair spans two blocks
            continue;
        }
        const index_t kept = detail::words_to_uniforms(tempered_.data() + index_, pairs, out + i);
        i += kept;
        // A pair giving exactly 0 is used up and skipped, as next_uniform() skips it.
        index_ += 2 * static_cast<int>(kept < pairs ? kept + 1 : pairs);
    }
}

// One attempt of the polar method through next_uniform(): across a block boundary, or where a
// zero uniform draw must be skipped. Returns whether the pair (x1, x2) was accepted.
bool Mt19937::polar_attempt(double& x1, double& x2, double& r2) {
    x1 = 2.0 * next_uniform() - 1.0;
    x2 = 2.0 * next_uniform() - 1.0;
    r2 = x1 * x1 + x2 * x2;
    return !(r2 >= 1.0 || r2 == 0.0);
}

void Mt19937::fill_normal(double* out, index_t n) {
    index_t i = 0;
    if (n > 0 && has_cached_normal_) {
        has_cached_normal_ = false;
        out[i++] = cached_normal_;
    }
    // The polar method of next_normal(), a chunk of attempts at a time. Within a block every
    // attempt takes four words (two uniforms), so the attempts of a chunk are computed together;
    // the accepted ones are then turned into pairs of normals, up to the number still wanted, and
    // the attempts used (up to the last accepted one that was needed) are taken from the block.
    constexpr index_t kChunk = 64;
    double x1[kChunk], x2[kChunk], r2[kChunk];
    index_t accepted[kChunk];
    while (i < n) {
        if (index_ >= kN) refill();
        const index_t pairs_wanted = (n - i + 1) / 2;
        const index_t chunk = std::min(
            {kChunk, static_cast<index_t>((kN - index_) / 4), pairs_wanted + pairs_wanted / 2 + 2});
        const std::uint32_t* w = tempered_.data() + index_;
        bool zero = chunk == 0;  // fewer than four words left: the attempt spans two blocks
        for (index_t j = 0; j < chunk; ++j) {
            const double u1 = to_uniform(w[4 * j], w[4 * j + 1]);
            const double u2 = to_uniform(w[4 * j + 2], w[4 * j + 3]);
            zero = zero || u1 == 0.0 || u2 == 0.0;
            x1[j] = 2.0 * u1 - 1.0;
            x2[j] = 2.0 * u2 - 1.0;
            r2[j] = x1[j] * x1[j] + x2[j] * x2[j];
        }
        if (zero) {
            // One attempt the slow way, then back to chunks.
            double a, b, r;
            if (!polar_attempt(a, b, r)) continue;
            const double f = std::sqrt(-2.0 * std::log(r) / r);
            out[i++] = f * b;
            if (i < n) {
                out[i++] = f * a;
            } else {
                cached_normal_ = f * a;
                has_cached_normal_ = true;
            }
            continue;
        }
        index_t count = 0;
        for (index_t j = 0; j < chunk; ++j) {
            accepted[count] = j;
            count += (r2[j] < 1.0 && r2[j] != 0.0) ? 1 : 0;
        }
        const index_t used = std::min(count, pairs_wanted);
        const index_t attempts = used == pairs_wanted ? accepted[used - 1] + 1 : chunk;
        for (index_t p = 0; p < used; ++p) {
            const index_t j = accepted[p];
            const double f = std::sqrt(-2.0 * std::log(r2[j]) / r2[j]);
            out[i++] = f * x2[j];
            if (i < n) {
                out[i++] = f * x1[j];
            } else {
                cached_normal_ = f * x1[j];
                has_cached_normal_ = true;
            }
        }
        index_ += 4 * static_cast<int>(attempts);
    }
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
    generator_.fill_uniform(out.data(), out.numel());
    return out;
}

RealArray BuiltinHost::randn(index_t rows, index_t cols) {
    RealArray out(rows < 0 ? 0 : rows, cols < 0 ? 0 : cols);
    generator_.fill_normal(out.data(), out.numel());
    return out;
}

void BuiltinHost::poll_interrupt() {
    if (interrupt_ != nullptr && interrupt_->load(std::memory_order_relaxed)) {
        raise(errid::kInterrupted, "Interrupted by the user.");
    }
}

}  // namespace hfchain
