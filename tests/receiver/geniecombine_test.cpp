#include "receiver/geniecombine/geniecombine.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "receiver/chansound/chansound.hpp"
#include "receiver/demux/unframer.hpp"
#include "receiver/layout/layout.hpp"
#include "receiver/timing/tickalign.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/receiver/hf_support.hpp"

namespace hfchain {
namespace {

using testing::expect_error;
using testing::standard;
using testing::static_road;
using testing::TwoRay;

const VarShapping kShaping{0.35, 6, 5};

// On white noise the genie is the ideal coherent receiver: its symbols are those the matched
// filter gives at every symbol's peak, descrambled, up to the intersymbol interference of the
// truncated pulse, which the genie leaves out. That interference is bounded by the pulse's
// magnitudes at the other symbol instants.
TEST(Geniecombine, OnWhiteNoiseIsTheIdealCoherentReceiver) {
    const RealArray pulse = composite_pulse(kShaping);
    const index_t centre = pulse.numel() / 2;
    double isi = 0;
    for (index_t k = 5; k <= centre; k += 5) isi += 2 * std::abs(pulse[centre + k]);
    for (const double EsNodB : {3.0, 12.0}) {
        for (const double interLen : {0.6, 4.8}) {
            const auto road = static_road(interLen, 1, TwoRay{0, 1.0, 0.0}, EsNodB, 21);
            const ModeParams& mode = standard(interLen);
            const GeniecombineOut g = geniecombine(road.tx.MultiplexOut, ComplexArray(), road.noise,
                                                   EsNodB, mode, kShaping);
            const ComplexArray ideal =
                unframer(tickalign(road.matched, 61, kShaping).out, mode).out;
            ASSERT_EQ(g.out.numel(), road.tx.ComplexPSKSymbols.numel());
            ASSERT_EQ(ideal.numel(), g.out.numel());
            const double N0 = std::pow(10, -EsNodB / 10);
            for (index_t k = 0; k < g.out.numel(); ++k) {
                ASSERT_NEAR(std::abs(g.out[k] - ideal[k]), 0, isi + 1e-12) << k;
                ASSERT_EQ(g.gain[k], 1);
                ASSERT_NEAR(g.noiseVar[k], N0, 1e-15 * N0);
            }
        }
    }
}

// Through fading, each data symbol is seen with the combined gain of both rays at its instant,
// and its noise is the matched-filtered channel noise at the first ray's peak, divided by that
// gain.
TEST(Geniecombine, CombinesTheRaysAtEachSymbolsInstant) {
    const ModeParams& mode = standard(0.6);
    BuiltinHost host;
    const SendchainOut tx = sendchain(mode, 1, 4, host);
    const ComplexArray x = pulseshaper(tx.MultiplexOut, kShaping).out;
    const FadesimOut ch = fadesim(x, VarWatterson{"ruim", 9, 6}, kShaping, host);
    const GeniecombineOut g = geniecombine(tx.MultiplexOut, ch.raios, ch.noise, 9, mode, kShaping);
    const ComplexArray w = pulsematch(ch.noise, kShaping).out;
    const Layout layout = transmission_layout(mode, 30);
    const KnownSymbols known = known_symbols(mode, layout);
    const double N0 = std::pow(10, -0.9);
    for (index_t k = 0; k < g.out.numel(); k += 7) {
        const index_t n = layout.dataIndex(k);
        const double gain =
            std::hypot(std::abs(ch.raios(5 * n + 30, 0)), std::abs(ch.raios(5 * n + 30, 1)));
        ASSERT_NEAR(g.gain[k], gain, 1e-12) << k;
        ASSERT_NEAR(g.noiseVar[k], N0 / (gain * gain), 1e-12 * N0 / (gain * gain)) << k;
        const cdouble noise = (g.out[k] - tx.ComplexPSKSymbols[k]) * gain;
        ASSERT_NEAR(std::abs(noise - std::conj(known.rotation[k]) * w[60 + 5 * n]), 0, 1e-12) << k;
    }
}

// Any number of rays (hfchannel's paths): the gain is the root of the sum of their powers, and
// one ray's gain is its magnitude.
TEST(Geniecombine, CombinesAnyNumberOfRays) {
    const ModeParams& mode = standard(0.6);
    BuiltinHost host;
    const SendchainOut tx = sendchain(mode, 1, 4, host);
    const ComplexArray x = pulseshaper(tx.MultiplexOut, kShaping).out;
    const FadesimOut ch = fadesim(x, VarWatterson{"ruim", 9, 6}, kShaping, host);
    const index_t L = ch.raios.rows();
    const Layout layout = transmission_layout(mode, 30);
    for (const index_t P : {1, 3}) {
        ComplexArray raios(L, P);
        for (index_t p = 0; p < P; ++p) {
            for (index_t n = 0; n < L; ++n) raios(n, p) = ch.raios(n, p % 2) * (p + 1.0);
        }
        const GeniecombineOut g = geniecombine(tx.MultiplexOut, raios, ch.noise, 9, mode, kShaping);
        for (index_t k = 0; k < g.out.numel(); k += 7) {
            const index_t peak = 5 * layout.dataIndex(k) + 30;
            double power = 0;
            for (index_t p = 0; p < P; ++p) power += std::norm(raios(peak, p));
            ASSERT_NEAR(g.gain[k], std::sqrt(power), 1e-12 * std::sqrt(power)) << P << " " << k;
        }
    }
}

TEST(Geniecombine, Failures) {
    const ModeParams& mode = standard(0.6);
    BuiltinHost host;
    const SendchainOut tx = sendchain(mode, 1, 4, host);
    const index_t samples = 5 * (tx.MultiplexOut.numel() + 12);
    const ComplexArray noise(samples);
    ComplexArray cut(tx.MultiplexOut.numel() - 5);
    expect_error([&] { geniecombine(cut, ComplexArray(), noise, 10, mode, kShaping); },
                 errid::kSizeMismatch, "MultiplexOut");
    expect_error(
        [&] {
            geniecombine(tx.MultiplexOut, ComplexArray(samples - 1, 2), noise, 10, mode, kShaping);
        },
        errid::kSizeMismatch, "raios");
    expect_error(
        [&] {
            geniecombine(tx.MultiplexOut, ComplexArray(), ComplexArray(samples - 1), 10, mode,
                         kShaping);
        },
        errid::kSizeMismatch, "noise");
    ModeParams patterns = mode;  // no probes, yet not the 75 bit/s patterns
    patterns.trein = 0;
    expect_error(
        [&] { geniecombine(tx.MultiplexOut, ComplexArray(), noise, 10, patterns, kShaping); },
        "hfchain:geniecombine:UnsupportedMode");
    expect_error(
        [&] {
            geniecombine(tx.MultiplexOut, ComplexArray(), noise, 10, mode, VarShapping{0.35, 6, 0});
        },
        "hfchain:geniecombine:BadOversampling");
    // A pulse far longer than the signal is refused by the sizes, before a filter of 1e9 taps is
    // designed.
    expect_error(
        [&] {
            geniecombine(tx.MultiplexOut, ComplexArray(), noise, 10, mode,
                         VarShapping{0.35, 1e8, 5});
        },
        errid::kSizeMismatch, "noise");
}

}  // namespace
}  // namespace hfchain
