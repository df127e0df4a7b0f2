#include "transmitter/convcoder_puncturing.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "runtime/checks.hpp"

namespace hfchain {

namespace {

constexpr index_t kTaps = 7;       // constraint length
constexpr unsigned kStates = 128;  // 2^7 register contents: the current bit and six past ones
constexpr unsigned kRegister = 127;

// The register holds the current bit in bit 0 and the bit j - 1 steps back in bit j - 1, so
// column j of a generator row is bit j - 1 of its tap mask.
unsigned tap_mask(const RealArray& genPolinomials, index_t p) {
    unsigned taps = 0;
    for (index_t j = 0; j < kTaps; ++j) {
        if (genPolinomials(p, j) == 1.0) taps |= 1u << j;
    }
    return taps;
}

// `tabela`(p, s) is the output of stream p for register contents s: the parity of the taps that
// see a one.
RealArray output_table(const RealArray& genPolinomials) {
    const index_t P = genPolinomials.rows();
    RealArray tabela(P, kStates);
    for (index_t p = 0; p < P; ++p) {
        const unsigned taps = tap_mask(genPolinomials, p);
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

// Serial stream without puncturing, any number of streams: for each input bit, streams 1..P in
// turn, copied from the output table.
void encode_serial(const double* u, index_t n, const RealArray& tabela, double* out,
                   HostServices& host) {
    const index_t P = tabela.rows();
    unsigned s = 0;
    const auto steps = [&](index_t first, index_t last) {
        for (index_t k = first; k < last; ++k) {
            s = shift_in(s, u[k], k);
            const double* column = tabela.data() + static_cast<index_t>(s) * P;
            for (index_t p = 0; p < P; ++p) out[p] = column[p];
            out += P;
        }
    };
    for_each_chunk(n, host, steps, items_per_poll(P));
}

// The two-stream code is encoded 64 input bits at a time: the bits are packed into a word (bit i
// holds input bit k0 + i), each stream is the XOR of the word shifted by its tap delays (the
// previous word supplying the bits that precede k0), and the two stream words are spread back
// into interleaved doubles 8 at a time through a table.
constexpr index_t kWord = 64;

using Expansion = std::array<std::array<double, 8>, 256>;
constexpr Expansion make_expansion() {
    Expansion e{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        for (unsigned i = 0; i < 8; ++i) e[byte][i] = (byte >> i) & 1u;
    }
    return e;
}
constexpr Expansion kExpansion = make_expansion();

// Bit i of a byte moved to bit 2 i.
constexpr std::array<std::uint16_t, 256> make_spread() {
    std::array<std::uint16_t, 256> t{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        for (unsigned i = 0; i < 8; ++i) {
            t[byte] |= static_cast<std::uint16_t>(((byte >> i) & 1u) << (2 * i));
        }
    }
    return t;
}
constexpr std::array<std::uint16_t, 256> kSpread = make_spread();

// Packs `count` (<= 64) input bits into a word; every one must be 0 or 1.
inline std::uint64_t pack_bits(const double* u, index_t count, index_t k0) {
    std::uint64_t w = 0;
    bool binary = true;
    for (index_t i = 0; i < count; ++i) {
        const double x = u[i];
        binary &= (x == 0.0) | (x == 1.0);
        w |= static_cast<std::uint64_t>(x == 1.0) << i;
    }
    if (!binary) {
        for (index_t i = 0; i < count; ++i) shift_in(0, u[i], k0 + i);
    }
    return w;
}

// Output word of one stream: the XOR over its taps of the input delayed by the tap's position.
inline std::uint64_t stream_word(std::uint64_t w, std::uint64_t previous, unsigned taps) {
    std::uint64_t y = (taps & 1u) ? w : 0;
    for (unsigned j = 1; j < kTaps; ++j) {
        if ((taps >> j) & 1u) y ^= (w << j) | (previous >> (kWord - j));
    }
    return y;
}

void encode_two_streams(const double* u, index_t n, unsigned taps1, unsigned taps2, double* out,
                        HostServices& host) {
    std::uint64_t previous = 0;
    for (index_t k0 = 0; k0 < n; k0 += kWord) {
        if (k0 % kPollWork == 0) host.poll_interrupt();
        const index_t count = n - k0 < kWord ? n - k0 : kWord;
        const std::uint64_t w = pack_bits(u + k0, count, k0);
        const std::uint64_t y1 = stream_word(w, previous, taps1);
        const std::uint64_t y2 = stream_word(w, previous, taps2);
        previous = w;
        double* o = out + 2 * static_cast<std::int64_t>(k0);
        if (count == kWord) {
            for (unsigned byte = 0; byte < 8; ++byte) {
                const unsigned pairs = kSpread[(y1 >> (8 * byte)) & 0xFFu] |
                                       (kSpread[(y2 >> (8 * byte)) & 0xFFu] << 1);
                std::memcpy(o, kExpansion[pairs & 0xFFu].data(), sizeof(double) * 8);
                std::memcpy(o + 8, kExpansion[pairs >> 8].data(), sizeof(double) * 8);
                o += 16;
            }
        } else {
            for (index_t i = 0; i < count; ++i) {
                o[2 * i] = static_cast<double>((y1 >> i) & 1u);
                o[2 * i + 1] = static_cast<double>((y2 >> i) & 1u);
            }
        }
    }
}

}  // namespace

RealArray convcoder_puncturing(const RealArray& bits, const RealArray& genPolinomials,
                               const RealArray& puncturingMask, HostServices& host) {
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
    RealArray outputBits(Nout);
    if (K1 == L && P == 2) {
        // No puncturing: Nout = P N, the whole serial stream.
        encode_two_streams(bits.data(), N, tap_mask(genPolinomials, 0), tap_mask(genPolinomials, 1),
                           outputBits.data(), host);
        return outputBits;
    }
    const RealArray tabela = output_table(genPolinomials);
    if (K1 == L) {
        encode_serial(bits.data(), N, tabela, outputBits.data(), host);
        return outputBits;
    }

    // Step 5-7: puncturing. The serial stream is cut into blocks of L bits and each block keeps
    // the positions where the mask is 1. The zeros that pad the last block are already in place
    // in the zero-initialised output, so only the coded bits are copied, up to Nout.
    index_t n_out = 0;
    index_t m = 0;
    unsigned s = 0;
    const auto steps = [&](index_t first, index_t last) {
        for (index_t k = first; k < last; ++k) {
            s = shift_in(s, bits[k], k);
            for (index_t p = 0; p < P; ++p) {
                if (puncturingMask[m] == 1.0 && n_out < Nout) {
                    outputBits[n_out++] = tabela(p, static_cast<index_t>(s));
                }
                if (++m == L) m = 0;
            }
        }
    };
    for_each_chunk(N, host, steps, items_per_poll(P));
    return outputBits;
}

}  // namespace hfchain
