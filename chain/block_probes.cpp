#include "chain/block_probes.hpp"

#include <cmath>

#include "chain/hf_receiver.hpp"
#include "params/waveform.hpp"
#include "receiver/layout/layout.hpp"
#include "shaping/rrc_fir.hpp"

namespace hfchain {

namespace {

constexpr index_t kPiece = 1440;  // symbols matched at one sampling instant

// The matched filter's output at baseband sample `centre` (its taps centred there).
cdouble filtered(const Baseband& x, const BlockProbes& p, std::int64_t centre) {
    const std::int64_t first = centre - p.D * p.M;
    const auto size = static_cast<std::int64_t>(x.size());
    const auto n = static_cast<std::int64_t>(p.taps.numel());
    const std::int64_t a = std::max<std::int64_t>(0, -first);
    const std::int64_t b = std::min<std::int64_t>(n, size - first);
    double re = 0, im = 0;
    for (std::int64_t t = a; t < b; ++t) {
        const std::complex<float>& v = x[static_cast<std::size_t>(first + t)];
        re += p.taps[static_cast<index_t>(t)] * v.real();
        im += p.taps[static_cast<index_t>(t)] * v.imag();
    }
    return {re, im};
}

// The match of piece `piece` with its block's first symbol peaking at `peak`.
double piece_match(const Baseband& x, const BlockProbes& p, std::size_t piece, std::int64_t peak,
                   double offset) {
    const double turn = -2 * M_PI * offset / (kSymbolRate * static_cast<double>(p.M));
    double sum = 0, energy = 0;
    std::size_t used = 0;
    for (std::size_t r = p.pieces[piece]; r < p.pieces[piece + 1]; ++r) {
        cdouble c;
        for (std::size_t e = p.runs[r]; e < p.runs[r + 1]; ++e) {
            const std::int64_t n = peak + p.at[e] * p.M;
            const cdouble y = filtered(x, p, n) * std::polar(1.0, turn * static_cast<double>(n));
            c += y * p.point[e];
            energy += std::norm(y);
            ++used;
        }
        sum += std::abs(c);
    }
    return energy > 0 ? sum / std::sqrt(energy * static_cast<double>(used)) : 0.0;
}

// The repeat match's sums over piece `piece` (see the header): the products' real part and
// their samples' energy.
void piece_repeats(const Baseband& x, const BlockProbes& p, std::size_t piece, std::int64_t peak,
                   double offset, double& sum, double& energy) {
    const double turn = -2 * M_PI * offset / (kSymbolRate * static_cast<double>(p.M));
    const auto at = [&](std::int64_t n) {
        return filtered(x, p, n) * std::polar(1.0, turn * static_cast<double>(n));
    };
    sum = 0;
    energy = 0;
    for (std::size_t e = p.runs[p.pieces[piece]]; e < p.runs[p.pieces[piece + 1]]; ++e) {
        const std::int64_t n = peak + p.at[e] * p.M;
        const cdouble a = at(n), b = at(n + p.lag * p.M);
        sum += (a * std::conj(b) * p.point[e]).real();
        energy += (std::norm(a) + std::norm(b)) / 2;
    }
}

// block_match for the repeats: each piece at the instant whose products match best.
double repeat_match(const Baseband& baseband, const BlockProbes& probes, std::int64_t peak,
                    double offset, std::int64_t& drift) {
    double sum = 0, energy = 0;
    for (std::size_t piece = 0; piece + 1 < probes.pieces.size(); ++piece) {
        double best = -INFINITY, best_sum = 0, best_energy = 0;
        std::int64_t step = 0;
        for (std::int64_t d = -1; d <= 1; ++d) {
            double s = 0, e = 0;
            piece_repeats(baseband, probes, piece, peak + drift + d, offset, s, e);
            const double m = e > 0 ? s / e : 0.0;
            if (m > best) {
                best = m;
                best_sum = s;
                best_energy = e;
                step = d;
            }
        }
        if (best >= probes.least) drift += step;
        sum += best_sum;
        energy += best_energy;
    }
    return energy > 0 ? sum / energy : 0.0;
}

}  // namespace

BlockProbes block_repeats(const ModeParams& mode, const VarShapping& shaping, HostServices& host) {
    constexpr index_t kRepeat = 8, kPattern = 32;  // a pattern: four repeats of 8 symbols
    BlockProbes p;
    p.M = static_cast<index_t>(shaping.oversamplingFactor);
    p.D = static_cast<index_t>(shaping.pulseDelay);
    p.taps =
        shaping_filter(shaping.rolloffFactor, shaping.pulseDelay, shaping.oversamplingFactor, host);
    p.lag = kRepeat;
    const index_t patterns = frames_per_block(mode);
    const KnownSymbols known = known_symbols(mode, transmission_layout(mode, patterns));
    for (index_t k = 0; k < patterns * kPattern; ++k) {
        if (k % kPattern >= kPattern - kRepeat) continue;          // the last repeat: none after it
        if (p.at.empty() || k / kPiece != p.at.back() / kPiece) {  // a piece: one run
            p.pieces.push_back(p.runs.size());
            p.runs.push_back(p.at.size());
        }
        p.at.push_back(k);
        p.point.push_back(std::conj(known.rotation[k]) * known.rotation[k + kRepeat]);
    }
    p.runs.push_back(p.at.size());
    p.pieces.push_back(p.runs.size() - 1);
    // Four spreads of the match on noise alone.
    p.least = 4 / std::sqrt(2.0 * static_cast<double>(std::max<std::size_t>(1, p.at.size())));
    return p;
}

BlockProbes block_probes(const ModeParams& mode, const VarShapping& shaping, HostServices& host) {
    BlockProbes p;
    p.M = static_cast<index_t>(shaping.oversamplingFactor);
    p.D = static_cast<index_t>(shaping.pulseDelay);
    p.taps =
        shaping_filter(shaping.rolloffFactor, shaping.pulseDelay, shaping.oversamplingFactor, host);
    const index_t framesPerBlock = transmission_layout(mode, 0).framesPerBlock;
    const Layout layout = transmission_layout(mode, framesPerBlock);
    const KnownSymbols known = known_symbols(mode, layout);
    for (index_t k = 0; k < layout.symbols - layout.preamble; ++k) {
        const index_t n = layout.preamble + k;
        if (known.var[n] != 0) continue;
        const bool joins = !p.at.empty() && p.at.back() == k - 1 && k % kPiece != 0;
        if (!joins) {
            if (p.at.empty() || k / kPiece != p.at.back() / kPiece)
                p.pieces.push_back(p.runs.size());
            p.runs.push_back(p.at.size());
        }
        p.at.push_back(k);
        p.point.push_back(std::conj(known.mean[n]));
    }
    p.runs.push_back(p.at.size());
    p.pieces.push_back(p.runs.size() - 1);
    return p;
}

double block_match(const Baseband& baseband, const BlockProbes& probes, std::int64_t peak,
                   double offset, std::int64_t& drift) {
    if (probes.lag > 0) return repeat_match(baseband, probes, peak, offset, drift);
    if (!probes.any()) return 1;
    const std::size_t pieces = probes.pieces.size() - 1;
    double sum = 0;
    for (std::size_t piece = 0; piece < pieces; ++piece) {
        double best = -1;
        std::int64_t step = 0;
        for (std::int64_t d = -1; d <= 1; ++d) {
            const double m = piece_match(baseband, probes, piece, peak + drift + d, offset);
            if (m > best) {
                best = m;
                step = d;
            }
        }
        if (best >= kLeastProbeMatch) drift += step;
        sum += best;
    }
    return sum / static_cast<double>(pieces);
}

}  // namespace hfchain
