#include "receiver/layout/reception.hpp"

#include <cmath>

#include "params/modes.hpp"
#include "receiver/layout/layout.hpp"
#include "runtime/checks.hpp"
#include "shaping/rrc_fir.hpp"

namespace hfchain {

namespace {

// The most samples a symbol a receiver takes: far beyond any filter design, and a bound that
// keeps every sample index within range.
constexpr double kMaxOversampling = 1e6;

}  // namespace

index_t oversampling_factor(const VarShapping& varShapping, const char* block) {
    const double M = varShapping.oversamplingFactor;
    if (!(M >= 1) || M != std::floor(M) || M > kMaxOversampling) {
        raise(std::string("hfchain:") + block + ":BadOversampling",
              "oversamplingFactor = " + format_value(M) + " must be a whole number of at least 1.");
    }
    return static_cast<index_t>(M);
}

std::string receiver_mode_refusal(const ModeParams& mode) {
    const double R = mode.repFactor;
    const bool probes = mode.trein >= 1 || (uses_patterns(mode) && mode.trein == 0);
    if ((mode.bitsToSym == 1 || mode.bitsToSym == 2 || mode.bitsToSym == 3) &&
        (R >= 1 && R == std::floor(R)) && mode.data >= 1 && probes) {
        return {};
    }
    return "The HF receiver handles the modes with probes (bitsToSym 1, 2 or 3, repFactor a "
           "whole number of at least 1, data and trein at least 1) and the 75 bit/s patterns; "
           "rate " +
           format_value(mode.rate) + " bit/s with bitsToSym " + format_value(mode.bitsToSym) +
           ", repFactor " + format_value(R) + " and trein " + format_value(mode.trein) +
           " is not one of them.";
}

void check_receiver_mode(const ModeParams& mode, const char* block) {
    const std::string refusal = receiver_mode_refusal(mode);
    if (!refusal.empty()) raise(std::string("hfchain:") + block + ":UnsupportedMode", refusal);
}

index_t frames_in(index_t Lmf, const ModeParams& mode, double pulseDelay, index_t M) {
    // Each filter takes 2 D M samples off each end: 4 D M = 2 (taps - 1), from a length that
    // rrc_length has checked (a NaN or huge pulseDelay would make the count below meaningless).
    const double edge = 2.0 * (rrc_length(pulseDelay, static_cast<double>(M)) - 1.0);
    if (Lmf - edge - 1 < 0) return 0;
    const double K = std::floor((Lmf - edge - 1) / M) + 1;  // symbols the output holds
    return whole_frames(mode, static_cast<index_t>(K));
}

}  // namespace hfchain
