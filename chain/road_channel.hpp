// The road's channel step: between the pulse shaper and the matched filter, one function
// (pass_channel) takes the whole shaped waveform and gives what reaches the receivers, from
// settings of its own (RoadChannel: what the channel is, its Es/N0 and its seed). Every fading
// channel runs through the general channel (hfchannel), fadesim's four conditions included, whose
// outputs it gives bit for bit; white noise alone has a kind of its own, which draws the noise and
// nothing else.
//
// The receivers read only the received waveform (AwgnOut); the genie also reads the path gains
// and the noise, where the channel knows them. A channel that runs block by block, holding its
// state from one block to the next, fits as a kind of its own whose case in pass_channel feeds
// the shaped waveform through it in order and fills the received waveform (and what it knows of
// its noise and gains): nothing after the step needs to change.
#pragma once

#include <functional>
#include <string_view>

#include "channel/hfchannel.hpp"
#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "runtime/host.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

enum class ChannelKind {
    none,   // the shaped waveform reaches the matched filter unchanged
    awgn,   // white Gaussian noise only, no fading
    paths,  // hfchannel with RoadChannel::fading, and its noise
};

struct RoadChannel {
    ChannelKind kind = ChannelKind::none;
    HfChannel fading;    // ChannelKind::paths: the paths and the frequency offset
    double EsNodB = 20;  // Es/N0 of the noise in dB (awgn and paths)
    double seed = 0;     // seed of the host's stream for the channel's draws (fading, then noise)
};

// The road's settings for the channel called `name`: "none"; "awgn" (white noise alone); any
// preset or written channel that read_channel reads (channel/channel_text.hpp), fadesim's four
// conditions among them, as ChannelKind::paths with its paths in their canonical order. Errors:
// read_channel's (kInvalidChannelText) for any other text.
RoadChannel road_channel(std::string_view name, double EsNodB, double seed);

// The largest path delay (s) and the largest Doppler spread (Hz) of a channel: for fadesim's
// conditions its RER (the second ray's delay) and ED.
struct PathExtent {
    double delay = 0;
    double spread = 0;
};
PathExtent path_extent(const HfChannel& channel);

// Adds complex white Gaussian noise of total variance 10^(-EsNodB/10) per sample, drawing the
// real parts and then the imaginary parts from `host` seeded with `seed` (restored afterwards),
// the same draws and level as the channel block's noise.
ComplexArray add_white_noise(const ComplexArray& x, double EsNodB, double seed, HostServices& host,
                             ComplexArray* noise_out = nullptr);

// Passes the shaped waveform `x` through `channel`: none, nothing (every field empty); awgn,
// add_white_noise (noise and AwgnOut); paths, hfchannel's outputs. Errors: those of hfchannel
// and of the noise.
HfchannelOut pass_channel(const RoadChannel& channel, const ComplexArray& x,
                          const VarShapping& shaping, HostServices& host);

// A channel step of the caller's, called by the road in place of pass_channel with the same
// arguments and giving what it gives: AwgnOut the received waveform (for ChannelKind::none too,
// where it may differ from the shaped one), noise what of it is noise, raios and delays the
// paths' gains for the genie. The sweep's path through audio (audio/airpath.hpp) is one; the
// signal core itself knows only pass_channel. The mode is that of the transmission the shaped
// waveform carries from its first sample, where the caller knows it (null otherwise: a stretch
// of silence before it, or noise alone).
using ChannelStep = std::function<HfchannelOut(
    const RoadChannel&, const ComplexArray&, const VarShapping&, const ModeParams*, HostServices&)>;

}  // namespace hfchain
