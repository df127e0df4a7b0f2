// The named HF channel conditions: two equal-power Watterson rays, the second delayed by `tau`,
// each fading with a Gaussian Doppler spectrum of spread `fd`. One table, read by the channel
// block, the sweep configuration, the command line and the Python module.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace hfchain {

struct WattersonCondition {
    std::string_view name;
    double tau;  // differential delay between the rays, s
    double fd;   // Doppler spread of each ray, Hz
};

inline constexpr WattersonCondition kWattersonConditions[] = {
    {"bom", 0.0005, 0.1},
    {"moderado", 0.001, 0.5},
    {"ruim", 0.002, 1.0},
    {"muito_ruim", 0.005, 5.0},
};

// The condition of `name` (exact, case-sensitive: no trimming, no prefixes), or null.
constexpr const WattersonCondition* find_watterson_condition(std::string_view name) {
    for (const WattersonCondition& c : kWattersonConditions) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

// The name of white noise alone, without fading, where a list of conditions also accepts it.
inline constexpr std::string_view kAwgnCondition = "awgn";

}  // namespace hfchain
