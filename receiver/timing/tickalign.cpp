#include "receiver/timing/tickalign.hpp"

#include <cmath>
#include <cstdint>

#include "runtime/checks.hpp"

namespace hfchain {

namespace {

// Number of symbols that lie clear of the transmit and receive filter transients: the count of
// the index range 2 D M + 1 : M : L - 2 D M. Only the count is used, but the range must be a valid
// index range into the input when it is not empty.
index_t symbol_count(index_t L, double D, double M) {
    const double first = 2.0 * D * M + 1.0;
    const double last = static_cast<double>(L) - 2.0 * D * M;
    if (M == 0.0 || (M > 0.0 && last < first) || (M < 0.0 && first < last)) return 0;
    const index_t i_first = check_index(first, L, "SyncSymbolIn");
    const index_t i_last = check_index(last, L, "SyncSymbolIn");
    const index_t step = check_integer(M, "oversamplingFactor");
    // floor((L - 4 D M - 1) / M) + 1, an exact integer division of whole numbers.
    const std::int64_t span = static_cast<std::int64_t>(i_last) - i_first;
    return static_cast<index_t>(span / step + 1);
}

}  // namespace

TickalignOut tickalign(const ComplexArray& SyncSymbolIn, double FrameStartSample,
                       const VarShapping& varShapping, HostServices& host) {
    const double D = varShapping.pulseDelay;
    const double M = varShapping.oversamplingFactor;
    const double F = FrameStartSample;

    // 1. dados_sincro_in is the input itself; the zero extension of step 5 is read as zeros past
    // its end instead of being copied.
    const ComplexArray& dados_sincro_in = SyncSymbolIn;
    const index_t L = dados_sincro_in.numel();

    // 2. Symbol count K.
    const index_t K = symbol_count(L, D, M);

    // 3.-4. Positions F, F + M, ..., P = (K M + F) - M. A start that is not a number gives a single
    // NaN position, which fails the integer check below.
    if (std::isnan(F)) check_index(F, L, "dados_sincro_in");
    // 5. The last position is read, which fails when the range is empty; past the end, the input
    // is extended with zeros up to ceil(last).
    if (K == 0) check_index(index_t{0}, 0, "dados_sincro_pos");
    const double P = (static_cast<double>(K) * M + F) - M;
    const double extended = P > static_cast<double>(L) ? std::ceil(P) : static_cast<double>(L);
    const index_t L_ext = extended > 2147483647.0 ? 2147483647 : static_cast<index_t>(extended);

    // 6. One sample a symbol. Every position must be a whole number within the extended input.
    TickalignOut result;
    result.out = ComplexArray(K);
    for_each_chunk(K, host, [&](index_t first, index_t last) {
        for (index_t k = first; k < last; ++k) {
            const double position = F + static_cast<double>(k) * M;
            const index_t i = check_index(position, L_ext, "dados_sincro_in");
            result.out[k] = i < L ? dados_sincro_in[i] : cdouble{};
        }
    });
    return result;
}

}  // namespace hfchain
