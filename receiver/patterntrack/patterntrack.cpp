#include "receiver/patterntrack/patterntrack.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "params/rateconf.hpp"
#include "receiver/chansound/pathtrack.hpp"
#include "receiver/chansound/sounding.hpp"
#include "receiver/layout/layout.hpp"
#include "receiver/layout/reception.hpp"
#include "receiver/patternslicer/patternslicer.hpp"
#include "runtime/checks.hpp"
#include "runtime/complexmath.hpp"
#include "runtime/numeric.hpp"
#include "transmitter/constellation.hpp"

namespace hfchain {

namespace {

constexpr int kValues = 4;  // a block carries two coded bits: one of four values
constexpr int kPatternColumns = 8;
constexpr index_t kMaxPasses = 10;

// The two bits (first, second) that value v carries: v = gray2bina(u) for u = 2 b1 + b2.
std::array<std::array<int, 2>, kValues> value_bits() {
    std::array<std::array<int, 2>, kValues> bits{};
    for (int u = 0; u < kValues; ++u) {
        bits[static_cast<int>(kGray2bina[u])] = {(u >> 1) & 1, u & 1};
    }
    return bits;
}

// The two ratios of a block from the log-likelihoods m_v of its four values, and the values'
// posterior probabilities (equal priors).
void block_ratios(const double* m, SoftRule rule, const std::array<std::array<int, 2>, 4>& bits,
                  double* llr, double* posterior) {
    const double top = *std::max_element(m, m + kValues);
    double total = 0;
    for (int v = 0; v < kValues; ++v) {
        posterior[v] = std::exp(m[v] - top);
        total += posterior[v];
    }
    for (int v = 0; v < kValues; ++v) posterior[v] /= total;
    for (int bit = 0; bit < 2; ++bit) {
        double best[2] = {-INFINITY, -INFINITY};
        for (int v = 0; v < kValues; ++v) best[bits[v][bit]] = std::max(best[bits[v][bit]], m[v]);
        if (rule == SoftRule::max_log) {
            llr[bit] = best[0] - best[1];
            continue;
        }
        double sum[2] = {0, 0};
        for (int v = 0; v < kValues; ++v) sum[bits[v][bit]] += std::exp(m[v] - best[bits[v][bit]]);
        llr[bit] = (best[0] - best[1]) + (std::log(sum[0]) - std::log(sum[1]));
    }
}

// The candidates of block k: x_v(j) = rotation times the point of the pattern's symbol, from
// the block's own set (the alternate one for every L-th block, as the transmitter counts), into
// cand (4 Ls values, v by v). chSymMapping checked (check_patterns).
void pattern_candidates(const ModeParams& mode, const ComplexArray& rotation, index_t k,
                        cdouble* cand) {
    const index_t Ls = mode.chSymMapping.rows();
    const double period = alternate_pattern_period(mode);
    const std::array<cdouble, 8>& psk = psk_points();
    const index_t first = mod(static_cast<double>(k + 1), period) == 0.0 ? kValues : 0;
    for (int v = 0; v < kValues; ++v) {
        for (index_t j = 0; j < Ls; ++j) {
            const auto s = static_cast<int>(mode.chSymMapping(j, first + v));
            cand[v * Ls + j] = cmul(rotation[k * Ls + j], psk[s]);
        }
    }
}

// The blind decision reads the delays within the largest path spread and a symbol either side
// of the block start's path.
constexpr index_t kBlindReach = kMaxPathSpread + 1;

// A delay's mean energy counts as a path's where it stands this many of its standard deviations
// on noise alone above the noise's.
constexpr double kBlindClear = 3;

// The energies |c_v|^2 of the four correlations of one pattern whose first symbol peaks at the
// 0-based sample `at` of x (samples beyond its ends taken as 0) with its candidates.
void pattern_energies(const ComplexArray& x, index_t at, index_t M, const cdouble* cand, index_t Ls,
                      double* e) {
    cdouble c[kValues] = {};
    for (index_t j = 0; j < Ls; ++j) {
        const index_t n = at + j * M;
        if (n < 0 || n >= x.numel()) continue;
        for (int v = 0; v < kValues; ++v) c[v] += cmulc(cand[v * Ls + j], x[n]);
    }
    for (int v = 0; v < kValues; ++v) e[v] = norm2(c[v]);
}

// The weight of each delay of the blind decision, from the delays' mean energy over the patterns
// (`profile`, the four candidates' added): the noise's is the mean of the lowest quarter (most
// delays hold no path), four times a correlation's noise Nc; a delay clearly above it carries a
// path's energy S = profile - floor on its pattern's candidate, weighed S / (Nc (Nc + S)) as a
// faded branch of a noncoherent combiner is. Where none is clear, the block start's alone.
std::vector<double> delay_weights(std::vector<double> profile, index_t patterns) {
    const auto D = static_cast<index_t>(profile.size());
    std::vector<double> sorted = profile;
    const index_t quarter = std::max<index_t>(1, D / 4);
    std::nth_element(sorted.begin(), sorted.begin() + quarter - 1, sorted.end());
    double floor = 0;
    for (index_t d = 0; d < quarter; ++d) floor += sorted[d];
    floor = std::max(floor / static_cast<double>(quarter), kMinNoiseVar);
    const double Nc = floor / kValues;
    // On noise alone a delay's mean over the patterns has the standard deviation
    // floor / sqrt(4 patterns).
    const double clear = kBlindClear * floor / std::sqrt(kValues * static_cast<double>(patterns));
    std::vector<double> w(D, 0.0);
    bool any = false;
    for (index_t d = 0; d < D; ++d) {
        const double S = profile[d] - floor;
        if (S <= clear) continue;
        w[d] = S / (Nc * (Nc + S));
        any = true;
    }
    if (!any) w[D / 2] = 1;
    return w;
}

}  // namespace

ComplexArray decide_patterns(const ComplexArray& MatchedFilterIn, double BlockStartSample,
                             const ModeParams& mode, index_t M, index_t patterns) {
    check_patterns(mode, "patterntrack");
    const Layout layout = transmission_layout(mode, patterns);
    const index_t w0 = check_index(BlockStartSample, MatchedFilterIn.numel(), "BlockStartSample");
    const index_t Ls = layout.data;
    check_size_equal(Ls, mode.chSymMapping.rows(), "chSymMapping");
    const KnownSymbols known = known_symbols(mode, layout);
    const index_t reach = kBlindReach * M;
    const index_t D = 2 * reach + 1;
    std::vector<cdouble> cand(static_cast<std::size_t>(kValues * Ls));
    auto first_symbol = [&](index_t k, index_t d) { return w0 - reach + d + k * Ls * M; };

    // 1. Every delay's energy, the patterns' mean, and the delays' weights.
    std::vector<double> profile(D, 0.0);
    double e[kValues];
    for (index_t k = 0; k < patterns; ++k) {
        pattern_candidates(mode, known.rotation, k, cand.data());
        for (index_t d = 0; d < D; ++d) {
            pattern_energies(MatchedFilterIn, first_symbol(k, d), M, cand.data(), Ls, e);
            profile[d] += (e[0] + e[1]) + (e[2] + e[3]);
        }
    }
    for (double& p : profile) p /= static_cast<double>(std::max<index_t>(1, patterns));
    const std::vector<double> w = delay_weights(std::move(profile), patterns);

    // 2. Each pattern: the candidate whose weighed energies are largest.
    ComplexArray decided(layout.dataSymbols());
    for (index_t k = 0; k < patterns; ++k) {
        pattern_candidates(mode, known.rotation, k, cand.data());
        double m[kValues] = {};
        for (index_t d = 0; d < D; ++d) {
            if (w[d] == 0) continue;
            pattern_energies(MatchedFilterIn, first_symbol(k, d), M, cand.data(), Ls, e);
            for (int v = 0; v < kValues; ++v) m[v] += w[d] * e[v];
        }
        const auto best = static_cast<index_t>(std::max_element(m, m + kValues) - m);
        std::copy_n(cand.begin() + best * Ls, Ls, decided.begin() + k * Ls);
    }
    return decided;
}

PatterntrackOut patterntrack(const ChansoundOut& sounding, const ModeParams& mode, double passes,
                             SoftRule rule) {
    // 1. Checks and the transmission.
    check_patterns(mode, "patterntrack");
    const index_t I =
        check_whole_count(passes, kMaxPasses, "passes", "hfchain:patterntrack:BadPasses");
    const index_t frames = check_integer(sounding.frames, "frames");
    const Layout layout = transmission_layout(mode, frames);
    const ComplexArray& y = sounding.out;
    const ComplexArray& basis = sounding.basis;
    const index_t L = basis.rows();
    const index_t r = basis.cols();
    const index_t Ny = y.numel();
    check_sounding(sounding, layout.symbols, "detector", "patterntrack");
    const index_t Ls = layout.data;
    check_size_equal(Ls, mode.chSymMapping.rows(), "chSymMapping");
    const double N0 = std::max(sounding.noiseVar, kMinNoiseVar);
    const index_t B = layout.frames;
    const index_t N = layout.dataSymbols();
    const index_t symbols = layout.symbols;
    const KnownSymbols known = known_symbols(mode, layout);
    const auto bits = value_bits();

    std::vector<cdouble> cand(static_cast<std::size_t>(kValues * Ls));
    auto candidates = [&](index_t k) { pattern_candidates(mode, known.rotation, k, cand.data()); };

    PatterntrackOut out;
    out.LLR = RealArray(checked_size_product(2, B));
    out.noncoherentLLR = RealArray(2 * B);
    out.out = ComplexArray(N);
    out.noiseVar = RealArray(N);
    std::vector<double> prob(static_cast<std::size_t>(kValues * B));

    // 2. Pass 0: every path at its strongest tap, combined noncoherently.
    RealArray tapPower(L);
    for (index_t i = 0; i < L; ++i) {
        for (index_t p = 0; p < r; ++p) tapPower[i] += sounding.pathPower[p] * norm2(basis(i, p));
    }
    double total = 0;
    for (index_t i = 0; i < L; ++i) total += tapPower[i];
    std::vector<index_t> peak(r);
    std::vector<double> amplitude(r), spread(r);
    for (index_t p = 0; p < r; ++p) {
        index_t best = 0;
        for (index_t i = 1; i < L; ++i) {
            if (norm2(basis(i, p)) > norm2(basis(best, p))) best = i;
        }
        peak[p] = best;
        amplitude[p] = std::abs(basis(best, p)) * std::sqrt(std::max(sounding.pathPower[p], 0.0));
        spread[p] = N0 + std::max(total - amplitude[p] * amplitude[p], 0.0);
    }
    for (index_t k = 0; k < B; ++k) {
        candidates(k);
        const index_t n0 = layout.dataIndex(k * Ls);
        double m[kValues] = {};
        for (int v = 0; v < kValues; ++v) {
            for (index_t p = 0; p < r; ++p) {
                cdouble c{};
                for (index_t j = 0; j < Ls; ++j) {
                    const index_t n = n0 + j + peak[p];
                    if (n < Ny) c += cmulc(cand[v * Ls + j], y[n]);
                }
                const double x = 2 * amplitude[p] * std::abs(c) / spread[p];
                m[v] += rule == SoftRule::max_log ? x : log_bessel_i0(x);
            }
        }
        block_ratios(m, rule, bits, out.noncoherentLLR.data() + 2 * k, prob.data() + kValues * k);
    }
    out.LLR = out.noncoherentLLR;

    // 3. Coherent passes, each on the track that the previous pass's soft symbols give.
    ComplexArray mean = known.mean;
    RealArray var = known.var;
    PathTrack track;
    track.window = layout.frame();
    track.gains = sounding.gains;
    track.gainVar = sounding.gainVar;
    track.doppler = sounding.doppler;
    track.windowGains = sounding.windowGains;
    track.windowVar = sounding.windowVar;
    track.windowTime = sounding.windowTime;
    const index_t kept = preamble_windows(layout.preamble, track.window);
    ComplexArray h(L, Ny);
    std::vector<cdouble> res(Ny), rk(Ls + L - 1);
    std::vector<double> noise(Ny), energy(r);
    for (index_t p = 0; p < r; ++p) {
        for (index_t i = 0; i < L; ++i) energy[p] += norm2(basis(i, p));
    }
    for (index_t pass = 0; pass < I; ++pass) {
        // The soft symbols of the last pass, and the track they give.
        for (index_t k = 0; k < B; ++k) {
            candidates(k);
            const double* P = prob.data() + kValues * k;
            for (index_t j = 0; j < Ls; ++j) {
                cdouble s{};
                for (int v = 0; v < kValues; ++v) s += P[v] * cand[v * Ls + j];
                const index_t n = layout.dataIndex(k * Ls + j);
                mean[n] = s;
                var[n] = std::max(0.0, 1.0 - norm2(s));
            }
        }
        estimate_windows(y, basis, mean, var, N0, tapPower, kept, track);
        smooth_paths(Ny, track);

        // The taps, the noise with the gains' error, and what every symbol's mean leaves.
        for (index_t n = 0; n < Ny; ++n) {
            double s2 = N0;
            for (index_t p = 0; p < r; ++p) s2 += track.gainVar(p, n) * energy[p];
            noise[n] = s2;
            cdouble left = y[n];
            for (index_t i = 0; i < L; ++i) {
                cdouble t{};
                for (index_t p = 0; p < r; ++p) t += cmul(basis(i, p), track.gains(p, n));
                h(i, n) = t;
                if (n - i >= 0 && n - i < symbols) left -= cmul(t, mean[n - i]);
            }
            res[n] = left;
        }

        // Each block against its four candidates, every other block's soft symbols cancelled.
        for (index_t k = 0; k < B; ++k) {
            candidates(k);
            const index_t n0 = layout.dataIndex(k * Ls);
            const index_t end = std::min(n0 + Ls + L - 1, Ny);
            double m[kValues] = {};
            for (index_t n = n0; n < end; ++n) {
                cdouble own{};
                double other = 0;
                for (index_t i = 0; i < L; ++i) {
                    const index_t s = n - i;
                    if (s < 0 || s >= symbols) continue;
                    if (s >= n0 && s < n0 + Ls) {
                        own += cmul(h(i, n), mean[s]);
                    } else {
                        other += norm2(h(i, n)) * var[s];
                    }
                }
                const cdouble rn = res[n] + own;
                rk[n - n0] = rn;
                const double weight = 1.0 / (noise[n] + other);
                for (int v = 0; v < kValues; ++v) {
                    cdouble model{};
                    for (index_t i = std::max<index_t>(0, n - n0 - Ls + 1);
                         i <= std::min(L - 1, n - n0); ++i) {
                        model += cmul(h(i, n), cand[v * Ls + (n - i - n0)]);
                    }
                    m[v] -= norm2(rn - model) * weight;
                }
            }
            block_ratios(m, rule, bits, out.LLR.data() + 2 * k, prob.data() + kValues * k);
            // The channel-matched filter of each symbol of the block, for inspection.
            for (index_t j = 0; j < Ls; ++j) {
                const index_t s = n0 + j;
                cdouble z{};
                double e = 0, v = 0;
                for (index_t i = 0; i < L && s + i < end; ++i) {
                    z += cmulc(h(i, s + i), rk[s + i - n0]);
                    e += norm2(h(i, s + i));
                    v += norm2(h(i, s + i)) * noise[s + i];
                }
                const index_t d = k * Ls + j;
                out.out[d] = e > 0 ? cmulc(known.rotation[d], z / e) : cdouble{};
                out.noiseVar[d] = e > 0 ? v / (e * e) : INFINITY;
            }
        }
    }
    out.gains = std::move(track.gains);
    out.gainVar = std::move(track.gainVar);
    out.doppler = track.doppler;
    out.passes = static_cast<double>(I);
    return out;
}

}  // namespace hfchain
