// Non-finite, huge and degenerate inputs of the HF receiver's blocks (geniecombine, chansound,
// turboequal): every input variable and every field of their structures, each with NaN, +Inf,
// -Inf and a huge finite value, ends in a refusal that names the variable and the element, or in
// a finite result. A symbol seen through no gain is an erasure that the decoding chain takes as
// such.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <variant>

#include "receiver/geniecombine/geniecombine.hpp"
#include "receiver/layout/layout.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/receiver/hf_support.hpp"

namespace hfchain {
namespace {

using testing::expect_error;
using testing::standard;
using testing::static_road;
using testing::TwoRay;

const VarShapping kShaping{0.35, 6, 5};
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// What a row does to its variable: one element (the eighth, or the last of a shorter array) set
// to NaN, +Inf or -Inf, or every element (a scalar: the value) multiplied by 1e300 (a scalar of 0
// becomes 1e300).
enum class Kind { nan, pos_inf, neg_inf, huge };
constexpr Kind kKinds[] = {Kind::nan, Kind::pos_inf, Kind::neg_inf, Kind::huge};
constexpr index_t kElement = 7;

const char* kind_name(Kind kind) {
    switch (kind) {
        case Kind::nan:
            return "NaN";
        case Kind::pos_inf:
            return "Inf";
        case Kind::neg_inf:
            return "-Inf";
        default:
            return "huge";
    }
}

double value_of(Kind kind) {
    return kind == Kind::nan ? kNaN : kind == Kind::pos_inf ? kInf : -kInf;
}

using Target = std::variant<RealArray*, ComplexArray*, double*>;

// Spoils the target; returns the text a refusal must hold: the element's name and value, or, for
// a huge array, the name alone.
std::string spoil(Target target, Kind kind, const std::string& name) {
    if (auto* d = std::get_if<double*>(&target)) {
        **d = kind == Kind::huge ? (**d == 0 ? 1e300 : **d * 1e300) : value_of(kind);
        return kind == Kind::huge ? name : name + " is " + kind_name(kind);
    }
    const auto element = [&](index_t n) {
        EXPECT_GT(n, 0) << name;
        const index_t k = std::min(kElement, n - 1);
        return k;
    };
    index_t k = 0;
    if (auto* r = std::get_if<RealArray*>(&target)) {
        if (kind == Kind::huge) {
            for (double& v : **r) v *= 1e300;
            return name;
        }
        k = element((*r)->numel());
        (**r)[k] = value_of(kind);
    } else {
        ComplexArray& a = *std::get<ComplexArray*>(target);
        if (kind == Kind::huge) {
            for (cdouble& v : a) v *= 1e300;
            return name;
        }
        k = element(a.numel());
        a[k] = {value_of(kind), a[k].imag()};
    }
    return name + "(" + std::to_string(k + 1) + ") is " + kind_name(kind);
}

// The expected outcome of a spoiled variable: an identifier and a text the message holds ("=":
// the text spoil gives), or no identifier for a finite result.
struct Outcome {
    const char* identifier = nullptr;
    const char* text = "";
};

std::string expected_text(const Outcome& o, const std::string& spoiled) {
    return std::string(o.text) == "=" ? spoiled : o.text;
}

template <class T>
bool all_finite(const Array<T>& a) {
    for (const T& v : a) {
        if (!std::isfinite(std::abs(v))) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// geniecombine

struct GenieInputs {
    ComplexArray MultiplexOut, raios, noise;
    double EsNodB = 12;
    ModeParams mode;
};

// One block of the short interleaver through a fading channel with noise.
const GenieInputs& genie_inputs() {
    static const GenieInputs inputs = [] {
        GenieInputs g;
        g.mode = standard(0.6);
        BuiltinHost host;
        const SendchainOut tx = sendchain(g.mode, 1, 4, host);
        const FadesimOut ch = fadesim(pulseshaper(tx.MultiplexOut, kShaping).out,
                                      VarWatterson{"ruim", 12, 6}, kShaping, host);
        g.MultiplexOut = tx.MultiplexOut;
        g.raios = ch.raios;
        g.noise = ch.noise;
        return g;
    }();
    return inputs;
}

Target genie_target(GenieInputs& g, const std::string& variable) {
    if (variable == "MultiplexOut") return &g.MultiplexOut;
    if (variable == "raios") return &g.raios;
    if (variable == "noise") return &g.noise;
    if (variable == "EsNodB") return &g.EsNodB;
    if (variable == "milstd.preamSync") return &g.mode.preamSync;
    return &g.mode.probe;
}

TEST(GeniecombineDegenerate, NonFiniteInputsAreRefusedHugeOnesGiveFiniteSymbols) {
    struct Row {
        const char* variable;
        Outcome bad[4];  // NaN, +Inf, -Inf, huge
    };
    const char* nonfinite = "hfchain:geniecombine:NonFinite";
    const char* esno = "hfchain:channel:InvalidEsNodB";
    const char* layout = "hfchain:layout:NonFinite";
    const Row rows[] = {
        {"MultiplexOut", {{nonfinite, "="}, {nonfinite, "="}, {nonfinite, "="}, {}}},
        {"raios", {{nonfinite, "="}, {nonfinite, "="}, {nonfinite, "="}, {}}},
        {"noise", {{nonfinite, "="}, {nonfinite, "="}, {nonfinite, "="}, {}}},
        // +Inf dB is a channel without noise; 12e300 dB too.
        {"EsNodB", {{esno, "NaN"}, {}, {esno, "-Inf"}, {}}},
        {"milstd.preamSync",
         {{layout, "="}, {layout, "="}, {layout, "="}, {"hfchain:layout:BadPreamble", "="}}},
        {"milstd.probe", {{layout, "="}, {layout, "="}, {layout, "="}, {}}},
    };
    for (const Row& row : rows) {
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(std::string(row.variable) + " " + kind_name(kKinds[k]));
            GenieInputs g = genie_inputs();
            const std::string spoiled =
                spoil(genie_target(g, row.variable), kKinds[k], row.variable);
            const auto call = [&] {
                return geniecombine(g.MultiplexOut, g.raios, g.noise, g.EsNodB, g.mode, kShaping);
            };
            const Outcome& o = row.bad[k];
            if (o.identifier != nullptr) {
                expect_error(call, o.identifier, expected_text(o, spoiled));
                continue;
            }
            const GeniecombineOut r = call();
            EXPECT_TRUE(all_finite(r.out));
            EXPECT_TRUE(all_finite(r.noiseVar));
            EXPECT_TRUE(all_finite(r.gain));
        }
    }
}

// A symbol seen through no gain at all carries nothing: it comes out as 0 with an infinite
// variance, with or without noise, and the soft demapper and the decoder take it as erased:
// every ratio exactly 0.
TEST(GeniecombineDegenerate, ZeroGainIsAnErasure) {
    const GenieInputs& in = genie_inputs();
    for (const double EsNodB : {12.0, kInf}) {
        SCOPED_TRACE(EsNodB);
        const GeniecombineOut r = geniecombine(in.MultiplexOut, ComplexArray(in.raios.rows(), 2),
                                               in.noise, EsNodB, in.mode, kShaping);
        for (index_t k = 0; k < r.out.numel(); ++k) {
            ASSERT_EQ(r.out[k], cdouble(0.0)) << k;
            ASSERT_EQ(r.noiseVar[k], kInf) << k;
            ASSERT_EQ(r.gain[k], 0.0) << k;
        }
        for (const SoftRule rule : {SoftRule::max_log, SoftRule::exact}) {
            const RealArray llr = softslicer(r.out, r.noiseVar, in.mode, rule).LLR;
            for (const double v : llr) ASSERT_EQ(v, 0.0);
            EXPECT_NO_THROW(vitdecode(unshuffle(llr, in.mode).out, in.mode, 1));
        }
    }
}

// Gains that vanish at some symbols only: those symbols are erased, the others unchanged. A gain
// so small that N0 / g^2 overflows is an erasure too; one whose square underflows but whose
// variance does not is still a symbol.
TEST(GeniecombineDegenerate, VanishingGainsEraseTheirSymbolsOnly) {
    const GenieInputs& in = genie_inputs();
    const GeniecombineOut clean =
        geniecombine(in.MultiplexOut, in.raios, in.noise, 12, in.mode, kShaping);
    const Layout layout = transmission_layout(in.mode, 30);
    struct Row {
        double scale;  // of both rays at the symbol's instant
        bool erased;
    };
    // 1e-160: the square leaves the normal range and N0 / g^2 overflows; 1e-150: neither;
    // 1e200: the square overflows.
    const Row rows[] = {{0.0, true},     {1e-200, true}, {1e-160, true},
                        {1e-150, false}, {1e150, false}, {1e200, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.scale);
        ComplexArray raios = in.raios;
        const index_t k = 100;  // a data symbol
        const index_t peak = layout.dataIndex(k) * 5 + 30;
        raios(peak, 0) *= row.scale;
        raios(peak, 1) *= row.scale;
        const GeniecombineOut r =
            geniecombine(in.MultiplexOut, raios, in.noise, 12, in.mode, kShaping);
        EXPECT_EQ(r.noiseVar[k] == kInf, row.erased);
        EXPECT_EQ(r.out[k] == cdouble(0.0), row.erased);
        if (!row.erased) {
            EXPECT_TRUE(std::isfinite(std::abs(r.out[k])));
            // The gain scales exactly (hypot when the square leaves the normal range).
            EXPECT_NEAR(r.gain[k] / clean.gain[k], row.scale, 1e-15 * row.scale);
        }
        for (index_t j = 0; j < r.out.numel(); ++j) {
            if (j != k) {
                ASSERT_EQ(r.out[j], clean.out[j]) << j;
            }
        }
    }
}

TEST(GeniecombineDegenerate, WhatCannotBeRepresentedIsRefused) {
    const GenieInputs& in = genie_inputs();
    // The roll-off pulseshaper refuses: 1 / (4 alpha) overflows and the taps are NaN.
    expect_error(
        [&] {
            geniecombine(in.MultiplexOut, in.raios, in.noise, 12, in.mode,
                         VarShapping{4.9e-324, 6, 5});
        },
        "", "ERRO! Fator de rolloff invalido.");
    // Rays near the largest double at the first data symbol: their combined gain overflows.
    const index_t peak = transmission_layout(in.mode, 30).dataIndex(0) * 5 + 30;
    ComplexArray raios = in.raios;
    raios(peak, 0) = {1.5e308, 1.5e308};
    expect_error([&] { geniecombine(in.MultiplexOut, raios, in.noise, 12, in.mode, kShaping); },
                 "hfchain:geniecombine:Overflow", "raios(" + std::to_string(peak + 1) + ", :)");
    // Noise far beyond what N0 says, seen through a gain of 1e-10: the symbol overflows.
    ComplexArray noise = in.noise;
    for (cdouble& v : noise) v *= 1e300;
    raios = in.raios;
    raios(peak, 0) = 1e-10;
    raios(peak, 1) = 0;
    expect_error([&] { geniecombine(in.MultiplexOut, raios, noise, 12, in.mode, kShaping); },
                 "hfchain:geniecombine:Overflow", "Data symbol 1 ");
    // Symbols near the largest double: descrambling by an odd multiple of 45 degrees overflows.
    ComplexArray symbols = in.MultiplexOut;
    for (cdouble& v : symbols) v = {1.7e308, 1.7e308};
    expect_error([&] { geniecombine(symbols, in.raios, in.noise, 12, in.mode, kShaping); },
                 "hfchain:geniecombine:Overflow", "descrambled) overflows");
}

// ---------------------------------------------------------------------------------------------
// chansound and turboequal

struct HfInputs {
    ComplexArray matched;
    double start = 0;
    ModeParams mode;
    ChansoundOut sounding;
};

const HfInputs& hf_inputs() {
    static const HfInputs inputs = [] {
        HfInputs h;
        const auto road = static_road(0.6, 1, TwoRay{6, 1.0, 0.5}, 20, 3);
        h.matched = road.matched;
        h.start = road.start;
        h.mode = standard(0.6);
        h.sounding = chansound(road.matched, road.start, h.mode, kShaping);
        return h;
    }();
    return inputs;
}

TEST(ChansoundDegenerate, NonFiniteAndHugeInputsAreRefusedNamingTheVariable) {
    struct Row {
        const char* variable;
        Outcome bad[4];
    };
    const char* nonfinite = "hfchain:chansound:NonFinite";
    const char* layout = "hfchain:layout:NonFinite";
    const Row rows[] = {
        {"MatchedFilterIn",
         {{nonfinite, "="},
          {nonfinite, "="},
          {nonfinite, "="},
          {"hfchain:chansound:TooLarge", "MatchedFilterIn(1) is "}}},
        {"milstd.preamSync",
         {{layout, "="}, {layout, "="}, {layout, "="}, {"hfchain:layout:BadPreamble", "="}}},
        {"milstd.probe", {{layout, "="}, {layout, "="}, {layout, "="}, {}}},
        {"FrameStartSample",
         {{errid::kNonInteger, "NaN"},
          {errid::kNonInteger, "Inf"},
          {errid::kNonInteger, "-Inf"},
          {errid::kIndexOutOfBounds, "FrameStartSample"}}},
    };
    for (const Row& row : rows) {
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(std::string(row.variable) + " " + kind_name(kKinds[k]));
            HfInputs h = hf_inputs();
            const std::string v = row.variable;
            const Target target = v == "MatchedFilterIn"    ? Target(&h.matched)
                                  : v == "milstd.preamSync" ? Target(&h.mode.preamSync)
                                  : v == "milstd.probe"     ? Target(&h.mode.probe)
                                                            : Target(&h.start);
            const std::string spoiled = spoil(target, kKinds[k], v);
            const auto call = [&] { return chansound(h.matched, h.start, h.mode, kShaping); };
            const Outcome& o = row.bad[k];
            if (o.identifier != nullptr) {
                expect_error(call, o.identifier, expected_text(o, spoiled));
                continue;
            }
            const ChansoundOut s = call();
            EXPECT_TRUE(all_finite(s.gains));
            EXPECT_TRUE(all_finite(s.gainVar));
            EXPECT_TRUE(std::isfinite(s.noiseVar));
        }
    }
}

TEST(ChansoundDegenerate, PulseDesignsThatCannotBeBuiltAreRefused) {
    const HfInputs& h = hf_inputs();
    struct Row {
        VarShapping shaping;
        const char* identifier;
        const char* text;
    };
    const Row rows[] = {
        // The taps overflow: the roll-off message, as pulseshaper gives it (not "no signal").
        {{4.9e-324, 6, 5}, "", "ERRO! Fator de rolloff invalido."},
        {{1e-310, 6, 5}, "", "ERRO! Fator de rolloff invalido."},
        // A pulse length that is no number: the length check (not a count read from NaN).
        {{0.35, kNaN, 5}, errid::kNonInteger, "= NaN"},
        {{0.35, -1e300, 5}, errid::kNegative, "must not be negative"},
        {{0.35, 1e300, 5}, errid::kMaxSize, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        expect_error([&] { chansound(h.matched, h.start, h.mode, row.shaping); }, row.identifier,
                     row.text);
    }
}

Target sounding_target(ChansoundOut& s, const std::string& field) {
    if (field == "start") return &s.start;
    if (field == "delays") return &s.delays;
    if (field == "basis") return &s.basis;
    if (field == "out") return &s.out;
    if (field == "gains") return &s.gains;
    if (field == "gainVar") return &s.gainVar;
    if (field == "pathPower") return &s.pathPower;
    if (field == "windowGains") return &s.windowGains;
    if (field == "windowVar") return &s.windowVar;
    if (field == "windowTime") return &s.windowTime;
    if (field == "noiseVar") return &s.noiseVar;
    if (field == "doppler") return &s.doppler;
    if (field == "frames") return &s.frames;
    if (field == "profile") return &s.profile;
    return &s.profileStart;
}

// Every field of the sounding, and the parameter set's known symbols, through the equaliser with
// one decoder pass (so that the window estimates and their times are read too).
TEST(TurboequalDegenerate, EveryFieldOfTheSoundingIsCheckedNamingTheElement) {
    const char* nonfinite = "hfchain:turboequal:NonFinite";
    const char* large = "hfchain:turboequal:TooLarge";
    const char* layout = "hfchain:layout:NonFinite";
    const Outcome refused[4] = {{nonfinite, "="}, {nonfinite, "="}, {nonfinite, "="}, {large, "="}};
    const Outcome unread[4] = {{nonfinite, "="}, {nonfinite, "="}, {nonfinite, "="}, {}};
    struct Row {
        const char* field;
        Outcome bad[4];
    };
    const Row rows[] = {
        {"out", {refused[0], refused[1], refused[2], refused[3]}},
        {"basis", {refused[0], refused[1], refused[2], refused[3]}},
        {"gains", {refused[0], refused[1], refused[2], refused[3]}},
        {"gainVar", {refused[0], refused[1], refused[2], refused[3]}},
        {"windowGains", {refused[0], refused[1], refused[2], refused[3]}},
        // +Inf marks a window without estimate.
        {"windowVar", {refused[0], {}, refused[2], refused[3]}},
        {"noiseVar", {refused[0], refused[1], refused[2], refused[3]}},
        // Any finite time, however far off, only places a window among the samples.
        {"windowTime", {unread[0], unread[1], unread[2], unread[3]}},
        {"doppler", {unread[0], unread[1], unread[2], unread[3]}},
        {"start", {unread[0], unread[1], unread[2], unread[3]}},
        {"delays", {unread[0], unread[1], unread[2], unread[3]}},
        {"pathPower", {unread[0], unread[1], unread[2], unread[3]}},
        {"profile", {unread[0], unread[1], unread[2], unread[3]}},
        {"profileStart", {unread[0], unread[1], unread[2], unread[3]}},
        {"frames",
         {{errid::kNonInteger, "NaN"},
          {errid::kNonInteger, "Inf"},
          {errid::kNonInteger, "-Inf"},
          {errid::kNonInteger, "3e+301"}}},
        {"milstd.preamSync",
         {{layout, "="}, {layout, "="}, {layout, "="}, {"hfchain:layout:BadPreamble", "="}}},
        {"milstd.probe", {{layout, "="}, {layout, "="}, {layout, "="}, {}}},
    };
    for (const Row& row : rows) {
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(std::string(row.field) + " " + kind_name(kKinds[k]));
            HfInputs h = hf_inputs();
            const std::string f = row.field;
            const bool parameter = f.rfind("milstd.", 0) == 0;
            const Target target = f == "milstd.preamSync" ? Target(&h.mode.preamSync)
                                  : f == "milstd.probe"   ? Target(&h.mode.probe)
                                                          : sounding_target(h.sounding, f);
            const std::string spoiled = spoil(target, kKinds[k], parameter ? f : "sounding." + f);
            const auto call = [&] { return turboequal(h.sounding, h.mode, 1, 1); };
            const Outcome& o = row.bad[k];
            if (o.identifier != nullptr) {
                expect_error(call, o.identifier, expected_text(o, spoiled));
                continue;
            }
            const TurboequalOut e = call();
            EXPECT_TRUE(all_finite(e.out));
            EXPECT_TRUE(all_finite(e.noiseVar));
            EXPECT_TRUE(all_finite(e.gains));
            EXPECT_TRUE(all_finite(e.gainVar));
            EXPECT_TRUE(std::isfinite(e.doppler));
        }
    }
}

// Variances below zero are no variances; all-zero gains (a channel that passes nothing) and a
// noise variance of 0 are degenerate but valid: finite symbols, each with a finite variance.
TEST(TurboequalDegenerate, NegativeVariancesAreRefusedZeroGainsAndNoiseAreNot) {
    const HfInputs& h = hf_inputs();
    for (const char* field : {"gainVar", "windowVar", "noiseVar"}) {
        ChansoundOut s = h.sounding;
        const Target target = sounding_target(s, field);
        if (auto* d = std::get_if<double*>(&target)) {
            **d = -1e-3;
        } else {
            (*std::get<RealArray*>(target))[kElement] = -1e-3;
        }
        expect_error([&] { turboequal(s, h.mode, 1, 0); }, "hfchain:turboequal:BadSounding",
                     std::string("sounding.") + field);
    }
    ChansoundOut silent = h.sounding;
    for (cdouble& g : silent.gains) g = 0;
    for (cdouble& g : silent.windowGains) g = 0;
    ChansoundOut noiseless = h.sounding;
    noiseless.noiseVar = 0;
    for (double& v : noiseless.gainVar) v = 0;
    for (const ChansoundOut* s : {&silent, &noiseless}) {
        for (const double iterations : {0.0, 2.0}) {
            const TurboequalOut e = turboequal(*s, h.mode, 1, iterations);
            EXPECT_TRUE(all_finite(e.out));
            EXPECT_TRUE(all_finite(e.noiseVar));
        }
    }
}

}  // namespace
}  // namespace hfchain
