// The built-in host: a seeded 32-bit Mersenne Twister behind the host-service interface.
//
// Seeding uses the classic init_genrand(seed); seed 0 stands for 5489, the generator's own
// default. Uniform draws use the 53-bit construction ((a >> 5) * 2^26 + (b >> 6)) / 2^53, exact
// zeros skipped so that draws lie in (0, 1). Standard normals come from the Marsaglia polar method
// over pairs of uniform draws; the second value of each accepted pair is kept for the next draw
// and belongs to the saved settings.
//
// For a seed s >= 1 the uniform stream equals NumPy's RandomState(s).random_sample and the normal
// stream RandomState(s).standard_normal; seed 0 gives the familiar default stream of MATLAB-style
// hosts (0.8147236863931789, 0.9057919370756192, ...).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "runtime/host.hpp"

namespace hfchain {

class Mt19937 {
public:
    static constexpr int kN = 624;

    explicit Mt19937(std::uint32_t seed = 5489u) { seed_with(seed); }
    void seed_with(std::uint32_t seed);
    std::uint32_t next_u32() {
        if (index_ >= kN) refill();
        return tempered_[index_++];
    }
    // Uniform on (0, 1) with 53-bit resolution, zeros skipped.
    double next_uniform();
    // Standard normal, Marsaglia polar method with one cached value.
    double next_normal();

    // The next n draws of next_uniform() or next_normal(), written to out[0 .. n-1]: the same
    // values, drawn a block of words at a time.
    void fill_uniform(double* out, index_t n);
    void fill_normal(double* out, index_t n);

private:
    // Twists the state and tempers the whole block of 624 output words at once.
    void refill();
    // One attempt of the polar method, one uniform draw at a time.
    bool polar_attempt(double& x1, double& x2, double& r2);
    std::array<std::uint32_t, kN> mt_{};
    std::array<std::uint32_t, kN> tempered_{};  // the outputs of the current block
    int index_ = kN;                            // next output of the block; kN: none left
    bool has_cached_normal_ = false;
    double cached_normal_ = 0.0;
};

namespace detail {

// Uniform draws from `pairs` pairs of output words (a, b): ((a >> 5) 2^26 + (b >> 6)) / 2^53,
// written to out[0 ..]. Stops at the first pair giving exactly 0 (never written) and returns the
// number of draws written before it; returns `pairs` when there is none.
index_t words_to_uniforms(const std::uint32_t* words, index_t pairs, double* out);

}  // namespace detail

class BuiltinHost final : public HostServices {
public:
    BuiltinHost() = default;
    explicit BuiltinHost(double seed) { generator_.seed_with(check_seed(seed)); }

    std::unique_ptr<RngSettings> seed_twister(double seed) override;
    void restore(const RngSettings& settings) override;
    RealArray rand(index_t n) override;
    RealArray randn(index_t rows, index_t cols) override;
    void poll_interrupt() override;

    // Current settings (a copy of the whole generator state).
    std::unique_ptr<RngSettings> settings() const;

    // A flag that, once set (for example by a SIGINT handler), makes poll_interrupt raise.
    void set_interrupt_flag(const std::atomic<bool>* flag) { interrupt_ = flag; }

private:
    Mt19937 generator_;
    const std::atomic<bool>* interrupt_ = nullptr;
};

}  // namespace hfchain
