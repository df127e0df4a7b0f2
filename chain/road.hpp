// The whole road of one simulated transmission, block after block, keeping every intermediate
// signal: rateconf -> sendchain -> pulseshaper -> the channel step (chain/road_channel.hpp:
// hfchannel, white noise or nothing) -> impulseblank -> pulsematch -> framelock, then one or more
// receivers on the same received signal, each taking the data symbols the blanked samples reach
// as erasures (but the hf receiver at 75 bit/s, whose pattern detector reads the sounding
// itself):
//   baseline: tickalign -> unframer -> symslicer -> unshuffle (hard decisions, no equaliser), and
//          from the same symbols softslicer -> unshuffle -> vitdecode (at 75 bit/s patternslicer
//          instead of softslicer; at 4800 bit/s, uncoded, the decisions are the information
//          bits); at every data rate;
//   hf:    freqlock (the frequency offset, then framelock on the output turned back by it) ->
//          chansound -> turboequal -> softslicer -> unshuffle -> vitdecode (the HF receiver);
//          at 75 bit/s chansound -> patterntrack (noncoherent combining of the paths, then
//          coherent detection on the track of the decided patterns) -> unshuffle -> vitdecode;
//   genie: geniecombine -> softslicer -> unshuffle -> vitdecode (the matched-filter bound); at
//          75 bit/s geniecombine -> patternslicer, coherent, each symbol weighed by its gain;
//          both at every rate (at 4800, uncoded: one equaliser pass, and the information bits
//          are the signs of softslicer's ratios).
#pragma once

#include <string>
#include <vector>

#include "chain/road_channel.hpp"
#include "channel/hfchannel.hpp"
#include "params/modeconf.hpp"
#include "receiver/chansound/chansound.hpp"
#include "receiver/decoder/vitdecode.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/demod/symslicer.hpp"
#include "receiver/demux/unframer.hpp"
#include "receiver/framesync/framelock.hpp"
#include "receiver/freqlock/freqlock.hpp"
#include "receiver/geniecombine/geniecombine.hpp"
#include "receiver/impulseblank/impulseblank.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "receiver/patternslicer/patternslicer.hpp"
#include "receiver/patterntrack/patterntrack.hpp"
#include "receiver/softdemod/softslicer.hpp"
#include "receiver/timing/tickalign.hpp"
#include "receiver/turboequal/turboequal.hpp"
#include "runtime/host.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {

// The receivers of the road.
enum class ReceiverKind {
    baseline,  // the baseline receiver: hard decisions, no equaliser; and a decoder
               // fed from the same symbols
    hf,        // the HF receiver: channel sounding, turbo equalisation, decoding
    genie,     // the matched-filter bound: told the ray gains, no intersymbol interference
};

// A received sample replaced after the channel (a static crash, an impulse): sample `sample`
// (0-based) of the received signal becomes `size` times the received signal's RMS, and the
// channel's noise takes the difference, so that the genie sees it too.
struct ReceivedImpulse {
    index_t sample = 0;
    cdouble size;
};

struct RoadConfig {
    double nFrame = 1;  // interleaver blocks of data
    double txSeed = 1;  // seed of the information bits
    VarShapping shaping;
    RoadChannel channel;  // what the channel is, its Es/N0 and seed (road_channel makes it
                          // from a channel's name)
    std::vector<ReceiverKind> receivers{ReceiverKind::baseline};  // which receivers run
    double iterations = 2;                       // decoder passes of the HF receiver's turbo loop
    TurboStop turboStop = TurboStop::confident;  // when that loop may end early (all: never)
    SoftRule softRule = SoftRule::max_log;       // the soft demappers' rule (every receiver)
    std::vector<ReceivedImpulse> impulses;       // an experiment's faults (a channel with noise)
    ChannelStep channelStep;  // when set, the channel step in place of pass_channel

    bool runs(ReceiverKind kind) const;
};

// What a decoding receiver makes of the transmission.
struct Reception {
    bool ran = false;      // the receiver was asked for and reached the decoder
    ComplexArray symbols;  // N x 1 data symbols, descrambled (hf, genie: equalised, unit gain;
                           // hf at 75 bit/s: patterntrack's channel-matched filter output;
                           // baseline: unframer's symbols as they are)
    RealArray noiseVar;    // N x 1 their error variances (baseline: 1 x 1, estimated)
    SoftslicerOut soft;    // coded-bit LLRs in transmission order (75 bit/s: the pattern
                           // detector's)
    UnshuffleOut deinterleaved;  // the LLRs in encoder order (4800 bit/s: not interleaved)
    VitdecodeOut decoded;   // decoded encoder-input bits and information bits (baseline at 4800
                            // bit/s: the hard decisions, fewer when fewer symbols arrived)
    index_t codedBits = 0;  // coded bits compared
    index_t codedBitErrors = 0;  // LLR signs that differ from CodOutInterIn (missing: errors)
    index_t infoBits = 0;        // information bits compared
    index_t infoBitErrors = 0;   // decoded information bits that differ (missing: errors)
    index_t blocks = 0;          // interleaver blocks holding information bits
    index_t blockErrors = 0;     // of those, blocks with at least one wrong information bit
};

