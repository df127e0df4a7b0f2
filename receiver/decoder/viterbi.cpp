#include "receiver/decoder/viterbi.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <string>

#include "receiver/decoder/ratios.hpp"
#include "receiver/decoder/trellis.hpp"
#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"

// SSE2 is part of every x86-64 processor; AVX2 is checked at run time.
#if defined(__x86_64__)
#include <immintrin.h>
#define HFCHAIN_VITERBI_X86 1
#endif

namespace hfchain {

namespace {

using trellis::kStates;
constexpr int kButterflies = kStates / 2;

// Quantised ratios are clipped to +-kLevel, so a branch costs at most 2 kLevel either way and
// each step moves every metric by at most 2 kLevel. The metrics are 16-bit integers that must
// never leave the signed range:
// - The states not reachable from state 0 start with a penalty above the 24 kLevel that any six
//   steps can make up, so that after six steps every survivor starts in state 0. Until the first
//   renormalisation (eight steps) the metrics lie within [-16 kLevel, penalty + 16 kLevel].
//   A trellis open at its start begins with every metric 0, inside those bounds.
// - From six steps on, every state can be reached from the best one in six steps, so all metrics
//   lie within 24 kLevel of each other. Every eight steps the metric of state 0 is subtracted
//   from all of them, which leaves them within +-24 kLevel, and the next eight steps within
//   +-40 kLevel, candidates included.
constexpr int kLevel = kViterbiLevel;
constexpr int kStartPenalty = 24 * kLevel + 1;
constexpr int kRenormalisePeriod = 8;
static_assert(kStartPenalty + 2 * kRenormalisePeriod * kLevel < 32768, "16-bit metrics overflow");
static_assert((24 + 2 * kRenormalisePeriod) * kLevel < 32768, "16-bit metrics overflow");

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

// ---------------------------------------------------------------------------------------------
// Add-compare-select. Every kernel runs `steps` steps over the 64 metrics (in state order) and
// writes one decision word a step, bit s for state s. For butterfly i with cost m, e = metric[i]
// and f = metric[i + 32]:
//   state 2 i:     candidates a = e + m (from i) and b = f - m (from i + 32),
//   state 2 i + 1: candidates a = e - m (from i) and b = f + m (from i + 32);
// the metric is min(a, b) and the decision is b < a, so that the predecessor with oldest bit 0
// survives equal candidates. After every eighth step the metric of state 0 is subtracted from
// all 64.

void acs_plain(const std::int16_t* q, index_t steps, std::int16_t* metric,
               std::uint64_t* decisions) {
    std::int16_t next[kStates];
    for (index_t t = 0; t < steps; ++t) {
        const int q0 = q[2 * t];
        const int q1 = q[2 * t + 1];
        std::uint64_t word = 0;
        for (int i = 0; i < kButterflies; ++i) {
            const int m = kSigns.c0[i] * q0 + kSigns.c1[i] * q1;
            const int e = metric[i];
            const int f = metric[i + kButterflies];
            for (int u = 0; u < 2; ++u) {
                // 16-bit sums, as in the vector registers.
                const auto a = static_cast<std::int16_t>(u == 0 ? e + m : e - m);
                const auto b = static_cast<std::int16_t>(u == 0 ? f - m : f + m);
                next[2 * i + u] = b < a ? b : a;
                word |= static_cast<std::uint64_t>(b < a) << (2 * i + u);
            }
        }
        decisions[t] = word;
        const int reference = t % kRenormalisePeriod == kRenormalisePeriod - 1 ? next[0] : 0;
        for (int s = 0; s < kStates; ++s) {
            metric[s] = static_cast<std::int16_t>(next[s] - reference);
        }
    }
}

#ifdef HFCHAIN_VITERBI_X86

// Eight butterflies a vector: metrics in eight registers of eight states. Group g takes
// predecessors 8 g .. 8 g + 7 (register g) and 8 g + 32 .. (register g + 4); interleaving its
// input-0 and input-1 results gives states 16 g .. 16 g + 15, registers 2 g and 2 g + 1, and
// interleaving its decisions the same way puts them in state order.
void acs_sse2(const std::int16_t* q, index_t steps, std::int16_t* metric,
              std::uint64_t* decisions) {
    __m128i v[8];
    __m128i s0[4];
    __m128i s1[4];
    for (int r = 0; r < 8; ++r) {
        v[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(metric + 8 * r));
    }
    for (int g = 0; g < 4; ++g) {
        s0[g] = _mm_load_si128(reinterpret_cast<const __m128i*>(kSigns.c0 + 8 * g));
        s1[g] = _mm_load_si128(reinterpret_cast<const __m128i*>(kSigns.c1 + 8 * g));
    }
    for (index_t t = 0; t < steps; ++t) {
        const __m128i q0 = _mm_set1_epi16(q[2 * t]);
        const __m128i q1 = _mm_set1_epi16(q[2 * t + 1]);
        __m128i next[8];
        std::uint64_t word = 0;
        for (int g = 0; g < 4; ++g) {
            const __m128i m = _mm_add_epi16(_mm_mullo_epi16(q0, s0[g]), _mm_mullo_epi16(q1, s1[g]));
            const __m128i e = v[g];
            const __m128i f = v[g + 4];
            const __m128i a0 = _mm_add_epi16(e, m);
            const __m128i b0 = _mm_sub_epi16(f, m);
            const __m128i a1 = _mm_sub_epi16(e, m);
            const __m128i b1 = _mm_add_epi16(f, m);
            const __m128i n0 = _mm_min_epi16(a0, b0);
            const __m128i n1 = _mm_min_epi16(a1, b1);
            const __m128i c0 = _mm_cmpgt_epi16(a0, b0);
            const __m128i c1 = _mm_cmpgt_epi16(a1, b1);
            const __m128i c =
                _mm_packs_epi16(_mm_unpacklo_epi16(c0, c1), _mm_unpackhi_epi16(c0, c1));
            word |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(c)))
                    << (16 * g);
            next[2 * g] = _mm_unpacklo_epi16(n0, n1);
            next[2 * g + 1] = _mm_unpackhi_epi16(n0, n1);
        }
        decisions[t] = word;
        if (t % kRenormalisePeriod == kRenormalisePeriod - 1) {
            const __m128i reference = _mm_shuffle_epi32(_mm_shufflelo_epi16(next[0], 0), 0);
            for (int r = 0; r < 8; ++r) next[r] = _mm_sub_epi16(next[r], reference);
        }
        for (int r = 0; r < 8; ++r) v[r] = next[r];
    }
    for (int r = 0; r < 8; ++r) _mm_storeu_si128(reinterpret_cast<__m128i*>(metric + 8 * r), v[r]);
}

