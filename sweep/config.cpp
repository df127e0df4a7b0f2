#include "sweep/config.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "audio/airpath.hpp"
#include "channel/channel_text.hpp"
#include "channel/conditions.hpp"
#include "channel/impulses.hpp"
#include "params/modeconf.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "runtime/interrupts.hpp"
#include "shaping/rrc_fir.hpp"
#include "transmitter/bitbudget.hpp"

namespace hfchain::sweep {

namespace {

// The largest whole number every count holds exactly as a double (2^53).
constexpr double kLargestCount = 9007199254740992.0;

// Most worker threads a sweep runs in one process.
constexpr int kMostThreads = 256;
// The largest sound-card clock offset a sweep takes, ppm (clocktrack tells about 1950 apart).
constexpr double kMostClockPpm = 1000;

std::string shown(double v) { return format_value(v); }

std::string exact_number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// Encoder input bits one interleaver block holds at this parameter set, by the transmitter's own
// count (bit_budget): 10000 blocks, the most a trial takes, carry information bits at every rate.
double block_bits(const ModeParams& mode) {
    return static_cast<double>(bit_budget(mode, 1e4).total) / 1e4;
}

// True when the transmitter accepts `nFrame` blocks of `mode`.
bool budget_accepts(const ModeParams& mode, double nFrame) {
    try {
        bit_budget(mode, nFrame);
        return true;
    } catch (const Error&) {
        return false;
    }
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

const char* metric_name(Metric metric) {
    return metric == Metric::coded     ? "coded"
           : metric == Metric::decoded ? "decoded"
                                       : "acquisition";
}

const char* late_name(LateEntry late) {
    return late == LateEntry::none ? "none" : late == LateEntry::preamble ? "preamble" : "data";
}

StopRule acquisition_stop_rule() {
    StopRule rule;
    rule.metric = Metric::acquisition;
    rule.minTrials = 100;
    rule.minEvents = 100;
    rule.maxBits = 2000;
    return rule;
}

const char* stop_on_name(StopOn stopOn) { return stopOn == StopOn::first ? "first" : "all"; }

void check_interleaver(double interLen, const FieldNames& names) {
    if (interLen != 0.6 && interLen != 4.8) {
        refuse(names, "interLen",
               shown(interLen) + " s is not an interleaver length; accepted: 0.6 or 4.8");
    }
}

std::string rate_list() {
    std::string s;
    for (const double r : kDataRates) s += (s.empty() ? "" : ", ") + shown(r);
    return s;
}

void check_rate(double rate, double interLen, const FieldNames& names) {
    if (std::find(std::begin(kDataRates), std::end(kDataRates), rate) == std::end(kDataRates)) {
        refuse(names, "rates",
               shown(rate) + " bit/s is not a data rate of the waveform; accepted: " + rate_list());
    }
    check_interleaver(interLen, names);
    if (find_mode(rate, interLen) == nullptr) {
        refuse(names, "rates",
               "4800 bit/s is uncoded and has no " + shown(interLen) +
                   " s interleaver; give it with " + field_name(names, "interLen") + " 0.6");
    }
}

double rate_interleaver(double rate, double interLen) { return is_uncoded(rate) ? 0.6 : interLen; }

std::string interleaver_note(const SweepConfig& config) {
    for (const double rate : config.rates) {
        if (rate_interleaver(rate, config.interLen) != config.interLen) {
            return " (" + shown(rate) +
                   " bit/s: " + shown(rate_interleaver(rate, config.interLen)) +
                   " s, its only frame)";
        }
    }
    return {};
}

double default_nframe(double rate, double interLen) {
    const ModeParams mode = rateconf(rate, rate_interleaver(rate, interLen));
    const double B = block_bits(mode);
    return std::max(1.0, std::floor(static_cast<double>(kFlushBits) / B) + 1);
}

double flush_blocks(const ModeParams& mode) {
    return std::ceil(static_cast<double>(kFlushBits) / block_bits(mode));
}

double late_data_blocks(double rate, double interLen) {
    return flush_blocks(rateconf(rate, rate_interleaver(rate, interLen))) + 2;
}

double trial_nframe(const SweepConfig& config, double rate) {
    if (config.nFrame > 0) return config.nFrame;
    const double least =
        config.late == LateEntry::data ? late_data_blocks(rate, config.interLen) : 1;
    return std::max(least, default_nframe(rate, config.interLen));
}

std::string nframe_text(const SweepConfig& config) {
    std::vector<std::string> each;
    for (const double rate : config.rates) each.push_back(shown(trial_nframe(config, rate)));
    if (std::all_of(each.begin(), each.end(), [&](const std::string& v) { return v == each[0]; })) {
        return each.empty() ? shown(config.nFrame) : each[0];
    }
    std::string s;
    for (const std::string& v : each) s += (s.empty() ? "" : ",") + v;
    return s;
}

bool shows_rate(const SweepConfig& config) {
    return !(config.rates.size() == 1 && config.rates.front() == 2400);
}

void check_nframe(double nFrame, double rate, double interLen, const FieldNames& names) {
    if (!std::isfinite(nFrame) || nFrame <= 0 || nFrame > 1e4) {
        refuse(names, "nFrame",
               shown(nFrame) +
                   " is not accepted; give a number of interleaver blocks above 0 and at most "
                   "10000");
    }
    check_rate(rate, interLen, names);
    const ModeParams mode = rateconf(rate, interLen);
    if (budget_accepts(mode, nFrame)) return;
    // B encoder input bits fill a block, 144 of them the flush bits: nFrame B - 144 information
    // bits must be a whole number, at least 1. The multiples of 1 / 2^j, with 2^j the largest
    // power of two dividing B, are exact in binary, so their counts are whole without rounding.
    const double B = block_bits(mode);
    double dyadic = 1;
    while (std::fmod(B / (2 * dyadic), 1.0) == 0 && dyadic < 1024) dyadic *= 2;
    const double least = std::ceil((kFlushBits + 1) / B * dyadic) / dyadic;
    const std::string at = counted(nFrame, "block", "blocks") + " of " + shown(interLen) +
                           " s at " + shown(rate) + " bit/s ";
    const std::string exact =
        dyadic > 1 ? "a multiple of 1/" + shown(dyadic) + ", exact in binary" : "a whole number";
    const double K = nFrame * B - static_cast<double>(kFlushBits);
    if (K < 1) {
        refuse(names, "nFrame",
               at + (nFrame == 1 ? "carries" : "carry") +
                   " no information bit besides the encoder's " + shown(kFlushBits) +
                   " flush bits (a block holds " + shown(B) + " bits); give at least " +
                   shown(least) + " (" + exact + ")");
    }
    const double below = std::max(least, std::floor(nFrame * dyadic) / dyadic);
    const double above = std::max(least, std::ceil(nFrame * dyadic) / dyadic);
    refuse(names, "nFrame",
           at + "do not give a whole number of information bits: the transmitter counts nFrame x " +
               shown(B) + " - " + shown(kFlushBits) + " in double precision, here " +
               exact_number(K) +
               " (a fraction without an exact binary form, such as 1.1, misses the whole number "
               "by rounding); give " +
               exact + ", such as " + shown(below) +
               (above != below ? " or " + shown(above) : std::string()));
}

void check_receivers_at_rate(const std::vector<ReceiverKind>& receivers, double rate,
                             double interLen, const FieldNames& names) {
    check_rate(rate, interLen, names);
    const ModeParams mode = rateconf(rate, interLen);
    // Each receiver on its own, by the road's own rule, so that the message names those refused.
    std::vector<std::string> refused;
    for (const ReceiverKind r : receivers) {
        try {
            check_road_receivers(mode, {r});
        } catch (const Error& e) {
            if (e.identifier() != "hfchain:road:UnsupportedReceiver") throw;
            refused.push_back("'" + std::string(receiver_name(r)) + "'");
        }
    }
    if (refused.empty()) return;
    std::string which = refused.front();
    for (std::size_t k = 1; k < refused.size(); ++k) {
        which += (k + 1 == refused.size() ? " and " : ", ") + refused[k];
    }
    std::string running;  // every receiver that runs at this rate
    for (std::size_t k = 0; k < kReceiverCount; ++k) {
        try {
            check_road_receivers(mode, {static_cast<ReceiverKind>(k)});
            running += (running.empty() ? "" : ", ") + std::string(kReceiverNames[k]);
        } catch (const Error& e) {
            if (e.identifier() != "hfchain:road:UnsupportedReceiver") throw;
        }
    }
    refuse(names, "receivers",
           which + (refused.size() == 1 ? " does" : " do") + " not run at " + shown(rate) +
               " bit/s (" + field_name(names, "rates") + ") yet; there ask for " + running +
               ", or sweep that rate apart");
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
            const double d = delay_samples(channel.paths[p].delay, M);
            if (!whole_samples(d)) {
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
                   std::string("'").append(receiver_name(receivers[i])) + "' is named twice");
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

namespace {

// An entry in the data: a whole block after any entry; with the bit-error metrics, the decoded
// bits of the hf receiver, which decodes after a late entry from 150 bit/s up.
void check_late_data(const SweepConfig& c, const FieldNames& names) {
    for (const double rate : c.rates) {
        const double least = late_data_blocks(rate, c.interLen);
        if (c.nFrame == 0 || (c.nFrame >= least && std::floor(c.nFrame) == c.nFrame)) continue;
        refuse(names, "nFrame",
               counted(c.nFrame, "block", "blocks") + " at " + shown(rate) +
                   " bit/s; an entry in the data needs its block and the next whole block to "
                   "hold information bits, before the blocks the flush bits reach: give a whole "
                   "number of at least " +
                   shown(least) + " (0: at each rate the fewest)");
    }
    if (c.metric == Metric::acquisition) return;
    if (c.metric != Metric::decoded) {
        refuse(names, "late",
               "an entry in the data counts the decoded bits of the next whole block; give " +
                   field_name(names, "metric") + " decoded or acquisition");
    }
    if (c.receivers != std::vector<ReceiverKind>{ReceiverKind::hf}) {
        refuse(names, "late",
               "an entry in the data is decoded by the hf receiver alone (the others need the "
               "preamble); give " +
                   field_name(names, "receivers") + " hf");
    }
}

// Acquisition's own fields, and what an acquisition sweep does not run.
void check_acquisition(const SweepConfig& c, const FieldNames& names) {
    const bool acquisition = c.metric == Metric::acquisition;
    if (!(c.offsetHz >= 0 && c.offsetHz <= 150)) {
        refuse(names, "offsetHz",
               shown(c.offsetHz) + " Hz; give the largest frequency offset from 0 to 150 Hz");
    }
    if (!(c.noiseSeconds >= 0 && c.noiseSeconds <= 3600) ||
        (c.noiseSeconds > 0 && c.noiseSeconds < 1)) {
        refuse(names, "noiseSeconds",
               shown(c.noiseSeconds) +
                   " s; give the length of a trial of noise from 1 to 3600 s "
                   "(0: trials of transmissions)");
    }
    const auto needs = [&](std::string_view field) {
        refuse(names, field,
               "only an acquisition sweep takes it; give " + field_name(names, "metric") +
                   " acquisition");
    };
    if (!acquisition && c.offsetHz != 75) needs("offsetHz");
    if (!acquisition && c.late == LateEntry::preamble) needs("late");
    if (!acquisition && c.noiseSeconds != 0) needs("noiseSeconds");
    if (c.late == LateEntry::data) check_late_data(c, names);
    if (!acquisition) return;
    if (c.late != LateEntry::none && c.noiseSeconds != 0) {
        refuse(names, "late",
               "trials of noise alone have no preamble to enter late; give one or the other");
    }
    if (c.floor != 0) {
        refuse(names, "floor", "an acquisition sweep has no error-rate curve to end; give 0");
    }
    if (c.stopOn != StopOn::first) {
        refuse(names, "stopOn",
               "an acquisition sweep runs no receiver of its own to count; give first");
    }
}

// The path through the air: no sample rate (baseband), or one whose band holds the pulse's; a
// clock offset only through the air, within what clocktrack tells apart with room to spare; static
// crashes only through the air, as the crash model accepts them.
void check_air(const SweepConfig& c, const FieldNames& names) {
    if (c.audioRate != 0) {
        try {
            audio::check_passband(audio::air_passband({c.audioRate}, c.shaping));
        } catch (const Error& e) {
            refuse(names, "audioRate",
                   std::string(e.message()) +
                       "; give 0 (baseband) or a sound card's rate from 8000 to 192000 "
                       "samples a second whose band holds the pulse");
        }
    }
    if (!(std::fabs(c.clockPpm) <= kMostClockPpm)) {
        refuse(names, "clockPpm",
               shown(c.clockPpm) + " ppm; give an offset from -1000 to 1000 ppm");
    }
    if (c.clockPpm != 0 && c.audioRate == 0) {
        refuse(names, "clockPpm",
               "a sound card's clock offset needs the path through the air; give its sample rate "
               "too (" +
                   field_name(names, "audioRate") + ")");
    }
    if (c.impulses.empty()) return;
    if (c.impulses.size() != 2) {
        refuse(names, "impulses", "give two values, the bursts a second and the level in dBFS");
    }
    try {
        check_impulses({c.impulses[0], c.impulses[1]});
    } catch (const Error& e) {
        refuse(names, "impulses", e.message());
    }
    if (c.audioRate == 0) {
        refuse(names, "impulses",
               "static crashes on the audio need the path through the air; give its sample rate "
               "too (" +
                   field_name(names, "audioRate") + ")");
    }
}

}  // namespace

void check_config(const SweepConfig& c, const FieldNames& names) {
    check_interleaver(c.interLen, names);
    if (c.rates.empty()) refuse(names, "rates", "no data rate given; accepted: " + rate_list());
    for (std::size_t i = 0; i < c.rates.size(); ++i) {
        check_rate(c.rates[i], rate_interleaver(c.rates[i], c.interLen), names);
        for (std::size_t j = 0; j < i; ++j) {
            if (c.rates[i] == c.rates[j]) {
                refuse(names, "rates", shown(c.rates[i]) + " bit/s is named twice");
            }
        }
    }
    // nFrame 0 asks for each rate's default; any other value must suit every rate.
    if (c.nFrame != 0) {
        for (const double rate : c.rates) {
            check_nframe(c.nFrame, rate, rate_interleaver(rate, c.interLen), names);
        }
    }
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
    // An acquisition sweep runs no receiver of the road: the search reads every mode itself.
    for (const double rate : c.rates) {
        if (c.metric == Metric::acquisition) break;
        check_receivers_at_rate(c.receivers, rate, rate_interleaver(rate, c.interLen), names);
    }
    for (const std::string& name : c.conditions) {
        if (c.metric == Metric::acquisition) break;
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
    check_air(c, names);
    check_acquisition(c, names);
}

}  // namespace hfchain::sweep
