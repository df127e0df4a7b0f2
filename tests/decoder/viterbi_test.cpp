#include "receiver/decoder/viterbi.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "receiver/decoder/trellis.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/support/reference_viterbi.hpp"
#include "transmitter/convcoder_puncturing.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

constexpr double kInf = std::numeric_limits<double>::infinity();

// The transmitter's encoder: the two generator rows, every coded bit kept.
RealArray encode(const RealArray& bits) {
    RealArray generators(2, 7);
    const int taps[2][7] = {{1, 0, 1, 1, 0, 1, 1}, {1, 1, 1, 1, 0, 0, 1}};
    for (int r = 0; r < 2; ++r) {
        for (int j = 0; j < 7; ++j) generators(r, j) = taps[r][j];
    }
    return convcoder_puncturing(bits, generators, RealArray{1, 1});
}

// n random bits followed by six zeros that bring the encoder back to state 0.
RealArray random_message(index_t n, BuiltinHost& host) {
    const RealArray u = host.rand(n);
    RealArray bits(n + 6);
    for (index_t k = 0; k < n; ++k) bits[k] = std::floor(2 * u[k]);
    return bits;
}

// Ratios of the coded bits sent as +-1 through white noise of standard deviation sigma.
RealArray noisy_ratios(const RealArray& coded, double sigma, BuiltinHost& host) {
    const RealArray z = host.randn(coded.numel(), 1);
    RealArray llr(coded.numel());
    for (index_t k = 0; k < coded.numel(); ++k) {
        llr[k] = 2 / (sigma * sigma) * (1 - 2 * coded[k] + sigma * z[k]);
    }
    return llr;
}

RealArray decode(const RealArray& llr, bool terminated, ViterbiWorkspace& ws,
                 AcsKernel kernel = AcsKernel::automatic) {
    RealArray bits(llr.numel() / 2);
    viterbi_decode(llr.data(), bits.numel(), terminated, bits.data(), ws, kernel);
    return bits;
}

std::vector<double> dequantised(const ViterbiWorkspace& ws) {
    return std::vector<double>(ws.quantised(), ws.quantised() + 2 * ws.steps());
}

std::vector<AcsKernel> available_kernels() {
    std::vector<AcsKernel> kernels;
    for (const AcsKernel k : {AcsKernel::plain, AcsKernel::sse2, AcsKernel::avx2}) {
        if (acs_kernel_available(k)) kernels.push_back(k);
    }
    return kernels;
}

TEST(Trellis, TablesFollowTheTransmittersEncoder) {
    // Six bits put the encoder into state s (oldest first), a seventh is the input u.
    for (int s = 0; s < trellis::kStates; ++s) {
        for (int u = 0; u < 2; ++u) {
            RealArray bits(7);
            for (int j = 0; j < 6; ++j) bits[j] = (s >> (5 - j)) & 1;
            bits[6] = u;
            const RealArray coded = encode(bits);
            const int pair = trellis::kTables.output[s][u];
            EXPECT_EQ(coded[12], pair >> 1) << s << " " << u;
            EXPECT_EQ(coded[13], pair & 1) << s << " " << u;
            const int next = trellis::kTables.next[s][u];
            EXPECT_EQ(next & 1, u);
            EXPECT_EQ(trellis::kTables.previous[next][s >> 5], s);
        }
    }
}

TEST(Viterbi, QuantisesByOnePowerOfTwo) {
    struct Case {
        std::vector<double> in;
        int exponent;
        std::vector<int> out;
    };
    const Case cases[] = {
        {{80, -80}, 0, {80, -80}},
        {{1, -1}, 6, {64, -64}},
        {{2.5, -2.5, 150, -150}, 0, {3, -3, 150, -150}},  // halves away from zero
        {{0.1, -0.3, 0, 0.2}, 8, {26, -77, 0, 51}},       // zeros leave the mean alone
        {{1, -1, kInf, -kInf}, 6, {64, -64, 640, -640}},  // sure bits at the clip level
        {{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 100, -100},
         3,
         {8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 640, -640}},
        {{0, 0}, 0, {0, 0}},
        {{1e-310, -3e-310}, 1035, {37, -110}},                      // subnormal ratios
        {{1e308, -1e308, 1e308, 1e308}, -1017, {71, -71, 71, 71}},  // the sum overflows
    };
    for (const Case& c : cases) {
        ViterbiWorkspace ws;
        RealArray llr(static_cast<index_t>(c.in.size()));
        for (index_t k = 0; k < llr.numel(); ++k) llr[k] = c.in[k];
        decode(llr, false, ws);
        EXPECT_EQ(ws.scale_exponent(), c.exponent) << c.in[0];
        for (index_t k = 0; k < llr.numel(); ++k) EXPECT_EQ(ws.quantised()[k], c.out[k]) << k;
    }
}

