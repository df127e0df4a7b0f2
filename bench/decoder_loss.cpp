// Decoded bit error rate on white noise, and what the decoder's 16-bit quantised metrics cost
// against an unquantised double-precision decoder.
//
// Each trial sends `nFrame` 0.6 s interleaver blocks (sendchain), adds complex white Gaussian
// noise of variance N0 = 10^(-EsNodB/10) to the data symbols (the channel block's noise step),
// takes max-log ratios (softslicer), deinterleaves them (unshuffle) and decodes them twice, with
// vitdecode and with a double-precision decoder without any quantisation, counting the
// information bits each gets wrong. Both decoders see the same ratios, so their difference is
// measured on paired samples. Every trial's seeds come from (Es/N0 index, trial) alone. The
// double-precision decoder here is the butterfly form of the straightforward decoder of
// tests/support, several times faster; the program first checks that the two decode alike.
//
// The Es/N0 at which each decoder reaches the target error rate is found by interpolating
// log10(BER) linearly in dB between the two grid points around it; the loss is the difference.
// Intervals are 95 % Wilson intervals on the bit counts: errors come in bursts of a few bits,
// so they understate the spread, and the error-event counts are printed beside them.
//
// Usage: decoder_loss [min_errors [max_bits [esno_first esno_last esno_step]]]
//   min_errors: stop a point when the double decoder has made this many bit errors (400)
//   max_bits:   ... or after this many information bits (4e8)
//   grid of Es/N0 in dB (6.5 8.5 0.25)
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "channel/fadesim.hpp"
#include "params/modeconf.hpp"
#include "receiver/decoder/trellis.hpp"
#include "receiver/decoder/vitdecode.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/softdemod/softslicer.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/support/reference_viterbi.hpp"
#include "transmitter/sendchain.hpp"

namespace {

using namespace hfchain;

constexpr double kTargetBer = 1e-5;
constexpr double kNFrame = 20;  // 0.6 s blocks a trial: 28656 information bits

struct Count {
    std::int64_t bits = 0;
    std::int64_t errors = 0;
    std::int64_t events = 0;  // runs of errors, a new run after 20 correct bits
};

struct Point {
    double esno = 0;
    Count quantised;
    Count exact;
    double seconds = 0;
};

// Unquantised Viterbi decoding in double precision, terminated in state 0, butterfly by
// butterfly: predecessors i and i + 32 lead to states 2 i and 2 i + 1 (trellis.hpp); the branch
// from i with input 0 sends the pair of output[i][0], costing m = (c0 ? L0 : -L0) +
// (c1 ? L1 : -L1), its complement costs -m. Equal candidates keep predecessor i.
class DoubleViterbi {
public:
    void decode(const double* pairs, index_t steps, RealArray& bits) {
        if (static_cast<index_t>(decisions_.size()) < steps * 64) {
            decisions_.resize(static_cast<std::size_t>(steps) * 64);
        }
        double metric[64];
        double next[64];
        metric[0] = 0;
        for (int s = 1; s < 64; ++s) metric[s] = std::numeric_limits<double>::infinity();
        double sign0[32];
        double sign1[32];
        for (int i = 0; i < 32; ++i) {
            const int pair = trellis::kTables.output[i][0];
            sign0[i] = (pair >> 1) != 0 ? 1.0 : -1.0;
            sign1[i] = (pair & 1) != 0 ? 1.0 : -1.0;
        }
        for (index_t t = 0; t < steps; ++t) {
            const double l0 = pairs[2 * t];
            const double l1 = pairs[2 * t + 1];
            std::uint8_t* d = decisions_.data() + static_cast<std::size_t>(t) * 64;
            for (int i = 0; i < 32; ++i) {
                const double m = sign0[i] * l0 + sign1[i] * l1;
                const double e = metric[i];
                const double f = metric[i + 32];
                const double a0 = e + m;
                const double b0 = f - m;
                const double a1 = e - m;
                const double b1 = f + m;
                next[2 * i] = b0 < a0 ? b0 : a0;
                next[2 * i + 1] = b1 < a1 ? b1 : a1;
                d[2 * i] = b0 < a0;
                d[2 * i + 1] = b1 < a1;
            }
            for (int s = 0; s < 64; ++s) metric[s] = next[s];
        }
        bits = RealArray(steps);
        unsigned state = 0;
        for (index_t t = steps - 1; t >= 0; --t) {
            bits[t] = state & 1u;
            const unsigned oldest = decisions_[static_cast<std::size_t>(t) * 64 + state];
            state = (state >> 1) | (oldest << 5);
        }
    }

private:
    std::vector<std::uint8_t> decisions_;
};

// The butterfly decoder must decode exactly as the straightforward one: random ratios, where the
// reference's path passes no tie.
bool double_decoder_agrees() {
    BuiltinHost host(77);
    DoubleViterbi fast;
    int compared = 0;
    for (int block = 0; block < 20; ++block) {
        const RealArray z = host.randn(2 * 500, 1);
        RealArray bits;
        fast.decode(z.data(), 500, bits);
        const reference::Decoded ref = reference::decode(z.data(), 500, true);
        if (ref.pathTies != 0) continue;
        ++compared;
        for (index_t t = 0; t < 500; ++t) {
            if (bits[t] != ref.bits[t]) return false;
        }
    }
    return compared >= 10;
}

void count_errors(const RealArray& sent, const RealArray& got, index_t n, Count& c) {
    index_t last = -1000;
    for (index_t k = 0; k < n; ++k) {
        if (got[k] != sent[k]) {
            ++c.errors;
            if (k - last > 20) ++c.events;
            last = k;
        }
    }
    c.bits += n;
}

double ber(const Count& c) { return c.bits > 0 ? static_cast<double>(c.errors) / c.bits : 0; }

// 95 % Wilson score interval.
void wilson(const Count& c, double& low, double& high) {
    const double z = 1.959963984540054;
    const double n = static_cast<double>(c.bits);
    const double p = ber(c);
    const double centre = (p + z * z / (2 * n)) / (1 + z * z / n);
    const double half = z / (1 + z * z / n) * std::sqrt(p * (1 - p) / n + z * z / (4 * n * n));
    low = centre - half;
    high = centre + half;
}

Point run_point(const ModeParams& mode, double esno, int index, std::int64_t min_errors,
                std::int64_t max_bits) {
    Point point;
    point.esno = esno;
    const double N0 = 1.0 / std::pow(10.0, esno / 10.0);
    const RealArray noiseVar{N0};
    const auto start = std::chrono::steady_clock::now();
    BuiltinHost host;
    DoubleViterbi exact_decoder;
    RealArray exact;
    for (std::int64_t trial = 0; point.exact.errors < min_errors && point.exact.bits < max_bits;
         ++trial) {
        const double seed = static_cast<double>(index * 100000 + trial + 1);
        const SendchainOut tx = sendchain(mode, kNFrame, seed, host);
        ComplexArray noise;
        ComplexArray received;
        BuiltinHost channel(seed + 5e8);
        add_channel_noise(tx.ComplexPSKSymbols, esno, channel, noise, received);
        const SoftslicerOut soft = softslicer(received, noiseVar, mode);
        const UnshuffleOut llr = unshuffle(soft.LLR, mode);

        const VitdecodeOut fast = vitdecode(llr.out, mode, kNFrame);
        exact_decoder.decode(llr.out.data(), tx.BitInCodIn.numel(), exact);
        const index_t K = fast.InfoBits.numel();
        count_errors(tx.BitInCodIn, fast.DecodOut, K, point.quantised);
        count_errors(tx.BitInCodIn, exact, K, point.exact);
    }
    point.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return point;
}

// Es/N0 where log10(BER) crosses log10(target), linear in dB between grid points; NaN when the
// grid does not bracket it.
double crossing(const std::vector<Point>& points, bool quantised) {
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const double a = ber(quantised ? points[i].quantised : points[i].exact);
        const double b = ber(quantised ? points[i + 1].quantised : points[i + 1].exact);
        if (a >= kTargetBer && b < kTargetBer && a > 0 && b > 0) {
            const double fa = std::log10(a) - std::log10(kTargetBer);
            const double fb = std::log10(b) - std::log10(kTargetBer);
            return points[i].esno + (points[i + 1].esno - points[i].esno) * fa / (fa - fb);
        }
    }
    return std::nan("");
}

}  // namespace

