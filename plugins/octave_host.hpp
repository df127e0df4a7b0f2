// Host services from Octave itself: the blocks' random streams are Octave's own rng, rand and
// randn, called back through the MEX interface, so that a script making the same calls gets the
// same numbers; the interrupt poll is Octave's own Ctrl-C check.
#pragma once

#include "runtime/host.hpp"

namespace hfchain {

class OctaveHost final : public HostServices {
public:
    // rng(seed, "twister"), keeping the settings it returns; refuses seeds that are not whole
    // numbers in 0..4294967295 before touching the stream (Octave would take 1.5 silently).
    std::unique_ptr<RngSettings> seed_twister(double seed) override;

    // rng(settings) with settings returned by seed_twister.
    void restore(const RngSettings& settings) override;

    // rand(n, 1).
    RealArray rand(index_t n) override;

    // randn(rows, cols).
    RealArray randn(index_t rows, index_t cols) override;

    // Abandons the call with Octave's own interrupt when the user pressed Ctrl-C: the interrupt
    // travels as Octave's exception, unwinds the block (restoring the caller's stream on the
    // way) and Octave handles it as it handles an interrupt of its own functions.
    void poll_interrupt() override;
};

}  // namespace hfchain
