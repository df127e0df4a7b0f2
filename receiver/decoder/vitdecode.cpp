#include "receiver/decoder/vitdecode.hpp"

#include <cmath>
#include <cstdint>
#include <string>

#include "receiver/decoder/viterbi.hpp"
#include "runtime/checks.hpp"
#include "transmitter/bitbudget.hpp"

namespace hfchain {

namespace {

// The first NaN of the input, named by its 1-based position.
void check_numbers(const RealArray& DecoderIn) {
    bool nan = false;
    for (const double x : DecoderIn) nan |= x != x;
    if (!nan) return;
    for (index_t k = 0; k < DecoderIn.numel(); ++k) {
        if (std::isnan(DecoderIn[k])) {
            raise("hfchain:vitdecode:NaN",
                  "DecoderIn(" + std::to_string(k + 1) +
                      ") is NaN: a log-likelihood ratio must be a number (0 marks an erased bit).");
        }
    }
}

}  // namespace

VitdecodeOut vitdecode(const RealArray& DecoderIn, const Milstd& milstd, double nFrame) {
    // 1. The 4800 bit/s mode is sent uncoded: there is no code to decode.
    if (milstd.rate == 4800) {
        raise("hfchain:vitdecode:Uncoded",
              "The 4800 bit/s mode sends its bits uncoded: there is no code to decode.");
    }

    // 2. Each encoder input bit was sent as repFactor copies of its coded pair.
    const double R = milstd.repFactor;
    if (!(R >= 1.0 && R <= 1e9 && R == std::floor(R))) {
        raise("hfchain:vitdecode:RepFactor",
              "milstd.repFactor must be a whole number of at "
              "least 1; it is " +
                  format_value(R) + ".");
    }
    const auto copies = static_cast<std::int64_t>(R);

    // 3. The transmitter's bit budget: K information bits, flush and padding zeros.
    const BitBudget budget = bit_budget(milstd, nFrame);

    // 4. One coded value per generator row and encoder input bit.
    const std::int64_t expected = 2 * copies * budget.total;
    if (DecoderIn.numel() != expected) {
        raise("hfchain:vitdecode:WrongLength",
              "DecoderIn holds " + std::to_string(DecoderIn.numel()) +
                  " values; this milstd and nFrame = " + format_value(nFrame) + " need " +
                  std::to_string(expected) + " (" + std::to_string(budget.total) +
                  " encoder input bits, " + std::to_string(2 * copies) + " coded bits each).");
    }
    check_numbers(DecoderIn);

    // 5. Repeated copies of a coded bit add their ratios.
    const index_t steps = budget.total;
    RealArray combined;
    const double* pairs = DecoderIn.data();
    if (copies > 1) {
        combined = RealArray(checked_size_product(2, steps));
        const double* in = DecoderIn.data();
        for (index_t t = 0; t < steps; ++t) {
            double l0 = 0.0;
            double l1 = 0.0;
            for (std::int64_t r = 0; r < copies; ++r) {
                l0 += in[0];
                l1 += in[1];
                in += 2;
            }
            combined[2 * t] = l0;
            combined[2 * t + 1] = l1;
        }
        pairs = combined.data();
    }

    // 6. Viterbi decoding from state 0 back to state 0.
    VitdecodeOut out;
    out.DecodOut = RealArray(steps);
    ViterbiWorkspace workspace;
    viterbi_decode(pairs, steps, true, out.DecodOut.data(), workspace);

    // 7. The information bits lead the decoded column.
    out.InfoBits = RealArray(budget.info);
    for (index_t k = 0; k < budget.info; ++k) out.InfoBits[k] = out.DecodOut[k];
    return out;
}

}  // namespace hfchain
