#include "sweep/report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "chain/theory.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "sweep/output_file.hpp"

namespace hfchain::sweep {

namespace {

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string sci(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4e", v);
    return buf;
}

std::string esno_list(const std::vector<double>& esno) {
    std::string s;
    for (const double e : esno) {
        if (!s.empty()) s += ' ';
        s += format_value(e);
    }
    return s;
}

// "a, b, c": f of each value, for JSON lists.
template <class F>
std::string list_of(const std::vector<double>& values, F f) {
    std::string s;
    for (const double v : values) s += (s.empty() ? "" : ", ") + format_value(f(v));
    return s;
}

int condition_number(const SweepConfig& config, const std::string& name) {
    const auto& c = config.conditions;
    return static_cast<int>(std::find(c.begin(), c.end(), name) - c.begin()) + 1;
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (const char ch : s) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (static_cast<unsigned char>(ch) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", ch);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string receivers_of(const SweepConfig& c) {
    std::string s;
    for (const ReceiverKind r : c.receivers)
        s += std::string(s.empty() ? "" : " ") + receiver_name(r);
    return s;
}

// The counts shared by every receiver of a point (the same transmissions): those of the first.
const ReceiverCounts& shared_counts(const SweepConfig& c, const PointResult& p) {
    return p.of(c.receivers.empty() ? ReceiverKind::baseline : c.receivers.front());
}

double ratio(std::int64_t errors, std::int64_t total) {
    return total > 0 ? static_cast<double>(errors) / static_cast<double>(total) : 0.0;
}

}  // namespace

void write_table(std::ostream& out, const SweepConfig& c, const SweepResult& result,
                 const std::string& version, const FieldNames& names) {
    const char* first = c.receivers.empty() ? "baseline" : receiver_name(c.receivers.front());
    const bool decoded = c.metric == Metric::decoded;
    out << "# hfchain " << version
        << " sweep: decoded, coded-bit and block error rates against SNR (3 kHz) and Es/N0\n";
    if (shows_rate(c)) out << "# data rates (bit/s): " << esno_list(c.rates) << '\n';
    out << "# interleaver " << format_value(c.interLen) << " s, nFrame " << nframe_text(c)
        << " interleaver blocks per trial" << (shows_rate(c) ? " (by rate)" : "") << "\n";
    out << "# rolloffFactor " << format_value(c.shaping.rolloffFactor) << ", pulseDelay "
        << format_value(c.shaping.pulseDelay) << " symbols, oversamplingFactor "
        << format_value(c.shaping.oversamplingFactor) << " samples per symbol\n";
    out << "# conditions:";
    for (std::size_t i = 0; i < c.conditions.size(); ++i) {
        out << ' ' << i + 1 << '=' << c.conditions[i];
    }
    out << "\n# Es/N0 (dB): " << esno_list(c.esno) << '\n';
    out << "# SNR in 3 kHz (dB) = Es/N0 - 10 log10(3000/2400):";
    for (const double e : c.esno) {
        char buf[32];
        std::snprintf(buf, sizeof buf, " %.10g", e - kSnr3kOffset);
        out << buf;
    }
    out << (c.snr3kAxis ? " (given)" : "") << '\n';
    const std::string whose =
        c.stopOn == StopOn::first ? first + std::string("'s") : std::string("each receiver's");
    out << "# receivers: " << receivers_of(c) << "; the stop rule counts " << whose << ' '
        << (decoded ? "decoded information bits" : "coded bits") << " ("
        << field_name(names, "metric") << ' ' << metric_name(c.metric) << ", "
        << field_name(names, "stopOn") << ' ' << stop_on_name(c.stopOn) << ")\n";
    out << "# each point: at least " << c.minTrials << " trials, then stop once " << c.minEvents
        << " of them had a wrong bit (error events) and the wrong bits reached " << c.minErrors
        << ", or at " << c.maxBits << (decoded ? " information bits" : " coded bits") << '\n';
    if (c.floor > 0) {
        out << "# a condition's curve ends after its first point at which every receiver's rate is "
               "below "
            << format_value(c.floor) << '\n';
    }
    out << "# base seed " << c.seed << " (trial seeds from seed, "
        << (shows_rate(c) ? "rate, " : "") << "condition, Es/N0, trial)\n";
    out << "# R_coded_*: hard decisions (baseline) or ratio signs (hf, genie) on the coded bits; "
           "R_ber: decoded information bits; R_ci95_low, R_ci95_high: the 95 % interval of R_ber "
           "over the trials (ratio estimator with the between-trial variance, errors coming in "
           "bursts; never narrower than the Wilson interval of the bits); R_bler: interleaver "
           "blocks with a wrong information bit; sync_misses: trials whose frame start was not "
           "the expected sample\n";
    out << "# threads " << result.threads;
    if (result.ranks > 1) out << " in " << result.ranks << " processes";
    out << ", wall time " << fixed(result.wallSeconds, 1) << " s";
    if (result.knownTrials > 0) out << ", " << result.knownTrials << " trials from the checkpoint";
    out << (result.interrupted ? ", INTERRUPTED: unfinished points end early" : "") << '\n';
    out << (shows_rate(c) ? "#  rate cond" : "# cond")
        << " esno_db snr3k_db   trials   coded_bits    info_bits   blocks sync_misses";
    for (const ReceiverKind r : c.receivers) {
        const std::string n = receiver_name(r);
        for (const char* column : {"_coded_errors", "_coded_ber", "_info_errors", "_ber",
                                   "_ci95_low", "_ci95_high", "_block_errors", "_bler"}) {
            out << ' ' << n << column;
        }
    }
    out << " seconds\n";
    for (const PointResult& p : result.points) {
        const ReceiverCounts& shared = shared_counts(c, p);
        char line[256];
        if (shows_rate(c)) {
            std::snprintf(line, sizeof line, "%7.0f", p.dataRate);
            out << line;
        }
        std::snprintf(line, sizeof line, "%6d %7.2f %8.2f %8lld %12lld %12lld %8lld %11lld",
                      condition_number(c, p.condition), p.esno, p.esno - kSnr3kOffset,
                      static_cast<long long>(p.trials), static_cast<long long>(shared.codedBits),
                      static_cast<long long>(shared.infoBits),
                      static_cast<long long>(shared.blocks), static_cast<long long>(p.syncMisses));
        out << line;
        for (const ReceiverKind r : c.receivers) {
            const ReceiverCounts& n = p.of(r);
            const Interval ci = receiver_interval(p, r, Metric::decoded);
            std::snprintf(
                line, sizeof line, " %12lld %11.4e %12lld %11.4e %11.4e %11.4e %8lld %11.4e",
                static_cast<long long>(n.codedErrors), ratio(n.codedErrors, n.codedBits),
                static_cast<long long>(n.infoErrors), ratio(n.infoErrors, n.infoBits), ci.low,
                ci.high, static_cast<long long>(n.blockErrors), ratio(n.blockErrors, n.blocks));
            out << line;
        }
        std::snprintf(line, sizeof line, " %10.2f", p.seconds);
        out << line;
        if (p.stop == StopReason::interrupted) out << "  # interrupted";
        out << '\n';
    }
}

void write_csv(std::ostream& out, const SweepConfig& c, const SweepResult& result) {
    out << (shows_rate(c) ? "rate," : "")
        << "condition,esno_db,snr3k_db,trials,coded_bits,info_bits,blocks,sync_misses,events";
    for (const ReceiverKind r : c.receivers) {
        const std::string n = receiver_name(r);
        for (const char* column : {"_coded_errors", "_coded_ber", "_info_errors", "_ber",
                                   "_ci95_low", "_ci95_high", "_block_errors", "_bler"}) {
            out << ',' << n << column;
        }
    }
    out << ",seconds,stop\n";
    for (const PointResult& p : result.points) {
        const ReceiverCounts& shared = shared_counts(c, p);
        if (shows_rate(c)) out << format_value(p.dataRate) << ',';
        out << p.condition << ',' << format_value(p.esno) << ','
            << format_value(p.esno - kSnr3kOffset) << ',' << p.trials << ',' << shared.codedBits
            << ',' << shared.infoBits << ',' << shared.blocks << ',' << p.syncMisses << ','
            << p.events;
        for (const ReceiverKind r : c.receivers) {
            const ReceiverCounts& n = p.of(r);
            const Interval ci = receiver_interval(p, r, Metric::decoded);
            out << ',' << n.codedErrors << ',' << sci(ratio(n.codedErrors, n.codedBits)) << ','
                << n.infoErrors << ',' << sci(ratio(n.infoErrors, n.infoBits)) << ',' << sci(ci.low)
                << ',' << sci(ci.high) << ',' << n.blockErrors << ','
                << sci(ratio(n.blockErrors, n.blocks));
        }
        out << ',' << fixed(p.seconds, 3) << ',' << stop_reason_name(p.stop) << '\n';
    }
}

void write_json(std::ostream& out, const SweepConfig& c, const SweepResult& result,
                const std::string& version) {
    out << "{\n  \"version\": " << json_string(version) << ",\n  \"parameters\": {\n";
    out << "    \"interleaver_s\": " << format_value(c.interLen) << ",\n";
    if (shows_rate(c)) {
        out << "    \"rates\": [" << list_of(c.rates, [](double r) { return r; })
            << "],\n    \"nFrame\": ["
            << list_of(c.rates, [&c](double r) { return trial_nframe(c, r); }) << "],\n";
    } else {
        out << "    \"nFrame\": " << nframe_text(c) << ",\n";
    }
    out << "    \"rolloffFactor\": " << format_value(c.shaping.rolloffFactor) << ",\n";
    out << "    \"pulseDelay\": " << format_value(c.shaping.pulseDelay) << ",\n";
    out << "    \"oversamplingFactor\": " << format_value(c.shaping.oversamplingFactor) << ",\n";
    out << "    \"conditions\": [";
    for (std::size_t i = 0; i < c.conditions.size(); ++i) {
        out << (i > 0 ? ", " : "") << json_string(c.conditions[i]);
    }
    out << "],\n    \"esno_db\": [";
    for (std::size_t i = 0; i < c.esno.size(); ++i) {
        out << (i > 0 ? ", " : "") << format_value(c.esno[i]);
    }
    out << "],\n    \"snr3k_db\": [";
    for (std::size_t i = 0; i < c.esno.size(); ++i) {
        out << (i > 0 ? ", " : "") << format_value(c.esno[i] - kSnr3kOffset);
    }
    out << "],\n    \"points_given_as\": " << json_string(c.snr3kAxis ? "snr3k" : "esno");
    out << ",\n    \"receivers\": [";
    for (std::size_t i = 0; i < c.receivers.size(); ++i) {
        out << (i > 0 ? ", " : "") << json_string(receiver_name(c.receivers[i]));
    }
    out << "],\n    \"metric\": " << json_string(metric_name(c.metric));
    out << ",\n    \"stop_on\": " << json_string(stop_on_name(c.stopOn));
    out << ",\n    \"min_trials\": " << c.minTrials << ",\n    \"min_events\": " << c.minEvents
        << ",\n    \"min_errors\": " << c.minErrors << ",\n    \"max_bits\": " << c.maxBits;
    if (c.floor > 0) out << ",\n    \"floor\": " << format_value(c.floor);
    out << ",\n    \"seed\": " << c.seed << ",\n    \"threads\": " << result.threads
        << ",\n    \"ranks\": " << result.ranks << "\n  },\n";
    out << "  \"trials_from_checkpoint\": " << result.knownTrials << ",\n";
    out << "  \"interrupted\": " << (result.interrupted ? "true" : "false") << ",\n";
    out << "  \"wall_seconds\": " << fixed(result.wallSeconds, 3) << ",\n  \"points\": [";
    for (std::size_t i = 0; i < result.points.size(); ++i) {
        const PointResult& p = result.points[i];
        const Interval ci = p.interval();
        out << (i > 0 ? "," : "") << "\n    {";
        if (shows_rate(c)) out << "\"rate\": " << format_value(p.dataRate) << ", ";
        out << "\"condition\": " << json_string(p.condition)
            << ", \"esno_db\": " << format_value(p.esno)
            << ", \"snr3k_db\": " << format_value(p.esno - kSnr3kOffset)
            << ", \"trials\": " << p.trials << ", \"bits\": " << p.bits
            << ", \"errors\": " << p.errors << ", \"events\": " << p.events
            << ", \"ber\": " << sci(p.rate()) << ", \"ci95_low\": " << sci(ci.low)
            << ", \"ci95_high\": " << sci(ci.high) << ", \"sync_misses\": " << p.syncMisses
            << ", \"seconds\": " << fixed(p.seconds, 3)
            << ", \"stop\": " << json_string(stop_reason_name(p.stop)) << ", \"receivers\": {";
        for (std::size_t k = 0; k < c.receivers.size(); ++k) {
            const ReceiverCounts& n = p.of(c.receivers[k]);
            const Interval rci = receiver_interval(p, c.receivers[k], Metric::decoded);
            out << (k > 0 ? ", " : "") << json_string(receiver_name(c.receivers[k]))
                << ": {\"coded_bits\": " << n.codedBits << ", \"coded_errors\": " << n.codedErrors
                << ", \"coded_ber\": " << sci(ratio(n.codedErrors, n.codedBits))
                << ", \"info_bits\": " << n.infoBits << ", \"info_errors\": " << n.infoErrors
                << ", \"ber\": " << sci(ratio(n.infoErrors, n.infoBits))
                << ", \"ci95_low\": " << sci(rci.low) << ", \"ci95_high\": " << sci(rci.high)
                << ", \"error_trials\": " << receiver_events(p, c.receivers[k], Metric::decoded)
                << ", \"blocks\": " << n.blocks << ", \"block_errors\": " << n.blockErrors
                << ", \"bler\": " << sci(ratio(n.blockErrors, n.blocks)) << "}";
        }
        out << "}}";
    }
    out << "\n  ]\n}\n";
}

std::string gnuplot_quote(const std::string& s) {
    std::string out = "'";
    for (const char ch : s) {
        out += ch;
        if (ch == '\'') out += '\'';  // a quote inside single quotes is written twice
    }
    return out + "'";
}

std::string sweep_plot_script(const std::string& file, const SweepConfig& c,
                              const SweepResult& result, bool snr3kAxis,
                              const std::string& output) {
    const bool decoded = c.metric == Metric::decoded;
    const double shift = snr3kAxis ? kSnr3kOffset : 0.0;  // x = Es/N0 - shift
    const bool png = file.size() >= 4 && file.compare(file.size() - 4, 4, ".png") == 0;
    std::ostringstream s;
    s << (png ? "set terminal pngcairo size 1100,750 enhanced font 'sans,11'\n"
              : "set terminal svg size 1100,750 dynamic enhanced font 'sans,12'\n");
    s << "set output " << gnuplot_quote(output.empty() ? file : output) << '\n';

    // The lowest rate worth showing: a decade below the smallest measured rate or lower bound.
    double floor_rate = 1.0;
    for (const PointResult& p : result.points) {
        for (const ReceiverKind r : c.receivers) {
            const double rate = receiver_rate(p, r, c.metric);
            if (rate > 0) {
                const double low = receiver_interval(p, r, c.metric).low;
                floor_rate = std::min(floor_rate, low > 0 ? low : rate / 10);
            }
        }
    }
    floor_rate = std::max(1e-7, std::pow(10.0, std::floor(std::log10(floor_rate)) - 1));
    double lo = c.esno.front();
    double hi = c.esno.front();
    for (const double e : c.esno) {
        lo = std::min(lo, e);
        hi = std::max(hi, e);
    }
    if (hi == lo) hi = lo + 1;

    s << "$theory << EOD\n";
    for (int k = 0; k <= 200; ++k) {
        const double e = lo + (hi - lo) * k / 200.0;
        const double ber = ber_8psk_gray(e);
        if (ber >= floor_rate / 10) s << e - shift << ' ' << ber << '\n';
    }
    s << "EOD\n";
    struct Curve {
        std::string block, title;
        int colour;
        bool genie;
    };
    std::vector<Curve> curves;
    for (std::size_t key = 0; key < c.rates.size() * c.conditions.size(); ++key) {
        const double at_rate = c.rates[key / c.conditions.size()];
        const std::size_t ci = key;  // a colour per curve of a rate and condition
        const std::string& name = c.conditions[key % c.conditions.size()];
        for (const ReceiverKind r : c.receivers) {
            bool any = false;
            std::ostringstream block;
            for (const PointResult& p : result.points) {
                if (p.condition != name || p.dataRate != at_rate) continue;
                const double rate = receiver_rate(p, r, c.metric);
                const Interval ci95 = receiver_interval(p, r, c.metric);
                // A point without errors has no place on a logarithmic axis; its upper bound does.
                block << p.esno - shift << ' ';
                if (rate > 0) {
                    block << rate;
                } else {
                    block << "NaN";
                }
                block << ' ' << ci95.low << ' ' << ci95.high << '\n';
                any = true;
            }
            if (!any) continue;
            std::string title = (shows_rate(c) ? format_value(at_rate) + " bit/s " : "") + name +
                                " " + receiver_name(r);
            if (name == "awgn" && decoded) title += " (simulated white-noise reference)";
            curves.push_back(
                {block.str(), title, static_cast<int>(ci) + 1, r == ReceiverKind::genie});
        }
    }
    for (std::size_t k = 0; k < curves.size(); ++k) {
        s << "$c" << k << " << EOD\n" << curves[k].block << "EOD\n";
    }

    s << "set logscale y\nset format y '10^{%L}'\nset grid\n";
    s << "set xrange [" << lo - shift - 0.5 << ':' << hi - shift + 0.5 << "]\n";
    s << "set yrange [" << floor_rate << ":1]\n";
    s << "set xlabel "
      << (snr3kAxis ? "'SNR in 3 kHz (dB)   (E_s/N_0 = SNR + 0.97 dB)'" : "'E_s/N_0 (dB)'")
      << "\nset ylabel "
      << (decoded ? "'decoded information-bit error rate'" : "'coded-bit error rate'") << '\n';
    s << "set title "
      << gnuplot_quote("hfchain: " + format_value(c.interLen) +
                       " s interleaver, M = " + format_value(c.shaping.oversamplingFactor) +
                       ", roll-off " + format_value(c.shaping.rolloffFactor) +
                       ", D = " + format_value(c.shaping.pulseDelay) +
                       "; genie dashed; bars: 95 % intervals over trials")
      << '\n';
    s << "set key bottom left box opaque font '," << (png ? 9 : 10) << "' spacing 0.9\n";
    s << "set bars small\n";
    s << "plot $theory using 1:2 with lines dashtype 3 linewidth 2 linecolor rgb 'gray40' title "
      << (decoded ? "'Gray 8-PSK on white noise: coded bits before decoding (theory)'"
                  : "'Gray 8-PSK on white noise (theory)'");
    for (std::size_t k = 0; k < curves.size(); ++k) {
        s << ", \\\n     $c" << k << " using 1:2:3:4 with yerrorlines linewidth 1.5 linecolor "
          << curves[k].colour << " dashtype " << (curves[k].genie ? 2 : 1) << " pointtype "
          << (curves[k].genie ? 6 : 7) << " pointsize 0.7 title " << gnuplot_quote(curves[k].title)
          << " noenhanced";
    }
    s << "\nset output\n";
    return s.str();
}

void run_gnuplot(const std::string& script, const std::string& what) {
    std::FILE* pipe = ::popen("gnuplot", "w");
    if (pipe == nullptr) raise(errid::kWriteFailed, what + ": gnuplot could not be started");
    std::fwrite(script.data(), 1, script.size(), pipe);
    const int status = ::pclose(pipe);
    if (status != 0)
        raise(errid::kWriteFailed,
              what + ": gnuplot failed (status " + std::to_string(status) + ")");
}

void check_picture(const std::string& written, const std::string& what) {
    // gnuplot does not report failed writes; a picture is whole when its format's last piece is
    // there.
    std::ifstream in(written, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    std::string tail(static_cast<std::size_t>(std::clamp<std::streamoff>(size, 0, 16)), '\0');
    if (size > 0) {
        in.seekg(size - static_cast<std::streamoff>(tail.size()));
        in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    }
    const bool whole =
        in && (tail.find("</svg>") != std::string::npos || tail.find("IEND") != std::string::npos);
    if (!whole) {
        raise(errid::kWriteFailed,
              what + ": the picture gnuplot wrote is incomplete (is the disk full?)");
    }
}

bool gnuplot_available() { return std::system("gnuplot --version >/dev/null 2>&1") == 0; }

void plot_sweep(const std::string& file, const std::string& name, const SweepConfig& config,
                const SweepResult& result, bool snr3kAxis) {
    ResultFile picture(name, file);
    run_gnuplot(sweep_plot_script(file, config, result, snr3kAxis, picture.path()),
                name + " " + file);
    check_picture(picture.path(), name + " " + file);
    picture.commit();
}

}  // namespace hfchain::sweep
