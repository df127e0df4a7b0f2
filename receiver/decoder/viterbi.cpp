#include "receiver/decoder/viterbi.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "receiver/decoder/trellis.hpp"
#include "runtime/checks.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define HFCHAIN_VITERBI_X86 1
#endif

namespace hfchain {

namespace {

using trellis::kStates;
constexpr int kButterflies = kStates / 2;

// Quantised ratios are clipped to +-kLevel. A branch then costs at most 2 kLevel either way, two
// paths into one node differ by at most 4 kLevel a step, and once every state can be reached
// from the best one (six steps) the metrics of all states lie within 24 kLevel of each other; two
// compared candidates differ by at most 28 kLevel. Until then the states not reachable from
// state 0 carry the start penalty, more than the 24 kLevel any six steps can make up, and compared
// candidates differ by at most the penalty plus 24 kLevel. Both bounds stay below 2^15.
constexpr int kLevel = kViterbiLevel;
constexpr int kStartPenalty = 24 * kLevel + 1;
static_assert(kStartPenalty + 24 * kLevel < 32768, "metrics would wrap in 16 bits");

// Butterfly i joins predecessors i and i + 32 to states 2 i (input 0) and 2 i + 1 (input 1). The
// code's first and last taps are 1 in both generators, so the four branches carry one coded pair
// and its complement: predecessor i with input 0 and predecessor i + 32 with input 1 send the
// pair of output[i][0], the two others its complement. Its cost m = s0 L0 + s1 L1 with the signs
// s = +1 for a coded 1 and -1 for a 0; the complement costs -m.
struct BranchSigns {
    alignas(32) std::int16_t c0[kButterflies];
    alignas(32) std::int16_t c1[kButterflies];
};

constexpr BranchSigns make_branch_signs() {
    BranchSigns s{};
    for (int i = 0; i < kButterflies; ++i) {
        const int pair = trellis::kTables.output[i][0];
        s.c0[i] = static_cast<std::int16_t>((pair >> 1) != 0 ? 1 : -1);
        s.c1[i] = static_cast<std::int16_t>((pair & 1) != 0 ? 1 : -1);
    }
    return s;
}
constexpr BranchSigns kSigns = make_branch_signs();

// Where each kernel puts the decision of state s in its 64-bit word of a step.
using DecisionLayout = std::array<std::uint8_t, kStates>;

template <class Position>
constexpr DecisionLayout make_layout(Position position) {
    DecisionLayout layout{};
    for (int s = 0; s < kStates; ++s) {
        const int i = s >> 1;  // butterfly
        const int u = s & 1;   // input bit
        layout[s] = static_cast<std::uint8_t>(position(i, u));
    }
    return layout;
}

// Plain: bit s for state s.
constexpr DecisionLayout kPlainLayout = make_layout([](int i, int u) { return 2 * i + u; });
// SSE2: per group of 8 butterflies, 8 input-0 bits then 8 input-1 bits.
constexpr DecisionLayout kSse2Layout =
    make_layout([](int i, int u) { return 16 * (i >> 3) + 8 * u + (i & 7); });
// AVX2: per group of 16 butterflies and per 128-bit half of 8, 8 input-0 then 8 input-1 bits.
constexpr DecisionLayout kAvx2Layout =
    make_layout([](int i, int u) { return 32 * (i >> 4) + 16 * ((i >> 3) & 1) + 8 * u + (i & 7); });

const DecisionLayout& layout_of(AcsKernel kernel) {
    switch (kernel) {
        case AcsKernel::sse2:
            return kSse2Layout;
        case AcsKernel::avx2:
            return kAvx2Layout;
        default:
            return kPlainLayout;
    }
}

// ---------------------------------------------------------------------------------------------
// Add-compare-select. Every kernel runs `steps` steps over the 64 metrics (in state order, kept
// modulo 2^16) and writes one decision word a step. For butterfly i with cost m, e = metric[i],
// f = metric[i + 32], all modulo 2^16:
//   D = e - f, M2 = m + m, d0 = D + M2, d1 = D - M2,
//   state 2 i:     metric (e + m) - max(d0, 0), decision d0 > 0,
//   state 2 i + 1: metric (e - m) - max(d1, 0), decision d1 > 0.
// d0 is the difference of the two candidates e + m and f - m, so this keeps the smaller one and
// the predecessor with oldest bit 0 on equality.

inline std::int16_t wrap(int x) { return static_cast<std::int16_t>(x); }

void acs_plain(const std::int16_t* q, index_t steps, std::int16_t* metric,
               std::uint64_t* decisions) {
    std::int16_t next[kStates];
    for (index_t t = 0; t < steps; ++t) {
        const int q0 = q[2 * t];
        const int q1 = q[2 * t + 1];
        std::uint64_t word = 0;
        for (int i = 0; i < kButterflies; ++i) {
            const std::int16_t m = wrap(kSigns.c0[i] * q0 + kSigns.c1[i] * q1);
            const std::int16_t e = metric[i];
            const std::int16_t f = metric[i + kButterflies];
            const std::int16_t D = wrap(e - f);
            const std::int16_t M2 = wrap(m + m);
            const std::int16_t d0 = wrap(D + M2);
            const std::int16_t d1 = wrap(D - M2);
            next[2 * i] = wrap(wrap(e + m) - (d0 > 0 ? d0 : 0));
            next[2 * i + 1] = wrap(wrap(e - m) - (d1 > 0 ? d1 : 0));
            word |= static_cast<std::uint64_t>(d0 > 0) << kPlainLayout[2 * i];
            word |= static_cast<std::uint64_t>(d1 > 0) << kPlainLayout[2 * i + 1];
        }
        decisions[t] = word;
        for (int s = 0; s < kStates; ++s) metric[s] = next[s];
    }
}

#ifdef HFCHAIN_VITERBI_X86

// Eight butterflies a vector: metrics in eight registers of eight states. Group g takes
// predecessors 8 g .. 8 g + 7 (register g) and 8 g + 32 .. (register g + 4); interleaving its
// input-0 and input-1 results gives states 16 g .. 16 g + 15, registers 2 g and 2 g + 1.
void acs_sse2(const std::int16_t* q, index_t steps, std::int16_t* metric,
              std::uint64_t* decisions) {
    __m128i v[8];
    __m128i s0[4];
    __m128i s1[4];
    for (int r = 0; r < 8; ++r)
        v[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(metric + 8 * r));
    for (int g = 0; g < 4; ++g) {
        s0[g] = _mm_load_si128(reinterpret_cast<const __m128i*>(kSigns.c0 + 8 * g));
        s1[g] = _mm_load_si128(reinterpret_cast<const __m128i*>(kSigns.c1 + 8 * g));
    }
    const __m128i zero = _mm_setzero_si128();
    for (index_t t = 0; t < steps; ++t) {
        const __m128i q0 = _mm_set1_epi16(q[2 * t]);
        const __m128i q1 = _mm_set1_epi16(q[2 * t + 1]);
        __m128i next[8];
        std::uint64_t word = 0;
        for (int g = 0; g < 4; ++g) {
            const __m128i m = _mm_add_epi16(_mm_mullo_epi16(q0, s0[g]), _mm_mullo_epi16(q1, s1[g]));
            const __m128i e = v[g];
            const __m128i f = v[g + 4];
            const __m128i D = _mm_sub_epi16(e, f);
            const __m128i M2 = _mm_add_epi16(m, m);
            const __m128i d0 = _mm_add_epi16(D, M2);
            const __m128i d1 = _mm_sub_epi16(D, M2);
            const __m128i n0 = _mm_sub_epi16(_mm_add_epi16(e, m), _mm_max_epi16(d0, zero));
            const __m128i n1 = _mm_sub_epi16(_mm_sub_epi16(e, m), _mm_max_epi16(d1, zero));
            const __m128i c = _mm_packs_epi16(_mm_cmpgt_epi16(d0, zero), _mm_cmpgt_epi16(d1, zero));
            word |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(c)))
                    << (16 * g);
            next[2 * g] = _mm_unpacklo_epi16(n0, n1);
            next[2 * g + 1] = _mm_unpackhi_epi16(n0, n1);
        }
        decisions[t] = word;
        for (int r = 0; r < 8; ++r) v[r] = next[r];
    }
    for (int r = 0; r < 8; ++r) _mm_storeu_si128(reinterpret_cast<__m128i*>(metric + 8 * r), v[r]);
}

