#include "sweep/config.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "channel/channel_text.hpp"
#include "channel/conditions.hpp"
#include "params/modeconf.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "runtime/interrupts.hpp"
#include "shaping/rrc_fir.hpp"

namespace hfchain::sweep {

namespace {

// Zero bits the transmitter appends to bring the encoder back to its all-zero state.
constexpr double kFlushBits = 144;

// The largest whole number every count holds exactly as a double (2^53).
constexpr double kLargestCount = 9007199254740992.0;

// Most worker threads a sweep runs in one process.
constexpr int kMostThreads = 256;

std::string shown(double v) { return format_value(v); }

std::string fixed4(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", v);
    return buf;
}

std::string short_number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

[[noreturn]] void refuse(const FieldNames& names, std::string_view field, const std::string& what) {
    raise(errid::kInvalidConfig, field_name(names, field) + ": " + what);
}

}  // namespace

std::string field_name(const FieldNames& names, std::string_view field) {
    return names ? names(field) : std::string(field);
}

std::vector<std::string> condition_names() {
    std::vector<std::string> names;
    for (const WattersonCondition& c : kWattersonConditions) names.emplace_back(c.name);
    names.emplace_back(kAwgnCondition);
    return names;
}

std::vector<double> default_esno() {
    std::vector<double> esno;
    for (int snr = 0; snr <= 20; snr += 2) esno.push_back(esno_of_snr3k(snr));
    return esno;
}

bool is_condition(const std::string& name) {
    try {
        read_channel(name);
        return true;
    } catch (const Error&) {
        return false;
    }
}

std::string condition_list() { return preset_list() + ", or a written channel such as 2p:2ms:1Hz"; }

std::string canonical_condition(const std::string& name) {
    try {
        return read_channel(name).canonical;
    } catch (const Error&) {
        return name;
    }
}

double ray_delay_samples(const std::string& condition, double M) {
    const WattersonCondition* c = find_watterson_condition(condition);
    return c == nullptr ? 0.0 : M * (kSymbolRate * c->tau);
}

const char* receiver_name(ReceiverKind kind) {
    return kReceiverNames[static_cast<std::size_t>(kind)];
}

bool receiver_from_name(const std::string& name, ReceiverKind& kind) {
    for (std::size_t k = 0; k < kReceiverCount; ++k) {
        if (name == kReceiverNames[k]) {
            kind = static_cast<ReceiverKind>(k);
            return true;
        }
    }
    return false;
}

std::string receiver_list() {
    std::string s;
    for (const char* r : kReceiverNames) s += (s.empty() ? "" : ", ") + std::string(r);
    return s;
}

const char* metric_name(Metric metric) { return metric == Metric::coded ? "coded" : "decoded"; }

const char* stop_on_name(StopOn stopOn) { return stopOn == StopOn::first ? "first" : "all"; }

void check_interleaver(double interLen, const FieldNames& names) {
    if (interLen != 0.6 && interLen != 4.8) {
        refuse(names, "interLen",
               shown(interLen) + " s is not an interleaver length; accepted: 0.6 or 4.8");
    }
}

void check_nframe(double nFrame, double interLen, const FieldNames& names) {
    if (!std::isfinite(nFrame) || nFrame <= 0 || nFrame > 1e4) {
        refuse(names, "nFrame",
               shown(nFrame) +
                   " is not accepted; give a number of interleaver blocks above 0 and at most "
                   "10000");
    }
    // The transmitter sends T nFrame / 2 coded-bit pairs, 144 of them the encoder's flush: the
    // information bits that remain must be a whole number, at least 1.
    const Milstd milstd = modeconf(interLen);
    const double T = static_cast<double>(milstd.interTable.numel());
    const double K = T * nFrame / (2.0 * milstd.repFactor) - kFlushBits;
    if (K < 1 || K != std::floor(K)) {
        const double step = 2.0 * milstd.repFactor / T;
        const double smallest = (kFlushBits + 1) * step;
        refuse(names, "nFrame",
               shown(nFrame) + " blocks of " + shown(interLen) + " s would carry " +
                   short_number(K) +
                   " information bits besides the encoder's 144 flush bits; give a multiple of "
                   "1/" +
                   shown(1 / step) + " from " + fixed4(smallest) + " (" + shown(kFlushBits + 1) +
                   "/" + shown(1 / step) + ") up");
    }
}

void check_shaping(const VarShapping& s, const FieldNames& names) {
    if (!(s.rolloffFactor > 0 && s.rolloffFactor <= 1)) {
        refuse(names, "shaping.rolloffFactor",
               shown(s.rolloffFactor) + " is outside the accepted range (0, 1]");
    }
    if (!std::isfinite(s.pulseDelay) || s.pulseDelay < 1 || s.pulseDelay > 64 ||
        s.pulseDelay != std::floor(s.pulseDelay)) {
        refuse(names, "shaping.pulseDelay",
               shown(s.pulseDelay) +
                   " is not accepted; give a whole number of symbol periods from 1 to 64");
    }
    if (!std::isfinite(s.oversamplingFactor) || s.oversamplingFactor < 1 ||
        s.oversamplingFactor > 64 || s.oversamplingFactor != std::floor(s.oversamplingFactor)) {
        refuse(names, "shaping.oversamplingFactor",
               shown(s.oversamplingFactor) +
                   " is not accepted; give a whole number of samples per symbol from 1 to 64");
    }
    // The shaping blocks refuse a roll-off so small that the pulse's taps overflow (4.9e-324):
    // their own design decides it here too, before any work (a few thousand taps at most).
    try {
        shaping_filter(s.rolloffFactor, s.pulseDelay, s.oversamplingFactor, no_host());
    } catch (const Error&) {
        refuse(names, "shaping.rolloffFactor",
               shown(s.rolloffFactor) +
                   " is too small: the pulse's taps would overflow; give a roll-off in (0, 1] "
                   "such as 0.35");
    }
}

void check_ray_delay(const std::string& condition, double M, const FieldNames& names) {
    if (find_watterson_condition(condition) == nullptr && is_condition(condition)) {
        // Every path of another channel, in the same words.
        const HfChannel channel = read_channel(condition).channel;
        for (std::size_t p = 0; p < channel.paths.size(); ++p) {
            const double d = M * (kSymbolRate * channel.paths[p].delay);
            if (d != std::floor(d)) {
                refuse(names, "shaping.oversamplingFactor",
                       "with " + shown(M) + " samples per symbol path " + std::to_string(p + 1) +
                           " of '" + condition + "' would lie " + shown(d) +
                           " samples behind the start; give samples per symbol that make every "
                           "delay a whole number of samples");
            }
        }
        return;
    }
    const double d = ray_delay_samples(condition, M);
    if (d != std::floor(d)) {
        refuse(names, "shaping.oversamplingFactor",
               "with " + shown(M) + " samples per symbol the second ray of '" + condition +
                   "' would lie " + shown(d) +
                   " samples behind the first; 'bom', 'moderado' and 'ruim' need a multiple of "
                   "5 ('muito_ruim' and 'awgn' take any)");
    }
}

void check_point(double db, std::string_view field, const FieldNames& names) {
    if (!std::isfinite(db) || std::fabs(db) > 200) {
        refuse(names, field,
               shown(db) + " dB is not accepted; give finite values from -200 to 200 dB");
    }
}

void check_seed(double seed, std::string_view field, const FieldNames& names) {
    if (!(seed >= 0 && seed <= 4294967295.0) || seed != std::floor(seed)) {
        refuse(names, field,
               shown(seed) + " is not a seed; accepted: a whole number from 0 to 4294967295");
    }
}

std::int64_t check_count(double value, double minimum, std::string_view field,
                         const FieldNames& names) {
    if (value > kLargestCount) {
        refuse(names, field,
               shown(value) + " is not accepted; give a whole number from " + shown(minimum) +
                   " to " + shown(kLargestCount) + " (2^53, the largest held exactly)");
    }
    if (!(value >= minimum && value <= kLargestCount) || value != std::floor(value)) {
        refuse(
            names, field,
            shown(value) + " is not accepted; give a whole number of at least " + shown(minimum));
    }
    return static_cast<std::int64_t>(value);
}

void check_receivers(const std::vector<ReceiverKind>& receivers, const FieldNames& names) {
    if (receivers.empty()) {
        refuse(names, "receivers", "no receiver given; accepted: " + receiver_list());
    }
    for (std::size_t i = 0; i < receivers.size(); ++i) {
        if (std::find(receivers.begin(), receivers.begin() + static_cast<std::ptrdiff_t>(i),
                      receivers[i]) != receivers.begin() + static_cast<std::ptrdiff_t>(i)) {
            refuse(names, "receivers",
                   "'" + std::string(receiver_name(receivers[i])) + "' is named twice");
        }
    }
}

void check_condition(const std::string& name, const FieldNames& names) {
    ChannelChoice choice;
    try {
        choice = read_channel(name);
    } catch (const Error& e) {
        // A written channel's own fault; anything else is an unknown name.
        if (name.starts_with("paths=") ||
            (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0])))) {
            refuse(names, "conditions", e.message());
        }
        refuse(names, "conditions",
               "unknown condition '" + name + "'; accepted: " + condition_list());
    }
    if (choice.canonical != name) {
        refuse(names, "conditions",
               "'" + name + "' is the channel '" + choice.canonical +
                   "': give it in that spelling (canonical_condition makes it)");
    }
}

