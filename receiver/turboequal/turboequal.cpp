#include "receiver/turboequal/turboequal.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "params/modes.hpp"
#include "receiver/chansound/pathtrack.hpp"
#include "receiver/chansound/sounding.hpp"
#include "receiver/decoder/codecheck.hpp"
#include "receiver/decoder/sisodecode.hpp"
#include "receiver/layout/layout.hpp"
#include "receiver/layout/reception.hpp"
#include "receiver/softdemod/softdemap.hpp"
#include "receiver/turboequal/blockmmse.hpp"
#include "runtime/checks.hpp"
#include "runtime/complexmath.hpp"
#include "transmitter/bitbudget.hpp"
#include "transmitter/constellation.hpp"

namespace hfchain {

namespace {

constexpr index_t kMaxIterations = 10;

constexpr double kInf = std::numeric_limits<double>::infinity();

// Frames equalised between two interrupt polls.
constexpr index_t kFramesPerPoll = 32;

// LLRs beyond these carry no more information worth passing on: the demapper's go to the
// decoder, the decoder's back to the equaliser (a little below certainty, so that one wrong
// decision cannot be cancelled as if it were known).
constexpr float kDemapLimit = 50.0f;
constexpr float kFeedbackLimit = 20.0f;

// Beyond this LLR a bit is sure to within 4e-18, below what a double can tell from 1.
constexpr float kSureLlr = 40.0f;

// A decoder pass whose every coded-bit decision is held by at least this ratio ends the loop
// (TurboStop::confident): a further pass would cancel those decisions as all but known, and
// decide them again.
constexpr float kConfidentLlr = 10.0f;

// Mean and variance of a symbol whose points.bits bits have the LLRs l[0..bits-1], independent:
// point v has the probability of its bits, P(b = 0) = 1 / (1 + exp(-l)).
inline void soft_symbol(const Constellation& points, const float* l, cdouble& mean, double& var) {
    const int bits = points.bits;
    double p0[3];
    for (int b = 0; b < bits; ++b) {
        p0[b] = l[b] > kSureLlr    ? 1.0
                : l[b] < -kSureLlr ? 0.0
                                   : 1.0 / (1.0 + std::exp(-static_cast<double>(l[b])));
    }
    cdouble s{};
    for (int v = 0; v < points.size; ++v) {
        double p = 1;
        for (int b = 0; b < bits; ++b) p *= points.bit(v, b) == 0 ? p0[b] : 1 - p0[b];
        s += p * points.point[v];
    }
    mean = s;
    var = std::max(0.0, 1.0 - norm2(mean));
}

// The channel at every sample for the equaliser (taps, residual after every symbol's mean, noise
// plus channel-error variance) and for the next channel estimate (expected tap power).
struct ChannelArrays {
    ComplexArray taps;  // L x Ny
    ComplexArray residual;
    RealArray noise;
    RealArray power;  // L x Ny, once a re-estimate needs it
};

// With the number of paths R fixed at compile time, the per-sample sums unroll.
template <int R>
void channel_arrays_of(const ComplexArray& y, const ComplexArray& basis, const PathTrack& track,
                       const ComplexArray& mean, double N0, ChannelArrays& c) {
    const index_t L = basis.rows();
    const index_t Ny = y.numel();
    const index_t symbols = mean.numel();
    const cdouble* B = basis.data();
    double energy[R];
    for (int p = 0; p < R; ++p) {
        energy[p] = 0;
        for (index_t i = 0; i < L; ++i) energy[p] += norm2(B[p * L + i]);
    }
    for (index_t n = 0; n < Ny; ++n) {
        cdouble* h = c.taps.data() + static_cast<std::ptrdiff_t>(n) * L;
        const cdouble* g = track.gains.data() + static_cast<std::ptrdiff_t>(n) * R;
        const double* gv = track.gainVar.data() + static_cast<std::ptrdiff_t>(n) * R;
        double noise = N0;
        for (int p = 0; p < R; ++p) noise += gv[p] * energy[p];
        for (index_t i = 0; i < L; ++i) {
            cdouble s = cmul(B[i], g[0]);
            for (int p = 1; p < R; ++p) s += cmul(B[p * L + i], g[p]);
            h[i] = s;
        }
        cdouble res = y[n];
        const index_t i_end = std::min(L, n + 1);
        for (index_t i = std::max<index_t>(0, n - symbols + 1); i < i_end; ++i) {
            res -= cmul(h[i], mean[n - i]);
        }
        c.residual[n] = res;
        c.noise[n] = noise;
    }
}

void channel_arrays(const ComplexArray& y, const ComplexArray& basis, const PathTrack& track,
                    const ComplexArray& mean, double N0, ChannelArrays& c) {
    with_path_count(basis.cols(),
                    [&](auto R) { channel_arrays_of<R()>(y, basis, track, mean, N0, c); });
}

// The expected power of every tap at every sample, |h|^2 plus what the gains' errors add, for the
// next channel estimate: only when there is one (c.taps from channel_arrays with the same track).
template <int R>
void expected_tap_power_of(const ComplexArray& basis, const PathTrack& track, ChannelArrays& c) {
    const index_t L = basis.rows();
    const index_t Ny = c.residual.numel();
    const cdouble* B = basis.data();
    if (c.power.numel() != c.taps.numel()) c.power = RealArray(L, Ny);
    for (index_t n = 0; n < Ny; ++n) {
        const cdouble* h = c.taps.data() + static_cast<std::ptrdiff_t>(n) * L;
        const double* gv = track.gainVar.data() + static_cast<std::ptrdiff_t>(n) * R;
        double* P = c.power.data() + static_cast<std::ptrdiff_t>(n) * L;
        for (index_t i = 0; i < L; ++i) {
            double e = norm2(h[i]);
            for (int p = 0; p < R; ++p) e += norm2(B[p * L + i]) * gv[p];
            P[i] = e;
        }
    }
}

void expected_tap_power(const ComplexArray& basis, const PathTrack& track, ChannelArrays& c) {
    with_path_count(basis.cols(), [&](auto R) { expected_tap_power_of<R()>(basis, track, c); });
}

// The decoder's pass over a stream whose coded bits were each sent `copies` times: encoder step
// t's 2 copies values d(2 copies t + 2 c + j) (copy c of the bit of generator j) add up to one
// ratio per coded bit, which the trellis decodes; copy c's extrinsic ratio is then what the code
// says of the bit plus what the other copies said, e(j) + sum - d(2 copies t + 2 c + j): all but
// its own channel ratio.
//   llr: 2 copies steps deinterleaved ratios; prior: steps input-bit priors;
//   combined, code: 2 steps work values; extrinsic: 2 copies steps outputs.
void decode_copies(index_t steps, index_t copies, const float* llr, const float* prior,
                   float* combined, float* code, float* extrinsic, float* alpha, TrellisEnds ends) {
    for (index_t t = 0; t < steps; ++t) {
        const float* d = llr + 2 * copies * t;
        float l0 = 0, l1 = 0;
        for (index_t c = 0; c < copies; ++c) {
            l0 += d[2 * c];
            l1 += d[2 * c + 1];
        }
        combined[2 * t] = l0;
        combined[2 * t + 1] = l1;
    }
    siso_maxlog(steps, combined, prior, code, nullptr, alpha, SisoKernel::automatic, ends);
    for (index_t t = 0; t < steps; ++t) {
        const float* d = llr + 2 * copies * t;
        float* e = extrinsic + 2 * copies * t;
        for (index_t c = 0; c < copies; ++c) {
            for (index_t j = 0; j < 2; ++j) {
                e[2 * c + j] = code[2 * t + j] + (combined[2 * t + j] - d[2 * c + j]);
            }
        }
    }
}

// Whether the nearest points of the N equalised symbols z (descrambled), their bits
// deinterleaved (blocks of T, `position` as the interleaver's table), are a codeword of `steps`
// encoder steps whose inputs from K on are zero; each coded bit sent `copies` times must have the
// same decision in every copy (the decoder adds their ratios). `bits` is a work buffer.
bool decisions_form_codeword(const Constellation& points, index_t N, const cdouble* z,
                             const IntArray& position, index_t K, index_t steps, index_t copies,
                             std::vector<std::uint8_t>& bits) {
    const index_t B = points.bits;
    const index_t T = position.numel();
    bits.resize(static_cast<std::size_t>(B) * N);
    for (index_t k = 0; k < N; ++k) {
        int best = 0;
        double best_c = -kInf;
        for (int v = 0; v < points.size; ++v) {
            const double c = cmulc(points.point[v], z[k]).real();
            if (c > best_c) {
                best_c = c;
                best = v;
            }
        }
        for (index_t b = 0; b < B; ++b) {
            const index_t i = B * k + b;
            bits[i / T * T + position[i % T]] = static_cast<std::uint8_t>(points.bit(best, b));
        }
    }
    for (index_t t = 0; t < steps; ++t) {
        const std::uint8_t* d = bits.data() + 2 * copies * t;
        const std::uint8_t c0 = d[0];
        const std::uint8_t c1 = d[1];
        for (index_t c = 1; c < copies; ++c) {
            if (d[2 * c] != c0 || d[2 * c + 1] != c1) return false;
        }
        bits[2 * t] = c0;
        bits[2 * t + 1] = c1;
    }
    return is_codeword(steps, bits.data(), K);
}

// Whether the decoder's decisions on the coded bits, the signs of its extrinsic plus the channel
// ratios, are those of its previous pass (false on the first, `first`); `previous` then holds
// this pass's.
bool decisions_unchanged(const std::vector<float>& extrinsic, const std::vector<float>& channel,
                         bool first, std::vector<std::uint8_t>& previous) {
    const std::size_t n = extrinsic.size();
    bool same = !first && previous.size() == n;
    previous.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t d = extrinsic[i] + channel[i] < 0 ? 1 : 0;
        same = same && d == previous[i];
        previous[i] = d;
    }
    return same;
}

// Whether the decoder holds every coded-bit decision firmly: each a-posteriori ratio, its
// extrinsic plus channel ratio (both in the decoder's order; a bit sent several times has the
// same sum in every copy), at least kConfidentLlr in magnitude.
bool decisions_confident(const std::vector<float>& extrinsic, const std::vector<float>& channel) {
    float weakest = std::numeric_limits<float>::infinity();
    for (std::size_t i = 0; i < extrinsic.size(); ++i) {
        weakest = std::min(weakest, std::fabs(extrinsic[i] + channel[i]));
    }
    return weakest >= kConfidentLlr;
}

}  // namespace

