#include "sweep/settings.hpp"

#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "sweep/report.hpp"

namespace hfchain::sweep {

namespace {

using Config = SweepConfig;

// The items f(v) joined by `separator`.
template <class List, class F>
std::string joined(const List& list, const char* separator, F f) {
    std::string s;
    for (const auto& v : list) {
        if (!s.empty()) s += separator;
        s += f(v);
    }
    return s;
}

std::string shortest(double v) { return format_value(v); }
std::string quoted(const std::string& v) { return json_quote(v); }
std::string receiver(ReceiverKind r) { return receiver_name(r); }
std::string array(const std::string& items) { return "[" + items + "]"; }

const Setting kSettings[] = {
    {"rates", "--rate", [](const Config& c) { return joined(c.rates, ",", shortest); }, nullptr},
    {"interLen", "--interleaver", [](const Config& c) { return shortest(c.interLen); },
     [](const Config& c) { return "\"interleaver_s\": " + shortest(c.interLen); }},
    {"nFrame", "--nframe", [](const Config& c) { return nframe_text(c); },
     [](const Config& c) {
         if (!shows_rate(c)) return "\"nFrame\": " + nframe_text(c);
         return "\"rates\": " + array(joined(c.rates, ", ", shortest)) +
                ",\n    \"nFrame\": " + array(joined(c.rates, ", ", [&c](double r) {
                    return shortest(trial_nframe(c, r));
                }));
     }},
    {"shaping.rolloffFactor", "--rolloff",
     [](const Config& c) { return shortest(c.shaping.rolloffFactor); },
     [](const Config& c) { return "\"rolloffFactor\": " + shortest(c.shaping.rolloffFactor); }},
    {"shaping.pulseDelay", "--delay",
     [](const Config& c) { return shortest(c.shaping.pulseDelay); },
     [](const Config& c) { return "\"pulseDelay\": " + shortest(c.shaping.pulseDelay); }},
    {"shaping.oversamplingFactor", "--oversampling",
     [](const Config& c) { return shortest(c.shaping.oversamplingFactor); },
     [](const Config& c) {
         return "\"oversamplingFactor\": " + shortest(c.shaping.oversamplingFactor);
     }},
    {"conditions", "--conditions",
     [](const Config& c) {
         return joined(c.conditions, ",", [](const std::string& n) { return n; });
     },
     [](const Config& c) {
         return "\"conditions\": " + array(joined(c.conditions, ", ", quoted));
     }},
    {"esno", "--esno", [](const Config& c) { return joined(c.esno, ",", shortest); },
     [](const Config& c) {
         return "\"esno_db\": " + array(joined(c.esno, ", ", shortest)) + ",\n    \"snr3k_db\": " +
                array(joined(c.esno, ", ", [](double e) { return shortest(snr3k_of_esno(e)); })) +
                ",\n    \"points_given_as\": " + quoted(c.snr3kAxis ? "snr3k" : "esno");
     }},
    {"receivers", "--receiver", [](const Config& c) { return joined(c.receivers, ",", receiver); },
     [](const Config& c) {
         return "\"receivers\": " + array(joined(c.receivers, ", ", [](ReceiverKind r) {
                    return quoted(receiver_name(r));
                }));
     }},
    {"metric", "--metric", [](const Config& c) { return std::string(metric_name(c.metric)); },
     [](const Config& c) { return "\"metric\": " + quoted(metric_name(c.metric)); }},
    {"stopOn", "--stop-on", [](const Config& c) { return std::string(stop_on_name(c.stopOn)); },
     [](const Config& c) { return "\"stop_on\": " + quoted(stop_on_name(c.stopOn)); }},
    {"minTrials", "--min-trials", [](const Config& c) { return std::to_string(c.minTrials); },
     [](const Config& c) { return "\"min_trials\": " + std::to_string(c.minTrials); }},
    {"minEvents", "--min-events", [](const Config& c) { return std::to_string(c.minEvents); },
     [](const Config& c) { return "\"min_events\": " + std::to_string(c.minEvents); }},
    {"minErrors", "--min-errors", [](const Config& c) { return std::to_string(c.minErrors); },
     [](const Config& c) { return "\"min_errors\": " + std::to_string(c.minErrors); }},
    {"maxBits", "--max-bits", [](const Config& c) { return std::to_string(c.maxBits); },
     [](const Config& c) { return "\"max_bits\": " + std::to_string(c.maxBits); }},
    {"floor", "--floor", [](const Config& c) { return shortest(c.floor); },
     [](const Config& c) {
         return c.floor > 0 ? "\"floor\": " + shortest(c.floor) : std::string();
     }},
    {"audioRate", "--audio",
     [](const Config& c) { return c.audioRate != 0 ? shortest(c.audioRate) : std::string(); },
     [](const Config& c) {
         return c.audioRate != 0 ? "\"audio_rate\": " + shortest(c.audioRate) : std::string();
     }},
    {"clockPpm", "--clock-ppm",
     [](const Config& c) { return c.clockPpm != 0 ? shortest(c.clockPpm) : std::string(); },
     [](const Config& c) {
         return c.audioRate != 0 ? "\"clock_ppm\": " + shortest(c.clockPpm) : std::string();
     }},
    {"impulses", "--impulses", [](const Config& c) { return joined(c.impulses, ":", shortest); },
     [](const Config& c) {
         if (c.impulses.empty()) return std::string();
         return "\"impulse_rate\": " + shortest(c.impulses[0]) +
                ",\n    \"impulse_level_dbfs\": " + shortest(c.impulses[1]);
     }},
    {"offsetHz", "--offset",
     [](const Config& c) {
         return c.metric == Metric::acquisition ? shortest(c.offsetHz) : std::string();
     },
     [](const Config& c) {
         return c.metric == Metric::acquisition && c.noiseSeconds == 0
                    ? "\"offset_hz\": " + shortest(c.offsetHz)
                    : std::string();
     }},
    {"late", "--late",
     [](const Config& c) {
         return c.late != LateEntry::none ? std::string(late_name(c.late)) : std::string();
     },
     [](const Config& c) {
         return c.late != LateEntry::none ? "\"late\": " + quoted(late_name(c.late))
                                          : std::string();
     }},
    {"noiseSeconds", "--noise",
     [](const Config& c) { return c.noiseSeconds != 0 ? shortest(c.noiseSeconds) : std::string(); },
     [](const Config& c) {
         return c.noiseSeconds != 0 ? "\"noise_s\": " + shortest(c.noiseSeconds) : std::string();
     }},
    {"seed", "--seed", [](const Config& c) { return std::to_string(c.seed); },
     [](const Config& c) { return "\"seed\": " + std::to_string(c.seed); }},
    {"threads", "--threads", nullptr, nullptr},  // the JSON gives the threads that ran
};

}  // namespace

std::span<const Setting> sweep_settings() { return kSettings; }

}  // namespace hfchain::sweep
