#include "transmitter/scrambler.hpp"

#include <cmath>

namespace hfchain {

namespace {

// One clock of the register on stages 1..12 (index 0..11): stage 1 is shifted out, the others
// move down one stage, the shifted-out bit enters stage 12 and is added into stages 6, 8 and 11.
void clock_register(std::array<int, 12>& s) {
    const int b = s[0];
    for (int i = 0; i < 11; ++i) s[i] = s[i + 1];
    s[11] = b;
    s[5] ^= b;
    s[7] ^= b;
    s[10] ^= b;
}

std::array<unsigned char, kDataSequencePeriod> compute_data_period() {
    std::array<unsigned char, kDataSequencePeriod> out{};
    std::array<int, 12> s = kEstadoInicial;
    for (int k = 0; k < kDataSequencePeriod; ++k) {
        for (int c = 0; c < 8; ++c) clock_register(s);  // the register advances before the output
        out[k] = static_cast<unsigned char>(4 * s[9] + 2 * s[10] + s[11]);
    }
    return out;
}

// mod(v, 8) for a double holding a whole number, negative ones included.
inline double mod8(double v) { return v - 8.0 * std::floor(v / 8.0); }

}  // namespace

const std::array<unsigned char, kDataSequencePeriod>& data_sequence_period() {
    static const std::array<unsigned char, kDataSequencePeriod> period = compute_data_period();
    return period;
}

RealArray preamble_sequence(index_t n) {
    RealArray out(n);
    for (index_t k = 0; k < n; ++k) out[k] = kSequencia[k % 32];
    return out;
}

RealArray data_sequence(index_t n) {
    const auto& period = data_sequence_period();
    RealArray out(n);
    for (index_t k = 0; k < n; ++k) out[k] = period[k % kDataSequencePeriod];
    return out;
}

RealArray scrambler_preamble(const RealArray& x) {
    RealArray y(x.numel());
    for (index_t k = 0; k < x.numel(); ++k) y[k] = mod8(x[k] + kSequencia[k % 32]);
    return y;
}

RealArray scrambler_data(const RealArray& x) {
    const auto& period = data_sequence_period();
    RealArray y(x.numel());
    for (index_t k = 0; k < x.numel(); ++k) y[k] = mod8(x[k] + period[k % kDataSequencePeriod]);
    return y;
}

}  // namespace hfchain
