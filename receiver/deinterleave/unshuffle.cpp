#include "receiver/deinterleave/unshuffle.hpp"

#include "params/modes.hpp"
#include "runtime/checks.hpp"

namespace hfchain {

UnshuffleOut unshuffle(const RealArray& DeinterleaverIn, const ModeParams& mode,
                       HostServices& host) {
    // 1. The 4800 bit/s mode is sent without interleaving, so there is nothing to undo.
    if (is_uncoded(mode)) raise_message("ERRO! Para a taxa 4800bps, nao ha deinterleaver.");

    // 2. Blocks of T bits; the input must be a whole number of them.
    const RealArray& interTable = mode.interTable;
    const index_t N = DeinterleaverIn.numel();
    const index_t T = interTable.numel();
    const index_t B = check_size_argument(static_cast<double>(N) / static_cast<double>(T));

    // 3. A reshape dimension may not exceed the larger of 1 and the element count.
    if (T > (N > 1 ? N : 1)) {
        raise(errid::kReshapeEmptyLimit, "Cannot reshape " + std::to_string(N) +
                                             " bits into blocks of " + std::to_string(T) + ".");
    }

    // 4.-5. Scatter each block through interTable: bit k of a block goes back to position
    // interTable(k). Later entries overwrite earlier ones; positions never named stay 0. The
    // table is checked once, in the order the first block would read it.
    UnshuffleOut result;
    result.out = RealArray(N);
    if (B == 0) return result;
    IntArray position(T);
    for_each_chunk(T, host, [&](index_t first, index_t last) {
        for (index_t k = first; k < last; ++k) {
            position[k] = check_index(interTable[k], T, "dados_deinter_out");
        }
    });
    const double* A = DeinterleaverIn.data();
    double* dados_deinter_out = result.out.data();
    const auto blocks = [&](index_t j_first, index_t j_last) {
        for (index_t j = j_first; j < j_last; ++j) {
            const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(j) * T;
            for (index_t k = 0; k < T; ++k) {
                dados_deinter_out[offset + position[k]] = A[offset + k];
            }
        }
    };
    for_each_chunk(B, host, blocks, items_per_poll(T));
    // 6. Read column by column: block 1 first.
    return result;
}

}  // namespace hfchain
