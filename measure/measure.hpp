// Measuring the HF receiver: decoded bit error rate against SNR for the HF receiver and the genie
// bound on the same transmissions, and the SNR at which each reaches a target rate.
//
// SNR is given in a 3 kHz band, as HF engineers quote it: Es/N0 = SNR + 10 log10(3000 / 2400)
// (0.97 dB) for 2400 symbols a second.
//
// Reproducibility. Trial t of a point draws its two seeds from (base seed, interleaver,
// condition, SNR, t) alone (trial_seeds), and a point's result is the sum over its trials 0 ..
// K - 1, K the first count of at least `minTrials` at which both receivers have `minErrors`
// errors in `minEvents` trials, or the bits reach `maxBits`. Workers may finish trials out of order
// or run trials beyond K, which are dropped; the result does not depend on the number of threads.
// Errors come in bursts (a decoding error event flips several bits, a deep fade spoils a whole
// trial), so the rule also asks for a number of trials in error: the count of independent events is
// what sets the precision of a rate.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "params/modeconf.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain::measure {

// Es/N0 (dB) of an SNR in 3 kHz (dB), and back.
double esno_of_snr(double snr_db);
double snr_of_esno(double esno_db);

struct TrialSeeds {
    double tx = 0;
    double channel = 0;
};

// The two seeds of trial `trial`: SplitMix64 over (seed, interleaver in ms, FNV-1a of the
// condition, SNR in milli-dB, trial), low 32 bits.
TrialSeeds trial_seeds(std::uint32_t seed, double interLen, const std::string& condition,
                       double snr_db, std::int64_t trial);

struct CurveConfig {
    double interLen = 0.6;    // interleaver, s
    std::string condition;    // "awgn", "bom", "moderado", "ruim" or "muito_ruim"
    std::vector<double> snr;  // SNR(3 kHz) points, dB, ascending
    VarShapping shaping;      // roll-off, pulse delay, samples a symbol
    double iterations = 2;    // turbo iterations of the HF receiver
    std::int64_t minTrials = 2;
    std::int64_t minErrors = 50;     // decoded bit errors each receiver should see ...
    std::int64_t minEvents = 10;     // ... in at least this many trials ...
    std::int64_t maxBits = 3000000;  // ... unless this many information bits pass first
    double floor = 1e-6;             // the curve stops after the first point where both rates are
                                     // below this (or error-free)
    std::uint32_t seed = 1;
    int threads = 0;  // 0: one per core
};

struct PointStats {
    double snr = 0;
    std::int64_t trials = 0;
    std::int64_t bits = 0;  // information bits a receiver decoded
    std::int64_t hfErrors = 0;
    std::int64_t genieErrors = 0;
    std::int64_t hfTrialsInError = 0;  // trials with at least one wrong bit
    std::int64_t genieTrialsInError = 0;
    double seconds = 0;  // worker time of the counted trials

    double hfRate() const { return bits > 0 ? static_cast<double>(hfErrors) / bits : 0; }
    double genieRate() const { return bits > 0 ? static_cast<double>(genieErrors) / bits : 0; }
};

// Runs the points of one curve in order (see the reproducibility rule above), calling
// `progress` (may be empty) after each from the calling thread; `stop` (may be null) ends the
// curve early. Errors of the chain propagate.
std::vector<PointStats> measure_curve(const Milstd& milstd, const CurveConfig& config,
                                      const std::function<void(const PointStats&)>& progress,
                                      const std::atomic<bool>* stop);

// What one trial gives: the information bits and each receiver's errors.
struct TrialCount {
    std::int64_t bits = 0;
    std::int64_t hfErrors = 0;
    std::int64_t genieErrors = 0;
};

// Stop rule of a point, applied to its trials in index order: the number K of trials that count
// (0 while the rule has not been met). A trial with at least one wrong bit is an event.
std::int64_t counted_trials(const std::vector<TrialCount>& trials, const CurveConfig& config);

// The SNR at which a rate falls to `target`, by straight lines in log10(rate) between the two
// measured points that bracket it (rates of 0 are skipped); NaN when no pair of points
// brackets it. The points' SNR must ascend.
double snr_at(const std::vector<double>& snr, const std::vector<double>& rate, double target);

}  // namespace hfchain::measure