// Sixteen butterflies a vector: metrics in four registers of sixteen states. Group g takes
// predecessors 16 g .. 16 g + 15 (register g) and 16 g + 32 .. (register g + 2); the in-lane
// interleave gives states 32 g .. 32 g + 31 with the 128-bit halves crossed, which one lane
// permutation puts back into registers 2 g and 2 g + 1.
__attribute__((target("avx2"))) void acs_avx2(const std::int16_t* q, index_t steps,
                                              std::int16_t* metric, std::uint64_t* decisions) {
    __m256i v[4];
    __m256i s0[2];
    __m256i s1[2];
    for (int r = 0; r < 4; ++r) {
        v[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(metric + 16 * r));
    }
    for (int g = 0; g < 2; ++g) {
        s0[g] = _mm256_load_si256(reinterpret_cast<const __m256i*>(kSigns.c0 + 16 * g));
        s1[g] = _mm256_load_si256(reinterpret_cast<const __m256i*>(kSigns.c1 + 16 * g));
    }
    const __m256i zero = _mm256_setzero_si256();
    for (index_t t = 0; t < steps; ++t) {
        const __m256i q0 = _mm256_set1_epi16(q[2 * t]);
        const __m256i q1 = _mm256_set1_epi16(q[2 * t + 1]);
        __m256i next[4];
        std::uint64_t word = 0;
        for (int g = 0; g < 2; ++g) {
            const __m256i m =
                _mm256_add_epi16(_mm256_sign_epi16(q0, s0[g]), _mm256_sign_epi16(q1, s1[g]));
            const __m256i e = v[g];
            const __m256i f = v[g + 2];
            const __m256i D = _mm256_sub_epi16(e, f);
            const __m256i M2 = _mm256_add_epi16(m, m);
            const __m256i d0 = _mm256_add_epi16(D, M2);
            const __m256i d1 = _mm256_sub_epi16(D, M2);
            const __m256i n0 = _mm256_sub_epi16(_mm256_add_epi16(e, m), _mm256_max_epi16(d0, zero));
            const __m256i n1 = _mm256_sub_epi16(_mm256_sub_epi16(e, m), _mm256_max_epi16(d1, zero));
            const __m256i c =
                _mm256_packs_epi16(_mm256_cmpgt_epi16(d0, zero), _mm256_cmpgt_epi16(d1, zero));
            word |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(c)))
                    << (32 * g);
            const __m256i lo = _mm256_unpacklo_epi16(n0, n1);
            const __m256i hi = _mm256_unpackhi_epi16(n0, n1);
            next[2 * g] = _mm256_permute2x128_si256(lo, hi, 0x20);
            next[2 * g + 1] = _mm256_permute2x128_si256(lo, hi, 0x31);
        }
        decisions[t] = word;
        for (int r = 0; r < 4; ++r) v[r] = next[r];
    }
    for (int r = 0; r < 4; ++r) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(metric + 16 * r), v[r]);
    }
}

