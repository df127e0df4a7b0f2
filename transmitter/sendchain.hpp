// The transmitter: one complete transmission of the serial-tone waveform.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "runtime/host.hpp"

namespace hfchain {

// Every intermediate signal of the transmitter, in the order the host sees the fields.
struct SendchainOut {
    RealArray BitInCodIn;            // information bits, 144 flush zeros, padding zeros
    RealArray CodOutInterIn;         // coded bits (interleaver input)
    RealArray InterOutMapIn;         // interleaved bits
    RealArray MapOutMultiplexIn;     // Gray-mapped symbol values `dados_gray`
    ComplexArray ComplexPSKSymbols;  // unscrambled data symbols on the 8-PSK constellation
    ComplexArray ModConstellation;   // the constellation `const`, 8 x 1
    RealArray ProbeInfo;             // 1 at probe and marked preamble symbols, else 0
    ComplexArray MultiplexOut;       // transmitted symbols: scrambled preamble, scrambled frames
};

inline constexpr const char* kSendchainFields[] = {
    "BitInCodIn",        "CodOutInterIn",    "InterOutMapIn", "MapOutMultiplexIn",
    "ComplexPSKSymbols", "ModConstellation", "ProbeInfo",     "MultiplexOut"};

// Draws the information bits from the host's stream seeded with `seed` and builds the whole
// transmission for `nFrame` interleaver blocks.
//
// mode: the parameter set (rateconf, modeconf, or hand-made): `rate` 4800 sends the bits
//   uncoded and not interleaved, 75 sends each value as a 32-symbol channel pattern without
//   probes, any other rate uses the rate-1/2 code repeated `repFactor` times.
// nFrame: interleaver blocks of data; need not be whole, the last block is completed with zero
//   padding bits.
// seed: seed of the host's "twister" stream, a whole number in 0..4294967295. The caller's
//   generator settings are given back on every exit, failure included.
// The information bits are K = T nFrame / (2 repFactor) - 144 uniform draws (T bits per
// interleaver block; K = T nFrame / repFactor - 144 at 4800 bit/s, see bit_budget), followed by
// 144 flush zeros and the padding. `MultiplexOut` is the transmitted symbol column at one symbol
// per 1/2400 s: the scrambled preamble, then per frame `data` data symbols and `trein` probe
// symbols, scrambled; the last two frames of each block carry the `probe` columns.
//
// Errors, in the order they can occur: "hfchain:host:InvalidSeed"; the message without
// identifier "Erro: Total de frames insuficientes para transmissao" (fewer than 1 information
// bit); "Coder:MATLAB:NonIntegerInput" / "Coder:MATLAB:pmaxsize" (bit count, padding or frame
// counts not whole, or too large); "Coder:MATLAB:getReshapeDims_notSameNumel" (coded bits not a
// whole number of blocks, data symbols not a whole number of frames, bits not a whole number of
// symbols); "hfchain:runtime:IndexOutOfBounds" naming `dados_inter` (an interTable entry outside
// 1..T), `gray2bina` (a value beyond 7), `const` (a symbol value outside 0..7), `mode.probe`
// (fewer than two probe columns) or `chSymMapping` (75 bit/s with fewer than 8 patterns);
// "hfchain:runtime:SizeMismatch" naming `fr_mp` (probe and data frame counts differ), `aux` (75
// bit/s patterns not 32 symbols long) or `ProbeInfo` (markers that would not line up with
// `MultiplexOut`); errors of the encoder and of bin2int pass through.
SendchainOut sendchain(const ModeParams& mode, double nFrame, double seed, HostServices& host);

// The same transmission of given information bits: `info` (each 0 or 1, at most the K of the bit
// budget) followed by zeros up to K, then the flush and padding zeros. Errors: more bits than
// K, "hfchain:sendchain:TooManyBits"; a bit other than 0 or 1, "hfchain:sendchain:NonBinaryBit";
// those of sendchain's, but the seed's.
SendchainOut sendchain_bits(const ModeParams& mode, double nFrame, const RealArray& info,
                            HostServices& host);

}  // namespace hfchain
