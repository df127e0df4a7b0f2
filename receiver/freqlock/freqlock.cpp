#include "receiver/freqlock/freqlock.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "params/waveform.hpp"
#include "receiver/framesync/framelock.hpp"
#include "receiver/freqlock/diffsum.hpp"
#include "receiver/impulseblank/impulseblank.hpp"
#include "receiver/layout/layout.hpp"
#include "receiver/layout/reception.hpp"
#include "runtime/checks.hpp"
#include "runtime/complexmath.hpp"

namespace hfchain {

namespace {

// framelock's rules: the preamble it reads, its window of symbols and its candidate windows
// (288 M), and the shortest output it searches (575 M samples).
constexpr index_t kPreambleRead = 1440;
constexpr index_t kSearchWindows = 288;
constexpr index_t kShortest = 2 * kSearchWindows - 1;

// Windows the coarse search scores over all its symbols.
constexpr index_t kCandidates = 16;

// Samples between two exact values of the turning phasor (step 3): the recursion's rounding
// grows by about 1e-16 a step, so it stays near 1e-13.
constexpr index_t kExactTurn = 1024;

const std::string kTooLargeRule = "freqlock takes samples up to " + format_value(kLargestSample) +
                                  " in magnitude, so that its sums of products cannot overflow.";

struct Coarse {
    index_t window = -1;        // 0-based window of the largest |D| (-1: every D is 0)
    double offset = 0;          // Hz
    std::vector<double> power;  // |D(w)| of every window over the first kSearchWindows symbols
};

// Step 1: the coarse search over framelock's windows. Every window is first scored over the
// first 288 symbols (framelock's window: a fifth of the cost); the kCandidates best are scored
// again over all N symbols, and the best of those wins. At Es/N0 -5 dB the true window's
// 288-symbol score stands about six deviations clear of the windows of noise alone, so it is
// among the candidates.
Coarse coarse_search(const cdouble* x, index_t M, const std::vector<cdouble>& p, index_t N,
                     HostServices* host) {
    Coarse coarse;
    const index_t windows = kSearchWindows * M;
    coarse.power.resize(static_cast<std::size_t>(windows));
    std::vector<cdouble> D(static_cast<std::size_t>(windows));
    differential_sums(x, windows, M, p, kCoarseSegment, kSearchWindows / kCoarseSegment, host,
                      D.data());
    for (index_t w = 0; w < windows; ++w) coarse.power[w] = std::abs(D[w]);
    std::vector<index_t> order(static_cast<std::size_t>(windows));
    for (index_t w = 0; w < windows; ++w) order[w] = w;
    const index_t candidates = std::min(kCandidates, windows);
    // Equal scores keep the earlier window first, so the search does not depend on the sort.
    std::partial_sort(order.begin(), order.begin() + candidates, order.end(),
                      [&](index_t a, index_t b) {
                          return coarse.power[a] > coarse.power[b] ||
                                 (coarse.power[a] == coarse.power[b] && a < b);
                      });
    double largest = 0;
    cdouble best;
    for (index_t k = 0; k < candidates; ++k) {
        const index_t w = order[k];
        const cdouble d = differential_sum(x + w, M, p, kCoarseSegment, N / kCoarseSegment);
        if (std::abs(d) > largest || (std::abs(d) == largest && largest > 0 && w < coarse.window)) {
            largest = std::abs(d);
            best = d;
            coarse.window = w;
        }
    }
    if (coarse.window >= 0) {
        coarse.offset = offset_of(best, kCoarseSegment);
    }
    return coarse;
}

// Step 2: the fine estimate over the taps of the paths around the coarse window, on as much of
// the preamble as the output holds after each tap.
double fine_estimate(const cdouble* x, index_t Lmf, index_t M, const std::vector<cdouble>& p,
                     const Coarse& coarse) {
    const double largest = *std::max_element(coarse.power.begin(), coarse.power.end());
    const auto windows = static_cast<index_t>(coarse.power.size());
    std::vector<index_t> taps;
    for (index_t i = -kMaxPathSpread; i <= kMaxPathSpread; ++i) {
        const index_t w = coarse.window + i * M;
        if (w < 0 || w >= windows || coarse.power[w] < kPathShare * largest) continue;
        taps.push_back(w);
    }
    return fine_offset(x, Lmf, M, p, coarse.offset, taps);
}

}  // namespace

// Step 3: x(n) exp(-j 2 pi f n / fs), the phasor advanced by one step's turn and recomputed
// exactly every kExactTurn samples (with the whole turns of f n / fs taken out, so that its
// rounding does not grow with n).
ComplexArray turned_back(const ComplexArray& x, double f, index_t M) {
    if (f == 0) return x;
    const double per_sample = f / (kSymbolRate * static_cast<double>(M));
    const cdouble step = std::polar(1.0, -2 * std::numbers::pi * per_sample);
    ComplexArray out(x.numel());
    cdouble phasor;
    for (index_t n = 0; n < x.numel(); ++n) {
        if (n % kExactTurn == 0) {
            double turns = per_sample * static_cast<double>(n);
            turns -= std::round(turns);
            phasor = std::polar(1.0, -2 * std::numbers::pi * turns);
        }
        out[n] = cmul(x[n], phasor);
        phasor = cmul(phasor, step);
    }
    return out;
}

namespace {

FreqlockOut lock(const ComplexArray& mf, const ModeParams& mode, const VarShapping& varShapping,
                 HostServices* host) {
    // Checks, before any work.
    const index_t M = oversampling_factor(varShapping, "freqlock");
    if (mode.preamSync.numel() < kPreambleRead) {
        check_index(mode.preamSync.numel() + 1, mode.preamSync.numel(), "milstd.preamSync");
    }
    const std::vector<cdouble> p = conjugated_preamble(mode);
    const index_t Lmf = mf.numel();
    if (Lmf < kShortest * M) {
        raise("hfchain:freqlock:TooShort",
              "The matched-filter output of " + std::to_string(Lmf) +
                  " samples is too short: the preamble search needs at least " +
                  std::to_string(kShortest * M) + " (575 symbols at " + std::to_string(M) +
                  " samples a symbol).");
    }
    check_bounded(mf, kLargestSample, "MatchedFilterIn", "hfchain:freqlock:NonFinite",
                  "matched-filter samples must be finite.", "hfchain:freqlock:TooLarge",
                  kTooLargeRule.c_str());

    // 1. The coarse search reads N symbols after every window: as many as the output holds after
    // the last one, at least framelock's 288.
    const index_t last_window = kSearchWindows * M - 1;
    const index_t N =
        std::min({kPreambleRead, static_cast<index_t>(p.size()), (Lmf - 1 - last_window) / M + 1});
    // The estimates read the input with its impulses blanked (samples far above its median
    // magnitude, which no ordinary signal reaches): one such sample, matched-filtered, would
    // otherwise rule every differential sum that spans it and framelock's correlation.
    const ImpulseblankOut impulses = impulseblank(mf);
    const bool blank = !impulses.samples.empty();
    const ComplexArray cleaned = blank ? blanked(mf, impulses.samples) : ComplexArray();
    const ComplexArray& seen = blank ? cleaned : mf;
    const Coarse coarse = coarse_search(seen.data(), M, p, N, host);

    FreqlockOut result;
    if (coarse.window >= 0) {
        // 2.
        result.coarseOffset = coarse.offset;
        result.coarseStart = static_cast<double>(coarse.window + 1);
        result.offset = fine_estimate(seen.data(), Lmf, M, p, coarse);
    }
    // 3.
    if (host != nullptr) host->poll_interrupt();
    result.out = turned_back(mf, result.offset, M);

    // 4.
    const ComplexArray searched = blank ? turned_back(seen, result.offset, M) : ComplexArray();
    const ComplexArray& where = blank ? searched : result.out;
    result.start = host != nullptr ? framelock(where, mode, varShapping, *host)
                                   : framelock(where, mode, varShapping);
    return result;
}

}  // namespace

FreqlockOut freqlock(const ComplexArray& MatchedFilterIn, const ModeParams& mode,
                     const VarShapping& varShapping) {
    return lock(MatchedFilterIn, mode, varShapping, nullptr);
}

FreqlockOut freqlock(const ComplexArray& MatchedFilterIn, const ModeParams& mode,
                     const VarShapping& varShapping, HostServices& host) {
    return lock(MatchedFilterIn, mode, varShapping, &host);
}

}  // namespace hfchain
