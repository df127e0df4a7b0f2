// A sweep's settings, listed once: each field of SweepConfig with the command line's option for
// it, its text in the journal (the parameters that decide the result) and in the JSON's
// parameters. The journal, the JSON and the command line's names read them in this order.
#pragma once

#include <span>
#include <string>

#include "sweep/config.hpp"

namespace hfchain::sweep {

struct Setting {
    const char* field;   // SweepConfig's field: "interLen", "shaping.pulseDelay"
    const char* option;  // the command line's: "--interleaver"
    // The value as the journal records it; null: not recorded (it does not decide the result);
    // empty for this configuration: not recorded (its default, which journals written before
    // the setting existed meant too).
    std::string (*journal)(const SweepConfig& config);
    // `"key": value` in the JSON's parameters (several joined by ",\n    "); null, or empty for
    // this configuration: not written. The JSON gives the rates beside the blocks per trial.
    std::string (*json)(const SweepConfig& config);
};

std::span<const Setting> sweep_settings();

}  // namespace hfchain::sweep