TurboequalOut turboequal_polling(const ChansoundOut& sounding, const ModeParams& mode,
                                 double nFrame, double iterations, HostServices* host,
                                 TurboStop stop, TrellisEnds ends);

void equaliser_llrs(index_t N, const cdouble* z, const double* noiseVar, const float* prior,
                    float* llr) {
    equaliser_llrs(constellation(3), N, z, noiseVar, prior, llr);
}

void equaliser_llrs(const Constellation& points, index_t N, const cdouble* z,
                    const double* noiseVar, const float* prior, float* llr) {
    const index_t n = checked_size_product(points.bits, N);
    std::vector<double> ratio(n), a(prior != nullptr ? n : 0);
    for (index_t i = 0; i < static_cast<index_t>(a.size()); ++i) a[i] = prior[i];
    soft_demap(points, SoftRule::exact, N, z, noiseVar, 1, prior != nullptr ? a.data() : nullptr,
               ratio.data());
    for (index_t i = 0; i < n; ++i) {
        llr[i] = static_cast<float>(std::clamp<double>(ratio[i], -kDemapLimit, kDemapLimit));
    }
}

TurboequalOut turboequal(const ChansoundOut& sounding, const ModeParams& mode, double nFrame,
                         double iterations, TurboStop stop) {
    return turboequal_polling(sounding, mode, nFrame, iterations, nullptr, stop, TrellisEnds::zero);
}

