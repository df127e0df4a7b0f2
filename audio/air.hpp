// The waveform on the air: a whole transmission as audio on a carrier, and a recording brought
// down to baseband and decoded. What `hfchain transmit` and `hfchain receive`, the Python module
// and the Octave plug-ins share; files and reports stay with them.
//
// The shaping between symbols and audio is the program's: roll-off 0.35, a pulse of 6 symbols
// each side, 4 samples a symbol; the band on the air is the pulse's 1200 (1 + roll-off) Hz each
// side of the carrier.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "audio/passband.hpp"
#include "chain/recording.hpp"
#include "runtime/array.hpp"

namespace hfchain::audio {

class AudioReader;

VarShapping air_shaping();

// The band on the air at `sampleRate` around `carrier`, for air_shaping()'s pulse.
PassbandConfig air_passband(double sampleRate, double carrier);

// What a transmission sends: the bits of a message over the fewest whole interleaver blocks
// that hold them (the last completed with zeros), or `nFrame` blocks of random bits from `seed`.
struct AirSource {
    const RealArray* message = nullptr;  // information bits (each 0 or 1), or none
    double nFrame = 1;                   // blocks of random bits (without a message)
    double seed = 1;                     // of the random bits
};

struct AirTransmission {
    double nFrame = 0;     // interleaver blocks sent
    index_t infoBits = 0;  // information bits they carry (the message's and the padding zeros)
    AudioSignal audio;     // the transmission's sound, with its level and peak-to-average ratio
};

// The whole transmission (preamble and data) of `mode` as audio at `level`. Errors: those of
// sendchain, check_passband and modulate.
AirTransmission transmit_air(const ModeParams& mode, const AirSource& source,
                             const PassbandConfig& passband, const Level& level,
                             HostServices& host);

// The fewest whole blocks of `mode` whose information bits hold `bits`.
double blocks_for(const ModeParams& mode, index_t bits);

// The bits of `bytes`, the first bit the most significant of the first byte.
RealArray bits_of_bytes(const std::string& bytes);
// `bits` as bytes, the first bit the most significant; the last byte completed with zeros.
std::string bytes_of_bits(const RealArray& bits);

struct AirRecording {
    Baseband baseband;  // single precision, at air_shaping()'s M samples a symbol
    double sampleRate = 0;
    double seconds = 0;  // of audio
};

// A recording brought down to baseband block by block: only the baseband is kept. `name` names
// the recording in the messages. Errors: a sample rate or carrier whose band does not fit,
// "hfchain:receive:BadRecording"; a file over 8 hours (its baseband, 277 MB an hour, is kept),
// "hfchain:receive:TooLong"; those of the reader.
// `heard`, when set, sees every stretch of audio as it is read.
using AudioTap = std::function<void(const double* samples, std::size_t n)>;
AirRecording demodulate_recording(AudioReader& reader, double carrier, const std::string& name,
                                  const AudioTap& heard = {});
// The same of samples in memory (no length limit: the samples take more room than the baseband).
AirRecording demodulate_recording(const double* samples, std::size_t n, double sampleRate,
                                  double carrier, const std::string& name);

// Every transmission of `mode` in the recording, found and decoded with the sample clock
// followed (chain/recording.hpp); with `keepSymbols`, each with its symbols before and after the
// HF receiver.
std::vector<RecordedTransmission> receive_air(const AirRecording& recording, const ModeParams& mode,
                                              HostServices& host, bool keepSymbols = false);
// Every transmission of any mode, each read from its preamble.
std::vector<RecordedTransmission> receive_air(const AirRecording& recording, HostServices& host,
                                              bool keepSymbols = false);

}  // namespace hfchain::audio
