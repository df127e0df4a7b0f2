// The recording receiver: every transmission of one mode in a long received baseband (a
// recording brought down from audio), each decoded by the HF receiver (chain/hf_receiver.hpp) and
// reported block by block.
//
// Search. The preamble is searched window by window: freqlock looks for it among the first 288
// symbols of a window that also holds a whole preamble after them (the first 1440 preamble
// symbols, which every interleaver's preamble begins with), and the window moves on by 256
// symbols while nothing is found. A start counts when the signal from there matches the
// preamble's symbols well (see kLeastMatch in recording.cpp): noise does not. A start found is
// where the transmission's sound begins: its first symbol peaks D symbols later.
//
// Length. The receiver is not told how many interleaver blocks a transmission carries: a block
// belongs to it while the baseband's mean power over the block stays above the geometric mean
// of the preamble's power and the recording's quietest power (the least mean power over 0.1 s;
// taken as at most a quarter of the preamble's), while the recording lasts (to within 200 ppm
// of the block's end: a recorder whose clock runs slow takes it in fewer samples), and while the
// block matches the probes every block of the mode carries (chain/block_probes.hpp): where
// another transmission follows directly the power does not fall, but the probes stop matching.
// A block under that power still belongs when its probes match: in a recording the transmission
// fills from end to end the quietest 0.1 s is a fade of the transmission itself, and the power
// alone would end it at its first block weaker than half the preamble.
// A block that does not match them with less than half the preamble's power is a fade when the
// block after it matches again; one as strong as the preamble belongs to the transmission (its
// probes hidden by fading paths and noise) unless a preamble of any mode begins in it: then
// another transmission follows, and this one ends before it. A transmission of fewer blocks
// than its rate needs to carry an information bit is no transmission.
//
// Blocks. The HF receiver decodes the blocks together (the code runs on across them); a block
// counts as decoded when the decoded bits, encoded again, agree with the signs of the received
// ratios (each coded bit's copies added) on all but kMaxDisagreement of the block's coded bits
// (the decoder's codeword nearest to noise disagrees with it on 15 to 20 %; the code decodes
// reliably up to about 8 %); at 4800 bit/s, uncoded, when the ratios' expected
// share of wrong bits, the mean of 1 / (1 + e^|L|), is under kMaxUncodedErrors. Blocks after the
// last that decoded are taken for what follows the transmission (the length rule may run on into
// noise or the next transmission): the transmission is decoded again without them. One of fewer
// decoded blocks than its rate needs is taken for a false start, and the search goes on 256
// symbols later; after a transmission it goes on from its end.
//
// Any mode. Without a mode the search is modelock's (receiver/modelock/modelock.hpp), window by
// window as above (windows of kAnySearchStep symbols), over every mode at once: it finds a
// preamble segment, reads the mode from d1/d2 and the count, and so where the first data symbol
// lies, wherever in the preamble the recording begins. A mode read less surely than
// kLeastModeConfidence is reported and not decoded. Otherwise the last three segments before the
// first data symbol (the 0.6 s preamble, which every preamble ends with) are searched again with
// that mode as above (a find there confirms the detection: modelock's alone may be noise), and
// the transmission is decoded from them as one of that mode: its length, blocks and end as
// above. Where the channel fades those segments, the frames of the first block may confirm the
// find instead (frames_after_find): the transmission is then decoded from its first block as by
// a receiver entered late (see Late entry below), its clock and SNR not measured. A transmission
// none of whose blocks decode under the mode read is reported with its blocks, its bits dropped;
// the search goes on after it.
//
// Late entry. Without a mode, the part of the recording before the first preamble found (all of
// it when none is) may be the end of a transmission whose preamble the recording missed: its
// first 10.2 s at most are searched for frames with blocklock (receiver/blocklock/blocklock.hpp).
// Where they name a mode surely (kLeastModeConfidence), the whole blocks from the next block
// boundary that belong to the transmission by the probes' match of the length rule (at 75 bit/s,
// without probes, the patterns' repeats: chain/block_probes.hpp; within that part; a block that
// misses them belongs when the next matches again) are decoded by the HF receiver entered late
// (receive_hf_late), those after the last that decoded dropped as above (decoded again without
// them), and reported first, marked enteredLate. Its bits begin at that block's first bit, which
// is a byte's first bit of the message at every mode but 150 and 75 bit/s with the 0.6 s
// interleaver (90 and 45 bits a block). Its clock and SNR are not measured, and nothing is reported
// when no block decodes.
//
// Sample clock. When the caller gives a resampling step, the sample-clock offset of each
// transmission is measured with clocktrack over its samples (windows of at most 256 symbols, at
// least 8 of them; a transmission shorter than three windows of 16 symbols stays unmeasured),
// refined from its known symbols (the preamble and the probes; receiver/clocktrack/
// clockrefine.hpp), which also tell the reading's uncertainty (a rate without probes keeps
// clocktrack's reading, with none), and its samples are resampled to the transmitter's clock (a
// symbol spans M samples again) before the matched filter. Without a step the samples are
// decoded as they are.
#pragma once

#include <complex>
#include <functional>
#include <limits>
#include <vector>

