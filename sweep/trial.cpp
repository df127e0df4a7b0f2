#include "sweep/trial.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio/airpath.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "sweep/acquisition.hpp"
#include "sweep/late_decode.hpp"
#include "transmitter/bitbudget.hpp"

namespace hfchain::sweep {

namespace {

// The SplitMix64 finaliser.
std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return x;
}

// The 64-bit FNV-1a hash of a name.
std::uint64_t fnv1a64(const std::string& s) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
}

// The parameter set and blocks per trial of each rate of a sweep, in the order of its rates.
struct RateSets {
    std::vector<double> rates;
    std::vector<ModeParams> mode;
    std::vector<double> nFrame;
};

class RoadTrialRunner final : public TrialRunner {
public:
    RoadTrialRunner(std::shared_ptr<const RateSets> sets, const SweepConfig& config,
                    const std::atomic<bool>* interrupt)
        : sets_(std::move(sets)) {
        road_.shaping = config.shaping;
        road_.receivers = config.receivers;
        first_ = config.receivers.empty() ? ReceiverKind::baseline : config.receivers.front();
        metric_ = config.metric;
        host_.set_interrupt_flag(interrupt);
        road_.channelStep = sweep_channel_step(config);
    }

    TrialOutcome run(const TrialJob& job) override {
        const std::size_t k = rate_index(sets_->rates, job.rate);
        road_.nFrame = sets_->nFrame[k];
        road_.txSeed = job.seeds.tx;
        // The channel is read once for each run of trials of one condition.
        if (*job.condition != channelText_) {
            road_.channel = road_channel(*job.condition, job.esno, job.seeds.channel);
            channelText_ = *job.condition;
        }
        road_.channel.EsNodB = job.esno;
        road_.channel.seed = job.seeds.channel;
        const RoadResult r = run_road(sets_->mode[k], road_, host_);
        TrialOutcome outcome;
        for (const ReceiverKind kind : road_.receivers) {
            const Reception& rx = r.reception(kind);
            ReceiverCounts& c = outcome.receivers[static_cast<std::size_t>(kind)];
            c.codedBits = rx.codedBits;
            c.codedErrors = rx.codedBitErrors;
            c.infoBits = rx.infoBits;
            c.infoErrors = rx.infoBitErrors;
            c.blocks = rx.blocks;
            c.blockErrors = rx.blockErrors;
        }
        const ReceiverCounts& first = outcome.receivers[static_cast<std::size_t>(first_)];
        outcome.bits = metric_ == Metric::coded ? first.codedBits : first.infoBits;
        outcome.errors = metric_ == Metric::coded ? first.codedErrors : first.infoErrors;
        const bool synchronised =
            road_.runs(ReceiverKind::baseline) || road_.runs(ReceiverKind::hf);
        outcome.syncMiss = synchronised && (!r.frameFound || r.frameStart.empty() ||
                                            r.frameStart[0] != r.expectedFrameStart);
        return outcome;
    }

private:
    std::shared_ptr<const RateSets> sets_;
    RoadConfig road_;
    ReceiverKind first_ = ReceiverKind::baseline;
    Metric metric_ = Metric::coded;
    BuiltinHost host_;
    std::string channelText_;  // the condition road_ was last set up for
};

}  // namespace

std::size_t rate_index(const std::vector<double>& rates, double rate) {
    const auto at = std::find(rates.begin(), rates.end(), rate);
    if (at == rates.end()) {
        raise("hfchain:sweep:UnknownRate",
              "a trial at " + format_value(rate) + " bit/s, not a rate of the sweep");
    }
    return static_cast<std::size_t>(at - rates.begin());
}

ChannelStep sweep_channel_step(const SweepConfig& config) {
    if (config.audioRate == 0) return {};
    audio::AirSettings air;
    air.sampleRate = config.audioRate;
    air.clockPpm = config.clockPpm;
    if (!config.impulses.empty()) {
        air.impulses = ImpulseSettings{config.impulses[0], config.impulses[1]};
    }
    return audio::air_step(std::make_shared<audio::AirPath>(air));
}

