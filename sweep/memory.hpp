// How much memory a trial needs, and how much the program may use: a sweep that cannot fit is
// refused, or runs fewer threads, before any work.
#pragma once

#include <string>
#include <vector>

#include "chain/road.hpp"
#include "sweep/config.hpp"

namespace hfchain::sweep {

// Bytes one transmission through the whole road holds at its peak, estimated from the lengths of
// its signals: every intermediate signal of the road is kept until the end of the trial. With
// N symbols sent (preamble and frames), S = N M + 2 D M samples, C coded bits and Q data symbols:
//   16 S a + 40 N + 48 Q + 36 C bytes, plus 10 % and 1 MiB for the blocks' working arrays,
// where a counts the sample-rate signals: 2 without channel (shaped and matched waveforms), 4
// with white noise only (and the noise and the noisy waveform), 5 + P with a channel of P paths
// (and each path's gains and the faded waveform: 7 for two paths, as fadesim's conditions).
// mode: the parameter set of any rate (rateconf); nFrame: interleaver blocks (> 0); shaping: D
// and M. receivers: the receivers that run; the HF receiver and the genie add 48 S + 900 N bytes
// (300 N without fading). paths: P, the paths of a channel of paths, at least 1; not read for
// the other kinds. audioRate: above 0, every trial goes through the air at that many samples a
// second, which adds 56 bytes for each of its A = S audioRate / (2400 M) audio samples (the
// received sound and the noise alone, modulated apart, then side by side, their copy resampled
// to the clock found, the demodulator's working copies) and 80 S (the baseband heard before the
// clock is taken out, the noise alone demodulated, the clock tracker's matched filter); measured,
// with margin.
double road_memory_bytes(const ModeParams& mode, double nFrame, const VarShapping& shaping,
                         ChannelKind channel,
                         const std::vector<ReceiverKind>& receivers = {ReceiverKind::baseline},
                         double paths = 2, double audioRate = 0);

// road_memory_bytes of one run_road call with `config`: its channel (hfchannel: its paths),
// blocks, shaping and receivers.
double road_call_bytes(const ModeParams& mode, const RoadConfig& config);

// Bytes one hfchannel call holds for an input of L samples at M samples per symbol: the L x P
// path gains and the three output waveforms of L + Dmax samples.
double hfchannel_call_bytes(double L, const HfChannel& channel, double M);

// The memory the program may use, in bytes, and where that limit comes from.
struct MemoryLimit {
    double bytes = 0;
    std::string source;  // "physical memory", "control-group limit", "ulimit -v", "--max-memory"
};

// `requested` bytes when above 0 (its source: the name of the field maxMemory); otherwise the
// smallest of the machine's physical memory, the control group's memory limit and the
// address-space limit.
MemoryLimit memory_limit(double requested, const FieldNames& names = {});

// Refuses a call that needs `bytes`, more than memory_limit(0), before any work: raises
// "hfchain:runtime:OutOfMemory", "<what> needs about 118.2 GiB of memory, more than the 15.5 GiB
// limit (physical memory); <remedy>". For callers without the program's checks (Python).
void check_call_memory(double bytes, const std::string& what, const std::string& remedy);

// "81.3 GiB", "512.0 MiB", "900 B".
std::string format_bytes(double bytes);

// The worker threads a sweep of `config` runs in this process, checked against the memory: every
// worker thread, times `sharing` processes of the same job on this machine, holds a trial of the
// most demanding condition and rate (an acquisition sweep's trials of noise alone: of its
// noiseSeconds), and together they must fit in memory_limit(maxMemory).
// Threads given in the configuration (above 0) are kept or refused; with 0 (one per core) fewer
// run when one per core would not fit, and a line saying so is appended to `notes` (when not
// null). Raises
// errid::kInvalidConfig naming the field to change (threads, or nFrame, or noiseSeconds, when one
// trial alone is too large) with the estimate and the limit.
int fit_threads(const SweepConfig& config, double maxMemory, int sharing, std::string* notes,
                const FieldNames& names = {});

}  // namespace hfchain::sweep
