#include "receiver/chansound/sounding.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "receiver/chansound/pathtrack.hpp"
#include "receiver/layout/reception.hpp"
#include "runtime/checks.hpp"

namespace hfchain {

void check_sounding(const ChansoundOut& s, index_t symbols, const char* user, const char* block) {
    const std::string prefix = std::string("hfchain:") + block;
    const std::string bad_sounding = prefix + ":BadSounding";
    const index_t L = s.basis.rows();
    const index_t r = s.basis.cols();
    if (L < 1 || L > kMaxTaps || r < 1 || r > kMaxPaths) {
        raise(bad_sounding, "The sounding's basis is " + std::to_string(L) + " x " +
                                std::to_string(r) + "; the " + user + " takes 1 to " +
                                std::to_string(kMaxTaps) + " taps and 1 to " +
                                std::to_string(kMaxPaths) + " paths.");
    }
    const index_t Ny = s.out.numel();
    check_size_equal(checked_size_sum(symbols, L - 1), Ny, "out");
    check_size_equal(r, s.gains.rows(), "gains");
    check_size_equal(Ny, s.gains.cols(), "gains");
    check_size_equal(r, s.gainVar.rows(), "gainVar");
    check_size_equal(Ny, s.gainVar.cols(), "gainVar");
    check_size_equal(r, s.pathPower.numel(), "pathPower");

    // Field by field, each refusal naming the element: every field finite, variances not
    // negative, and what the receivers square and multiply within the sounder's own bound.
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const std::string nonfinite_id = prefix + ":NonFinite";
    const std::string too_large_id = prefix + ":TooLarge";
    const char* const nonfinite = nonfinite_id.c_str();
    const char* const too_large = too_large_id.c_str();
    const char* const finite_rule = "a sounding's values must be finite.";
    const std::string amplitude_rule = std::string("the ") + user +
                                       " takes samples, gains and basis values up to " +
                                       format_value(kLargestSample) + " in magnitude.";
    const std::string variance_rule = std::string("the ") + user + " takes variances up to " +
                                      format_value(kLargestVariance) + ".";
    const auto amplitudes = [&](const ComplexArray& a, const char* name) {
        check_bounded(a, kLargestSample, name, nonfinite, finite_rule, too_large,
                      amplitude_rule.c_str());
    };
    // `open`: +Inf allowed (windowVar: a window without estimate).
    // Values within +-kLargestVariance can fail only the sign check (the one pass left).
    const auto variances = [&](const RealArray& v, const char* name, bool open) {
        const bool bounded = all_within(v, kLargestVariance);
        if (!bounded) {
            check_each(v, name, nonfinite, finite_rule, [open](double x) {
                return std::isnan(x) || x == -kInf || (x == kInf && !open);
            });
        }
        check_each(v, name, bad_sounding.c_str(), "a variance must not be negative.",
                   [](double x) { return x < 0; });
        if (!bounded) {
            check_each(v, name, too_large, variance_rule.c_str(),
                       [](double x) { return x > kLargestVariance && x != kInf; });
        }
    };
    amplitudes(s.out, "sounding.out");
    amplitudes(s.basis, "sounding.basis");
    amplitudes(s.gains, "sounding.gains");
    variances(s.gainVar, "sounding.gainVar", false);
    amplitudes(s.windowGains, "sounding.windowGains");
    variances(s.windowVar, "sounding.windowVar", true);
    check_finite(s.noiseVar, "sounding.noiseVar", nonfinite, finite_rule);
    if (s.noiseVar < 0 || s.noiseVar > kLargestVariance) {
        raise(
            s.noiseVar < 0 ? bad_sounding : too_large_id,
            "sounding.noiseVar is " + format_value(s.noiseVar) + ": " +
                (s.noiseVar < 0 ? std::string("a variance must not be negative.") : variance_rule));
    }
    // Read only for their place (windowTime) or handed back (doppler), or not read at all: any
    // finite value will do.
    check_finite(s.windowTime, "sounding.windowTime", nonfinite, finite_rule);
    check_finite(s.doppler, "sounding.doppler", nonfinite, finite_rule);
    check_finite(s.start, "sounding.start", nonfinite, finite_rule);
    check_finite(s.delays, "sounding.delays", nonfinite, finite_rule);
    check_finite(s.pathPower, "sounding.pathPower", nonfinite, finite_rule);
    check_finite(s.profile, "sounding.profile", nonfinite, finite_rule);
    check_finite(s.profileStart, "sounding.profileStart", nonfinite, finite_rule);
}

}  // namespace hfchain