TrialSeeds trial_seeds(std::uint32_t seed, double rate, const std::string& condition, double esno,
                       std::int64_t trial) {
    std::uint64_t h = mix(static_cast<std::uint64_t>(seed) + 0x9e3779b97f4a7c15ULL);
    if (rate != 2400) h = mix(h ^ static_cast<std::uint64_t>(std::llround(rate)));
    h = mix(h ^ fnv1a64(condition));
    h = mix(h ^ static_cast<std::uint64_t>(std::llround(esno * 1000)));
    h = mix(h ^ static_cast<std::uint64_t>(trial));
    TrialSeeds s;
    s.tx = static_cast<double>(mix(h ^ 1) & 0xffffffffULL);
    s.channel = static_cast<double>(mix(h ^ 2) & 0xffffffffULL);
    return s;
}

ReceiverCounts trial_size(const SweepConfig& config, double rate) {
    const ModeParams mode = rateconf(rate, rate_interleaver(rate, config.interLen));
    const BitBudget budget = bit_budget(mode, trial_nframe(config, rate));
    ReceiverCounts c;
    if (config.late == LateEntry::data) {
        // At most every block's encoder input bits (sweep/late_decode.hpp); no coded bits.
        c.infoBits = budget.total;
        c.blocks = static_cast<std::int64_t>(trial_nframe(config, rate));
        return c;
    }
    // The coder keeps the bits of both generators, each repFactor times; 4800 bit/s is uncoded.
    c.codedBits = is_uncoded(mode) ? budget.total
                                   : budget.total * 2 * static_cast<std::int64_t>(mode.repFactor);
    c.infoBits = budget.info;
    c.blocks = count_block_errors(RealArray(), RealArray(), budget.info, mode).blocks;
    return c;
}

std::string budget_note(const SweepConfig& config) {
    if (config.rates.size() < 2 || config.metric == Metric::acquisition) return {};
    std::vector<double> seconds;  // on air per point that runs to the bit limit, by rate
    double total = 0;
    for (const double rate : config.rates) {
        const ReceiverCounts size = trial_size(config, rate);
        const double bits =
            static_cast<double>(config.metric == Metric::decoded ? size.infoBits : size.codedBits);
        const double trials = std::max(static_cast<double>(config.minTrials),
                                       std::ceil(static_cast<double>(config.maxBits) / bits));
        seconds.push_back(trials * trial_nframe(config, rate) *
                          rate_interleaver(rate, config.interLen));
        total += seconds.back();
    }
    const auto most = static_cast<std::size_t>(std::max_element(seconds.begin(), seconds.end()) -
                                               seconds.begin());
    const double share = seconds[most] / total;
    const double rate = config.rates[most];
    const ReceiverCounts size = trial_size(config, rate);
    const double bits =
        static_cast<double>(config.metric == Metric::decoded ? size.infoBits : size.codedBits);
    // Only where the bit limit, not the least number of trials, sets its share.
    if (share < 0.75 ||
        static_cast<double>(config.maxBits) / bits <= static_cast<double>(config.minTrials)) {
        return {};
    }
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.0f", share * 100);
    return format_value(rate) + " bit/s takes about " + percent +
           " % of the time at points that run to the bit limit: its trials carry " +
           format_value(bits) +
           (config.metric == Metric::decoded ? " information bits" : " coded bits") +
           " each, and the limit of " + std::to_string(config.maxBits) +
           " bits holds at every rate (a sweep of that rate alone can be given its own)";
}

TrialRunnerFactory road_trial_runners(const SweepConfig& config,
                                      const std::atomic<bool>* interrupt) {
    auto sets = std::make_shared<RateSets>();
    for (const double rate : config.rates) {
        sets->rates.push_back(rate);
        sets->mode.push_back(rateconf(rate, rate_interleaver(rate, config.interLen)));
        sets->nFrame.push_back(trial_nframe(config, rate));
    }
    return [sets = std::shared_ptr<const RateSets>(std::move(sets)), config,
            interrupt]() -> std::unique_ptr<TrialRunner> {
        return std::make_unique<RoadTrialRunner>(sets, config, interrupt);
    };
}

TrialRunnerFactory sweep_trial_runners(const SweepConfig& config,
                                       const std::atomic<bool>* interrupt) {
    if (config.metric == Metric::acquisition) return acquisition_trial_runners(config, interrupt);
    if (config.late == LateEntry::data) return late_decode_trial_runners(config, interrupt);
    return road_trial_runners(config, interrupt);
}

}  // namespace hfchain::sweep
