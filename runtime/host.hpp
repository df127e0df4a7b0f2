// Host services: the random streams and the interrupt poll that blocks call back into.
//
// The blocks never own a generator. A block that needs random numbers receives the host
// explicitly, seeds its "twister" stream on entry, draws in a fixed order and shape, and hands the
// caller's generator settings back on every exit. The built-in host (builtin_host.hpp) serves the
// C++ API, the tools and the tests; the Octave plug-ins supply Octave's own rng/rand/randn.
#pragma once

#include <memory>

#include "runtime/array.hpp"

namespace hfchain {

// Opaque generator settings, as returned by seeding and taken back by restoring.
class RngSettings {
public:
    virtual ~RngSettings() = default;
};

class HostServices {
public:
    virtual ~HostServices() = default;

    // Reset the stream to the Mersenne Twister started from `seed` (a whole number in
    // 0..4294967295; anything else raises "hfchain:host:InvalidSeed") and return the settings in
    // force before the call.
    virtual std::unique_ptr<RngSettings> seed_twister(double seed) = 0;

    // Put back settings returned by seed_twister.
    virtual void restore(const RngSettings& settings) = 0;

    // n x 1 column of the next n uniform draws on the open interval (0, 1).
    virtual RealArray rand(index_t n) = 0;

    // rows x cols array of the next rows * cols standard normal draws, column-major.
    virtual RealArray randn(index_t rows, index_t cols) = 0;

    // Called by long loops; raises (abandoning the call) when the user asked to interrupt.
    virtual void poll_interrupt() {}
};

// Validates a seed for the "twister" stream: a whole number in 0..4294967295.
std::uint32_t check_seed(double seed);

// Seeds the host stream for the lifetime of a block call and gives the caller's settings back on
// every exit, failure included, so that a failed call leaves no trace on the caller's stream.
class SeededStream {
public:
    SeededStream(HostServices& host, double seed) : host_(host), saved_(host.seed_twister(seed)) {}
    SeededStream(const SeededStream&) = delete;
    SeededStream& operator=(const SeededStream&) = delete;

    // Restore now (on the normal path, so that a failing restore is reported).
    void restore() {
        if (saved_) {
            std::unique_ptr<RngSettings> s = std::move(saved_);
            host_.restore(*s);
        }
    }

    ~SeededStream() {
        // While an error is already travelling, a second failure cannot be reported: keep the
        // first one.
        try {
            restore();
        } catch (...) {
        }
    }

private:
    HostServices& host_;
    std::unique_ptr<RngSettings> saved_;
};

}  // namespace hfchain