#endif  // HFCHAIN_VITERBI_X86

AcsKernel resolve(AcsKernel kernel) {
    if (kernel == AcsKernel::automatic) return acs_kernel_automatic();
    if (!acs_kernel_available(kernel)) {
        raise("hfchain:vitdecode:NoKernel",
              "This processor or build cannot run the requested add-compare-select kernel.");
    }
    return kernel;
}

void run_acs(AcsKernel kernel, const std::int16_t* q, index_t steps, std::int16_t* metric,
             std::uint64_t* decisions) {
    switch (kernel) {
#ifdef HFCHAIN_VITERBI_X86
        case AcsKernel::avx2:
            acs_avx2(q, steps, metric, decisions);
            return;
        case AcsKernel::sse2:
            acs_sse2(q, steps, metric, decisions);
            return;
#endif
        default:
            acs_plain(q, steps, metric, decisions);
            return;
    }
}

// ---------------------------------------------------------------------------------------------
// Quantisation.

// The exponent k of the power of two that brings the mean magnitude of the finite non-zero
// values into (kLevel / 16, kLevel / 8]; 0 when there are none. Reports the first NaN.
int quantiser_exponent(const double* x, index_t n) {
    double sum = 0.0;
    index_t count = 0;
    bool nan = false;
    for (index_t k = 0; k < n; ++k) {
        const double a = std::fabs(x[k]);
        nan |= a != a;
        const bool counted = a > 0.0 && a <= std::numeric_limits<double>::max();
        sum += counted ? a : 0.0;
        count += counted ? 1 : 0;
    }
    if (nan) {
        for (index_t k = 0; k < n; ++k) {
            if (std::isnan(x[k])) {
                raise("hfchain:vitdecode:NaN",
                      "Log-likelihood ratio " + std::to_string(k + 1) +
                          " is NaN: a ratio must be a number (0 marks an erased bit).");
            }
        }
    }
    if (count == 0) return 0;
    double mean = sum / count;
    if (!std::isfinite(sum)) {
        // Values near the largest double overflowed the sum: sum them divided by the count.
        mean = 0.0;
        for (index_t k = 0; k < n; ++k) {
            const double a = std::fabs(x[k]);
            if (a <= std::numeric_limits<double>::max()) mean += a / count;
        }
    }
    // mean = f 2^e with f in [0.5, 1) and kLevel / 8 = 80 = 0.625 2^7: mean 2^(7 - e) lies in
    // [64, 80] when f <= 0.625, else one more halving brings it into (40, 64).
    static_assert(kLevel == 640, "the exponent rule assumes kLevel / 8 = 0.625 2^7");
    int e = 0;
    const double f = std::frexp(mean, &e);
    return 7 - e - (f > 0.625 ? 1 : 0);
}

