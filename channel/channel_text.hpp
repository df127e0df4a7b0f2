// Channels by name or written out: the text a user gives for a condition (`hfchain sweep -C`,
// SweepConfig::conditions, Python's `conditions`), read into the channel it means and its one
// canonical spelling.
//
// Grammar (no spaces; units required; numbers are decimals such as 2, 0.5, -75, 1e-3):
//   NAME                       a preset of channel/conditions.hpp (bom, moderado, ruim,
//                              muito_ruim, itu_low_quiet, ..., itu_high_disturbed) or awgn
//   Np:DELAY:SPREAD[:shift=F][:off=F]
//                              N equal paths (1 to 16) at delays 0, DELAY, 2 DELAY, ..., each
//                              of two-sided Doppler spread SPREAD and Doppler shift F
//   paths=PATH+PATH+...[:off=F]
//                              one PATH per path, DELAY/POWER/SPREAD[/SHIFT]: POWER in dB relative
//                              to the other paths
//   DELAY: a number and ms, us or s, from 0 to 100 ms (the shorthand's last path at most 1 s
//   behind the first);  POWER: a number and dB, from -100 to 100, the paths' within 100 dB of
//   each other;
//   SPREAD: a number and Hz, from 0 (a fixed path) to 300;  F, SHIFT: a number and Hz, from -1000
//   to 1000;  off: the frequency offset of the whole signal.
// A written channel's paths share a total mean power of 1 (0 dB); the presets keep fadesim's
// -3 dB per path (a total of 1.0024). Examples: 2p:2ms:1Hz (two equal paths 2 ms apart, 1 Hz);
// 1p:0ms:0Hz (one fixed path: white noise alone, as awgn, but run through hfchannel);
// 2p:2ms:1Hz:off=50Hz; paths=0ms/0dB/1Hz+2ms/-3dB/1Hz/0.5Hz.
//
// Canonical spelling: a preset's name; otherwise the shorthand whenever the paths are equal and
// evenly spaced from 0, else the per-path form with the paths sorted (by delay, then power from
// the strongest, spread, shift) and powers relative to the strongest (0 dB); delays in ms,
// numbers in their shortest exact form, shift and offset left out when 0, options in the order
// shift, off. Two spellings of one channel have one canonical spelling, so they are one point
// of a sweep and draw the same seeds; the paths of the channel come in the canonical order.
#pragma once

#include <string>
#include <string_view>

#include "channel/conditions.hpp"
#include "channel/hfchannel.hpp"

namespace hfchain {

// The identifier of a text that is neither a preset nor a well-written channel.
inline constexpr const char* kInvalidChannelText = "hfchain:channel:InvalidChannelText";

struct ChannelChoice {
    std::string canonical;  // the canonical spelling
    HfChannel channel;      // the paths (delays in s, absolute powers in dB) and the offset;
                            // awgn: one fixed path of 0 dB
    const WattersonCondition* condition = nullptr;  // fadesim's condition of that name, or null
    bool awgn = false;                              // the name "awgn"
};

// The frequency offset given as a number beside a channel (the hfchannel plug-in's `offset`,
// Python's), bounded as the text's off= is: `hz` when from -1000 to 1000 Hz, else raises
// "hfchain:hfchannel:InvalidChannel" naming it.
double numeric_offset(double hz);

// Reads `text` (exact, case-sensitive). Raises kInvalidChannelText naming what is wrong ("in
// '2p:2ms': expected Np:DELAY:SPREAD ..."), and listing the presets for an unknown name.
ChannelChoice read_channel(std::string_view text);

// The channel of a preset (two paths at 0 and tau, kPresetPathPowerdB each, spread fd).
HfChannel preset_channel(const WattersonCondition& condition);

// "bom, moderado, ..., itu_high_disturbed, awgn": for messages.
std::string preset_list();

}  // namespace hfchain
