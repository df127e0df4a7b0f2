// Transmissions for the HF receiver's tests: a static two-ray channel (fixed gains), noise from
// the built-in host, and the receiver from the matched filter to the decoded bits.
#pragma once

#include <cmath>

#include "channel/fadesim.hpp"
#include "receiver/chansound/chansound.hpp"
#include "receiver/decoder/vitdecode.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/framesync/framelock.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "receiver/softdemod/softslicer.hpp"
#include "receiver/turboequal/turboequal.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain::testing {

inline const ModeParams& standard(double interLen) {
    static const ModeParams short_set = modeconf(0.6);
    static const ModeParams long_set = modeconf(4.8);
    return interLen == 0.6 ? short_set : long_set;
}

struct TwoRay {
    index_t delay = 0;  // second ray's delay in samples
    cdouble g1 = 1.0;   // gains of the first and the second ray
    cdouble g2 = 0.0;
};

struct StaticRoad {
    SendchainOut tx;
    ComplexArray noise;    // the noise added to the faded waveform
    ComplexArray matched;  // matched-filter output
    double start = 0;      // framelock's start
};

// One transmission of nFrame blocks of `mode` through fixed rays, with noise of Es/N0 `EsNodB`
// drawn with `seed` (the channel block's noise step).
inline StaticRoad static_road_of(const ModeParams& mode, double nFrame, const TwoRay& rays,
                                 double EsNodB, double seed,
                                 const VarShapping& shaping = VarShapping{0.35, 6, 5}) {
    StaticRoad road;
    BuiltinHost host;
    road.tx = sendchain(mode, nFrame, seed, host);
    const ComplexArray x = pulseshaper(road.tx.MultiplexOut, shaping).out;
    const index_t L = x.numel();
    ComplexArray y(L + rays.delay);
    for (index_t m = 0; m < L; ++m) {
        y[m] += rays.g1 * x[m];
        y[m + rays.delay] += rays.g2 * x[m];
    }
    ComplexArray noisy;
    {
        SeededStream stream(host, seed + 1);
        add_channel_noise(y, EsNodB, host, road.noise, noisy);
    }
    road.matched = pulsematch(noisy, shaping).out;
    const RealArray start = framelock(road.matched, mode, shaping);
    road.start = start.empty() ? 0 : start[0];
    return road;
}

// The same in the 2400 bit/s mode with an interleaver of interLen seconds.
inline StaticRoad static_road(double interLen, double nFrame, const TwoRay& rays, double EsNodB,
                              double seed, const VarShapping& shaping = VarShapping{0.35, 6, 5}) {
    return static_road_of(standard(interLen), nFrame, rays, EsNodB, seed, shaping);
}

// Information bits the HF receiver gets wrong, from the matched filter on, in a coded mode.
inline index_t hf_errors_of(const StaticRoad& road, const ModeParams& mode, double nFrame,
                            double iterations = 2,
                            const VarShapping& shaping = VarShapping{0.35, 6, 5}) {
    const ChansoundOut s = chansound(road.matched, road.start, mode, shaping);
    const TurboequalOut e = turboequal(s, mode, nFrame, iterations);
    const RealArray llr = softslicer(e.out, e.noiseVar, mode).LLR;
    const VitdecodeOut d = vitdecode(unshuffle(llr, mode).out, mode, nFrame);
    index_t wrong = 0;
    for (index_t k = 0; k < d.InfoBits.numel(); ++k)
        wrong += d.InfoBits[k] != road.tx.BitInCodIn[k];
    return wrong;
}

// The same in the 2400 bit/s mode.
inline index_t hf_errors(const StaticRoad& road, double interLen, double nFrame,
                         double iterations = 2,
                         const VarShapping& shaping = VarShapping{0.35, 6, 5}) {
    return hf_errors_of(road, standard(interLen), nFrame, iterations, shaping);
}

}  // namespace hfchain::testing