// A few ratios far above the rest (an impulse a receiver let through) saturate and leave the
// scale of the others alone: the scale and every other quantised ratio are those of the same
// ratios without them, and a wrong one costs a short error event at most. Without the clipped
// mean one ratio 1e6 times the others rounded every other ratio to 0 and lost about half the
// bits.
TEST(Viterbi, FewHugeRatiosDoNotSetTheScale) {
    struct Case {
        double size;  // the outliers, in ratios of a noiseless bit (2 / sigma^2)
        int count;    // how many, spread over the block
    };
    const Case cases[] = {{1e6, 1}, {-1e6, 1}, {1e300, 1}, {-1e4, 3}, {1e8, 5}};
    for (const Case& c : cases) {
        BuiltinHost host(29);
        const RealArray bits = random_message(1000, host);
        const RealArray clean = noisy_ratios(encode(bits), 0.6, host);
        ViterbiWorkspace ws;
        const RealArray unhurt = decode(clean, true, ws);
        const int exponent = ws.scale_exponent();
        const std::vector<double> reference = dequantised(ws);
        RealArray llr = clean;
        for (int j = 0; j < c.count; ++j) llr[300 + 401 * j] = c.size * 2 / (0.6 * 0.6);
        const RealArray decoded = decode(llr, true, ws);
        EXPECT_EQ(ws.scale_exponent(), exponent) << c.size;
        index_t wrong = 0, before = 0;
        for (index_t k = 0; k < bits.numel(); ++k) {
            wrong += decoded[k] != bits[k];
            before += unhurt[k] != bits[k];
        }
        EXPECT_LE(wrong, before + 4 * c.count) << c.size;  // a short error event at most
        for (index_t k = 0; k < llr.numel(); ++k) {
            const bool outlier = (k - 300) % 401 == 0 && k >= 300 && (k - 300) / 401 < c.count;
            const double expected = outlier ? std::copysign(kViterbiLevel, c.size) : reference[k];
            ASSERT_EQ(ws.quantised()[k], expected) << c.size << " at " << k;
        }
    }
}

// Every kernel takes every survivor decision exactly as the plain one: on noisy ratios, on whole
// numbers of a small range (many equal candidates), and on ratios at the clip level (the widest
// metric spread).
TEST(Viterbi, KernelsDecideAlike) {
    BuiltinHost host(17);
    std::vector<RealArray> inputs;
    for (const index_t n : {0, 1, 5, 63, 1000}) {
        inputs.push_back(noisy_ratios(encode(random_message(n, host)), 0.9, host));
    }
    {
        const RealArray u = host.rand(4000);
        RealArray small(4000);
        for (index_t k = 0; k < 4000; ++k) small[k] = std::floor(7 * u[k]) - 3;
        inputs.push_back(small);
    }
    {
        const RealArray u = host.rand(4000);
        RealArray extreme(4000);
        for (index_t k = 0; k < 4000; ++k) {
            extreme[k] = u[k] < 0.15 ? 1e6 : (u[k] < 0.3 ? -1e6 : (u[k] < 0.65 ? 1 : -1));
        }
        inputs.push_back(extreme);
    }
    const std::vector<AcsKernel> kernels = available_kernels();
    ASSERT_GE(kernels.size(), 1u);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        for (const bool terminated : {true, false}) {
            ViterbiWorkspace plain;
            const RealArray expected = decode(inputs[i], terminated, plain, AcsKernel::plain);
            for (const AcsKernel kernel : kernels) {
                ViterbiWorkspace ws;
                const RealArray bits = decode(inputs[i], terminated, ws, kernel);
                ASSERT_EQ(ws.kernel(), kernel);
                for (index_t t = 0; t < ws.steps(); ++t) {
                    for (int s = 0; s < 64; ++s) {
                        ASSERT_EQ(ws.decision(t, s), plain.decision(t, s))
                            << "input " << i << ", kernel " << static_cast<int>(kernel) << ", step "
                            << t << ", state " << s;
                    }
                }
                for (index_t t = 0; t < bits.numel(); ++t) ASSERT_EQ(bits[t], expected[t]);
            }
        }
    }
}

