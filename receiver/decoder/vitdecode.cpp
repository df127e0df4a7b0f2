#include "receiver/decoder/vitdecode.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "params/modes.hpp"
#include "receiver/decoder/ratios.hpp"
#include "receiver/decoder/viterbi.hpp"
#include "runtime/checks.hpp"
#include "transmitter/bitbudget.hpp"

namespace hfchain {

namespace {

// Names the value that made the decoder meet a NaN: a NaN in the input, or two repeated copies of
// one coded bit that are opposite infinities (sure of both values).
[[noreturn]] void report_nan(const RealArray& DecoderIn, std::int64_t copies) {
    check_ratios(DecoderIn, "hfchain:vitdecode:NaN");
    // No NaN in the input: the copies of some coded bit add up to one, as in the decoding.
    const index_t period = static_cast<index_t>(2 * copies);
    for (index_t step = 0; step < DecoderIn.numel(); step += period) {
        for (index_t first = step; first < step + 2; ++first) {
            double sum = 0.0;
            for (index_t j = first; j < step + period; j += 2) sum += DecoderIn[j];
            if (std::isnan(sum)) {
                raise("hfchain:vitdecode:NaN",
                      "The " + std::to_string(copies) + " copies of one coded bit, DecoderIn(" +
                          std::to_string(first + 1) + ") to DecoderIn(" +
                          std::to_string(first + period - 1) +
                          ") in steps of 2, add up to NaN: they hold opposite infinities.");
            }
        }
    }
    raise("hfchain:vitdecode:NaN", "The log-likelihood ratios add up to NaN.");
}

}  // namespace

VitdecodeOut vitdecode(const RealArray& DecoderIn, const ModeParams& mode, double nFrame,
                       TrellisEnds ends) {
    // 1. The 4800 bit/s mode is sent uncoded: there is no code to decode.
    if (is_uncoded(mode)) {
        raise("hfchain:vitdecode:Uncoded",
              "The 4800 bit/s mode sends its bits uncoded: there is no code to decode.");
    }

    // 2. Each encoder input bit was sent as repFactor copies of its coded pair.
    const double R = mode.repFactor;
    if (!(R >= 1.0 && R < 2147483648.0 && R == std::floor(R))) {
        raise("hfchain:vitdecode:RepFactor",
              "milstd.repFactor must be a whole number of at least 1; it is " + format_value(R) +
                  ".");
    }
    const auto copies = static_cast<std::int64_t>(R);

    // 3. The transmitter's bit budget: K information bits, flush and padding zeros.
    // An open trellis decodes whole blocks from inside a transmission: no flush or padding.
    const BitBudget budget =
        ends == TrellisEnds::open ? block_budget(mode, nFrame) : bit_budget(mode, nFrame);

    // 4. One coded value per generator row and encoder input bit.
    const std::int64_t expected = 2 * copies * budget.total;
    if (DecoderIn.numel() != expected) {
        raise("hfchain:vitdecode:WrongLength",
              "DecoderIn holds " + std::to_string(DecoderIn.numel()) +
                  " values; this milstd and nFrame = " + format_value(nFrame) + " need " +
                  std::to_string(expected) + " (" + std::to_string(budget.total) +
                  " encoder input bits, " + std::to_string(2 * copies) + " coded bits each).");
    }

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

    // 6. Viterbi decoding from state 0 back to state 0 (or open at both ends).
    VitdecodeOut out;
    out.DecodOut = RealArray(steps);
    ViterbiWorkspace workspace;
    const bool open = ends == TrellisEnds::open;
    try {
        viterbi_decode(pairs, steps, !open, out.DecodOut.data(), workspace, AcsKernel::automatic,
                       open ? TrellisStart::any : TrellisStart::zero);
    } catch (const Error& e) {
        if (e.identifier() == "hfchain:vitdecode:NaN") report_nan(DecoderIn, copies);
        throw;
    }

    // 7. The information bits lead the decoded column.
    out.InfoBits = RealArray(budget.info);
    std::copy(out.DecodOut.begin(), out.DecodOut.begin() + budget.info, out.InfoBits.begin());
    return out;
}

}  // namespace hfchain