// Sixteen butterflies a vector: metrics in four registers of sixteen states. Group g takes
// predecessors 16 g .. 16 g + 15 (register g) and 16 g + 32 .. (register g + 2). The in-lane
// interleave of its results gives states 32 g .. 32 g + 31 with the 128-bit halves crossed,
// which one lane permutation puts back into registers 2 g and 2 g + 1; interleaved the same way,
// the decisions pack into state order at once.
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
            const __m256i a0 = _mm256_add_epi16(e, m);
            const __m256i b0 = _mm256_sub_epi16(f, m);
            const __m256i a1 = _mm256_sub_epi16(e, m);
            const __m256i b1 = _mm256_add_epi16(f, m);
            const __m256i n0 = _mm256_min_epi16(a0, b0);
            const __m256i n1 = _mm256_min_epi16(a1, b1);
            const __m256i c0 = _mm256_cmpgt_epi16(a0, b0);
            const __m256i c1 = _mm256_cmpgt_epi16(a1, b1);
            const __m256i c =
                _mm256_packs_epi16(_mm256_unpacklo_epi16(c0, c1), _mm256_unpackhi_epi16(c0, c1));
            word |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(c)))
                    << (32 * g);
            const __m256i lo = _mm256_unpacklo_epi16(n0, n1);
            const __m256i hi = _mm256_unpackhi_epi16(n0, n1);
            next[2 * g] = _mm256_permute2x128_si256(lo, hi, 0x20);
            next[2 * g + 1] = _mm256_permute2x128_si256(lo, hi, 0x31);
        }
        decisions[t] = word;
        if (t % kRenormalisePeriod == kRenormalisePeriod - 1) {
            const __m256i reference = _mm256_broadcastw_epi16(_mm256_castsi256_si128(next[0]));
            for (int r = 0; r < 4; ++r) next[r] = _mm256_sub_epi16(next[r], reference);
        }
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
// values into (kLevel / 16, kLevel / 8]; 0 when there are none. Each magnitude counts at most
// outlier_bound (receiver/decoder/ratios.hpp), so that one value far above the rest (an
// impulse a receiver let through) cannot set the scale of all the others and round them to 0:
// it saturates at the clip level instead. Ordinary ratios lie far below that bound, and the mean
// is then the plain one, to the last bit. Reports the first NaN. The sums run over the positions
// 4 j + r apart for r = 0..3 and meet at the end, in vector registers on x86-64 and in the same
// order elsewhere, so the result is the same on every processor.
int quantiser_exponent(const double* x, index_t n) {
    constexpr double kMax = std::numeric_limits<double>::max();
    double sum[4] = {0.0, 0.0, 0.0, 0.0};
    double count[4] = {0.0, 0.0, 0.0, 0.0};
    double most[4] = {0.0, 0.0, 0.0, 0.0};
    bool nan = false;
    index_t k = 0;
#ifdef HFCHAIN_VITERBI_X86
    {
        const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff));
        const __m128d largest = _mm_set1_pd(kMax);
        const __m128d one = _mm_set1_pd(1.0);
        __m128d s[2] = {_mm_setzero_pd(), _mm_setzero_pd()};
        __m128d c[2] = {_mm_setzero_pd(), _mm_setzero_pd()};
        __m128d m[2] = {_mm_setzero_pd(), _mm_setzero_pd()};
        __m128d bad = _mm_setzero_pd();
        for (; k + 4 <= n; k += 4) {
            for (int h = 0; h < 2; ++h) {
                const __m128d v = _mm_loadu_pd(x + k + 2 * h);
                const __m128d a = _mm_and_pd(v, magnitude);
                const __m128d counted =
                    _mm_and_pd(_mm_cmpgt_pd(a, _mm_setzero_pd()), _mm_cmple_pd(a, largest));
                s[h] = _mm_add_pd(s[h], _mm_and_pd(a, counted));
                c[h] = _mm_add_pd(c[h], _mm_and_pd(one, counted));
                m[h] = _mm_max_pd(m[h], _mm_and_pd(a, counted));
                bad = _mm_or_pd(bad, _mm_cmpunord_pd(v, v));
            }
        }
        _mm_storeu_pd(sum, s[0]);
        _mm_storeu_pd(sum + 2, s[1]);
        _mm_storeu_pd(count, c[0]);
        _mm_storeu_pd(count + 2, c[1]);
        _mm_storeu_pd(most, m[0]);
        _mm_storeu_pd(most + 2, m[1]);
        nan = _mm_movemask_pd(bad) != 0;
    }