int main(int argc, char** argv) {
    const std::int64_t min_errors = argc > 1 ? std::atoll(argv[1]) : 400;
    const auto max_bits = static_cast<std::int64_t>(argc > 2 ? std::atof(argv[2]) : 4e8);
    const double first = argc > 5 ? std::atof(argv[3]) : 6.5;
    const double last = argc > 5 ? std::atof(argv[4]) : 8.5;
    const double step = argc > 5 ? std::atof(argv[5]) : 0.25;

    if (!double_decoder_agrees()) {
        std::fprintf(stderr, "decoder_loss: the double-precision decoders disagree\n");
        return 1;
    }
    const ModeParams mode = modeconf(0.6);
    std::printf(
        "# decoded information-bit errors on white noise, 0.6 s interleaver, max-log "
        "ratios\n");
    std::printf("# min_errors %lld, max_bits %lld, %g information bits a trial\n",
                static_cast<long long>(min_errors), static_cast<long long>(max_bits),
                1440 * kNFrame - 144);
    std::printf(
        "# esno_db bits | vitdecode: errors events ber ci95_low ci95_high | double "
        "decoder: errors events ber ci95_low ci95_high | seconds\n");
    std::vector<Point> points;
    int index = 0;
    for (double esno = first; esno <= last + 1e-9; esno += step, ++index) {
        const Point p = run_point(mode, esno, index, min_errors, max_bits);
        double ql = 0, qh = 0, el = 0, eh = 0;
        wilson(p.quantised, ql, qh);
        wilson(p.exact, el, eh);
        std::printf(
            "%5.2f %11lld | %6lld %5lld %.3e %.3e %.3e | %6lld %5lld %.3e %.3e %.3e | %.1f\n",
            p.esno, static_cast<long long>(p.exact.bits),
            static_cast<long long>(p.quantised.errors), static_cast<long long>(p.quantised.events),
            ber(p.quantised), ql, qh, static_cast<long long>(p.exact.errors),
            static_cast<long long>(p.exact.events), ber(p.exact), el, eh, p.seconds);
        std::fflush(stdout);
        points.push_back(p);
    }
    const double at_q = crossing(points, true);
    const double at_e = crossing(points, false);
    std::printf("# Es/N0 at BER %.0e: vitdecode %.3f dB, double decoder %.3f dB, loss %.3f dB\n",
                kTargetBer, at_q, at_e, at_q - at_e);
    return 0;
}