void check_config(const SweepConfig& c, const FieldNames& names) {
    check_interleaver(c.interLen, names);
    check_nframe(c.nFrame, c.interLen, names);
    check_shaping(c.shaping, names);
    if (c.conditions.empty()) {
        refuse(names, "conditions", "no condition given; accepted: " + condition_list());
    }
    for (const std::string& name : c.conditions) {
        check_condition(name, names);
        check_ray_delay(name, c.shaping.oversamplingFactor, names);
    }
    for (std::size_t i = 0; i < c.conditions.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (c.conditions[i] == c.conditions[j]) {
                refuse(names, "conditions", "'" + c.conditions[i] + "' is named twice");
            }
        }
    }
    if (c.esno.empty()) refuse(names, "esno", "no Es/N0 value given");
    // The points as they were given: a SNR in 3 kHz is checked as such.
    for (const double e : c.esno) check_point(c.snr3kAxis ? snr3k_of_esno(e) : e, "esno", names);
    check_receivers(c.receivers, names);
    for (const std::string& name : c.conditions) {
        try {
            check_hf_reach(read_channel(name).channel, c.receivers);
        } catch (const Error& e) {
            refuse(names, "receivers", "'" + name + "': " + e.message());
        }
    }
    check_count(static_cast<double>(c.minTrials), 1, "minTrials", names);
    check_count(static_cast<double>(c.minEvents), 1, "minEvents", names);
    check_count(static_cast<double>(c.minErrors), 1, "minErrors", names);
    check_count(static_cast<double>(c.maxBits), 1, "maxBits", names);
    if (!(c.floor >= 0 && c.floor <= 1)) {
        refuse(names, "floor",
               shown(c.floor) + " is not an error rate; give one from 0 (none) to 1");
    }
    // The points as they were given.
    const auto given = [&c](double esno) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.10g dB", c.snr3kAxis ? snr3k_of_esno(esno) : esno);
        return std::string(buf);
    };
    // A point given twice would run twice, as two lines of the table with the same trials.
    for (std::size_t i = 0; i < c.esno.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (c.esno[i] == c.esno[j]) refuse(names, "esno", given(c.esno[i]) + " is given twice");
        }
    }
    for (std::size_t i = 1; c.floor > 0 && i < c.esno.size(); ++i) {
        if (!(c.esno[i] > c.esno[i - 1])) {
            refuse(names, "floor",
                   "a curve ends at its first point below the floor, so its points must ascend; " +
                       given(c.esno[i]) + " comes after " + given(c.esno[i - 1]));
        }
    }
    check_count(c.threads, 0, "threads", names);
    if (c.threads > kMostThreads) {
        refuse(names, "threads", "at most " + std::to_string(kMostThreads) + " worker threads");
    }
}

}  // namespace hfchain::sweep