// The first `count` coded bits whose ratio in `llr` (encoder order) reads another bit than the
// one in `sent` (a negative ratio reads 1, any other 0); bits beyond either list count as wrong.
index_t ratio_sign_errors(const RealArray& llr, const RealArray& sent, index_t count);

// Information bits are numbered from 0; with B = T / (2 repFactor) encoder input bits per
// interleaver block (T = numel(interTable); B = T / repFactor uncoded), bit k lies in block k / B.
// Counts ceil(K / B) blocks (a fractional nFrame's partial last block counts as one) and the
// blocks among them where `decoded` and `sent` differ in any of their first K bits; `decoded`
// shorter than K counts its missing bits as wrong.
struct BlockCount {
    index_t blocks = 0;
    index_t errors = 0;
};
BlockCount count_block_errors(const RealArray& decoded, const RealArray& sent, index_t K,
                              const ModeParams& mode);

// The noise variance the baseline receiver gives its soft demapper: the mean of |y - x|^2 over
// the symbols y, x the nearest point of the mode's constellation (the 2^b points of phase
// 2 pi k / 2^b; at 75 bit/s the 2 points of the patterns' symbols, 1 and -1), floored at 1e-12
// so that a noiseless channel still gives finite ratios. It is
// what the receiver can know without an equaliser: on white noise with few symbol errors it is
// the noise variance; where decisions are often wrong it is too small, and the ratios
// overconfident. An empty input gives 1.
double spread_around_decisions(const ComplexArray& symbols, const ModeParams& mode);

struct RoadResult {
    SendchainOut tx;
    PulseshaperOut shaped;
    HfchannelOut faded;        // the channel step's outputs (pass_channel): for awgn only noise and
                               // AwgnOut; for none empty
    ImpulseblankOut blanking;  // the received samples set to 0 before the matched filter (and in
                               // the genie's noise); the data symbols they reach are erasures
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

    FreqlockOut locked;         // hf: the frequency offset, the output turned back by it and
                                // the start found there; where the sounding of framelock's
                                // start on the received signal saw its paths more clearly,
                                // that start, offset 0 and the received output (coarseOffset
                                // and coarseStart stay freqlock's)
    ChansoundOut sounding;      // hf: synchronisation, paths and their gains
    TurboequalOut equalised;    // hf: equalised data symbols and the final channel estimate
    PatterntrackOut patterns;   // hf at 75 bit/s: the pattern detector's ratios and track
    GeniecombineOut genieView;  // genie: the data symbols through the combined ray gain
    Reception baseline;         // the baseline receiver's decoding, from `data`
    Reception hf;
    Reception genie;

    // The reception of `kind`.
    const Reception& reception(ReceiverKind kind) const {
        return kind == ReceiverKind::baseline ? baseline : kind == ReceiverKind::hf ? hf : genie;
    }

    // The matched filter's input: the shaped waveform (no channel, and no channel step that
    // gave a received waveform), or the channel's AwgnOut.
    const ComplexArray& received(ChannelKind kind) const {
        return kind == ChannelKind::none && faded.AwgnOut.empty() ? shaped.out : faded.AwgnOut;
    }
};

// Raises "hfchain:road:UnsupportedReceiver" when run_road cannot run one of `receivers` with the
// parameter set `mode` (its rate): the check run_road makes before any work, for callers that
// check a whole configuration first.
void check_road_receivers(const ModeParams& mode, const std::vector<ReceiverKind>& receivers);

// The HF receiver's sounder searches paths at most kMaxPathSpread symbols (5 ms) apart and tracks
// at most kMaxPaths of them, and its frequency search tells offsets apart below kFreqlockRange
// (150 Hz) either way: with the hf receiver among `receivers`, a channel whose paths lie further
// apart, that has more paths at distinct delays, or one of whose paths arrives 150 Hz off or more
// (the offset plus its Doppler shift) is refused, "hfchain:road:UnsupportedChannel", naming the
// limit and the channel's value; the baseline receiver and the genie take any channel. fadesim's
// conditions are all within reach.
void check_hf_reach(const HfChannel& channel, const std::vector<ReceiverKind>& receivers);

// Runs the road for `mode` (built once by the caller with rateconf or modeconf) and the
// receivers the configuration asks for (framelock runs for baseline and hf). Without a frame
// start the baseline path stops and the hf receiver does not run: every bit and block of theirs
// counts as an error. The baseline receiver decodes whatever symbols it received: missing coded
// bits (a late frame start) are given as erasures (ratio 0), extra ones are dropped.
// Errors: the hf or the genie receiver asked for in a mode they do not handle (a hand-made
// parameter set: see receiver_mode_refusal), "hfchain:road:UnsupportedReceiver", and the hf
// receiver with a channel of paths beyond its reach (check_hf_reach), before any work; impulses
// without a channel (ChannelKind::none), "hfchain:road:ImpulseWithoutNoise", before any work,
// or at a sample outside the received signal, "hfchain:road:ImpulseOutside"; those of the
// blocks.
RoadResult run_road(const ModeParams& mode, const RoadConfig& config, HostServices& host);

}  // namespace hfchain
