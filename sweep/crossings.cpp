#include "sweep/crossings.hpp"

#include <cmath>
#include <cstdio>
#include <optional>

#include "params/waveform.hpp"
#include "runtime/checks.hpp"

namespace hfchain::sweep {

Crossing find_crossing(const std::vector<double>& x, const std::vector<double>& rate,
                       double target) {
    const std::size_t n = std::min(x.size(), rate.size());
    if (n == 0) return {};
    std::optional<std::size_t> previous;
    for (std::size_t i = 0; i < n; ++i) {
        if (!(rate[i] > 0)) continue;
        if (previous && rate[*previous] >= target && rate[i] < target) {
            const double a = std::log10(rate[*previous]);
            const double b = std::log10(rate[i]);
            const double f = (std::log10(target) - a) / (b - a);
            return {Crossing::Kind::at, x[*previous] + f * (x[i] - x[*previous]), *previous, i};
        }
        previous = i;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (rate[i] < target) {
            return {i == 0 ? Crossing::Kind::below_from_start : Crossing::Kind::fell_to_zero, x[i],
                    i, i};
        }
    }
    return {Crossing::Kind::not_reached, x[n - 1], n - 1, n - 1};
}

bool rests_on_few_events(const Crossing& crossing, const std::vector<const PointResult*>& points,
                         ReceiverKind receiver, Metric metric) {
    if (crossing.kind == Crossing::Kind::none || crossing.last >= points.size()) return false;
    return rests_on_few_events(receiver_events(*points[crossing.first], receiver, metric)) ||
           rests_on_few_events(receiver_events(*points[crossing.last], receiver, metric));
}

std::string one_decimal(double v) {
    char buf[32];
    // Rounded first, so that a gap a hair below zero reads 0.0, not -0.0.
    std::snprintf(buf, sizeof buf, "%.1f", std::round(v * 10) / 10 + 0.0);
    return buf;
}

std::string crossing_text(const Crossing& c) {
    switch (c.kind) {
        case Crossing::Kind::at:
            return one_decimal(c.x);
        case Crossing::Kind::below_from_start:
            return "< " + one_decimal(c.x);
        case Crossing::Kind::fell_to_zero:
            return "<= " + one_decimal(c.x);
        case Crossing::Kind::not_reached:
            return "> " + one_decimal(c.x);
        case Crossing::Kind::none:
            break;
    }
    return "-";
}

std::string target_text(double target) {
    int exponent = static_cast<int>(std::floor(std::log10(target)));
    double mantissa = target / std::pow(10.0, exponent);
    if (mantissa >= 10 - 1e-9) {  // log10 a hair below a whole power of ten
        mantissa /= 10;
        ++exponent;
    }
    char buf[32];
    if (std::fabs(mantissa - std::round(mantissa)) < 1e-9) mantissa = std::round(mantissa);
    std::snprintf(buf, sizeof buf, "%.3ge%d", mantissa, exponent);
    return buf;
}

std::string crossings_legend(const SweepConfig& config, bool snr3kAxis) {
    return std::string("crossings: ") + (snr3kAxis ? "SNR in 3 kHz" : "Es/N0") +
           " (dB) at which each receiver's " +
           (config.metric == Metric::decoded ? "decoded information-bit" : "coded-bit") +
           " error rate falls to the target, by straight lines in log10(rate) between the "
           "bracketing points ('< X': below it from the first point X; '<= X': fell to no error "
           "by X; '> X': not reached by X); gap: to the genie; '*': resting on a point whose "
           "interval rests "
           "on fewer than " +
           std::to_string(kFewEvents) + " error events";
}

std::vector<CrossingEntry> crossing_entries(const SweepConfig& config, const SweepResult& result,
                                            const std::vector<double>& targets, bool snr3kAxis) {
    const auto& receivers = config.receivers;
    std::vector<CrossingEntry> entries;
    for (std::size_t key = 0; key < config.rates.size() * config.conditions.size(); ++key) {
        const double at_rate = config.rates[key / config.conditions.size()];
        const std::string& condition = config.conditions[key % config.conditions.size()];
        std::vector<const PointResult*> points;
        for (const PointResult& p : result.points) {
            if (p.condition == condition && p.dataRate == at_rate) points.push_back(&p);
        }
        if (points.empty()) continue;
        std::vector<double> x;
        for (const PointResult* p : points)
            x.push_back(snr3kAxis ? snr3k_of_esno(p->esno) : p->esno);
        for (const double t : targets) {
            const std::size_t first = entries.size();
            const CrossingEntry* bound = nullptr;  // the genie's
            for (const ReceiverKind r : receivers) {
                std::vector<double> rate;
                for (const PointResult* p : points) {
                    rate.push_back(receiver_rate(*p, r, config.metric));
                }
                CrossingEntry e;
                e.dataRate = at_rate;
                e.condition = condition;
                e.target = t;
                e.receiver = r;
                e.crossing = find_crossing(x, rate, t);
                e.fewEvents = rests_on_few_events(e.crossing, points, r, config.metric);
                entries.push_back(std::move(e));
            }
            for (std::size_t k = first; k < entries.size(); ++k) {
                if (entries[k].receiver == ReceiverKind::genie) bound = &entries[k];
            }
            if (bound == nullptr) continue;
            for (std::size_t k = first; k < entries.size(); ++k) {
                CrossingEntry& e = entries[k];
                if (&e == bound) continue;
                if (e.crossing.kind == Crossing::Kind::at &&
                    bound->crossing.kind == Crossing::Kind::at) {
                    e.gap = e.crossing.x - bound->crossing.x;
                }
                e.gapFewEvents = e.fewEvents || bound->fewEvents;
            }
        }
    }
    return entries;
}

CrossingTable crossing_table(const SweepConfig& config, const SweepResult& result,
                             const std::vector<double>& targets, bool snr3kAxis) {
    const auto& receivers = config.receivers;
    std::vector<ReceiverKind> gapped;  // the receivers measured against the genie
    bool genie = false;
    for (const ReceiverKind r : receivers) genie = genie || r == ReceiverKind::genie;
    for (const ReceiverKind r : receivers) {
        if (genie && r != ReceiverKind::genie) gapped.push_back(r);
    }
    const auto gap_title = [&](ReceiverKind r) {
        return gapped.size() == 1 ? std::string("gap") : std::string(receiver_name(r)) + " gap";
    };

    CrossingTable table;
    table.keys = shows_rate(config) ? 2 : 1;
    if (table.keys == 2) table.head.push_back("rate");
    table.head.push_back("condition");
    for (const double t : targets) {
        for (const ReceiverKind r : receivers) {
            table.head.push_back(std::string(receiver_name(r)) + " @" + target_text(t));
        }
        for (const ReceiverKind r : gapped) table.head.push_back(gap_title(r));
    }

    const std::vector<CrossingEntry> entries = crossing_entries(config, result, targets, snr3kAxis);
    const std::size_t per_target = receivers.size();
    const std::size_t per_row = per_target * targets.size();
    for (std::size_t first = 0; per_row > 0 && first < entries.size(); first += per_row) {
        std::vector<std::string>& row = table.rows.emplace_back();
        if (table.keys == 2) row.push_back(format_value(entries[first].dataRate));
        row.push_back(entries[first].condition);
        for (std::size_t t = first; t < first + per_row; t += per_target) {
            for (std::size_t k = t; k < t + per_target; ++k) {
                row.push_back(crossing_text(entries[k].crossing) +
                              (entries[k].fewEvents ? "*" : ""));
            }
            for (const ReceiverKind r : gapped) {
                std::size_t k = t;
                while (entries[k].receiver != r) ++k;
                const CrossingEntry& e = entries[k];
                row.push_back(e.gap ? one_decimal(*e.gap) + (e.gapFewEvents ? "*" : "")
                                    : std::string("-"));
            }
        }
    }
    return table;
}

void write_crossings(std::ostream& out, const SweepConfig& config, const SweepResult& result,
                     const std::vector<double>& targets, bool snr3kAxis,
                     const std::string& prefix) {
    const CrossingTable table = crossing_table(config, result, targets, snr3kAxis);
    out << prefix << "| interleaver |";
    for (const std::string& h : table.head) out << ' ' << h << " |";
    out << '\n' << prefix << "|---|";
    for (std::size_t k = 0; k < table.head.size(); ++k) out << "---|";
    out << '\n';
    char interleaver[32];
    std::snprintf(interleaver, sizeof interleaver, "%.1f s", config.interLen);
    for (const std::vector<std::string>& row : table.rows) {
        out << prefix << "| " << interleaver << " |";
        for (const std::string& cell : row) out << ' ' << cell << " |";
        out << '\n';
    }
}

}  // namespace hfchain::sweep
