#include "receiver/decoder/sisodecode.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/builtin_host.hpp"
#include "tests/receiver/expect_error.hpp"
#include "transmitter/convcoder_puncturing.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

// The code's coded bits for `bits`, through the transmitter's own encoder.
RealArray encode(const RealArray& bits) {
    RealArray gen(2, 7);
    const int rows[2][7] = {{1, 0, 1, 1, 0, 1, 1}, {1, 1, 1, 1, 0, 0, 1}};
    for (int r = 0; r < 2; ++r) {
        for (int j = 0; j < 7; ++j) gen(r, j) = rows[r][j];
    }
    return convcoder_puncturing(bits, gen, RealArray{1, 1});
}

// Max-log-MAP by enumeration of every input sequence whose last `zeros` bits are 0: the
// a-posteriori LLR of a bit is the best metric with the bit at 0 minus the best with it at 1.
struct Reference {
    std::vector<double> extrinsic;  // coded bits
    std::vector<double> app;        // input bits
};

Reference enumerate(const std::vector<double>& llr, const std::vector<double>& prior, int N,
                    int zeros) {
    const int free_bits = N - zeros;
    std::vector<double> best0(2 * N, -1e300), best1(2 * N, -1e300);
    std::vector<double> ubest0(N, -1e300), ubest1(N, -1e300);
    for (int word = 0; word < (1 << free_bits); ++word) {
        RealArray bits(N);
        for (int k = 0; k < free_bits; ++k) bits[k] = (word >> k) & 1;
        const RealArray coded = encode(bits);
        double metric = 0;
        for (int i = 0; i < 2 * N; ++i) metric += 0.5 * (1 - 2 * coded[i]) * llr[i];
        for (int k = 0; k < N; ++k) metric += 0.5 * (1 - 2 * bits[k]) * prior[k];
        for (int i = 0; i < 2 * N; ++i) {
            double& b = coded[i] == 0 ? best0[i] : best1[i];
            b = std::max(b, metric);
        }
        for (int k = 0; k < N; ++k) {
            double& b = bits[k] == 0 ? ubest0[k] : ubest1[k];
            b = std::max(b, metric);
        }
    }
    Reference r;
    for (int i = 0; i < 2 * N; ++i) r.extrinsic.push_back(best0[i] - best1[i] - llr[i]);
    for (int k = 0; k < N; ++k) r.app.push_back(ubest0[k] - ubest1[k]);
    return r;
}

// Single-precision path metrics carry the known-zero priors (1e4), so a difference of two is
// good to a few thousandths; a bit that no codeword can set (the enumeration gives an infinite
// ratio) must come out as a sure one.
void expect_llr(float got, double want, int N, int bit) {
    if (std::abs(want) > 1e100) {
        EXPECT_GT(got * want, 0) << "N " << N << " bit " << bit;
        EXPECT_GT(std::abs(got), 1e3) << "N " << N << " bit " << bit;
    } else {
        EXPECT_NEAR(got, want, 5e-3 * (1 + std::abs(want))) << "N " << N << " bit " << bit;
    }
}

TEST(Sisodecode, TrellisMatchesEnumerationOfEveryCodeword) {
    struct Case {
        int N;
        int zeros;  // trailing input bits known to be zero (at least the register length)
        double seed;
        double scale;  // LLR spread
    };
    const Case cases[] = {{12, 6, 1, 2.0}, {14, 6, 2, 0.5}, {16, 7, 3, 4.0}, {10, 9, 4, 1.0}};
    for (const Case& c : cases) {
        BuiltinHost host(c.seed);
        const RealArray noise = host.randn(3 * c.N, 1);
        std::vector<double> llr(2 * c.N), prior(c.N);
        std::vector<float> llr_f(2 * c.N), prior_f(c.N);
        for (int i = 0; i < 2 * c.N; ++i) {
            llr[i] = c.scale * noise[i];
            llr_f[i] = static_cast<float>(llr[i]);
        }
        for (int k = 0; k < c.N; ++k) {
            // Some free input bits carry a prior too; the known zeros a large one.
            prior[k] = k >= c.N - c.zeros ? kKnownZeroPrior : (k % 3 == 0 ? noise[2 * c.N + k] : 0);
            prior_f[k] = static_cast<float>(prior[k]);
        }
        const Reference ref = enumerate(llr, prior, c.N, c.zeros);
        std::vector<float> ext(2 * c.N), app(c.N), alpha(64 * (c.N + 1));
        siso_maxlog(c.N, llr_f.data(), prior_f.data(), ext.data(), app.data(), alpha.data());
        for (int i = 0; i < 2 * c.N; ++i) expect_llr(ext[i], ref.extrinsic[i], c.N, i);
        for (int k = 0; k < c.N - c.zeros; ++k) expect_llr(app[k], ref.app[k], c.N, 1000 + k);
    }
}

