// The pulse-shaping parameters `varShapping`, passed unchanged to every block that needs them.
#pragma once

namespace hfchain {

struct VarShapping {
    double rolloffFactor = 0.35;    // excess-bandwidth factor alpha of the root-raised cosine
    double pulseDelay = 6;          // half-length D of the pulse, in symbol periods
    double oversamplingFactor = 5;  // samples per symbol M
};

inline constexpr const char* kVarShappingFields[] = {"rolloffFactor", "pulseDelay",
                                                     "oversamplingFactor"};

}  // namespace hfchain