TurboequalOut turboequal(const ChansoundOut& sounding, const ModeParams& mode, double nFrame,
                         double iterations, HostServices& host, TurboStop stop, TrellisEnds ends) {
    return turboequal_polling(sounding, mode, nFrame, iterations, &host, stop, ends);
}

TurboequalOut turboequal_polling(const ChansoundOut& sounding, const ModeParams& mode,
                                 double nFrame, double iterations, HostServices* host,
                                 TurboStop stop, TrellisEnds ends) {
    const index_t I = check_whole_count(iterations, kMaxIterations, "iterations",
                                        "hfchain:turboequal:BadIterations");
    const index_t frames = check_integer(sounding.frames, "frames");
    check_receiver_mode(mode, "turboequal");
    if (!(mode.trein >= 1)) {
        raise("hfchain:turboequal:UnsupportedMode",
              "The equaliser needs probes between its data segments; rate " +
                  format_value(mode.rate) +
                  " bit/s has none (its patterns are detected by "
                  "patterntrack).");
    }
    const Layout layout = transmission_layout(mode, frames);
    const ComplexArray& y = sounding.out;
    const ComplexArray& basis = sounding.basis;
    const index_t L = basis.rows();
    const index_t Ny = y.numel();
    check_sounding(sounding, layout.symbols, "equaliser", "turboequal");
    const double N0 = sounding.noiseVar;
    const index_t N = layout.dataSymbols();

    // The decoder's view: whole interleaver blocks of T coded bits, b a symbol, each coded bit
    // sent `copies` times (the pairs of one encoder step follow each other); the decoder works on
    // the `steps` encoder input bits.
    const Constellation& points = constellation(static_cast<int>(mode.bitsToSym));
    const index_t b = points.bits;
    const index_t copies = static_cast<index_t>(mode.repFactor);
    const index_t bitsN = checked_size_product(b, N);
    const index_t T = mode.interTable.numel();
    index_t K = 0;
    index_t steps = 0;
    IntArray position;
    if (I > 0) {
        if (is_uncoded(mode)) {
            raise("hfchain:turboequal:Uncoded",
                  "The 4800 bit/s mode sends its bits uncoded: there is no decoder to iterate "
                  "with; ask for iterations = 0.");
        }
        const BitBudget budget =
            ends == TrellisEnds::open ? block_budget(mode, nFrame) : bit_budget(mode, nFrame);
        const std::int64_t sent = static_cast<std::int64_t>(2) * copies * budget.total;
        if (static_cast<std::int64_t>(bitsN) != sent || T <= 0 || bitsN % T != 0) {
            raise("hfchain:turboequal:FrameMismatch",
                  "The " + std::to_string(frames) + " frames carry " + std::to_string(bitsN) +
                      " coded bits, not the " + std::to_string(sent) +
                      " that nFrame = " + format_value(nFrame) + " implies.");
        }
        // An open trellis (whole blocks from inside a transmission) knows no input bit.
        steps = budget.total;
        K = budget.info;
        position = IntArray(T);
        for (index_t k = 0; k < T; ++k) {
            position[k] = check_index(mode.interTable[k], T, "interTable");
        }
    }

    // What is known of every symbol: the preamble and the probes; data symbols start unknown.
    KnownSymbols known = known_symbols(mode, layout);
    ComplexArray mean = known.mean;  // extrinsic soft symbols, for the cancellation
    RealArray var = known.var;
    ComplexArray mean_app = known.mean;  // a-posteriori ones, for the channel estimate
    RealArray var_app = known.var;

    // The track of the sounding; the windows that only preamble symbols reach keep their
    // estimates through every pass.
    PathTrack track;
    track.window = layout.frame();
    track.gains = sounding.gains;
    track.gainVar = sounding.gainVar;
    track.doppler = sounding.doppler;
    track.windowGains = sounding.windowGains;
    track.windowVar = sounding.windowVar;
    track.windowTime = sounding.windowTime;
    const index_t kept = preamble_windows(layout.preamble, track.window);

    BlockMmse equaliser(layout.data, L);
    // The expected tap power is allocated by the first channel re-estimate that needs it.
    ChannelArrays arrays{ComplexArray(L, Ny), ComplexArray(Ny), RealArray(Ny), RealArray()};
    ChannelView view;
    view.taps = arrays.taps.data();
    view.residual = arrays.residual.data();
    view.noise = arrays.noise.data();
    view.L = L;
    view.Ny = Ny;
    TurboequalOut result;
    result.out = ComplexArray(N);
    result.noiseVar = RealArray(N);
    std::vector<float> llr, deinterleaved, extrinsic, feedback, prior, combined, code;
    // The decoder's forward metrics, written before they are read: left unfilled.
    std::unique_ptr<float[]> alpha;
    if (I > 0) {
        llr.resize(bitsN);
        deinterleaved.resize(bitsN);
        extrinsic.resize(bitsN);
        feedback.resize(bitsN);
        prior.assign(steps, 0.0f);
        for (index_t k = K; k < steps; ++k) prior[k] = kKnownZeroPrior;
        alpha.reset(new float[siso_workspace(steps)]);
        if (copies > 1) {
            combined.resize(2 * steps);
            code.resize(2 * steps);
        }
    }
    std::vector<float> posterior(b);
    std::vector<std::uint8_t> decisions, decoded;
    index_t passes = 0;

    for (index_t pass = 0; pass <= I; ++pass) {
        // Equalise every frame's data segment and descramble.
        channel_arrays(y, basis, track, mean, N0, arrays);
        for (index_t f = 0; f < frames; ++f) {
            if (host != nullptr && f % kFramesPerPoll == 0) host->poll_interrupt();
            const index_t n0 = layout.frameStart(f);
            cdouble* z = result.out.data() + f * layout.data;
            double* zv = result.noiseVar.data() + f * layout.data;
            equaliser.equalise(n0, layout.data, view, mean, var, z, zv);
            for (index_t j = 0; j < layout.data; ++j) {
                z[j] = cmulc(known.rotation[f * layout.data + j], z[j]);
            }
        }
        ++passes;
        if (pass == I) break;
        if (stop != TurboStop::all && ends == TrellisEnds::zero &&
            decisions_form_codeword(points, N, result.out.data(), position, K, steps, copies,
                                    decisions)) {
            break;
        }

        // Demap (leaving each bit's own prior out), deinterleave, decode, interleave back.
        equaliser_llrs(points, N, result.out.data(), result.noiseVar.data(),
                       pass > 0 ? feedback.data() : nullptr, llr.data());
        for (index_t c = 0; c < bitsN / T; ++c) {
            const std::ptrdiff_t o = static_cast<std::ptrdiff_t>(c) * T;
            for (index_t k = 0; k < T; ++k) {
                deinterleaved[o + position[k]] = std::clamp(llr[o + k], -kDemapLimit, kDemapLimit);
            }
        }
        if (copies == 1) {
            siso_maxlog(steps, deinterleaved.data(), prior.data(), extrinsic.data(), nullptr,
                        alpha.get(), SisoKernel::automatic, ends);
        } else {
            decode_copies(steps, copies, deinterleaved.data(), prior.data(), combined.data(),
                          code.data(), extrinsic.data(), alpha.get(), ends);
        }
        for (index_t c = 0; c < bitsN / T; ++c) {
            const std::ptrdiff_t o = static_cast<std::ptrdiff_t>(c) * T;
            for (index_t k = 0; k < T; ++k) {
                feedback[o + k] =
                    std::clamp(extrinsic[o + position[k]], -kFeedbackLimit, kFeedbackLimit);
            }
        }

        if (stop == TurboStop::confident && decisions_confident(extrinsic, deinterleaved)) break;
        if (decisions_unchanged(feedback, llr, pass == 0, decoded) &&
            (stop == TurboStop::converged || stop == TurboStop::confident)) {
            break;
        }

        // Soft symbols: extrinsic ones to cancel, a-posteriori ones to re-estimate the channel.
        for (index_t k = 0; k < N; ++k) {
            const index_t n = layout.dataIndex(k);
            const cdouble rot = known.rotation[k];
            cdouble m;
            double v;
            soft_symbol(points, feedback.data() + b * k, m, v);
            mean[n] = cmul(rot, m);
            var[n] = v;
            for (index_t i = 0; i < b; ++i) posterior[i] = feedback[b * k + i] + llr[b * k + i];
            soft_symbol(points, posterior.data(), m, v);
            mean_app[n] = cmul(rot, m);
            var_app[n] = v;
        }
        expected_tap_power(basis, track, arrays);
        estimate_windows(y, basis, mean_app, var_app, N0, arrays.power, kept, track);
        smooth_paths(Ny, track);
    }

    result.gains = std::move(track.gains);
    result.gainVar = std::move(track.gainVar);
    result.doppler = track.doppler;
    result.passes = static_cast<double>(passes);
    return result;
}

}  // namespace hfchain
