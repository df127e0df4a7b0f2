// hfmeasure: decoded bit error rate against SNR(3 kHz) of the HF receiver and the genie bound,
// and the table of the SNRs at which each reaches 1e-3 and 1e-5.
//
//   hfmeasure [--interleaver 0.6,4.8] [--conditions awgn,bom,moderado,ruim,muito_ruim]
//             [--snr FROM:STEP:TO] [--min-errors N] [--min-events N] [--min-trials N]
//             [--max-bits N] [--iterations N]
//             [--seed N] [--threads N] [--points FILE] [--table FILE]
//
// Every point goes to stderr as it finishes and to the --points file (CSV); the table (Markdown)
// goes to stdout and to the --table file. Without --snr, white noise is swept from 2 to 12 dB in
// 0.5 dB steps and the fading conditions from 4 to 40 dB in 2 dB steps (a curve stops once both
// rates are below 1e-6). Ctrl-C stops after the running trials and still prints what was measured.
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "measure/measure.hpp"
#include "runtime/error.hpp"

namespace {

using hfchain::measure::CurveConfig;
using hfchain::measure::PointStats;

std::atomic<bool> g_stop{false};
extern "C" void on_signal(int) { g_stop.store(true); }

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(s);
    std::string part;
    while (std::getline(in, part, sep)) {
        if (!part.empty()) parts.push_back(part);
    }
    return parts;
}

double number(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) {
        throw std::runtime_error(option + ": '" + text + "' is not a number");
    }
    return v;
}

std::vector<double> range(const std::string& option, const std::string& text) {
    const std::vector<std::string> p = split(text, ':');
    if (p.size() != 3) throw std::runtime_error(option + ": expected FROM:STEP:TO");
    const double from = number(option, p[0]), step = number(option, p[1]),
                 to = number(option, p[2]);
    if (!(step > 0) || to < from) throw std::runtime_error(option + ": empty range " + text);
    std::vector<double> v;
    for (int i = 0; from + i * step <= to + 1e-9; ++i) v.push_back(from + i * step);
    return v;
}

// Where each condition's curve starts and ends (SNR in 3 kHz, dB).
std::vector<double> default_range(const std::string& condition) {
    if (condition == "awgn") return range("", "2:0.5:12");
    return range("", "4:2:40");
}

std::string cell(double v) {
    if (std::isnan(v)) return "-";
    char b[32];
    std::snprintf(b, sizeof b, "%.1f", v);
    return b;
}

// The SNR at which a receiver's rate falls to `target`, or "< X" when it fell from above the
// target to no error at all between two points, or "> X" when it never fell so far.
std::string crossing(const std::vector<PointStats>& points, bool hf, double target) {
    std::vector<double> snr, rate;
    for (const PointStats& p : points) {
        snr.push_back(p.snr);
        rate.push_back(hf ? p.hfRate() : p.genieRate());
    }
    const double at = hfchain::measure::snr_at(snr, rate, target);
    if (!std::isnan(at)) return cell(at);
    for (std::size_t i = 0; i < rate.size(); ++i) {
        if (rate[i] < target) return (i == 0 ? "< " : "<= ") + cell(snr[i]);
    }
    return points.empty() ? "-" : "> " + cell(snr.back());
}

double value(const std::string& s) {
    const std::size_t k = s.find_first_of("0123456789-");
    return k == std::string::npos ? NAN : std::atof(s.c_str() + k);
}

