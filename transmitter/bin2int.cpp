#include "transmitter/bin2int.hpp"

#include <string>

#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

RealArray bin2int(const RealArray& b, double k, HostServices& host) {
    // Step 1: the number of values, M = N / k rounded, as a dimension.
    const index_t N = b.numel();
    const index_t M = check_size_argument(round_half_away(N / k));

    // Step 2: the bits as a k x M matrix, column m holding group m; the element count must stay.
    const index_t rows = check_size_argument(k);
    if (checked_size_product(rows, M) != N) {
        raise(errid::kReshapeNumel,
              "To reshape, the number of elements must not change: " + std::to_string(N) +
                  " bits cannot become " + std::to_string(rows) + " x " + std::to_string(M) + ".");
    }

    // Steps 3-4: v(m) = sum of 2^(k - i) b_i, the first bit most significant, evaluated by
    // Horner's rule (exact for groups of up to 53 bits, and an all-zero group stays 0 however
    // long it is).
    RealArray v(M);
    const double* bits = b.data();
    if (rows == 3) {
        for_each_chunk(M, host, [&](index_t first, index_t last) {
            for (index_t m = first; m < last; ++m) {
                const double* group = bits + static_cast<std::ptrdiff_t>(m) * 3;
                v[m] = 4.0 * group[0] + 2.0 * group[1] + group[2];
            }
        });
        return v;
    }
    const auto groups = [&](index_t first, index_t last) {
        for (index_t m = first; m < last; ++m) {
            const double* group = bits + static_cast<std::ptrdiff_t>(m) * rows;
            double value = 0.0;
            for (index_t i = 0; i < rows; ++i) value = 2.0 * value + group[i];
            v[m] = value;
        }
    };
    for_each_chunk(M, host, groups, items_per_poll(rows));
    return v;
}

}  // namespace hfchain