// The extrinsic value of a bit is what the other bits say about it: changing the bit's own
// channel LLR must leave it unchanged.
TEST(Sisodecode, ExtrinsicIgnoresTheBitsOwnInput) {
    const int N = 40;
    BuiltinHost host(5);
    const RealArray noise = host.randn(2 * N, 1);
    std::vector<float> llr(2 * N), prior(N, 0.0f), ext(2 * N), again(2 * N);
    std::vector<float> alpha(64 * (N + 1));
    for (int i = 0; i < 2 * N; ++i) llr[i] = static_cast<float>(1.5 * noise[i]);
    for (int k = N - 6; k < N; ++k) prior[k] = kKnownZeroPrior;
    siso_maxlog(N, llr.data(), prior.data(), ext.data(), nullptr, alpha.data());
    for (const int i : {0, 1, 17, 38, 2 * N - 1}) {
        std::vector<float> changed = llr;
        changed[i] += 7.0f;
        siso_maxlog(N, changed.data(), prior.data(), again.data(), nullptr, alpha.data());
        EXPECT_NEAR(again[i], ext[i], 1e-3) << "bit " << i;
    }
}

// The kernels keep every state's operations and their order, so they must agree to the bit,
// whatever the ratios: noisy and strong, erased (0), at the decoder's clamp, with priors of
// every sign and the known zeros, short streams and long ones.
TEST(Sisodecode, EveryKernelGivesTheSameBits) {
    struct Case {
        int N;
        double scale;     // LLR spread
        int erase_every;  // every so many coded bits an erased one (0); 0 = none
        double clamp;     // |LLR| beyond this is clipped to it (the decoder's 1e3); 0 = none
        int prior_every;  // every so many input bits a random prior; 0 = none
        bool with_app;
    };
    const Case cases[] = {{1, 1.0, 0, 0, 0, true},       {7, 3.0, 2, 0, 0, true},
                          {40, 0.2, 0, 0, 3, true},      {300, 2.0, 5, 0, 2, false},
                          {500, 400.0, 7, 1e3, 1, true}, {2000, 1.0, 0, 0, 4, true},
                          {64, 0.0, 0, 0, 0, true}};
    std::vector<SisoKernel> kernels;
    for (const SisoKernel k : {SisoKernel::sse, SisoKernel::avx2}) {
        if (siso_kernel_available(k)) kernels.push_back(k);
    }
    if (kernels.size() < 2) GTEST_SKIP() << "this processor runs one kernel only";
    double seed = 20;
    for (const Case& c : cases) {
        BuiltinHost host(++seed);
        const RealArray noise = host.randn(3 * c.N, 1);
        std::vector<float> llr(2 * c.N), prior(c.N, 0.0f);
        for (int i = 0; i < 2 * c.N; ++i) {
            double v = c.scale * noise[i];
            if (c.clamp > 0) v = std::clamp(v, -c.clamp, c.clamp);
            llr[i] = c.erase_every > 0 && i % c.erase_every == 1 ? 0.0f : static_cast<float>(v);
        }
        for (int k = 0; k < c.N; ++k) {
            if (c.prior_every > 0 && k % c.prior_every == 0) {
                prior[k] = static_cast<float>(4 * noise[2 * c.N + k]);
            }
            if (k >= c.N - 6) prior[k] = kKnownZeroPrior;
        }
        std::vector<std::vector<float>> ext, app;
        for (const SisoKernel kernel : kernels) {
            std::vector<float> e(2 * c.N), a(c.N, -7.0f), alpha(siso_workspace(c.N));
            siso_maxlog(c.N, llr.data(), prior.data(), e.data(), c.with_app ? a.data() : nullptr,
                        alpha.data(), kernel);
            ext.push_back(e);
            app.push_back(a);
        }
        for (std::size_t j = 1; j < kernels.size(); ++j) {
            EXPECT_EQ(std::memcmp(ext[j].data(), ext[0].data(), ext[0].size() * sizeof(float)), 0)
                << "N " << c.N << " kernel " << j;
            EXPECT_EQ(std::memcmp(app[j].data(), app[0].data(), app[0].size() * sizeof(float)), 0)
                << "N " << c.N << " kernel " << j;
        }
    }
}

