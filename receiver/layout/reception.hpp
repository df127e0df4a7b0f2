// What the HF receivers (the sounder, freqlock, the equaliser, the pattern detector and the genie)
// share about a received signal: its samples a symbol, the frames a matched-filter output holds,
// the modes they handle, the largest path spread they search and the bounds of the values they
// square and sum. Each receiver names itself (`block`, "chansound", "freqlock", ...) in the
// identifiers of the refusals it makes through these checks.
#pragma once

#include <string>

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

// The largest magnitude of a matched-filter sample (real or imaginary part) the sounder takes,
// and of the samples, path gains and basis values the equaliser takes back: both add squares
// over whole transmissions and the smoother multiplies variances together (fourth powers of
// the samples), which must stay far from overflow (1e120 against 1.8e308). A unit-energy signal
// through any channel the simulator makes stays many orders below; a larger input is refused
// rather than turned into Inf and NaN.
inline constexpr double kLargestSample = 1e30;
inline constexpr double kLargestVariance = 1e60;  // kLargestSample squared: variances alike

// The largest differential delay between paths the sounder searches, in symbols (5 ms). Paths
// further apart are missed or misplaced (measured at 30 dB: at 6 ms the early path is fitted
// about 1.5 symbols late, at 7 ms it is not found), so the road refuses such channels for the HF
// receiver.
inline constexpr index_t kMaxPathSpread = 12;

// The samples a symbol M of varShapping as a count; anything but a whole number of at least 1
// raises "hfchain:<block>:BadOversampling".
index_t oversampling_factor(const VarShapping& varShapping, const char* block);

// The modes the HF receivers (the sounder and the genie; the equaliser needs probes as well)
// handle: every mode with probes, that is 2-, 4- or 8-PSK (bitsToSym 1, 2 or 3), repFactor a
// whole number of at least 1, data and trein at least 1 (150 to 4800 bit/s), and the 75 bit/s
// patterns (trein 0: the sounder then has the preamble alone). receiver_mode_refusal gives why
// `mode` is not one of them, or nothing when it is; check_receiver_mode raises that as
// "hfchain:<block>:UnsupportedMode".
std::string receiver_mode_refusal(const ModeParams& mode);
void check_receiver_mode(const ModeParams& mode, const char* block);

// Frames after the preamble of a matched-filter output of Lmf samples at M samples a symbol
// (oversampling_factor's count) from filters of half-length pulseDelay symbols, as tickalign and
// unframer count them: floor((floor((Lmf - 4 D M - 1) / M) + 1 - preamble) / (data + trein)).
// Errors: a pulse length 2 D M + 1 that is not a whole number of at least 0 within 32 bits,
// rrc_length's errors; those of whole_frames.
index_t frames_in(index_t Lmf, const ModeParams& mode, double pulseDelay, index_t M);

}  // namespace hfchain
