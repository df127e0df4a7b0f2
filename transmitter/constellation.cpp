#include "transmitter/constellation.hpp"

#include <cmath>
#include <numbers>
#include <string>

#include "runtime/error.hpp"

namespace hfchain {

namespace {

std::array<cdouble, 8> make_points() {
    std::array<cdouble, 8> points{};
    for (int s = 0; s < kPskPhases; ++s) {
        const double phase = 2.0 * std::numbers::pi * s / 8.0;
        points[s] = cdouble(std::cos(phase), std::sin(phase));
    }
    return points;
}

Constellation make_constellation(int bits) {
    Constellation c;
    c.bits = bits;
    c.size = 1 << bits;
    const int scale = 1 << (3 - bits);
    for (int v = 0; v < c.size; ++v) {
        c.value[v] = static_cast<int>(kGray2bina[v]) * scale;
        c.point[v] = psk_points()[c.value[v]];
    }
    return c;
}

}  // namespace

const std::array<cdouble, 8>& psk_points() {
    static const std::array<cdouble, 8> points = make_points();
    return points;
}

const Constellation& constellation(int bits) {
    static const Constellation table[3] = {make_constellation(1), make_constellation(2),
                                           make_constellation(3)};
    if (bits < 1 || bits > 3) {
        raise("hfchain:constellation:BitsToSym",
              "The constellation maps 1, 2 or 3 bits a symbol, not " + std::to_string(bits) + ".");
    }
    return table[bits - 1];
}

}  // namespace hfchain
