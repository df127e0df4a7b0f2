#include "transmitter/convcoder_puncturing.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "runtime/builtin_host.hpp"

namespace hfchain {
namespace {

using Bits = std::vector<double>;

RealArray column(const Bits& v) {
    RealArray a(static_cast<index_t>(v.size()));
    for (index_t i = 0; i < a.numel(); ++i) a[i] = v[i];
    return a;
}

RealArray matrix(index_t rows, const Bits& row_major) {
    const auto cols = static_cast<index_t>(row_major.size()) / rows;
    RealArray a(rows, cols);
    for (index_t r = 0; r < rows; ++r) {
        for (index_t c = 0; c < cols; ++c) a(r, c) = row_major[r * cols + c];
    }
    return a;
}

Bits values(const RealArray& a) { return Bits(a.begin(), a.end()); }

const Bits k133_171 = {1, 0, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0, 0, 1};

// Straight from the definition: FIR filtering modulo 2, serial read-out, zero padding to whole
// mask periods, kept positions, the first ceil(N K1 P / L) of them.
Bits reference_encoder(const Bits& u, const RealArray& g, const Bits& mask) {
    const auto N = static_cast<long>(u.size());
    const long P = g.rows();
    const auto L = static_cast<long>(mask.size());
    Bits serial;
    for (long k = 0; k < N; ++k) {
        for (long p = 0; p < P; ++p) {
            double y = 0;
            for (long j = 0; j < 7; ++j) {
                if (k - j >= 0) y += g(p, j) * u[k - j];
            }
            serial.push_back(std::fmod(y, 2.0));
        }
    }
    while (serial.size() % L != 0) serial.push_back(0);
    Bits kept;
    for (std::size_t i = 0; i < serial.size(); ++i) {
        if (mask[i % L] == 1) kept.push_back(serial[i]);
    }
    long K1 = 0;
    for (double m : mask) K1 += m == 1 ? 1 : 0;
    const long nout = (N * K1 * P + L - 1) / L;
    kept.resize(nout);
    return kept;
}

TEST(Convcoder, KnownOutputs) {
    struct Case {
        const char* name;
        RealArray g;
        Bits mask, input, expected;
    };
    const Case cases[] = {
        {"impulse response of 133/171, stream 1 first",
         matrix(2, k133_171),
         {1, 1},
         {1, 0, 0, 0, 0, 0, 0},
         {1, 1, 0, 1, 1, 1, 1, 1, 0, 0, 1, 0, 1, 1}},
        {"repeated generators give each pair twice",
         matrix(4, {1, 0, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0, 0, 1,
                    1, 0, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0, 0, 1}),
         {1, 1, 1, 1},
         {1, 1},
         {1, 1, 1, 1, 1, 0, 1, 0}},
        {"rate 2/3: two blocks, the last one padded, five bits out",
         matrix(2, k133_171),
         {1, 1, 1, 0},
         {1, 1, 0},
         // serial 1 1 1 0 | 1 0 0 0 (two padding zeros) -> kept 1 1 1 | 1 0 0 -> first five
         {1, 1, 1, 1, 0}},
        {"empty input", matrix(2, k133_171), {1, 1}, {}, {}},
    };
    for (const auto& c : cases) {
        const RealArray out = convcoder_puncturing(column(c.input), c.g, column(c.mask));
        EXPECT_EQ(out.cols(), 1) << c.name;
        EXPECT_EQ(values(out), c.expected) << c.name;
    }
}

// Random inputs against the definition, for masks with and without puncturing, lengths that do
// and do not fill the last mask period, and the rate-6/11 case whose length a double quotient
// gets wrong (30 bits must give 55, not 56).
TEST(Convcoder, MatchesDefinitionOnRandomInputs) {
    struct Case {
        index_t rows;
        Bits g, mask;
        index_t n;
        index_t nout;
    };
    const Bits g3 = {1, 0, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 1, 1};
    const Case cases[] = {
        {2, k133_171, {1, 1}, 1000, 2000},
        {2, k133_171, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, 30, 55},
        {2, k133_171, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, 31, 57},
        {2, k133_171, {1, 1, 1, 0}, 1001, 1502},
        {2, k133_171, {1, 0, 1, 1, 0, 1}, 17, 23},
        {3, g3, {1, 1, 1}, 100, 300},
        {3, g3, {1, 1, 0, 0, 1, 1}, 99, 198},
        {2, k133_171, {1, 1, 1, 1}, 9, 18},
    };
    BuiltinHost host(5);
    for (const auto& c : cases) {
        const RealArray u = host.rand(c.n);
        Bits bits(c.n);
        for (index_t i = 0; i < c.n; ++i) bits[i] = std::floor(2 * u[i]);
        const RealArray g = matrix(c.rows, c.g);
        const RealArray out = convcoder_puncturing(column(bits), g, column(c.mask));
        EXPECT_EQ(out.numel(), c.nout) << "P " << c.rows << " L " << c.mask.size() << " N " << c.n;
        EXPECT_EQ(values(out), reference_encoder(bits, g, c.mask))
            << "P " << c.rows << " L " << c.mask.size() << " N " << c.n;
    }
}

TEST(Convcoder, ConfigurationErrorsInTheirOrder) {
    const std::string bad_gen = "ERRO! Um ou mais polinomios geradores invalidos (genPolinomials).";
    const std::string bad_mask = "ERRO! Mascara de truncamento invalida (puncturingMask).";
    const std::string bad_length =
        "ERRO! O comprimento da mascara de truncamento deve ser um multiplo do numero de "
        "polinomios geradores.";
    const std::string bad_rate = "ERRO! Taxa de codificacao resultante igual ou superior a 1.";
    Bits g_two = k133_171;
    g_two[3] = 2;
    Bits g_half = k133_171;
    g_half[8] = 0.5;
    struct Case {
        RealArray g;
        Bits mask;
        std::string identifier, message;
    };
    const Case cases[] = {
        {matrix(2, g_two), {1, 1}, "", bad_gen},
        {matrix(2, g_half), {-1, 1, 1}, "", bad_gen},  // breaks three rules, reports the first
        {matrix(2, k133_171), {1, -1}, "", bad_mask},
        {matrix(2, k133_171), {1, 1, 2}, "", bad_mask},  // also not a multiple of P
        {matrix(2, k133_171), {1, 1, 1}, "", bad_length},
        {matrix(2, k133_171), {1, 0}, "", bad_rate},
        {matrix(1, {1, 0, 1, 1, 0, 1, 1}), {1}, "", bad_rate},
        {matrix(2, k133_171), {}, "", bad_rate},
        {RealArray(0, 7), {}, "", bad_rate},  // no generator: the rate is undefined
        {RealArray(2, 6), {1, 1}, "hfchain:runtime:SizeMismatch", ""},
    };
    for (const auto& c : cases) {
        try {
            convcoder_puncturing(column({1, 0, 1}), c.g, column(c.mask));
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), c.identifier);
            if (!c.message.empty()) {
                EXPECT_EQ(std::string(e.what()), c.message);
            }
        }
    }
}

TEST(Convcoder, RejectsInputsThatAreNotBits) {
    for (const double bad : {2.0, 0.5, -1.0, std::nan("")}) {
        try {
            convcoder_puncturing(column({1, 0, bad}), matrix(2, k133_171), column({1, 1, 1, 0}));
            ADD_FAILURE() << bad;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), "hfchain:convcoder:NonBinaryInput");
        }
    }
}

}  // namespace
}  // namespace hfchain
