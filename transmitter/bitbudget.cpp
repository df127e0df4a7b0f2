#include "transmitter/bitbudget.hpp"

#include "params/modes.hpp"
#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

BitBudget bit_budget(const ModeParams& mode, double nFrame) {
    const double T = mode.interTable.numel();
    const double R = mode.repFactor;
    double K = 0.0;
    double B = 0.0;
    if (!is_uncoded(mode)) {
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
    budget.total = checked_size_sum(checked_size_sum(budget.info, kFlushBits), budget.padding);
    return budget;
}

BitBudget block_budget(const ModeParams& mode, double blocks) {
    const double R = mode.repFactor;
    const double B =
        static_cast<double>(mode.interTable.numel()) / (is_uncoded(mode) ? R : 2.0 * R);
    BitBudget budget;
    budget.info = check_size_argument(B * blocks);
    budget.total = budget.info;
    return budget;
}

}  // namespace hfchain