#include "chain/hf_receiver.hpp"
#include "receiver/blocklock/blocklock.hpp"
#include "receiver/modelock/modelock.hpp"

namespace hfchain {

// A received baseband at M samples a symbol (2400 M a second), single precision: sample k is at
// k / (2400 M) s.
using Baseband = std::vector<std::complex<float>>;

inline constexpr double kMaxDisagreement = 0.1;
inline constexpr double kMaxUncodedErrors = 0.01;
inline constexpr double kLeastModeConfidence = 0.9;
inline constexpr index_t kAnySearchStep = 2048;  // symbols

// `x` as a clock (1 + ppm 1e-6) times as fast takes it: the same signal at that many more
// samples a second, the first sample at the same instant (about x.numel() (1 + ppm 1e-6)
// samples).
using ClockStep = std::function<ComplexArray(const ComplexArray& x, double ppm)>;

struct RecordingSettings {
    VarShapping shaping{.rolloffFactor = 0.35, .pulseDelay = 6, .oversamplingFactor = 4};
    double iterations = 2;  // decoder passes of the turbo loop
    TurboStop turboStop = TurboStop::confident;
    SoftRule softRule = SoftRule::max_log;
    ClockStep reclock;  // when set, each transmission's sample clock is measured and corrected
    bool keepSymbols = false;  // keep each transmission's symbols (RecordedTransmission::sounded)
};

struct RecordedBlock {
    bool decoded = false;
    double disagreement = 0;  // share of the block's coded bits whose received sign disagrees
                              // with the decoded bits encoded again (4800 bit/s: the expected
                              // share of wrong bits)
};

struct RecordedTransmission {
    double start = 0;            // s from the recording's first sample to the transmission's sound
    double end = 0;              // s from the recording's first sample to the end of the sound
                                 // of its last block kept (on the recording's clock)
    double frequencyOffset = 0;  // Hz, the offset freqlock took out
    bool clockMeasured = false;  // whether the sample-clock offset was measured (and corrected)
    double clockOffset = 0;      // parts per million the recording's sample clock runs fast
    double snr3k = 0;            // dB, the signal's power against the noise's in 3 kHz (NaN:
                                 // not measured)
    int mode = -1;               // index into kModes of the mode decoded (or read, when not
                                 // decoded)
    double confidence = 1;       // how surely the mode was read (1 when it was given)
    bool modeRead = true;        // false: read less surely than kLeastModeConfidence, not decoded
    // ppm either way the clock's reading may be off; NaN when not measured or not told.
    double clockUncertainty = std::numeric_limits<double>::quiet_NaN();
    bool enteredLate = false;  // the recording began after its preamble (see Late entry above)
    std::vector<RecordedBlock> blocks;
    RealArray infoBits;  // the decoded information bits of every block (K of the bit budget);
                         // empty when no block decoded under a mode read
    // With RecordingSettings::keepSymbols: the symbols at the matched filter at the instants the
    // HF receiver found (every symbol as sent) and its equalised data symbols, descrambled (at 75
    // bit/s those on its pattern track).
    ComplexArray sounded, equalised;
};

// Finds and decodes every transmission of `mode` in `baseband`, in order. A transmission is held
// whole in double precision while it is decoded (about 70 MB a minute at M = 4). Errors: a
// shaping whose M is not a whole number of 2 to 64 or whose pulse half-length is not a whole
// number of at least 1, "hfchain:recording:BadShaping"; a transmission whose blocks last over 20
// minutes, "hfchain:recording:TooLong"; those of the blocks.
std::vector<RecordedTransmission> receive_recording(const Baseband& baseband,
                                                    const ModeParams& mode,
                                                    const RecordingSettings& settings,
                                                    HostServices& host);

// Whether modelock's find `lock` in `matched` (the matched filter's output modelock searched) is
// confirmed as the receiver without a mode confirms one: the last three segments of the preamble
// of the mode it read, searched again with every symbol of theirs (d1, d2 and the counts too),
// begin where the find puts them. Data that only look like a preamble to modelock, and a
// preamble whose last three segments the input does not hold whole, are not confirmed.
bool confirms_find(const ComplexArray& matched, const ModelockOut& lock, const VarShapping& shaping,
                   HostServices& host);

// What the frames after a find tell where its preamble's last segments, in a fade, do not
// confirm it: blocklock's reading of `matched` (a matched filter's output, 1-based samples) from
// those segments to two frames past the end of the first block, where it names the find's mode
// `mode` surely (kLeastModeConfidence) and places a block start a whole number of blocks (none or
// more) after the find's first data symbol, the sample `firstData`, within the 16 symbols the
// confirmation above allows; blockStart is then firstData. Otherwise found is false. Data that
// only look like a preamble to modelock place their first data symbol where no block of the
// frames starts, and a count read wrongly puts it a segment or more away from one.
BlocklockOut frames_after_find(const ComplexArray& matched, int mode, double firstData,
                               const VarShapping& shaping, HostServices& host);

// Finds and decodes every transmission of any mode in `baseband`, in order (see "Any mode"
// above). Errors: as the one of a given mode.
std::vector<RecordedTransmission> receive_recording(const Baseband& baseband,
                                                    const RecordingSettings& settings,
                                                    HostServices& host);

}  // namespace hfchain
