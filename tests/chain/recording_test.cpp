// The recording receiver on long basebands: transmissions found wherever they lie, between
// stretches of noise, under a frequency offset, and nothing found in noise alone.
#include "chain/recording.hpp"

#include <gtest/gtest.h>

#include <random>

#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

const RecordingSettings kSettings;
constexpr double kRate = 2400 * 4;  // baseband samples a second

struct Placed {
    double start;   // s
    double offset;  // Hz
    double seed;    // of the information bits
    double blocks;
};

// White noise of variance `noise` with the transmissions added where they are placed.
Baseband recording(const ModeParams& mode, double seconds, double noise,
                   const std::vector<Placed>& placed, std::vector<RealArray>& sent) {
    std::mt19937 gen(5);
    std::normal_distribution<float> n(0, static_cast<float>(std::sqrt(noise / 2)));
    Baseband x(static_cast<std::size_t>(seconds * kRate));
    for (auto& v : x) v = {n(gen), n(gen)};
    BuiltinHost host;
    for (const Placed& p : placed) {
        const SendchainOut tx = sendchain(mode, p.blocks, p.seed, host);
        sent.push_back(tx.BitInCodIn);
        const ComplexArray s = pulseshaper(tx.MultiplexOut, kSettings.shaping).out;
        const auto first = static_cast<std::size_t>(p.start * kRate);
        for (index_t k = 0; k < s.numel() && first + k < x.size(); ++k) {
            const cdouble turned = s[k] * std::polar(1.0, 2 * M_PI * p.offset * k / kRate);
            x[first + k] += std::complex<float>(turned);
        }
    }
    return x;
}

TEST(Recording, FindsEachTransmissionBetweenNoise) {
    const struct {
        double rate;
        double interLen;
        std::vector<Placed> placed;
        double noise;
    } cases[] = {
        {2400, 0.6, {{0.7, 0, 3, 2}, {4.1, 23.5, 4, 1}}, 0.02},
        {600, 0.6, {{0.05, -40, 5, 1}, {2.9, 0, 6, 2}}, 0.05},
        {4800, 0.6, {{1.3, 5, 7, 1}, {3.0, 0, 8, 1}}, 0.005},
    };
    BuiltinHost host;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        const ModeParams mode = rateconf(c.rate, c.interLen);
        std::vector<RealArray> sent;
        const Baseband x = recording(mode, 6.5, c.noise, c.placed, sent);
        const auto found = receive_recording(x, mode, kSettings, host);
        ASSERT_EQ(found.size(), c.placed.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(found[i].start, c.placed[i].start, 1.5 / 2400);
            EXPECT_NEAR(found[i].frequencyOffset, c.placed[i].offset, 0.5);
            EXPECT_FALSE(found[i].clockMeasured);
            ASSERT_EQ(found[i].blocks.size(), static_cast<std::size_t>(c.placed[i].blocks));
            for (const RecordedBlock& b : found[i].blocks) EXPECT_TRUE(b.decoded);
            const RealArray& bits = found[i].infoBits;
            ASSERT_GT(bits.numel(), 0);
            EXPECT_TRUE(std::equal(bits.begin(), bits.end(), sent[i].begin()));
        }
    }
}

TEST(Recording, NoiseAloneHoldsNoTransmission) {
    const ModeParams mode = rateconf(1200, 0.6);
    std::vector<RealArray> sent;
    BuiltinHost host;
    EXPECT_TRUE(receive_recording(recording(mode, 4, 1, {}, sent), mode, kSettings, host).empty());
    EXPECT_TRUE(receive_recording(Baseband(1000), mode, kSettings, host).empty());
}

}  // namespace
}  // namespace hfchain
