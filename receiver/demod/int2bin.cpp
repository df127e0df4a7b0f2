#include <cmath>
#include <limits>

#include "receiver/demod/colon.hpp"
#include "receiver/demod/symslicer.hpp"
#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

namespace detail {

index_t colon_count(double a, double b, const char* name) {
    if (std::isnan(a) || std::isnan(b)) check_integer(std::isnan(a) ? a : b, name);
    if (b < a) return 0;
    if (std::isinf(a) || std::isinf(b)) {
        raise(errid::kMaxSize, std::string("The range of '") + name + "' has too many elements.");
    }
    const double n_dbl = std::floor(b - a + 0.5);
    const double last = a + n_dbl;
    const double overshoot = last - b;
    const double larger = std::fmax(std::fabs(a), std::fabs(b));
    const double tolerance =
        4.0 * (std::nextafter(larger, std::numeric_limits<double>::infinity()) - larger);
    const double count = std::fabs(overshoot) < tolerance ? n_dbl + 1.0
                         : overshoot > 0.0                ? n_dbl
                                                          : n_dbl + 1.0;
    if (count > 2147483647.0) {
        raise(errid::kMaxSize, std::string("The range of '") + name + "' has " +
                                   format_value(count) +
                                   " elements, more than the largest size, 2147483647.");
    }
    return static_cast<index_t>(count);
}

}  // namespace detail

RealArray int2bin(const RealArray& x, double n, HostServices& host) {
    const index_t L = x.numel();

    // 1. Capacity: the largest value n bits hold, sum of 2^e for e = 0 .. n - 1.
    const index_t n_exponents = detail::colon_count(0.0, n - 1.0, "n");
    double limit = 0.0;
    for (index_t e = 0; e < n_exponents; ++e) limit += std::pow(2.0, static_cast<double>(e));
    for_each_chunk(L, host, [&](index_t first, index_t last) {
        for (index_t i = first; i < last; ++i) {
            if (x[i] > limit) {
                raise_message(
                    "ERRO! N\xC3\xBAmero de bits insuficientes para representar o "
                    "s\xC3\xADmbolo (n).");
            }
        }
    });

    // 2. Weights 2^(c - n), c = 1 .. n: the last one is 1.
    const index_t n_bits = detail::colon_count(1.0, n, "n");
    RealArray w(n_bits);
    for (index_t c = 0; c < n_bits; ++c) w[c] = std::pow(2.0, static_cast<double>(c + 1) - n);

    // 3.-4. Bit c of value i is rem(floor(x(i) w(c)), 2), written value after value. For a whole
    // n of at most 31 the weights are exact powers of two, so for a whole value 0 <= x < 2^31 the
    // floored product is x shifted right and rem(., 2) is its lowest bit: the same numbers,
    // without the floating-point floor and division.
    RealArray out(checked_size_product(n_bits, L));
    const bool shift_weights = n == std::floor(n) && n >= 0.0 && n <= 31.0;
    const auto values = [&](index_t first, index_t last) {
        for (index_t i = first; i < last; ++i) {
            const double v = x[i];
            double* bits = out.data() + static_cast<std::ptrdiff_t>(i) * n_bits;
            if (shift_weights && v >= 0.0 && v < 2147483648.0 && v == std::floor(v)) {
                const auto value = static_cast<std::uint32_t>(v);
                for (index_t c = 0; c < n_bits; ++c) {
                    bits[c] = static_cast<double>((value >> (n_bits - 1 - c)) & 1u);
                }
            } else {
                for (index_t c = 0; c < n_bits; ++c) bits[c] = rem(std::floor(v * w[c]), 2.0);
            }
        }
    };
    for_each_chunk(L, host, values, items_per_poll(n_bits));
    return out;
}

}  // namespace hfchain
