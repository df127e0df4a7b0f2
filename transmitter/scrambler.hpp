// The scrambler: whitens 8-ary symbol values (0..7, the index of an 8-PSK point) by adding a
// known sequence modulo 8.
//
// Preamble mode adds the fixed 32-entry sequence `sequencia`, repeated. Data mode adds
// `saida_shift`, one tri-bit per symbol from a 12-stage shift register that advances 8 clocks per
// symbol (before the first output) and is reloaded with `estado_inicial` every 160 symbols, so
// the sequence has period 160. Each call starts afresh at the first entry of its sequence. The
// frame synchroniser and the demultiplexer regenerate the same sequences.
#pragma once

#include <array>

#include "runtime/array.hpp"

namespace hfchain {

// The preamble sequence `sequencia`.
inline constexpr std::array<int, 32> kSequencia = {7, 4, 3, 0, 5, 1, 5, 0, 2, 2, 1, 1, 5, 7, 4, 3,
                                                   5, 0, 2, 6, 2, 1, 6, 2, 0, 0, 5, 0, 5, 2, 6, 6};

// Initial register state, stages 1 to 12.
inline constexpr std::array<int, 12> kEstadoInicial = {1, 0, 1, 1, 1, 0, 1, 0, 1, 1, 0, 1};

// Period of the data sequence: the register is reloaded every 160 symbols.
inline constexpr int kDataSequencePeriod = 160;

// One period of `saida_shift` (entries 1..160), computed once.
const std::array<unsigned char, kDataSequencePeriod>& data_sequence_period();

// n x 1 column of `sequencia`(mod(k - 1, 32) + 1), k = 1..n.
RealArray preamble_sequence(index_t n);

// n x 1 column of `saida_shift`(1..n).
RealArray data_sequence(index_t n);

// y(k) = mod(x(k) + sequence(k), 8), preamble mode. x: column of whole numbers.
RealArray scrambler_preamble(const RealArray& x);

// y(k) = mod(x(k) + saida_shift(k), 8), data mode.
RealArray scrambler_data(const RealArray& x);

}  // namespace hfchain
