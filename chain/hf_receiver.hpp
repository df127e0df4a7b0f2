// The HF receiver on a received signal alone: it knows the mode, the shaping and how many
// interleaver blocks the transmission carries, never what was sent. The road runs it beside the
// transmitter and counts its errors; the recording receiver (chain/recording.hpp) runs it on each
// transmission it finds in a long signal.
//
//   freqlock (the frequency offset, then framelock on the output turned back by it) ->
//   chansound -> turboequal -> softslicer -> unshuffle -> vitdecode;
//   at 75 bit/s chansound -> patterntrack (noncoherent combining of the paths, then coherent
//   detection on the track of the decided patterns) -> unshuffle -> vitdecode.
#pragma once

#include <limits>
#include <vector>

#include "params/modeconf.hpp"
#include "receiver/chansound/chansound.hpp"
#include "receiver/decoder/vitdecode.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/freqlock/freqlock.hpp"
#include "receiver/patterntrack/patterntrack.hpp"
#include "receiver/softdemod/softdemap.hpp"
#include "receiver/softdemod/softslicer.hpp"
#include "receiver/turboequal/turboequal.hpp"
#include "runtime/host.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

// What a receiver decoded, before any comparison with what was sent.
struct Decoding {
    bool ran = false;            // the receiver reached its decoder
    ComplexArray symbols;        // N x 1 data symbols, descrambled
    RealArray noiseVar;          // N x 1 their error variances (or 1 x 1)
    SoftslicerOut soft;          // coded-bit LLRs in transmission order
    UnshuffleOut deinterleaved;  // the LLRs in encoder order (4800 bit/s: not interleaved)
    VitdecodeOut decoded;        // decoded encoder-input bits and information bits
};

struct HfSettings {
    double nFrame = 1;  // interleaver blocks the transmission carries
    VarShapping shaping;
    double iterations = 2;  // decoder passes of the turbo loop
    TurboStop turboStop = TurboStop::confident;
    SoftRule softRule = SoftRule::max_log;
};

struct HfReceived {
    FreqlockOut locked;        // the frequency offset, the output turned back by it and the start
                               // found there (or the second look's start, offset 0, see
                               // receive_hf)
    ChansoundOut sounding;     // synchronisation, paths and their gains
    TurboequalOut equalised;   // equalised data symbols and the final channel estimate
    PatterntrackOut patterns;  // at 75 bit/s: the pattern detector's ratios and track
    Decoding decoding;         // ran false when no preamble was found
};

// The frames of an interleaver block of `mode`: at 75 bit/s its patterns (one a symbol value of
// bitsToSym coded bits), else its frames of data and probes. Errors: those of the layout.
index_t frames_per_block(const ModeParams& mode);

// The first n values of `x`, zeros (erasures) where it is shorter.
RealArray first_or_erased(const RealArray& x, index_t n);

// The coded bits that `nFrame` blocks of `mode` carry (the transmitter's CodOutInterIn; with
// `ends` open, whole blocks from inside a transmission).
index_t coded_bit_count(const ModeParams& mode, double nFrame,
                        TrellisEnds ends = TrellisEnds::zero);

// The decoders' shared back end from r.symbols and r.noiseVar: the soft demapper, the
// deinterleaver and the decoder (at 4800 bit/s, uncoded, the ratios' signs), whose trellis
// starts and ends as `ends` says (open: whole blocks from inside a transmission).
void decode_symbols(const ModeParams& mode, double nFrame, SoftRule rule, Decoding& r,
                    TrellisEnds ends = TrellisEnds::zero);

// The 75 bit/s back end from a pattern detector's ratios: deinterleaver and decoder, whose trellis
// starts and ends as `ends` says.
void decode_pattern_ratios(const ModeParams& mode, double nFrame, const RealArray& llr, Decoding& r,
                           TrellisEnds ends = TrellisEnds::zero);

// Marks data symbols of a reception `r` (a Decoding, or anything with its symbols and noiseVar)
// as erasures: symbol 0, which every soft demapper and pattern detector turns into ratios of 0,
// and variance +Inf where the reception has one a symbol.
template <class R>
void erase(const std::vector<index_t>& symbols, R& r) {
    const bool each = r.noiseVar.numel() == r.symbols.numel();
    for (const index_t k : symbols) {
        r.symbols[k] = 0.0;
        if (each) r.noiseVar[k] = std::numeric_limits<double>::infinity();
    }
}

// The HF receiver on `matched` (pulsematch's output of the received signal, whose samples
// `blanked` (0-based, before the matched filter) were set to 0). `frameStart` is framelock's
// start on `matched` (1 x 1, or empty): where freqlock's search may have been misled (a start
// elsewhere, or an offset above 10 Hz), that start is sounded too without any offset, and the
// sounding that sees its paths more clearly is kept. The data symbols the blanked samples reach
// are erasures. Errors: those of the blocks.
HfReceived receive_hf(const ComplexArray& matched, const RealArray& frameStart,
                      const std::vector<index_t>& blanked, const ModeParams& mode,
                      const HfSettings& settings, HostServices& host);

// What a receiver that entered after the preamble decodes: the whole blocks from a block's first
// symbol on.
struct HfLateReceived {
    double blocks = 0;         // whole interleaver blocks decoded (0: none fits in the input)
    ComplexArray turned;       // the matched-filter output turned back by the offset
    ChansoundOut sounding;     // the sounding from the block's probes (75 bit/s: from the
                               // patterns decided without a channel estimate)
    TurboequalOut equalised;   // equalised data symbols of those blocks (but at 75 bit/s)
    PatterntrackOut patterns;  // at 75 bit/s: the pattern detector's ratios and track
    Decoding decoding;         // ran false when no whole block fits; DecodOut holds the encoder
                               // input bits of the blocks, InfoBits nothing of meaning
};

// What the plug-ins and bindings hand back of an HfLateReceived.
inline constexpr const char* kHfLateFields[] = {"blocks", "DecodOut", "out", "noiseVar"};

// The HF receiver after a late entry: decodes the whole interleaver blocks of `matched`
// (pulsematch's output) from the one whose first symbol peaks at the 1-based sample `blockStart`
// (blocklock's, under the frequency offset `offset` Hz it read) to the end of the input, at most
// settings.nFrame of them (the blocks the transmission has left, when the caller knows them).
// The channel is sounded on the blocks' probes (chansound_from_block); the turbo loop's decoder
// and the Viterbi decoder take the trellis open at both ends (the encoder's state at a block's
// first bit is unknown, and nothing of the blocks is a known zero). At 75 bit/s, without probes,
// the patterns are first decided without a channel estimate (decide_patterns), the channel is
// sounded on those decisions (chansound_from_decisions), and the pattern detector and the
// decoder run on it as in receive_hf, the trellis open at both ends.
// Nothing is decoded (blocks 0) when no whole block fits, or nFrame is under 1 or NaN. Errors: an
// offset that is NaN or infinite, "hfchain:late:BadOffset"; those of the blocks (a blockStart
// that is not a whole sample of the input, the index check).
HfLateReceived receive_hf_late(const ComplexArray& matched, double blockStart, double offset,
                               const ModeParams& mode, const HfSettings& settings,
                               HostServices& host);

}  // namespace hfchain
