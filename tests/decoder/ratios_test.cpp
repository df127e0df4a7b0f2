// The ratios the two decoders share: NaN refused by both, naming the element; +-Inf a sure bit
// and 0 an erased bit for both; and the erasure the soft demapper makes of a symbol of infinite
// variance (every ratio 0, whatever the symbol).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "receiver/decoder/sisodecode.hpp"
#include "receiver/decoder/vitdecode.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/softdemod/softslicer.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/receiver/expect_error.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = std::numeric_limits<double>::max();

struct Decoder {
    const char* name;
    std::function<RealArray(const RealArray&, const ModeParams&)> info_bits;
};

const Decoder kDecoders[] = {
    {"vitdecode",
     [](const RealArray& llr, const ModeParams& m) { return vitdecode(llr, m, 1).InfoBits; }},
    {"sisodecode",
     [](const RealArray& llr, const ModeParams& m) {
         const SisodecodeOut out = sisodecode(llr, m, 1);
         for (const double v : out.Extrinsic) EXPECT_TRUE(std::isfinite(v));
         for (const double v : out.InfoLLR) EXPECT_TRUE(std::isfinite(v));
         return out.InfoBits;
     }},
};

// Sure ratios of a transmission's coded bits (+4 for a 0, -4 for a 1), in encoder order.
struct Sent {
    ModeParams mode = modeconf(0.6);
    SendchainOut tx;
    RealArray llr;
};

const Sent& sent() {
    static const Sent s = [] {
        Sent s;
        BuiltinHost host;
        s.tx = sendchain(s.mode, 1, 8, host);
        s.llr = RealArray(s.tx.CodOutInterIn.numel());
        for (index_t k = 0; k < s.llr.numel(); ++k) s.llr[k] = 4 - 8 * s.tx.CodOutInterIn[k];
        return s;
    }();
    return s;
}

// One ratio replaced, at the first, a middle and the last coded bit: NaN is refused naming it;
// a sure ratio of the right sign, or an erasure, leaves the information bits decoded.
TEST(DecoderRatios, NaNIsRefusedInfinitiesAreSureZeroIsErased) {
    const Sent& s = sent();
    const index_t n = s.llr.numel();
    for (const Decoder& d : kDecoders) {
        for (const index_t k : {index_t{0}, n / 2 + 1, n - 1}) {
            SCOPED_TRACE(std::string(d.name) + " at " + std::to_string(k + 1));
            RealArray llr = s.llr;
            llr[k] = kNaN;
            expect_error([&] { d.info_bits(llr, s.mode); },
                         std::string("hfchain:") + d.name + ":NaN",
                         "DecoderIn(" + std::to_string(k + 1) +
                             ") is NaN: a log-likelihood ratio must be a number (0 marks an "
                             "erased bit).");
            const double sign = s.llr[k] > 0 ? 1 : -1;
            for (const double value : {sign * kInf, 0.0}) {
                SCOPED_TRACE(value);
                llr[k] = value;
                const RealArray bits = d.info_bits(llr, s.mode);
                for (index_t i = 0; i < bits.numel(); ++i)
                    ASSERT_EQ(bits[i], s.tx.BitInCodIn[i]) << i;
            }
        }
    }
}

// An infinite noise variance erases its symbol: every ratio exactly 0 for any finite symbol, from
// 0 (geniecombine's erasure) to the largest double, with both rules and every bits-per-symbol
// setting, and the decoders take those zeros as erasures.
TEST(DecoderRatios, InfiniteVarianceErasesAnySymbol) {
    const ComplexArray y{{0, 0}, {1, 0}, {-0.3, 0.8}, {1e300, -1e300}, {kMax, kMax}, {-kMax, 0}};
    const RealArray erased{kInf};
    for (const double b : {1.0, 2.0, 3.0}) {
        ModeParams mode = modeconf(0.6);
        mode.bitsToSym = b;
        for (const SoftRule rule : {SoftRule::max_log, SoftRule::exact}) {
            const RealArray llr = softslicer(y, erased, mode, rule).LLR;
            ASSERT_EQ(llr.numel(), static_cast<index_t>(b) * y.numel());
            for (index_t i = 0; i < llr.numel(); ++i) EXPECT_EQ(llr[i], 0.0) << b << " " << i;
        }
    }
    // A transmission of which every fourth symbol is erased still decodes.
    const Sent& s = sent();
    RealArray noiseVar(s.tx.ComplexPSKSymbols.numel());
    for (index_t k = 0; k < noiseVar.numel(); ++k) noiseVar[k] = k % 4 == 0 ? kInf : 0.1;
    const RealArray llr =
        unshuffle(softslicer(s.tx.ComplexPSKSymbols, noiseVar, s.mode).LLR, s.mode).out;
    for (const Decoder& d : kDecoders) {
        SCOPED_TRACE(d.name);
        const RealArray bits = d.info_bits(llr, s.mode);
        for (index_t i = 0; i < bits.numel(); ++i) ASSERT_EQ(bits[i], s.tx.BitInCodIn[i]) << i;
    }
}

}  // namespace
}  // namespace hfchain
