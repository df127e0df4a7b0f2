#include "sweep/columns.hpp"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "params/waveform.hpp"
#include "runtime/checks.hpp"

namespace hfchain::sweep {

namespace {

using Kind = ColumnKind;
using Config = SweepConfig;
using Point = PointResult;

ColumnValue text(std::string v) { return {std::move(v), 0, 0}; }
ColumnValue whole(std::int64_t v) { return {{}, v, 0}; }
ColumnValue real(double v) { return {{}, 0, v}; }

double ratio(std::int64_t errors, std::int64_t total) {
    return total > 0 ? static_cast<double>(errors) / static_cast<double>(total) : 0.0;
}

std::int64_t condition_number(const Config& c, const std::string& name) {
    const auto& list = c.conditions;
    return std::find(list.begin(), list.end(), name) - list.begin() + 1;
}

constexpr unsigned kFiles = kInCsv | kInJson | kInPython;
constexpr unsigned kCounted = kInTable | kInCsv | kInPython;  // not in the JSON's point

const Column kPointColumns[] = {
    {"rate", Kind::real, kOfAcquisition | kEverywhere, 6, "%7.0f", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) { return real(p.dataRate); }},
    {"cond", Kind::whole, kOfAcquisition | kInTable, 5, "%6lld", RealText::shortest,
     [](const Config& c, const Point& p, ReceiverKind) {
         return whole(condition_number(c, p.condition));
     }},
    {"condition", Kind::text, kOfAcquisition | kFiles, 0, nullptr, RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) { return text(p.condition); }},
    {"esno_db", Kind::real, kOfAcquisition | kEverywhere, 8, " %7.2f", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) { return real(p.esno); }},
    {"snr3k_db", Kind::real, kOfAcquisition | kEverywhere, 9, " %8.2f", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) { return real(snr3k_of_esno(p.esno)); }},
    {"trials", Kind::whole, kOfAcquisition | kEverywhere, 9, " %8lld", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) { return whole(p.trials); }},
    {"coded_bits", Kind::whole, kCounted, 13, " %12lld", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind r) { return whole(p.of(r).codedBits); }},
    {"info_bits", Kind::whole, kCounted, 13, " %12lld", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind r) { return whole(p.of(r).infoBits); }},
    {"blocks", Kind::whole, kCounted, 9, " %8lld", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind r) { return whole(p.of(r).blocks); }},
    {"sync_misses", Kind::whole, kEverywhere, 12, " %11lld", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) { return whole(p.syncMisses); }},
    {"events", Kind::whole, kOfAcquisition | kFiles, 0, nullptr, RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) { return whole(p.events); }},
    {"bits", Kind::whole, kInJson | kInPython, 0, nullptr, RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) { return whole(p.bits); }},
    {"errors", Kind::whole, kInJson | kInPython, 0, nullptr, RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) { return whole(p.errors); }},
    {"ber", Kind::real, kInJson | kInPython, 0, nullptr, RealText::mantissa,
     [](const Config&, const Point& p, ReceiverKind) { return real(p.rate()); }},
    {"ci95_low", Kind::real, kInJson | kInPython, 0, nullptr, RealText::mantissa,
     [](const Config&, const Point& p, ReceiverKind) { return real(p.interval().low); }},
    {"ci95_high", Kind::real, kInJson | kInPython, 0, nullptr, RealText::mantissa,
     [](const Config&, const Point& p, ReceiverKind) { return real(p.interval().high); }},
    {"few_events", Kind::whole, kInJson | kInPython, 0, nullptr, RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) {
         return whole(rests_on_few_events(p.spread.events) ? 1 : 0);
     }},
};

// In the order of the JSON's receivers; those only in the JSON are the counts the table gives
// once for the point.
const Column kReceiverColumns[] = {
    {"_coded_bits", Kind::whole, kInJson, 0, nullptr, RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind r) { return whole(p.of(r).codedBits); }},
    {"_coded_errors", Kind::whole, kEverywhere, 0, " %12lld", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind r) { return whole(p.of(r).codedErrors); }},
    {"_coded_ber", Kind::real, kEverywhere, 0, " %11.4e", RealText::mantissa,
     [](const Config&, const Point& p, ReceiverKind r) {
         return real(ratio(p.of(r).codedErrors, p.of(r).codedBits));
     }},
    {"_info_bits", Kind::whole, kInJson, 0, nullptr, RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind r) { return whole(p.of(r).infoBits); }},
    {"_info_errors", Kind::whole, kEverywhere, 0, " %12lld", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind r) { return whole(p.of(r).infoErrors); }},
    {"_ber", Kind::real, kEverywhere, 0, " %11.4e", RealText::mantissa,
     [](const Config&, const Point& p, ReceiverKind r) {
         return real(ratio(p.of(r).infoErrors, p.of(r).infoBits));
     }},
    {"_ci95_low", Kind::real, kEverywhere, 0, " %11.4e", RealText::mantissa,
     [](const Config&, const Point& p, ReceiverKind r) {
         return real(receiver_interval(p, r, Metric::decoded).low);
     }},
    {"_ci95_high", Kind::real, kEverywhere, 0, " %11.4e", RealText::mantissa,
     [](const Config&, const Point& p, ReceiverKind r) {
         return real(receiver_interval(p, r, Metric::decoded).high);
     }},
    {"_error_trials", Kind::whole, kInJson | kInPython, 0, nullptr, RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind r) {
         return whole(receiver_events(p, r, Metric::decoded));
     }},
    // 1 when R_ci95_low .. R_ci95_high rests on too few error events to be trusted.
    {"_few_events", Kind::whole, kFiles | kInTableNote, 0, nullptr, RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind r) {
         return whole(rests_on_few_events(receiver_events(p, r, Metric::decoded)) ? 1 : 0);
     }},
    {"_blocks", Kind::whole, kInJson, 0, nullptr, RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind r) { return whole(p.of(r).blocks); }},
    {"_block_errors", Kind::whole, kEverywhere, 0, " %8lld", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind r) { return whole(p.of(r).blockErrors); }},
    {"_bler", Kind::real, kEverywhere, 0, " %11.4e", RealText::mantissa,
     [](const Config&, const Point& p, ReceiverKind r) {
         return real(ratio(p.of(r).blockErrors, p.of(r).blocks));
     }},
};

