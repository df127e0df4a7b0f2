// modelock's false detections on noise: the detection statistic's tail measured on noise alone
// and extrapolated to the threshold of one false detection in 10 hours.
//
//   modelock_noise SECONDS CHANNEL [SEED [THRESHOLD]]
//
// CHANNEL is "white" (complex white Gaussian noise) or a channel of the program ("ruim",
// "2p:5ms:5Hz", ...): white noise passed through its fading paths (no noise added after them),
// as a receiver hears noise that came the way the signal would. The noise goes in pieces of 60 s
// through the matched filter (M = 5, roll-off 0.35, D = 6), and modelock searches each piece with
// a low threshold, again after every detection from one segment further on, as a receiver that
// looks for the next transmission does. Every detection's statistic is kept; the program prints
// how many reach each level per hour, fits log(rate) against level^2 (the tail of a Rayleigh-like
// statistic) on the levels met at least 10 times, and prints the level where the fit gives one
// detection in 10 hours, beside the count at the default threshold. With THRESHOLD the search
// uses it instead of the low one, and the count of its detections at that level is the measure
// (a preamble found by three segments together counts too, where its best window alone may score
// less).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "channel/channel_text.hpp"
#include "channel/hfchannel.hpp"
#include "params/preamble.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "receiver/modelock/modelock.hpp"
#include "runtime/builtin_host.hpp"

namespace {

using namespace hfchain;

constexpr double kPiece = 60;      // s of noise a piece
constexpr double kLowest = 0.07;   // threshold of the search: the tail is measured above it
constexpr double kPerHour = 3600;  // s
const VarShapping kShaping{0.35, 6, 5};

// The 95 % interval of a Poisson mean from k events (Wilson and Hilferty's approximation of the
// chi-square quantiles; exact enough for an interval).
double chi2_quantile(double p_z, double nu) {
    return nu * std::pow(1 - 2 / (9 * nu) + p_z * std::sqrt(2 / (9 * nu)), 3);
}
void poisson_interval(std::size_t k, double& low, double& high) {
    const auto K = static_cast<double>(k);
    low = k == 0 ? 0 : chi2_quantile(-1.959964, 2 * K) / 2;
    high = chi2_quantile(1.959964, 2 * K + 2) / 2;
}

// Statistics of every detection in one piece of noise; `searched` gains the seconds of segment
// starts searched.
void search_piece(const ComplexArray& mf, double threshold, std::vector<double>& scores,
                  double& searched) {
    const auto M = static_cast<index_t>(kShaping.oversamplingFactor);
    const double segment = kSegmentSymbols * M;
    VarModelock s;
    s.threshold = threshold;
    const double last = static_cast<double>(mf.numel()) - (segment - M) + 1;  // last window
    searched += last / (2400.0 * M);  // less the segments skipped, below
    for (double from = 1; from <= last;) {
        s.from = from;
        const ModelockOut r = modelock(mf, kShaping, s);
        if (!r.found) break;
        scores.push_back(r.score);
        from = r.start + segment;
        searched -= segment / (2400.0 * M);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: modelock_noise SECONDS CHANNEL [SEED]\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    const std::string channel = argv[2];
    const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1;
    const double lowest = argc > 4 ? std::atof(argv[4]) : kLowest;
    const bool white = channel == "white";
    const HfChannel faded = white ? HfChannel{} : read_channel(channel).channel;
    const auto M = static_cast<index_t>(kShaping.oversamplingFactor);
    const auto piece = static_cast<index_t>(kPiece * 2400 * M);
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> normal(0.0, std::sqrt(0.5));
    BuiltinHost host;
    std::vector<double> scores;
    double searched = 0;
    for (double done = 0; done < seconds; done += kPiece) {
        ComplexArray x(piece);
        for (index_t n = 0; n < piece; ++n) x[n] = {normal(gen), normal(gen)};
        if (!white) {
            const double s = 1 + done / kPiece + 1000.0 * seed;
            x = hfchannel(x, {faded, INFINITY, s}, kShaping, host).WattersonOutAwgnIn;
        }
        search_piece(pulsematch(x, kShaping).out, lowest, scores, searched);
    }
    const double hours = searched / kPerHour;
    std::printf("channel %s: %.3f hours of segment starts searched, %zu detections at %.3f\n",
                channel.c_str(), hours, scores.size(), lowest);
    std::printf("level  detections  per_hour\n");
    std::vector<double> fit_x, fit_y;
    for (double t = lowest; t <= 0.1501; t += 0.005) {
        std::size_t n = 0;
        for (const double q : scores) n += q >= t;
        std::printf("%.3f  %10zu  %9.3f\n", t, n, static_cast<double>(n) / hours);
        if (n >= 10) {
            fit_x.push_back(t * t);
            fit_y.push_back(std::log(static_cast<double>(n) / hours));
        }
    }
    if (fit_x.size() >= 2) {
        // Least squares: log(rate) = a + b t^2.
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        const auto k = static_cast<double>(fit_x.size());
        for (std::size_t i = 0; i < fit_x.size(); ++i) {
            sx += fit_x[i];
            sy += fit_y[i];
            sxx += fit_x[i] * fit_x[i];
            sxy += fit_x[i] * fit_y[i];
        }
        const double b = (k * sxy - sx * sy) / (k * sxx - sx * sx);
        const double a = (sy - b * sx) / k;
        const double target = std::log(0.1);  // one in 10 hours
        std::printf("fit: log(per hour) = %.3f %+.1f level^2 over %zu levels\n", a, b,
                    fit_x.size());
        std::printf("level of one detection in 10 hours: %.4f\n", std::sqrt((target - a) / b));
        const double t = kModelockThreshold;
        std::printf("at the default threshold %.3f: %.2e detections per hour (fit)\n", t,
                    std::exp(a + b * t * t));
    }
    std::size_t at_default = 0;
    for (const double q : scores) at_default += q >= kModelockThreshold;
    double low = 0, high = 0;
    poisson_interval(at_default, low, high);
    std::printf(
        "counted at the default threshold %.3f: %zu in %.2f hours, %.3f per hour (95 %% "
        "interval %.3f to %.3f)\n",
        kModelockThreshold, at_default, hours, static_cast<double>(at_default) / hours, low / hours,
        high / hours);
    return 0;
}