#endif
    for (; k < n; ++k) {
        const double a = std::fabs(x[k]);
        const bool counted = a > 0.0 && a <= kMax;
        sum[k % 4] += counted ? a : 0.0;
        count[k % 4] += counted ? 1.0 : 0.0;
        most[k % 4] = counted ? std::max(most[k % 4], a) : most[k % 4];
        nan |= a != a;
    }
    if (nan) {
        for (k = 0; k < n; ++k) {
            if (std::isnan(x[k])) {
                raise("hfchain:vitdecode:NaN",
                      "Log-likelihood ratio " + std::to_string(k + 1) +
                          " is NaN: a ratio must be a number (0 marks an erased bit).");
            }
        }
    }
    const double total = (count[0] + count[1]) + (count[2] + count[3]);
    if (total == 0.0) return 0;
    double mean = ((sum[0] + sum[1]) + (sum[2] + sum[3])) / total;
    const double clip = std::min(outlier_bound(ratio_median_ceiling(x, n)), kMax);
    if (std::max({most[0], most[1], most[2], most[3]}) > clip) {
        // Some magnitudes count as the clip: summed divided by the count, in order.
        mean = 0.0;
        for (k = 0; k < n; ++k) {
            const double a = std::fabs(x[k]);
            if (a > 0.0 && a <= kMax) mean += std::min(a, clip) / total;
        }
    } else if (!std::isfinite(mean)) {
        // Values near the largest double overflowed the sum: sum them divided by the count.
        mean = 0.0;
        for (k = 0; k < n; ++k) {
            const double a = std::fabs(x[k]);
            if (a <= kMax) mean += a / total;
        }
    }
    // mean = f 2^e with f in [0.5, 1) and kLevel / 8 = 80 = 0.625 2^7: mean 2^(7 - e) lies in
    // [64, 80] when f <= 0.625, else one more halving brings it into (40, 64).
    static_assert(kLevel == 640, "the exponent rule assumes kLevel / 8 = 0.625 2^7");
    int e = 0;
    const double f = std::frexp(mean, &e);
    return 7 - e - (f > 0.625 ? 1 : 0);
}

