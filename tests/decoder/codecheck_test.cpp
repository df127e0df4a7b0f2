#include "receiver/decoder/codecheck.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "transmitter/convcoder_puncturing.hpp"

namespace hfchain {
namespace {

// The transmitter's own encoder over `inputs`, as 0/1 bytes in encoder order.
std::vector<std::uint8_t> encode(const std::vector<int>& inputs) {
    RealArray gen(2, 7);
    const int rows[2][7] = {{1, 0, 1, 1, 0, 1, 1}, {1, 1, 1, 1, 0, 0, 1}};
    for (int r = 0; r < 2; ++r) {
        for (int j = 0; j < 7; ++j) gen(r, j) = rows[r][j];
    }
    RealArray bits(static_cast<index_t>(inputs.size()));
    for (index_t k = 0; k < bits.numel(); ++k) bits[k] = inputs[k];
    const RealArray coded = convcoder_puncturing(bits, gen, RealArray{1, 1});
    std::vector<std::uint8_t> out(coded.numel());
    for (index_t k = 0; k < coded.numel(); ++k) out[k] = static_cast<std::uint8_t>(coded[k]);
    return out;
}

// 40 pseudo-random inputs, then the six-bit flush.
std::vector<int> message() {
    std::vector<int> u(46, 0);
    unsigned s = 12345;
    for (int k = 0; k < 40; ++k) {
        s = s * 1103515245u + 12345u;
        u[k] = (s >> 16) & 1;
    }
    return u;
}

TEST(IsCodeword, AcceptsWhatTheEncoderSends) {
    const std::vector<int> u = message();
    const std::vector<std::uint8_t> c = encode(u);
    const index_t N = static_cast<index_t>(u.size());
    EXPECT_TRUE(is_codeword(N, c.data(), 40));
    EXPECT_TRUE(is_codeword(N, c.data(), N));
    EXPECT_TRUE(is_codeword(0, c.data(), 0));
    std::vector<std::uint8_t> zeros(2 * N, 0);
    EXPECT_TRUE(is_codeword(N, zeros.data(), 0));
}

// With the flush bits known to be zero, the difference of two codewords is a terminated
// codeword, of weight 10 at least (the code's free distance): one or two flipped bits anywhere,
// in either generator's stream, leave no codeword. Without the known zeros, flipping both bits of
// the last step is flipping the last input: a codeword again.
TEST(IsCodeword, RefusesCorruptedDecisions) {
    const std::vector<int> u = message();
    const std::vector<std::uint8_t> c = encode(u);
    const index_t N = static_cast<index_t>(u.size());
    for (index_t i = 0; i < 2 * N; ++i) {
        std::vector<std::uint8_t> bad = c;
        bad[i] ^= 1;
        EXPECT_FALSE(is_codeword(N, bad.data(), N)) << "bit " << i;
    }
    struct Case {
        index_t first, second;
        bool freeInputs;  // K = N rather than 40
        bool codeword;
    };
    const Case cases[] = {{0, 1, false, false},
                          {10, 13, false, false},
                          {2 * N - 2, 2 * N - 1, false, false},
                          {0, 1, true, false},
                          {2 * N - 2, 2 * N - 1, true, true}};
    for (const Case& p : cases) {
        std::vector<std::uint8_t> bad = c;
        bad[p.first] ^= 1;
        bad[p.second] ^= 1;
        EXPECT_EQ(is_codeword(N, bad.data(), p.freeInputs ? N : 40), p.codeword)
            << p.first << ", " << p.second << (p.freeInputs ? " free" : "");
    }
}

// A codeword whose inputs need a 1 among the known zeros is refused, whichever of them it is.
TEST(IsCodeword, HoldsTheKnownZeros) {
    const std::vector<int> u = message();
    const index_t N = static_cast<index_t>(u.size());
    for (const index_t one : {index_t{40}, index_t{43}, N - 1}) {
        std::vector<int> v = u;
        v[one] = 1;
        const std::vector<std::uint8_t> c = encode(v);
        EXPECT_TRUE(is_codeword(N, c.data(), one + 1)) << one;
        EXPECT_FALSE(is_codeword(N, c.data(), one)) << one;
        EXPECT_FALSE(is_codeword(N, c.data(), 40)) << one;
    }
}

}  // namespace
}  // namespace hfchain
