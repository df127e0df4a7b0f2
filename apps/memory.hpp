// How much memory a trial needs, and how much the program may use: the runner refuses, before any
// work, a transmission or a sweep that cannot fit.
#pragma once

#include <string>
#include <vector>

#include "chain/road.hpp"

namespace hfchain::app {

// Bytes one transmission through the whole road holds at its peak, estimated from the lengths of
// its signals: every intermediate signal of the road is kept until the end of the trial. With
// N symbols sent (preamble and frames), S = N M + 2 D M samples, C coded bits and Q data symbols:
//   16 S a + 40 N + 48 Q + 36 C bytes, plus 10 % and 1 MiB for the blocks' working arrays,
// where a counts the sample-rate signals: 2 without channel (shaped and matched waveforms), 4
// with white noise only (and the noise and the noisy waveform), 7 with fading (and the two ray
// gains and the faded waveform).
// milstd: the parameter set (modeconf); nFrame: interleaver blocks (> 0); shaping: D and M.
// receivers: the receivers that run; the HF receiver and the genie add 48 S + 900 N bytes
// (300 N without fading).
double road_memory_bytes(const Milstd& milstd, double nFrame, const VarShapping& shaping,
                         ChannelKind channel,
                         const std::vector<ReceiverKind>& receivers = {ReceiverKind::baseline});

// The memory the program may use, in bytes, and where that limit comes from.
struct MemoryLimit {
    double bytes = 0;
    std::string source;  // "physical memory", "control-group limit", "ulimit -v", "--max-memory"
};

// `requested` bytes (from --max-memory) when above 0; otherwise the smallest of the machine's
// physical memory, the control group's memory limit and the address-space limit.
MemoryLimit memory_limit(double requested);

// A size for --max-memory: a number of bytes with an optional binary multiple K, M, G or T
// (also KiB, MiB, ..., any case): "512M", "1.5G", "4e9". Raises UsageError naming --max-memory.
double parse_memory_size(const std::string& text);

// "81.3 GiB", "512.0 MiB", "900 B".
std::string format_bytes(double bytes);

}  // namespace hfchain::app