std::string gap(const std::string& hf, const std::string& genie) {
    const bool exact = !hf.empty() && !genie.empty() && hf[0] != '<' && hf[0] != '>' &&
                       genie[0] != '<' && genie[0] != '>' && hf != "-" && genie != "-";
    return exact ? cell(value(hf) - value(genie)) : "-";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<double> interleavers{0.6, 4.8};
    std::vector<std::string> conditions{"awgn", "bom", "moderado", "ruim", "muito_ruim"};
    std::vector<double> snr;
    CurveConfig base;
    std::string points_file, table_file;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            if (a == "-h" || a == "--help") {
                std::printf(
                    "hfmeasure [--interleaver 0.6,4.8] [--conditions awgn,bom,moderado,ruim,"
                    "muito_ruim]\n          [--snr FROM:STEP:TO] [--min-errors 50] "
                    "[--min-events 10] [--min-trials 2]\n          [--max-bits 3e6] "
                    "[--iterations 2] [--seed 1] [--threads 0]\n          "
                    "[--points FILE.csv] [--table FILE.md]\n");
                return 0;
            }
            if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
            const std::string v = argv[++i];
            if (a == "--interleaver") {
                interleavers.clear();
                for (const std::string& s : split(v, ',')) interleavers.push_back(number(a, s));
            } else if (a == "--conditions") {
                conditions = split(v, ',');
            } else if (a == "--snr") {
                snr = range(a, v);
            } else if (a == "--min-errors") {
                base.minErrors = static_cast<std::int64_t>(number(a, v));
            } else if (a == "--min-events") {
                base.minEvents = static_cast<std::int64_t>(number(a, v));
            } else if (a == "--min-trials") {
                base.minTrials = static_cast<std::int64_t>(number(a, v));
            } else if (a == "--max-bits") {
                base.maxBits = static_cast<std::int64_t>(number(a, v));
            } else if (a == "--iterations") {
                base.iterations = number(a, v);
            } else if (a == "--seed") {
                base.seed = static_cast<std::uint32_t>(number(a, v));
            } else if (a == "--threads") {
                base.threads = static_cast<int>(number(a, v));
            } else if (a == "--points") {
                points_file = v;
            } else if (a == "--table") {
                table_file = v;
            } else {
                throw std::runtime_error("unknown option " + a);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hfmeasure: %s\n", e.what());
        return 2;
    }

    std::signal(SIGINT, on_signal);
    std::ofstream csv;
    if (!points_file.empty()) {
        csv.open(points_file);
        csv << "interleaver,condition,snr_db,esno_db,trials,bits,hf_errors,genie_errors,hf_ber,"
               "genie_ber,hf_trials_in_error,genie_trials_in_error,seconds\n";
    }
    std::map<std::pair<double, std::string>, std::vector<PointStats>> curves;
    try {
        for (const double interLen : interleavers) {
            const hfchain::Milstd milstd = hfchain::modeconf(interLen);
            for (const std::string& condition : conditions) {
                CurveConfig config = base;
                config.interLen = interLen;
                config.condition = condition;
                config.snr = snr.empty() ? default_range(condition) : snr;
                auto report = [&](const PointStats& p) {
                    std::fprintf(
                        stderr,
                        "%.1f s %-10s SNR %5.1f dB: %6lld trials %9lld bits  hf %.3g (%lld)"
                        "  genie %.3g (%lld)  %.0f s\n",
                        interLen, condition.c_str(), p.snr, static_cast<long long>(p.trials),
                        static_cast<long long>(p.bits), p.hfRate(),
                        static_cast<long long>(p.hfErrors), p.genieRate(),
                        static_cast<long long>(p.genieErrors), p.seconds);
                    if (csv.is_open()) {
                        csv << interLen << ',' << condition << ',' << p.snr << ','
                            << hfchain::measure::esno_of_snr(p.snr) << ',' << p.trials << ','
                            << p.bits << ',' << p.hfErrors << ',' << p.genieErrors << ','
                            << p.hfRate() << ',' << p.genieRate() << ',' << p.hfTrialsInError << ','
                            << p.genieTrialsInError << ',' << p.seconds << '\n';
                        csv.flush();
                    }
                };
                curves[{interLen, condition}] =
                    hfchain::measure::measure_curve(milstd, config, report, &g_stop);
                if (g_stop.load()) break;
            }
            if (g_stop.load()) break;
        }
    } catch (const hfchain::Error& e) {
        std::fprintf(stderr, "hfmeasure: %s (%s)\n", e.what(), e.identifier().c_str());
        return 1;
    }

    std::ostringstream table;
    table << "| interleaver | condition | hf @1e-3 | genie @1e-3 | gap | hf @1e-5 | genie @1e-5 "
             "| gap |\n|---|---|---|---|---|---|---|---|\n";
    for (const auto& [key, points] : curves) {
        const std::string h3 = crossing(points, true, 1e-3), g3 = crossing(points, false, 1e-3);
        const std::string h5 = crossing(points, true, 1e-5), g5 = crossing(points, false, 1e-5);
        char name[16];
        std::snprintf(name, sizeof name, "%.1f s", key.first);
        table << "| " << name << " | " << key.second << " | " << h3 << " | " << g3 << " | "
              << gap(h3, g3) << " | " << h5 << " | " << g5 << " | " << gap(h5, g5) << " |\n";
    }
    std::fputs(table.str().c_str(), stdout);
    if (!table_file.empty()) std::ofstream(table_file) << table.str();
    return g_stop.load() ? 130 : 0;
}