TEST(Sisodecode, DecodesTheTransmittersBits) {
    struct Case {
        double interLen;
        double nFrame;
        double flip_every;  // coded bits between two wrong (sign-flipped, weak) LLRs; 0 = none
    };
    const Case cases[] = {{0.6, 1, 0}, {0.6, 1.5, 0}, {0.6, 2, 23}, {4.8, 1, 31}, {0.6, 1, 13}};
    for (const Case& c : cases) {
        const ModeParams mode = modeconf(c.interLen);
        BuiltinHost host;
        const SendchainOut tx = sendchain(mode, c.nFrame, 9, host);
        const RealArray& coded = tx.CodOutInterIn;
        RealArray llr(coded.numel());
        for (index_t i = 0; i < coded.numel(); ++i) {
            const bool flip = c.flip_every > 0 && i % static_cast<index_t>(c.flip_every) == 5;
            llr[i] = (coded[i] == 0 ? 4.0 : -4.0) * (flip ? -0.5 : 1.0);
        }
        const SisodecodeOut out = sisodecode(llr, mode, c.nFrame);
        const index_t K = static_cast<index_t>(mode.interTable.numel() * c.nFrame / 2 - 144);
        ASSERT_EQ(out.InfoBits.numel(), K);
        ASSERT_EQ(out.InfoLLR.numel(), tx.BitInCodIn.numel());
        ASSERT_EQ(out.Extrinsic.numel(), coded.numel());
        index_t wrong = 0;
        for (index_t k = 0; k < K; ++k) wrong += out.InfoBits[k] != tx.BitInCodIn[k];
        EXPECT_EQ(wrong, 0) << c.interLen << " s, nFrame " << c.nFrame << ", flips "
                            << c.flip_every;
        // The code's verdict on every coded bit agrees with what was sent, flipped ones included.
        index_t disagree = 0;
        for (index_t i = 0; i < coded.numel(); ++i) {
            disagree += (out.Extrinsic[i] + llr[i] < 0) != (coded[i] == 1);
        }
        EXPECT_EQ(disagree, 0);
    }
}

// Max-log decoding does not depend on the ratios' scale, and neither may the decoder: ratios a
// thousandth to 1e-30 of the usual (bits noisy enough that the code leaves about a tenth of them
// wrong), alone or with one ratio 1e6 times the largest (an impulse let through, of either sign),
// decide the same bits as at the usual scale. Before the decoder brought tiny ratios up to where
// its single-precision metrics resolve them, the known-zero prior and the limit swamped them: 16
// of the 1296 bits came out otherwise without an outlier, 34 to 45 beside one.
TEST(Sisodecode, TheRatiosScaleAndOneOutlierDoNotDecideTheBits) {
    const ModeParams mode = modeconf(0.6);
    BuiltinHost host(29);
    const SendchainOut tx = sendchain(mode, 1, 9, host);
    const RealArray& coded = tx.CodOutInterIn;
    const RealArray z = host.randn(coded.numel(), 1);
    RealArray usual(coded.numel());
    double largest = 0;
    for (index_t k = 0; k < coded.numel(); ++k) {
        usual[k] = 2 * (1 - 2 * coded[k] + z[k]);  // +-1 through noise of deviation 1
        largest = std::max(largest, std::abs(usual[k]));
    }
    struct Case {
        index_t at;      // the outlier's position, or -1 for none
        double outlier;  // in units of the largest ratio
    };
    const Case cases[] = {{-1, 0}, {2500, 1e6}, {2500, -1e6}, {300, 1e6}, {2002, -1e6}};
    for (const Case& c : cases) {
        RealArray llr = usual;
        if (c.at >= 0) llr[c.at] = c.outlier * largest;
        const SisodecodeOut want = sisodecode(llr, mode, 1);
        for (const double scale : {1e-3, 0x1p-20, 1e-30}) {
            SCOPED_TRACE(::testing::Message() << "outlier at " << c.at << ", scale " << scale);
            RealArray scaled(llr.numel());
            for (index_t k = 0; k < llr.numel(); ++k) scaled[k] = scale * llr[k];
            const SisodecodeOut got = sisodecode(scaled, mode, 1);
            ASSERT_EQ(got.InfoBits.numel(), want.InfoBits.numel());
            index_t differ = 0;
            for (index_t k = 0; k < got.InfoBits.numel(); ++k) {
                differ += got.InfoBits[k] != want.InfoBits[k];
            }
            EXPECT_EQ(differ, 0);
        }
    }
}

TEST(Sisodecode, Failures) {
    const ModeParams mode = modeconf(0.6);
    ModeParams uncoded = mode;
    uncoded.rate = 4800;
    ModeParams repeated = mode;
    repeated.repFactor = 2;
    expect_error([&] { sisodecode(RealArray(2880), uncoded, 1); },
                 "hfchain:sisodecode:UnsupportedMode", "4800");
    expect_error([&] { sisodecode(RealArray(2880), repeated, 1); },
                 "hfchain:sisodecode:UnsupportedMode", "repFactor 2");
    expect_error([&] { sisodecode(RealArray(2880), mode, 0.1); }, "",
                 "Erro: Total de frames insuficientes para transmissao");
    expect_error([&] { sisodecode(RealArray(2880), mode, std::nan("")); }, errid::kNonIntegerSize);
    expect_error([&] { sisodecode(RealArray(2879), mode, 1); }, errid::kSizeMismatch, "DecoderIn");
    expect_error([&] { sisodecode(RealArray(2880), mode, 2); }, errid::kSizeMismatch);
}

}  // namespace
}  // namespace hfchain
