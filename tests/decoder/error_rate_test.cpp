// Decoded bit error rate on white noise at Es/N0 = 7 dB, max-log ratios, against long runs of the
// straightforward double-precision decoder of tests/support (bench/decoder_loss, and the same
// loop with ideal interleaving), which share neither the decoder's quantisation nor its kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "channel/fadesim.hpp"
#include "receiver/decoder/vitdecode.hpp"
#include "receiver/decoder/viterbi.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/softdemod/softslicer.hpp"
#include "runtime/builtin_host.hpp"
#include "transmitter/codetables.hpp"
#include "transmitter/constellation.hpp"
#include "transmitter/convcoder_puncturing.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

constexpr double kEsNodB = 7;

struct Batch {
    double bits = 0;
    double errors = 0;
};

// One batch through the modem's own road at symbol level: sendchain's data symbols plus noise,
// softslicer, unshuffle, vitdecode; the information bits compared.
Batch waveform_batch(int batch) {
    static const ModeParams mode = modeconf(0.6);
    constexpr double nFrame = 36;
    BuiltinHost host(batch + 1);
    const SendchainOut tx = sendchain(mode, nFrame, 1000 + batch, host);
    ComplexArray noise;
    ComplexArray received;
    add_channel_noise(tx.ComplexPSKSymbols, kEsNodB, host, noise, received);
    const RealArray N0{std::pow(10.0, -kEsNodB / 10)};
    const RealArray llr = unshuffle(softslicer(received, N0, mode).LLR, mode).out;
    const RealArray info = vitdecode(llr, mode, nFrame).InfoBits;
    Batch b;
    for (index_t k = 0; k < info.numel(); ++k) b.errors += info[k] != tx.BitInCodIn[k];
    b.bits = info.numel();
    return b;
}

// One batch with ideal interleaving: every coded bit rides on a symbol of its own, at a random
// one of the three label positions, beside two random bits.
Batch ideal_batch(int batch) {
    static const ModeParams mode = modeconf(0.6);
    constexpr index_t kSteps = 100000;
    BuiltinHost host(batch + 1);
    const RealArray u = host.rand(kSteps);
    RealArray message(kSteps + 6);
    for (index_t k = 0; k < kSteps; ++k) message[k] = std::floor(2 * u[k]);
    RealArray generators(2, 7);
    for (index_t r = 0; r < 2; ++r) {
        for (index_t j = 0; j < 7; ++j) generators(r, j) = kGenerators[r][j];
    }
    const RealArray coded = convcoder_puncturing(message, generators, RealArray{1, 1});
    const index_t n = coded.numel();
    const RealArray draw = host.rand(n);  // the position and the two other bits, 12 choices
    std::vector<int> at(n);
    ComplexArray symbols(n);
    for (index_t k = 0; k < n; ++k) {
        const int choice = static_cast<int>(std::floor(12 * draw[k]));
        at[k] = choice % 3;
        int others = choice / 3;
        int value = 0;
        for (int i = 0; i < 3; ++i) {
            int bit = static_cast<int>(coded[k]);
            if (i != at[k]) {
                bit = others & 1;
                others >>= 1;
            }
            value = 2 * value + bit;
        }
        symbols[k] = std::polar(1.0, 2 * std::numbers::pi * kGray2bina[value] / 8);
    }
    ComplexArray noise;
    ComplexArray received;
    add_channel_noise(symbols, kEsNodB, host, noise, received);
    const RealArray N0{std::pow(10.0, -kEsNodB / 10)};
    const RealArray all = softslicer(received, N0, mode).LLR;
    RealArray llr(n);
    for (index_t k = 0; k < n; ++k) llr[k] = all[3 * k + at[k]];
    RealArray decoded(kSteps + 6);
    ViterbiWorkspace workspace;
    viterbi_decode(llr.data(), kSteps + 6, true, decoded.data(), workspace);
    Batch b;
    for (index_t k = 0; k < kSteps; ++k) b.errors += decoded[k] != message[k];
    b.bits = kSteps;
    return b;
}

// Errors come in bursts of a few bits, so the spread of the rate is taken from independent
// batches (batch means): with B batches of equal size, the standard error of the overall rate is
// the standard deviation of the batch rates over sqrt(B). The long runs' own standard errors are
// about 2 % (chain: 20000 errors in 4566 events; ideal: 14000 errors in 1e8 bits) and
// are taken as 3 %. The test allows 4 combined standard errors: with 19 degrees of freedom a
// correct decoder falls outside with probability below 1e-3 for the seeds chosen once.
TEST(DecodedErrorRate, WhiteNoiseAtSevenDecibels) {
    struct Case {
        const char* name;
        Batch (*run)(int);
        double expected;
    };
    const Case cases[] = {
        {"0.6 s interleaver", waveform_batch, 8.46e-4},
        {"ideal interleaving", ideal_batch, 1.405e-4},
    };
    constexpr int kBatches = 20;
    for (const Case& c : cases) {
        std::vector<double> rates;
        Batch total;
        for (int b = 0; b < kBatches; ++b) {
            const Batch batch = c.run(b);
            rates.push_back(batch.errors / batch.bits);
            total.bits += batch.bits;
            total.errors += batch.errors;
        }
        const double rate = total.errors / total.bits;
        double variance = 0;
        for (const double r : rates) variance += (r - rate) * (r - rate);
        variance /= kBatches - 1;
        const double se = std::sqrt(variance / kBatches);
        const double tolerance = 4 * std::hypot(se, 0.03 * c.expected);
        EXPECT_NEAR(rate, c.expected, tolerance)
            << c.name << ": " << total.errors << " errors in " << total.bits << " bits";
        // The test must see enough errors to mean something.
        EXPECT_GT(total.errors, 200) << c.name;
    }
}

}  // namespace
}  // namespace hfchain
