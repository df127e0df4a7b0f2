#include "transmitter/bitbudget.hpp"

#include <cstdint>
#include <limits>
#include <string>

#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

namespace {

// Sum of two element counts, which must still fit a dimension.
index_t checked_sum(index_t a, index_t b) {
    const std::int64_t sum = static_cast<std::int64_t>(a) + b;
    if (sum > std::numeric_limits<index_t>::max()) {
        raise(errid::kMaxSize, "Array size " + std::to_string(sum) +
                                   " exceeds the largest element count, 2147483647.");
    }
    return static_cast<index_t>(sum);
}

}  // namespace

BitBudget bit_budget(const Milstd& milstd, double nFrame) {
    const double T = milstd.interTable.numel();
    const double R = milstd.repFactor;
    double K = 0.0;
    double B = 0.0;
    if (milstd.rate != 4800) {
        K = T * nFrame / (2.0 * R) - kFlushBits;
        B = T / (2.0 * R);
    } else {
        K = T / R * nFrame - kFlushBits;
        B = T / R;
    }
    if (K < 1.0) raise_message("Erro: Total de frames insuficientes para transmissao");
    const double Z = rem(B - rem(K + kFlushBits, B), B);

    BitBudget budget;
    budget.info = check_size_argument(K);
    budget.padding = check_size_argument(Z);  // 0 <= Z < B by construction
    budget.total = checked_sum(checked_sum(budget.info, kFlushBits), budget.padding);
    return budget;
}

}  // namespace hfchain
