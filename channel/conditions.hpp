// The named HF channels: two equal-power Watterson paths, the second delayed by `tau`, each fading
// with a Gaussian Doppler spectrum of two-sided spread `fd` (fadesim's convention: each path's
// sinusoid frequencies have standard deviation fd / 2, and each path has a mean power of -3 dB).
// One table, read by the channel blocks, the sweep configuration, the command line and the Python
// module: fadesim's four conditions first, then the ITU-R F.1487 test channels, named
// itu_<latitude>_<condition> (low, mid and high latitude; quiet, moderate and disturbed; the
// mid-latitude disturbed channel at near-vertical incidence is itu_mid_disturbed_nvis).
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace hfchain {

struct WattersonCondition {
    std::string_view name;
    double tau;  // differential delay between the paths, s
    double fd;   // two-sided Doppler spread of each path, Hz
};

inline constexpr WattersonCondition kChannelPresets[] = {
    {"bom", 0.0005, 0.1},
    {"moderado", 0.001, 0.5},
    {"ruim", 0.002, 1.0},
    {"muito_ruim", 0.005, 5.0},
    {"itu_low_quiet", 0.0005, 0.5},
    {"itu_low_moderate", 0.002, 1.5},
    {"itu_low_disturbed", 0.006, 10.0},
    {"itu_mid_quiet", 0.0005, 0.1},
    {"itu_mid_moderate", 0.001, 0.5},
    {"itu_mid_disturbed", 0.002, 1.0},
    {"itu_mid_disturbed_nvis", 0.007, 1.0},
    {"itu_high_quiet", 0.001, 0.5},
    {"itu_high_moderate", 0.003, 10.0},
    {"itu_high_disturbed", 0.007, 30.0},
};

// The four conditions of fadesim (and of every table made before the other channels existed).
inline constexpr std::span<const WattersonCondition> kWattersonConditions{kChannelPresets, 4};

// The mean power of each path of a preset, dB (fadesim's rays: 10^(-3/10) each).
inline constexpr double kPresetPathPowerdB = -3;

// The condition of `name` among fadesim's four (exact, case-sensitive: no trimming, no prefixes),
// or null.
constexpr const WattersonCondition* find_watterson_condition(std::string_view name) {
    for (const WattersonCondition& c : kWattersonConditions) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

// The preset of `name` in the whole table (exact, case-sensitive), or null.
constexpr const WattersonCondition* find_channel_preset(std::string_view name) {
    for (const WattersonCondition& c : kChannelPresets) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

// The name of white noise alone, without fading, where a list of conditions also accepts it.
inline constexpr std::string_view kAwgnCondition = "awgn";

}  // namespace hfchain