const Column kClosingColumns[] = {
    {"seconds", Kind::real, kOfAcquisition | kEverywhere, 0, " %10.2f", RealText::milli,
     [](const Config&, const Point& p, ReceiverKind) { return real(p.seconds); }},
    {"stop", Kind::text, kOfAcquisition | kFiles, 0, nullptr, RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) { return text(stop_reason_name(p.stop)); }},
};

// A class's share (0 right, 1 wrong mode, 2 missed) and its interval's ends.
template <int kind>
ColumnValue share(const Config&, const Point& p, ReceiverKind) {
    return real(acquisition_share(p, kind));
}
template <int kind>
ColumnValue share_low(const Config&, const Point& p, ReceiverKind) {
    return real(acquisition_interval(p, kind).low);
}
template <int kind>
ColumnValue share_high(const Config&, const Point& p, ReceiverKind) {
    return real(acquisition_interval(p, kind).high);
}

const Column kAcquisitionColumns[] = {
    {"right", Kind::real, kEverywhere, 9, " %8.4f", RealText::shortest, share<0>},
    {"right_ci95_low", Kind::real, kEverywhere, 15, " %14.4f", RealText::shortest, share_low<0>},
    {"right_ci95_high", Kind::real, kEverywhere, 16, " %15.4f", RealText::shortest, share_high<0>},
    {"wrong_mode", Kind::real, kEverywhere, 11, " %10.4f", RealText::shortest, share<1>},
    {"wrong_mode_ci95_low", Kind::real, kEverywhere, 20, " %19.4f", RealText::shortest,
     share_low<1>},
    {"wrong_mode_ci95_high", Kind::real, kEverywhere, 21, " %20.4f", RealText::shortest,
     share_high<1>},
    {"missed", Kind::real, kEverywhere, 9, " %8.4f", RealText::shortest, share<2>},
    {"missed_ci95_low", Kind::real, kEverywhere, 16, " %15.4f", RealText::shortest, share_low<2>},
    {"missed_ci95_high", Kind::real, kEverywhere, 17, " %16.4f", RealText::shortest, share_high<2>},
    {"false_detections", Kind::whole, kEverywhere, 17, " %16lld", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) {
         return whole(p.acquisition.falseDetections);
     }},
    {"hours", Kind::real, kEverywhere, 10, " %9.3f", RealText::milli,
     [](const Config&, const Point& p, ReceiverKind) {
         return real(p.acquisition.searched / 3600);
     }},
    {"false_per_hour", Kind::real, kEverywhere, 15, " %14.4f", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) { return real(false_per_hour(p)); }},
    {"false_per_hour_ci95_low", Kind::real, kEverywhere, 24, " %23.4f", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) {
         return real(false_per_hour_interval(p).low);
     }},
    {"false_per_hour_ci95_high", Kind::real, kEverywhere, 25, " %24.4f", RealText::shortest,
     [](const Config&, const Point& p, ReceiverKind) {
         return real(false_per_hour_interval(p).high);
     }},
};

}  // namespace

std::span<const Column> point_columns() { return kPointColumns; }
std::span<const Column> acquisition_columns() { return kAcquisitionColumns; }
std::span<const Column> receiver_columns() { return kReceiverColumns; }
std::span<const Column> closing_columns() { return kClosingColumns; }

const Column* find_point_column(const std::string& name) {
    for (const auto list : {point_columns(), closing_columns()}) {
        for (const Column& c : list) {
            if (name == c.name) return &c;
        }
    }
    return nullptr;
}

ReceiverKind first_receiver(const SweepConfig& config) {
    return config.receivers.empty() ? ReceiverKind::baseline : config.receivers.front();
}

std::string column_text(const Column& column, const ColumnValue& value) {
    if (column.kind == ColumnKind::text) return value.text;
    if (column.kind == ColumnKind::whole) return std::to_string(value.whole);
    char buf[64];
    switch (column.text) {
        case RealText::mantissa:
            std::snprintf(buf, sizeof buf, "%.4e", value.real);
            return buf;
        case RealText::milli:
            std::snprintf(buf, sizeof buf, "%.3f", value.real);
            return buf;
        case RealText::shortest:
            break;
    }
    return format_value(value.real);
}

}  // namespace hfchain::sweep