// Rounds x 2^k to the nearest whole number (halves away from zero: y + sign(y) / 2 truncated),
// clipped to +-kLevel. The power is applied as two factors, so that neither overflows for any k
// the data can ask for. Vector and scalar code do the same operations.
void quantise(const double* x, index_t n, int k, std::int16_t* q) {
    constexpr double level = kLevel;
    const double s1 = std::ldexp(1.0, k / 2);
    const double s2 = std::ldexp(1.0, k - k / 2);
    index_t i = 0;
#ifdef HFCHAIN_VITERBI_X86
    {
        const __m128d f1 = _mm_set1_pd(s1);
        const __m128d f2 = _mm_set1_pd(s2);
        const __m128d high = _mm_set1_pd(level);
        const __m128d low = _mm_set1_pd(-level);
        const __m128d half = _mm_set1_pd(0.5);
        const __m128d sign = _mm_set1_pd(-0.0);
        const auto round = [&](__m128d v) {
            const __m128d y = _mm_min_pd(_mm_max_pd(_mm_mul_pd(_mm_mul_pd(v, f1), f2), low), high);
            return _mm_cvttpd_epi32(_mm_add_pd(y, _mm_or_pd(half, _mm_and_pd(y, sign))));
        };
        for (; i + 4 <= n; i += 4) {
            const __m128i lo = round(_mm_loadu_pd(x + i));
            const __m128i hi = round(_mm_loadu_pd(x + i + 2));
            const __m128i packed = _mm_packs_epi32(_mm_unpacklo_epi64(lo, hi), lo);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(q + i), packed);
        }
    }
#endif
    for (; i < n; ++i) {
        const double y = std::min(std::max(x[i] * s1 * s2, -level), level);
        q[i] = static_cast<std::int16_t>(static_cast<int>(y + std::copysign(0.5, y)));
    }
}

// The final state of least metric, the lowest on ties.
int best_state(const std::int16_t* metric) {
    int best = 0;
    for (int s = 1; s < kStates; ++s) {
        if (metric[s] < metric[best]) best = s;
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

template <class T>
void ViterbiWorkspace::Buffer<T>::reserve(index_t n) {
    if (n <= capacity_) return;
    try {
        data_.reset(new T[static_cast<std::size_t>(n)]);
    } catch (const std::bad_alloc&) {
        raise(errid::kOutOfMemory,
              "Out of memory: the decoder could not allocate its workspace of " +
                  std::to_string(n) + " elements.");
    }
    capacity_ = n;
}

int ViterbiWorkspace::decision(index_t step, int state) const noexcept {
    return static_cast<int>((decisions_.data()[step] >> (state & (kStates - 1))) & 1);
}

void viterbi_decode(const double* pairs, index_t steps, bool terminated, double* decoded,
                    ViterbiWorkspace& workspace, AcsKernel kernel, TrellisStart start) {
    check_nonnegative(steps, "steps");
    kernel = resolve(kernel);
    const index_t n = checked_size_product(2, steps);

    // Quantised ratios, two a step.
    const int exponent = quantiser_exponent(pairs, n);
    workspace.quantised_.reserve(n);
    workspace.decisions_.reserve(steps);
    workspace.exponent_ = exponent;
    workspace.steps_ = steps;
    workspace.kernel_ = kernel;
    quantise(pairs, n, exponent, workspace.quantised_.data());

    // Forward pass from state 0, or from every state alike.
    const int penalty = start == TrellisStart::zero ? kStartPenalty : 0;
    std::int16_t metric[kStates];
    metric[0] = 0;
    for (int s = 1; s < kStates; ++s) metric[s] = static_cast<std::int16_t>(penalty);
    run_acs(kernel, workspace.quantised_.data(), steps, metric, workspace.decisions_.data());

    // Trace back from state 0 (or the best state): the input bit of each step is bit 0 of the
    // state it led to, and the decision names the predecessor's oldest bit.
    const std::uint64_t* decisions = workspace.decisions_.data();
    std::uint64_t state = terminated ? 0u : static_cast<std::uint64_t>(best_state(metric));
    for (index_t t = steps - 1; t >= 0; --t) {
        decoded[t] = static_cast<double>(state & 1u);
        const std::uint64_t oldest = (decisions[t] >> state) & 1u;
        state = (state >> 1) | (oldest << (trellis::kMemory - 1));
    }
}

}  // namespace hfchain