// Rounds x 2^k to the nearest whole number (halves away from zero), clipped to +-kLevel. The
// power is applied as two factors, so that neither overflows for any k the data can ask for.
void quantise(const double* x, index_t n, int k, std::int16_t* q) {
    constexpr double level = kLevel;
    const double s1 = std::ldexp(1.0, k / 2);
    const double s2 = std::ldexp(1.0, k - k / 2);
    for (index_t i = 0; i < n; ++i) {
        double y = x[i] * s1 * s2;
        y = y > level ? level : y;
        y = y < -level ? -level : y;
        q[i] = static_cast<std::int16_t>(y + std::copysign(0.5, y));
    }
}

// The final state of least metric (metrics compared modulo 2^16), the lowest on ties.
int best_state(const std::int16_t* metric) {
    int best = 0;
    for (int s = 1; s < kStates; ++s) {
        if (wrap(metric[s] - metric[best]) < 0) best = s;
    }
    return best;
}

}  // namespace

bool acs_kernel_available(AcsKernel kernel) {
    switch (kernel) {
        case AcsKernel::automatic:
        case AcsKernel::plain:
            return true;
#ifdef HFCHAIN_VITERBI_X86
        case AcsKernel::sse2:
            return __builtin_cpu_supports("sse2");
        case AcsKernel::avx2:
            return __builtin_cpu_supports("avx2");
#endif
        default:
            return false;
    }
}

AcsKernel acs_kernel_automatic() {
    static const AcsKernel chosen = acs_kernel_available(AcsKernel::avx2)   ? AcsKernel::avx2
                                    : acs_kernel_available(AcsKernel::sse2) ? AcsKernel::sse2
                                                                            : AcsKernel::plain;
    return chosen;
}

int ViterbiWorkspace::decision(index_t step, int state) const noexcept {
    return static_cast<int>((decisions_[step] >> layout_of(kernel_)[state & (kStates - 1)]) & 1);
}

void viterbi_decode(const double* pairs, index_t steps, bool terminated, double* decoded,
                    ViterbiWorkspace& workspace, AcsKernel kernel) {
    check_nonnegative(steps, "steps");
    kernel = resolve(kernel);
    const index_t n = checked_size_product(2, steps);

    // Quantised ratios, two a step.
    workspace.exponent_ = quantiser_exponent(pairs, n);
    workspace.quantised_.resize(n);
    quantise(pairs, n, workspace.exponent_, workspace.quantised_.data());

    // Forward pass from state 0.
    workspace.decisions_.resize(steps);
    workspace.steps_ = steps;
    workspace.kernel_ = kernel;
    std::int16_t metric[kStates];
    metric[0] = 0;
    for (int s = 1; s < kStates; ++s) metric[s] = static_cast<std::int16_t>(kStartPenalty);
    run_acs(kernel, workspace.quantised_.data(), steps, metric, workspace.decisions_.data());

    // Trace back from state 0 (or the best state): the input bit of each step is bit 0 of the
    // state it led to, and the decision names the predecessor's oldest bit.
    const DecisionLayout& layout = layout_of(kernel);
    const std::uint64_t* decisions = workspace.decisions_.data();
    unsigned state = terminated ? 0u : static_cast<unsigned>(best_state(metric));
    for (index_t t = steps - 1; t >= 0; --t) {
        decoded[t] = static_cast<double>(state & 1u);
        const unsigned oldest = static_cast<unsigned>(decisions[t] >> layout[state]) & 1u;
        state = (state >> 1) | (oldest << (trellis::kMemory - 1));
    }
}

}  // namespace hfchain
