#include "apps/report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "apps/output_file.hpp"
#include "chain/theory.hpp"
#include "runtime/checks.hpp"

namespace hfchain::app {

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

int condition_number(const SweepOptions& options, const std::string& name) {
    const auto& c = options.config.conditions;
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

}  // namespace

void write_table(std::ostream& out, const SweepOptions& options, const SweepResult& result,
                 const std::string& version) {
    const SweepConfig& c = options.config;
    out << "# hfchain " << version << " sweep: coded-bit error rate against Es/N0\n";
    out << "# interleaver " << format_value(c.interLen) << " s, nFrame " << format_value(c.nFrame)
        << " interleaver blocks per trial\n";
    out << "# rolloffFactor " << format_value(c.shaping.rolloffFactor) << ", pulseDelay "
        << format_value(c.shaping.pulseDelay) << " symbols, oversamplingFactor "
        << format_value(c.shaping.oversamplingFactor) << " samples per symbol\n";
    out << "# conditions:";
    for (std::size_t i = 0; i < c.conditions.size(); ++i) {
        out << ' ' << i + 1 << '=' << c.conditions[i];
    }
    out << "\n# Es/N0 (dB): " << esno_list(c.esno) << '\n';
    out << "# each point: at least " << c.minTrials << " trials, then stop at " << c.minErrors
        << " errors or " << c.maxBits << " coded bits\n";
    out << "# base seed " << c.seed << " (trial seeds from seed, condition, Es/N0, trial)\n";
    out << "# 95 % interval: Wilson score; sync_misses: trials whose frame start was not the "
           "expected sample\n";
    out << "# threads " << result.threads;
    if (result.ranks > 1) out << " in " << result.ranks << " processes";
    out << ", wall time " << fixed(result.wallSeconds, 1) << " s";
    if (result.knownTrials > 0) out << ", " << result.knownTrials << " trials from the checkpoint";
    out << (result.interrupted ? ", INTERRUPTED: unfinished points end early" : "") << '\n';
    out << "# cond esno_db   trials         bits     errors         ber    ci95_low   ci95_high "
           "sync_misses  seconds\n";
    for (const PointResult& p : result.points) {
        const Interval ci = p.interval();
        char line[256];
        std::snprintf(
            line, sizeof line, "%6d %7.2f %8lld %12lld %10lld %11.4e %11.4e %11.4e %11lld %8.2f",
            condition_number(options, p.condition), p.esno, static_cast<long long>(p.trials),
            static_cast<long long>(p.bits), static_cast<long long>(p.errors), p.rate(), ci.low,
            ci.high, static_cast<long long>(p.syncMisses), p.seconds);
        out << line;
        if (p.stop == StopReason::interrupted) out << "  # interrupted";
        out << '\n';
    }
}

void write_csv(std::ostream& out, const SweepResult& result) {
    out << "condition,esno_db,trials,bits,errors,ber,ci95_low,ci95_high,sync_misses,seconds,stop\n";
    for (const PointResult& p : result.points) {
        const Interval ci = p.interval();
        out << p.condition << ',' << format_value(p.esno) << ',' << p.trials << ',' << p.bits << ','
            << p.errors << ',' << sci(p.rate()) << ',' << sci(ci.low) << ',' << sci(ci.high) << ','
            << p.syncMisses << ',' << fixed(p.seconds, 3) << ',' << stop_reason_name(p.stop)
            << '\n';
    }
}

void write_json(std::ostream& out, const SweepOptions& options, const SweepResult& result,
                const std::string& version) {
    const SweepConfig& c = options.config;
    out << "{\n  \"version\": " << json_string(version) << ",\n  \"parameters\": {\n";
    out << "    \"interleaver_s\": " << format_value(c.interLen) << ",\n";
    out << "    \"nFrame\": " << format_value(c.nFrame) << ",\n";
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
    out << "],\n    \"min_trials\": " << c.minTrials << ",\n    \"min_errors\": " << c.minErrors
        << ",\n    \"max_bits\": " << c.maxBits << ",\n    \"seed\": " << c.seed
        << ",\n    \"threads\": " << result.threads << ",\n    \"ranks\": " << result.ranks
        << "\n  },\n";
    out << "  \"trials_from_checkpoint\": " << result.knownTrials << ",\n";
    out << "  \"interrupted\": " << (result.interrupted ? "true" : "false") << ",\n";
    out << "  \"wall_seconds\": " << fixed(result.wallSeconds, 3) << ",\n  \"points\": [";
    for (std::size_t i = 0; i < result.points.size(); ++i) {
        const PointResult& p = result.points[i];
        const Interval ci = p.interval();
        out << (i > 0 ? "," : "") << "\n    {\"condition\": " << json_string(p.condition)
            << ", \"esno_db\": " << format_value(p.esno) << ", \"trials\": " << p.trials
            << ", \"bits\": " << p.bits << ", \"errors\": " << p.errors
            << ", \"ber\": " << sci(p.rate()) << ", \"ci95_low\": " << sci(ci.low)
            << ", \"ci95_high\": " << sci(ci.high) << ", \"sync_misses\": " << p.syncMisses
            << ", \"seconds\": " << fixed(p.seconds, 3)
            << ", \"stop\": " << json_string(stop_reason_name(p.stop)) << "}";
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

std::string sweep_plot_script(const std::string& file, const SweepOptions& options,
                              const SweepResult& result, const std::string& output) {
    const SweepConfig& c = options.config;
    const bool png = file.size() >= 4 && file.compare(file.size() - 4, 4, ".png") == 0;
    std::ostringstream s;
    s << (png ? "set terminal pngcairo size 1000,700 enhanced font 'sans,11'\n"
              : "set terminal svg size 1000,700 dynamic enhanced font 'sans,12'\n");
    s << "set output " << gnuplot_quote(output.empty() ? file : output) << '\n';

    // The lowest rate worth showing: a decade below the smallest measured rate or lower bound.
    double floor_rate = 1.0;
    for (const PointResult& p : result.points) {
        if (p.errors > 0) floor_rate = std::min(floor_rate, p.interval().low);
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
        if (ber >= floor_rate / 10) s << e << ' ' << ber << '\n';
    }
    s << "EOD\n";
    std::vector<std::string> names;
    for (const std::string& name : c.conditions) {
        bool any = false;
        std::ostringstream block;
        for (const PointResult& p : result.points) {
            if (p.condition != name) continue;
            const Interval ci = p.interval();
            // A point without errors has no place on a logarithmic axis; its upper bound does.
            if (p.errors > 0) {
                block << p.esno << ' ' << p.rate() << ' ' << ci.low << ' ' << ci.high << '\n';
            } else {
                block << p.esno << " NaN " << ci.low << ' ' << ci.high << '\n';
            }
            any = true;
        }
        if (!any) continue;
        s << "$" << name << " << EOD\n" << block.str() << "EOD\n";
        names.push_back(name);
    }

    s << "set logscale y\nset format y '10^{%L}'\nset grid\n";
    s << "set xrange [" << lo - 0.5 << ':' << hi + 0.5 << "]\n";
    s << "set yrange [" << floor_rate << ":1]\n";
    s << "set xlabel 'E_s/N_0 (dB)'\nset ylabel 'coded-bit error rate'\n";
    s << "set title "
      << gnuplot_quote("hfchain: " + format_value(c.interLen) +
                       " s interleaver, M = " + format_value(c.shaping.oversamplingFactor) +
                       ", roll-off " + format_value(c.shaping.rolloffFactor) + ", D = " +
                       format_value(c.shaping.pulseDelay) + "; bars: 95 % Wilson intervals")
      << '\n';
    s << "set key bottom left box opaque\nset bars small\n";
    s << "plot $theory using 1:2 with lines dashtype 2 linewidth 2 linecolor rgb 'black' title "
         "'Gray 8-PSK on white noise (theory)'";
    for (const std::string& name : names) {
        s << ", \\\n     $" << name << " using 1:2:3:4 with yerrorlines linewidth 1.5 pointtype 7 "
          << "pointsize 0.7 title " << gnuplot_quote(name) << " noenhanced";
    }
    s << "\nset output\n";
    return s.str();
}

void run_gnuplot(const std::string& script, const std::string& what) {
    std::FILE* pipe = ::popen("gnuplot", "w");
    if (pipe == nullptr) throw OutputError(what + ": gnuplot could not be started");
    std::fwrite(script.data(), 1, script.size(), pipe);
    const int status = ::pclose(pipe);
    if (status != 0)
        throw OutputError(what + ": gnuplot failed (status " + std::to_string(status) + ")");
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
        throw OutputError(what + ": the picture gnuplot wrote is incomplete (is the disk full?)");
    }
}

void plot_sweep(const std::string& file, const SweepOptions& options, const SweepResult& result) {
    ResultFile picture("--plot", file);
    run_gnuplot(sweep_plot_script(file, options, result, picture.path()), "--plot " + file);
    check_picture(picture.path(), "--plot " + file);
    picture.commit();
}

}  // namespace hfchain::app
