#include "transmitter/convcoder_puncturing.hpp"

#include <cstdint>
#include <string>

#include "runtime/checks.hpp"

namespace hfchain {

namespace {

constexpr index_t kTaps = 7;       // constraint length
constexpr unsigned kStates = 128;  // 2^7 register contents: the current bit and six past ones
constexpr unsigned kRegister = 127;

// The register holds the current bit in bit 0 and the bit j - 1 steps back in bit j - 1, so
// column j of a generator row is bit j - 1 of its tap mask. `tabela`(p, s) is the output of
// stream p for register contents s: the parity of the taps that see a one.
RealArray output_table(const RealArray& genPolinomials) {
    const index_t P = genPolinomials.rows();
    RealArray tabela(P, kStates);
    for (index_t p = 0; p < P; ++p) {
        unsigned taps = 0;
        for (index_t j = 0; j < kTaps; ++j) {
            if (genPolinomials(p, j) == 1.0) taps |= 1u << j;
        }
        for (unsigned s = 0; s < kStates; ++s) {
            tabela(p, static_cast<index_t>(s)) = __builtin_parity(s & taps);
        }
    }
    return tabela;
}

[[noreturn]] void raise_non_binary(double value, index_t k) {
    raise("hfchain:convcoder:NonBinaryInput", "Input bit " + std::to_string(k + 1) + " is " +
                                                  format_value(value) +
                                                  "; the encoder takes only 0 and 1.");
}

// Shifts the next input bit into the register.
inline unsigned shift_in(unsigned s, double bit, index_t k) {
    if (bit != 0.0 && bit != 1.0) raise_non_binary(bit, k);
    return ((s << 1) | (bit != 0.0 ? 1u : 0u)) & kRegister;
}

// Serial stream without puncturing: for each input bit, streams 1..P in turn. The row count is a
// template parameter for the transmitter's two streams, so that the copy is two plain stores.
template <index_t kRows>
void encode_serial(const double* u, index_t n, const RealArray& tabela, index_t P, double* out) {
    const index_t rows = kRows > 0 ? kRows : P;
    const double* table = tabela.data();
    unsigned s = 0;
    for (index_t k = 0; k < n; ++k) {
        s = shift_in(s, u[k], k);
        const double* column = table + static_cast<index_t>(s) * rows;
        for (index_t p = 0; p < rows; ++p) out[p] = column[p];
        out += rows;
    }
}

}  // namespace

RealArray convcoder_puncturing(const RealArray& bits, const RealArray& genPolinomials,
                               const RealArray& puncturingMask) {
    // The generators have one column per tap.
    if (genPolinomials.cols() != kTaps) {
        raise(errid::kSizeMismatch, "genPolinomials must have 7 columns (one per tap), not " +
                                        std::to_string(genPolinomials.cols()) + ".");
    }

    // Step 1: sizes of the configuration.
    const index_t N = bits.numel();
    const index_t P = genPolinomials.rows();
    const index_t L = puncturingMask.numel();
    index_t K1 = 0;
    for (const double m : puncturingMask) K1 += m == 1.0 ? 1 : 0;

    // Step 2: configuration checks, in this order.
    for (const double g : genPolinomials) {
        if (g != 0.0 && g != 1.0) {
            raise_message("ERRO! Um ou mais polinomios geradores invalidos (genPolinomials).");
        }
    }
    for (const double m : puncturingMask) {
        if (m != 0.0 && m != 1.0) {
            raise_message("ERRO! Mascara de truncamento invalida (puncturingMask).");
        }
    }
    if ((P == 0 ? L : L % P) != 0) {
        raise_message(
            "ERRO! O comprimento da mascara de truncamento deve ser um multiplo do numero de "
            "polinomios geradores.");
    }
    // Rate (L / P) / K1 must stay below 1; with no generator at all the rate is undefined and
    // the configuration is refused as well.
    if (P == 0 || L / P >= K1) {
        raise_message("ERRO! Taxa de codificacao resultante igual ou superior a 1.");
    }

    // Output length: ceil(N K1 P / L), in whole numbers (a double quotient can land one high).
    const index_t M0 = checked_size_product(P, N);
    const std::int64_t exact = static_cast<std::int64_t>(M0) * K1;
    const auto Nout = static_cast<index_t>((exact + L - 1) / L);

    // Step 3-4: encoding, read out serially (streams 1..P at each time step).
    const RealArray tabela = output_table(genPolinomials);
    RealArray outputBits(Nout);
    if (K1 == L) {
        // No puncturing: Nout = P N, the whole serial stream.
        if (P == 2) {
            encode_serial<2>(bits.data(), N, tabela, P, outputBits.data());
        } else {
            encode_serial<0>(bits.data(), N, tabela, P, outputBits.data());
        }
        return outputBits;
    }

    // Step 5-7: puncturing. The serial stream is cut into blocks of L bits and each block keeps
    // the positions where the mask is 1. The zeros that pad the last block are already in place
    // in the zero-initialised output, so only the coded bits are copied, up to Nout.
    index_t n_out = 0;
    index_t m = 0;
    unsigned s = 0;
    for (index_t k = 0; k < N; ++k) {
        s = shift_in(s, bits[k], k);
        for (index_t p = 0; p < P; ++p) {
            if (puncturingMask[m] == 1.0 && n_out < Nout) {
                outputBits[n_out++] = tabela(p, static_cast<index_t>(s));
            }
            if (++m == L) m = 0;
        }
    }
    return outputBits;
}

}  // namespace hfchain
