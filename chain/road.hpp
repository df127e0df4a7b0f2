// The whole road of one simulated transmission, block after block, keeping every intermediate
// signal: modeconf -> sendchain -> pulseshaper -> (fadesim, white noise or nothing) ->
// pulsematch -> framelock -> tickalign -> unframer -> symslicer -> unshuffle.
#pragma once

#include <string>

#include "channel/fadesim.hpp"
#include "params/modeconf.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/demod/symslicer.hpp"
#include "receiver/demux/unframer.hpp"
#include "receiver/framesync/framelock.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "receiver/timing/tickalign.hpp"
#include "runtime/host.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {

enum class ChannelKind {
    none,       // the shaped waveform reaches the matched filter unchanged
    watterson,  // fadesim with a named condition (VarWatterson::model) and noise
    awgn,       // white Gaussian noise only, no fading, at VarWatterson::EsNodB
};

struct RoadConfig {
    double nFrame = 1;  // interleaver blocks of data
    double txSeed = 1;  // seed of the information bits
    VarShapping shaping;
    ChannelKind channel = ChannelKind::none;
    VarWatterson watterson;  // model, EsNodB and seed of the channel
};

struct RoadResult {
    SendchainOut tx;
    PulseshaperOut shaped;
    FadesimOut faded;  // filled for ChannelKind::watterson; for awgn only noise and AwgnOut
    PulsematchOut matched;
    RealArray frameStart;           // framelock's result (1 x 1, or empty)
    double expectedFrameStart = 0;  // 2 D M + 1, where the first symbol peaks without delay
    TickalignOut symbols;
    UnframerOut data;
    SymslicerOut demod;
    UnshuffleOut deinterleaved;
    bool frameFound = false;     // framelock returned a start
    index_t codedBits = 0;       // coded bits compared (length of CodOutInterIn)
    index_t codedBitErrors = 0;  // received bits that differ from CodOutInterIn, missing ones
                                 // counted as errors

    // The matched filter's input: the shaped waveform, or the channel's AwgnOut.
    const ComplexArray& received(ChannelKind kind) const {
        return kind == ChannelKind::none ? shaped.out : faded.AwgnOut;
    }
};

// Adds complex white Gaussian noise of total variance 10^(-EsNodB/10) per sample, drawing the
// real parts and then the imaginary parts from `host` seeded with `seed` (restored afterwards),
// the same draws and level as the channel block's noise.
ComplexArray add_white_noise(const ComplexArray& x, double EsNodB, double seed, HostServices& host,
                             ComplexArray* noise_out = nullptr);

// Runs the road for `milstd` (built once by the caller with modeconf).
RoadResult run_road(const Milstd& milstd, const RoadConfig& config, HostServices& host);

}  // namespace hfchain