// On random soft inputs the decoded path is the cheapest one (checked against the reference
// decoder on the quantised ratios, ties or not) and, where the reference's path passes no tie,
// it is the reference's path.
TEST(Viterbi, AgreesWithTheReferenceDecoder) {
    BuiltinHost host(5);
    int tie_free = 0;
    for (int block = 0; block < 40; ++block) {
        const bool terminated = block % 4 != 3;
        const RealArray llr = noisy_ratios(encode(random_message(300, host)), 0.8, host);
        ViterbiWorkspace ws;
        const RealArray bits = decode(llr, terminated, ws);
        const std::vector<double> q = dequantised(ws);
        const reference::Decoded ref = reference::decode(q.data(), ws.steps(), terminated);
        EXPECT_EQ(reference::path_cost(q.data(), bits), ref.cost) << block;
        if (ref.pathTies == 0) {
            ++tie_free;
            for (index_t t = 0; t < bits.numel(); ++t) ASSERT_EQ(bits[t], ref.bits[t]) << block;
        }
    }
    EXPECT_GE(tie_free, 20);
}

// The free distance is 10: e errors and f erasures with 2 e + f < 10 leave the sent path the
// cheapest by at least 1, wherever they fall.
TEST(Viterbi, CorrectsPatternsWithinTheFreeDistance) {
    struct Case {
        const char* name;
        std::vector<index_t> errors;    // coded bits flipped
        std::vector<index_t> erasures;  // coded bits given ratio 0
    };
    const Case cases[] = {
        {"four adjacent errors", {100, 101, 102, 103}, {}},
        {"four errors in a constraint span", {200, 203, 207, 212}, {}},
        {"four errors far apart", {0, 333, 334, 811}, {}},
        {"the first and the last bits", {0, 1, 824, 825}, {}},
        {"nine adjacent erasures", {}, {50, 51, 52, 53, 54, 55, 56, 57, 58}},
        {"two errors and five erasures", {400, 405}, {401, 402, 403, 404, 406}},
        {"three errors and three erasures", {10, 12, 14}, {11, 13, 15}},
        {"groups of four errors 200 steps apart",
         {100, 102, 104, 106, 500, 502, 504, 506, 700, 701, 702, 703},
         {}},
    };
    BuiltinHost host(3);
    for (const Case& c : cases) {
        for (int trial = 0; trial < 4; ++trial) {
            const RealArray sent = random_message(407, host);
            const RealArray coded = encode(sent);
            ASSERT_EQ(coded.numel(), 826);
            RealArray llr(coded.numel());
            for (index_t k = 0; k < coded.numel(); ++k) llr[k] = coded[k] != 0 ? -1 : 1;
            for (const index_t k : c.errors) llr[k] = -llr[k];
            for (const index_t k : c.erasures) llr[k] = 0;
            ViterbiWorkspace ws;
            const RealArray bits = decode(llr, true, ws);
            for (index_t t = 0; t < sent.numel(); ++t) ASSERT_EQ(bits[t], sent[t]) << c.name;
        }
    }
}

TEST(Viterbi, SureBitsAndLongInputs) {
    // Ratios of +-Inf and of the largest doubles, over long blocks: the metrics never wrap.
    BuiltinHost host(11);
    const RealArray sent = random_message(20000, host);
    const RealArray coded = encode(sent);
    for (const double magnitude : {kInf, 1.7e308, 1e-310}) {
        RealArray llr(coded.numel());
        for (index_t k = 0; k < coded.numel(); ++k) {
            llr[k] = coded[k] != 0 ? -magnitude : magnitude;
        }
        ViterbiWorkspace ws;
        const RealArray bits = decode(llr, true, ws);
        for (index_t t = 0; t < sent.numel(); ++t) ASSERT_EQ(bits[t], sent[t]) << magnitude;
    }
}

TEST(Viterbi, WorkspaceCarriesNothingBetweenCalls) {
    BuiltinHost host(23);
    const RealArray longer = noisy_ratios(encode(random_message(2000, host)), 1.0, host);
    const RealArray shorter = noisy_ratios(encode(random_message(300, host)), 1.0, host);
    ViterbiWorkspace fresh;
    const RealArray expected = decode(shorter, true, fresh);
    ViterbiWorkspace reused;
    decode(longer, true, reused);
    const RealArray again = decode(shorter, true, reused);
    ASSERT_EQ(reused.steps(), shorter.numel() / 2);
    for (index_t t = 0; t < again.numel(); ++t) ASSERT_EQ(again[t], expected[t]);
}

TEST(Viterbi, Failures) {
    ViterbiWorkspace ws;
    const double pairs[4] = {1, -1, std::nan(""), 2};
    double bits[2];
    expect_error([&] { viterbi_decode(pairs, 2, true, bits, ws); }, "hfchain:vitdecode:NaN",
                 "ratio 3 is NaN");
    expect_error([&] { viterbi_decode(pairs, -1, true, bits, ws); }, errid::kNegative);
    viterbi_decode(pairs, 1, true, bits, ws);  // the NaN lies beyond the first step
    EXPECT_EQ(bits[0], 0);
}

}  // namespace
}  // namespace hfchain
