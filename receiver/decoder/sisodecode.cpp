#include "receiver/decoder/sisodecode.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "params/modes.hpp"
#include "receiver/decoder/ratios.hpp"
#include "receiver/decoder/trellis.hpp"
#include "runtime/checks.hpp"
#include "transmitter/bitbudget.hpp"

// AVX2 is checked at run time.
#if defined(__x86_64__)
#define HFCHAIN_SISO_X86 1
#endif

namespace hfchain {

namespace {

// The encoder register holds the six previous input bits; state s has u(k-1) in bit 5 and
// u(k-6) in bit 0, so input u moves the encoder from s to (u << 5) | (s >> 1). The two states
// 2t and 2t + 1 (they differ only in u(k-6)) lead to t and t + 32: one butterfly per t.
using trellis::kStates;
constexpr int kHalf = kStates / 2;

// Channel LLRs beyond this are as good as certain; clamping keeps path metrics finite.
constexpr double kLlrLimit = 1.0e3;

// Ratios whose median magnitude lies below this range top are scaled up by a power of two until it
// lies in it: single-precision path metrics beside the known-zero prior (1e4) and the limit
// resolve them no finer than about 1e-3, so smaller ratios would be decided by rounding. A median
// that small (a bit a thirtieth as sure as at 0 dB) is far below any the code decodes at.
constexpr double kLeastMedianTop = 0x1p-4;

// A path metric no real path reaches.
constexpr float kImpossible = -1.0e9f;

// Four butterflies side by side in one compiler vector (an SSE register).
typedef float V4 __attribute__((vector_size(16)));
typedef int I4 __attribute__((vector_size(16)));
constexpr int kGroups = kHalf / 4;

// Both generators tap the newest and the oldest bit, so the coded bits of the branch leaving
// 2t + b with input u are p1(t) ^ b ^ u and p2(t) ^ b ^ u, where p1, p2 are the parities of the
// other taps over the bits 2t + b shares with 2t (u(k-1) .. u(k-5)).
struct Butterflies {
    V4 sign1[kGroups];  // +1 where p1(t) = 0, else -1
    V4 sign2[kGroups];
    I4 odd1[kGroups];  // all ones where p1(t) = 1
    I4 odd2[kGroups];
};

// The butterflies from the decoders' shared trellis, whose states hold the newest bit in bit 0:
// this decoder's state numbering is that one with the six bits reversed.
Butterflies make_butterflies() {
    Butterflies b{};
    for (int t = 0; t < kHalf; ++t) {
        int shared = 0;
        for (int j = 0; j < trellis::kMemory; ++j) shared |= ((2 * t >> j) & 1) << (5 - j);
        const int pair = trellis::kTables.output[shared][0];  // b = 0, u = 0: the bits p1, p2
        const int p1 = pair >> 1, p2 = pair & 1;
        b.odd1[t / 4][t % 4] = p1 != 0 ? -1 : 0;
        b.odd2[t / 4][t % 4] = p2 != 0 ? -1 : 0;
        b.sign1[t / 4][t % 4] = p1 != 0 ? -1.0f : 1.0f;
        b.sign2[t / 4][t % 4] = p2 != 0 ? -1.0f : 1.0f;
    }
    return b;
}

const Butterflies kButterflies = make_butterflies();

inline V4 vmax(V4 a, V4 b) { return a > b ? a : b; }
inline V4 splat(float v) { return V4{v, v, v, v}; }
inline float hmax(V4 a) { return std::max(std::max(a[0], a[1]), std::max(a[2], a[3])); }
inline V4 select(I4 mask, V4 yes, V4 no) { return mask ? yes : no; }

// The even and the odd states of 2 x 4 consecutive states.
inline V4 evens(V4 lo, V4 hi) { return __builtin_shufflevector(lo, hi, 0, 2, 4, 6); }
inline V4 odds(V4 lo, V4 hi) { return __builtin_shufflevector(lo, hi, 1, 3, 5, 7); }

// v is never NaN: sisodecode refuses NaN before decoding.
inline float clamp_llr(double v, double limit) {
    return static_cast<float>(std::clamp(v, -limit, limit));
}

// Branch metric of butterfly t when the coded bits are p1(t), p2(t) (that is b ^ u = 0); the
// complementary branches (b ^ u = 1) carry the opposite value.
inline void branch_metrics(float l1, float l2, V4* G) {
    const V4 h1 = splat(0.5f * l1), h2 = splat(0.5f * l2);
    for (int g = 0; g < kGroups; ++g)
        G[g] = kButterflies.sign1[g] * h1 + kButterflies.sign2[g] * h2;
}

// The 4-wide kernel: four butterflies at a time (SSE on x86-64, the compiler's portable vectors
// elsewhere).
void siso_sse(index_t N, const float* llr, const float* prior, float* extrinsic, float* app,
              float* alpha, float others) {
    // Forward recursion, every step kept: alpha(k + 1, t + 32 u) is the best of the two paths
    // through 2t and 2t + 1, normalised so that state 0 sits at 0 (the spread between states
    // stays bounded, so nothing drifts). The other states start at `others`: kImpossible from
    // the all-zero state, 0 from any state.
    V4 G[kGroups];
    for (int s = 0; s < kStates; ++s) alpha[s] = s == 0 ? 0.0f : others;
    for (index_t k = 0; k < N; ++k) {
        V4 a[kStates / 4], next[kStates / 4];
        std::memcpy(a, alpha + static_cast<std::ptrdiff_t>(k) * kStates, sizeof a);
        branch_metrics(llr[2 * k], llr[2 * k + 1], G);
        const V4 half_prior = splat(0.5f * prior[k]);
        for (int g = 0; g < kGroups; ++g) {
            const V4 even = evens(a[2 * g], a[2 * g + 1]), odd = odds(a[2 * g], a[2 * g + 1]);
            next[g] = vmax(even + G[g], odd - G[g]) + half_prior;
            next[g + kGroups] = vmax(even - G[g], odd + G[g]) - half_prior;
        }
        const V4 origin = splat(next[0][0]);
        for (int g = 0; g < kStates / 4; ++g) next[g] -= origin;
        std::memcpy(alpha + static_cast<std::ptrdiff_t>(k + 1) * kStates, next, sizeof next);
    }

    // Backward recursion from the all-zero end state (or any, `others` 0), with the outputs of each
    // step computed as soon as beta(k + 1) is known.
    V4 beta[kStates / 4];
    for (int s = 0; s < kStates; ++s) beta[s / 4][s % 4] = s == 0 ? 0.0f : others;
    const V4 none = splat(kImpossible);
    for (index_t k = N - 1; k >= 0; --k) {
        V4 a[kStates / 4], prev[kStates / 4];
        std::memcpy(a, alpha + static_cast<std::ptrdiff_t>(k) * kStates, sizeof a);
        const float l1 = llr[2 * k], l2 = llr[2 * k + 1];
        branch_metrics(l1, l2, G);
        const V4 half_prior = splat(0.5f * prior[k]);

        // Branch totals alpha + gamma + beta: (b, u) = (0, 0), (1, 1) share the coded bits
        // p1, p2 ("plain"); (0, 1) and (1, 0) carry their complements ("flipped").
        V4 c1_0 = none, c1_1 = none, c2_0 = none, c2_1 = none, u0 = none, u1 = none;
        for (int g = 0; g < kGroups; ++g) {
            const V4 even = evens(a[2 * g], a[2 * g + 1]), odd = odds(a[2 * g], a[2 * g + 1]);
            const V4 b0 = beta[g] + half_prior, b1 = beta[g + kGroups] - half_prior;
            const V4 m00 = even + G[g] + b0;  // b = 0, u = 0
            const V4 m11 = odd + G[g] + b1;   // b = 1, u = 1
            const V4 m01 = even - G[g] + b1;  // b = 0, u = 1
            const V4 m10 = odd - G[g] + b0;   // b = 1, u = 0
            const V4 plain = vmax(m00, m11);
            const V4 flipped = vmax(m01, m10);
            const I4 o1 = kButterflies.odd1[g], o2 = kButterflies.odd2[g];
            c1_0 = vmax(c1_0, select(o1, flipped, plain));
            c1_1 = vmax(c1_1, select(o1, plain, flipped));
            c2_0 = vmax(c2_0, select(o2, flipped, plain));
            c2_1 = vmax(c2_1, select(o2, plain, flipped));
            u0 = vmax(u0, vmax(m00, m10));
            u1 = vmax(u1, vmax(m01, m11));
            // beta(k) of the states 2t and 2t + 1, interleaved back into state order.
            const V4 to_even = vmax(G[g] + b0, b1 - G[g]);
            const V4 to_odd = vmax(b0 - G[g], G[g] + b1);
            prev[2 * g] = __builtin_shufflevector(to_even, to_odd, 0, 4, 1, 5);
            prev[2 * g + 1] = __builtin_shufflevector(to_even, to_odd, 2, 6, 3, 7);
        }
        extrinsic[2 * k] = (hmax(c1_0) - hmax(c1_1)) - l1;
        extrinsic[2 * k + 1] = (hmax(c2_0) - hmax(c2_1)) - l2;
        if (app != nullptr) app[k] = hmax(u0) - hmax(u1);
        const V4 origin = splat(prev[0][0]);
        for (int g = 0; g < kStates / 4; ++g) beta[g] = prev[g] - origin;
    }
}

#ifdef HFCHAIN_SISO_X86
// The same recursions eight butterflies at a time (an AVX2 register): butterfly t sits in lane
// t % 8 of group t / 8 instead of lane t % 4 of group t / 4, and every state meets the same
// operations in the same order, so the metrics are the 4-wide kernel's to the bit. Only the
// maxima over butterflies (the outputs) are taken in another order; they are maxima of sets
// without NaN (finite inputs) and without -0 (every metric is a difference normalised against
// state 0, whose zero is +0, plus branch terms), so the order cannot change them.
typedef float V8 __attribute__((vector_size(32)));
typedef int I8 __attribute__((vector_size(32)));
constexpr int kGroups8 = kHalf / 8;

struct Butterflies8 {
    V8 sign1[kGroups8];
    V8 sign2[kGroups8];
    I8 odd1[kGroups8];
    I8 odd2[kGroups8];
};

// The same tables as kButterflies, read eight to a vector.
Butterflies8 make_butterflies8() {
    static_assert(sizeof(Butterflies8) == sizeof(Butterflies));
    Butterflies8 b;
    std::memcpy(&b, &kButterflies, sizeof b);
    return b;
}

const Butterflies8 kButterflies8 = make_butterflies8();

__attribute__((target("avx2"))) inline V8 vmax(V8 a, V8 b) { return a > b ? a : b; }
__attribute__((target("avx2"))) inline V8 splat8(float v) { return V8{v, v, v, v, v, v, v, v}; }
__attribute__((target("avx2"))) inline float hmax(V8 a) {
    const float lo = std::max(std::max(a[0], a[1]), std::max(a[2], a[3]));
    const float hi = std::max(std::max(a[4], a[5]), std::max(a[6], a[7]));
    return std::max(lo, hi);
}
__attribute__((target("avx2"))) inline V8 select(I8 mask, V8 yes, V8 no) { return mask ? yes : no; }
__attribute__((target("avx2"))) inline V8 evens(V8 lo, V8 hi) {
    return __builtin_shufflevector(lo, hi, 0, 2, 4, 6, 8, 10, 12, 14);
}
__attribute__((target("avx2"))) inline V8 odds(V8 lo, V8 hi) {
    return __builtin_shufflevector(lo, hi, 1, 3, 5, 7, 9, 11, 13, 15);
}

__attribute__((target("avx2"))) inline void branch_metrics(float l1, float l2, V8* G) {
    const V8 h1 = splat8(0.5f * l1), h2 = splat8(0.5f * l2);
    for (int g = 0; g < kGroups8; ++g)
        G[g] = kButterflies8.sign1[g] * h1 + kButterflies8.sign2[g] * h2;
}

__attribute__((target("avx2"))) void siso_avx2(index_t N, const float* llr, const float* prior,
                                               float* extrinsic, float* app, float* alpha,
                                               float others) {
    V8 G[kGroups8];
    for (int s = 0; s < kStates; ++s) alpha[s] = s == 0 ? 0.0f : others;
    for (index_t k = 0; k < N; ++k) {
        V8 a[kStates / 8], next[kStates / 8];
        std::memcpy(a, alpha + static_cast<std::ptrdiff_t>(k) * kStates, sizeof a);
        branch_metrics(llr[2 * k], llr[2 * k + 1], G);
        const V8 half_prior = splat8(0.5f * prior[k]);
        for (int g = 0; g < kGroups8; ++g) {
            const V8 even = evens(a[2 * g], a[2 * g + 1]), odd = odds(a[2 * g], a[2 * g + 1]);
            next[g] = vmax(even + G[g], odd - G[g]) + half_prior;
            next[g + kGroups8] = vmax(even - G[g], odd + G[g]) - half_prior;
        }
        const V8 origin = splat8(next[0][0]);
        for (int g = 0; g < kStates / 8; ++g) next[g] -= origin;
        std::memcpy(alpha + static_cast<std::ptrdiff_t>(k + 1) * kStates, next, sizeof next);
    }

    V8 beta[kStates / 8];
    for (int s = 0; s < kStates; ++s) beta[s / 8][s % 8] = s == 0 ? 0.0f : others;
    const V8 none = splat8(kImpossible);
    for (index_t k = N - 1; k >= 0; --k) {
        V8 a[kStates / 8], prev[kStates / 8];
        std::memcpy(a, alpha + static_cast<std::ptrdiff_t>(k) * kStates, sizeof a);
        const float l1 = llr[2 * k], l2 = llr[2 * k + 1];
        branch_metrics(l1, l2, G);
        const V8 half_prior = splat8(0.5f * prior[k]);
        V8 c1_0 = none, c1_1 = none, c2_0 = none, c2_1 = none, u0 = none, u1 = none;
        for (int g = 0; g < kGroups8; ++g) {
            const V8 even = evens(a[2 * g], a[2 * g + 1]), odd = odds(a[2 * g], a[2 * g + 1]);
            const V8 b0 = beta[g] + half_prior, b1 = beta[g + kGroups8] - half_prior;
            const V8 m00 = even + G[g] + b0;
            const V8 m11 = odd + G[g] + b1;
            const V8 m01 = even - G[g] + b1;
            const V8 m10 = odd - G[g] + b0;
            const V8 plain = vmax(m00, m11);
            const V8 flipped = vmax(m01, m10);
            const I8 o1 = kButterflies8.odd1[g], o2 = kButterflies8.odd2[g];
            c1_0 = vmax(c1_0, select(o1, flipped, plain));
            c1_1 = vmax(c1_1, select(o1, plain, flipped));
            c2_0 = vmax(c2_0, select(o2, flipped, plain));
            c2_1 = vmax(c2_1, select(o2, plain, flipped));
            u0 = vmax(u0, vmax(m00, m10));
            u1 = vmax(u1, vmax(m01, m11));
            const V8 to_even = vmax(G[g] + b0, b1 - G[g]);
            const V8 to_odd = vmax(b0 - G[g], G[g] + b1);
            prev[2 * g] = __builtin_shufflevector(to_even, to_odd, 0, 8, 1, 9, 2, 10, 3, 11);
            prev[2 * g + 1] = __builtin_shufflevector(to_even, to_odd, 4, 12, 5, 13, 6, 14, 7, 15);
        }
        extrinsic[2 * k] = (hmax(c1_0) - hmax(c1_1)) - l1;
        extrinsic[2 * k + 1] = (hmax(c2_0) - hmax(c2_1)) - l2;
        if (app != nullptr) app[k] = hmax(u0) - hmax(u1);
        const V8 origin = splat8(prev[0][0]);
        for (int g = 0; g < kStates / 8; ++g) beta[g] = prev[g] - origin;
    }
}
#endif  // HFCHAIN_SISO_X86

}  // namespace

bool siso_kernel_available(SisoKernel kernel) {
    switch (kernel) {
        case SisoKernel::automatic:
        case SisoKernel::sse:
            return true;
#ifdef HFCHAIN_SISO_X86
        case SisoKernel::avx2:
            return __builtin_cpu_supports("avx2");
#endif
        default:
            return false;
    }
}

std::size_t siso_workspace(index_t N) {
    return static_cast<std::size_t>(kStates) * (static_cast<std::size_t>(N) + 1);
}

void siso_maxlog(index_t N, const float* llr, const float* prior, float* extrinsic, float* app,
                 float* alpha, SisoKernel kernel, TrellisEnds ends) {
    const float others = ends == TrellisEnds::open ? 0.0f : kImpossible;
    static const bool has_avx2 = siso_kernel_available(SisoKernel::avx2);
    if (kernel == SisoKernel::automatic) kernel = has_avx2 ? SisoKernel::avx2 : SisoKernel::sse;
    if (!siso_kernel_available(kernel)) {
        raise("hfchain:sisodecode:NoKernel",
              "This processor or build cannot run the requested decoder kernel.");
    }
#ifdef HFCHAIN_SISO_X86
    if (kernel == SisoKernel::avx2) {
        siso_avx2(N, llr, prior, extrinsic, app, alpha, others);
        return;
    }
#endif
    siso_sse(N, llr, prior, extrinsic, app, alpha, others);
}

SisodecodeOut sisodecode(const RealArray& DecoderIn, const ModeParams& mode, double nFrame) {
    // The one code this decoder knows: rate 1/2 without repetition.
    if (is_uncoded(mode) || mode.repFactor != 1) {
        raise("hfchain:sisodecode:UnsupportedMode",
              "The decoder handles the coded modes without repetition; rate " +
                  format_value(mode.rate) + " bit/s with repFactor " +
                  format_value(mode.repFactor) + " is not one of them.");
    }

    // Bit budget, as the transmitter drew it: K information bits, then zeros up to whole blocks.
    const BitBudget budget = bit_budget(mode, nFrame);
    const index_t N = budget.total;
    const index_t nInfo = budget.info;
    check_size_equal(checked_size_product(2, N), DecoderIn.numel(), "DecoderIn");
    check_ratios(DecoderIn, "hfchain:sisodecode:NaN");

    // The ratios' scale: 2^e brings tiny ones up to where single precision resolves them (the
    // outputs are scaled back; a power of two is exact). They saturate at kLlrLimit, and at the
    // outlier bound (ratios.hpp) where that is lower: one ratio far above the others would leave
    // them few of the metrics' 24 bits. Ordinary ratios (e = 0, far below the bound) are decoded
    // exactly as before.
    const double ceiling = ratio_median_ceiling(DecoderIn.data(), DecoderIn.numel());
    const int e = ceiling > 0 && ceiling < kLeastMedianTop
                      ? std::ilogb(kLeastMedianTop) - std::ilogb(ceiling)
                      : 0;
    const double up = std::ldexp(1.0, e);
    const double limit = std::min(kLlrLimit, outlier_bound(ceiling) * up);
    Array<float> llr(2 * N), prior(N), extrinsic(2 * N), app(N);
    Array<float> alpha(checked_size_product(kStates, N + 1));
    for (index_t i = 0; i < 2 * N; ++i) llr[i] = clamp_llr(DecoderIn[i] * up, limit);
    for (index_t k = nInfo; k < N; ++k) prior[k] = kKnownZeroPrior;
    siso_maxlog(N, llr.data(), prior.data(), extrinsic.data(), app.data(), alpha.data());

    SisodecodeOut out;
    out.Extrinsic = RealArray(2 * N);
    out.InfoLLR = RealArray(N);
    out.InfoBits = RealArray(nInfo);
    for (index_t i = 0; i < 2 * N; ++i) out.Extrinsic[i] = std::ldexp(extrinsic[i], -e);
    for (index_t k = 0; k < N; ++k) out.InfoLLR[k] = std::ldexp(app[k], -e);
    for (index_t k = 0; k < nInfo; ++k) out.InfoBits[k] = app[k] < 0.0f ? 1.0 : 0.0;
    return out;
}

}  // namespace hfchain
