#include "sweep/acquisition.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "chain/recording.hpp"
#include "chain/road_channel.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/checks.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain::sweep {

namespace {

// Found at `sample` with `mode` read at `confidence`, where the truth's arrival is at `arrival`.
Acquired placed(double sample, int mode, double confidence, double arrival,
                const AcquisitionTruth& truth) {
    const double tolerance = kStartToleranceSymbols * truth.M;
    const double early = arrival - tolerance;
    const double late = arrival + truth.spread + tolerance;
    if (!(sample >= early && sample <= late)) return Acquired::missed;
    const bool sure = confidence >= kLeastModeConfidence;
    return mode == truth.mode && sure ? Acquired::right : Acquired::wrongMode;
}

}  // namespace

Acquired classify(const ModelockOut& found, const AcquisitionTruth& truth) {
    if (!found.found) return Acquired::missed;
    return placed(found.preambleStart, found.mode, found.confidence, truth.preambleStart, truth);
}

Acquired classify(const BlocklockOut& found, const AcquisitionTruth& truth, int* block) {
    if (!found.found) return Acquired::missed;
    for (int k = 0; k < truth.blocks; ++k) {
        const double start = truth.firstData + k * truth.block;
        const Acquired got = placed(found.blockStart, found.mode, found.confidence, start, truth);
        if (got == Acquired::missed) continue;
        if (block != nullptr) *block = k;
        return got;
    }
    return Acquired::missed;
}

TrialOutcome acquisition_outcome(Acquired acquired) {
    TrialOutcome o;
    o.bits = 1;
    o.errors = acquired == Acquired::right ? 0 : 1;
    o.acquisition.right = acquired == Acquired::right ? 1 : 0;
    o.acquisition.wrongMode = acquired == Acquired::wrongMode ? 1 : 0;
    o.acquisition.missed = acquired == Acquired::missed ? 1 : 0;
    return o;
}

TrialOutcome noise_outcome(std::int64_t detections, double seconds) {
    TrialOutcome o;
    o.bits = 1;
    o.errors = detections > 0 ? 1 : 0;
    o.acquisition.falseDetections = detections;
    o.acquisition.searched = seconds;
    return o;
}

index_t entry_sample(const ModeParams& mode, double nFrame, LateEntry late, double M, double u) {
    const auto within = [u](double samples) {
        const auto n = static_cast<index_t>(samples);
        return std::min(static_cast<index_t>(std::floor(u * samples)), n - 1);
    };
    const auto preamble = static_cast<index_t>(static_cast<double>(mode.preamSync.numel()) * M);
    if (late == LateEntry::preamble) return within(static_cast<double>(preamble));
    if (late != LateEntry::data) return 0;
    const double block = block_symbols(mode.interl) * M;
    return preamble + within((std::floor(nFrame) - 1 - flush_blocks(mode)) * block);
}

void TrialPath::set(const TrialJob& job) {
    if (*job.condition != condition_) {
        channel_ = road_channel(*job.condition, job.esno, job.seeds.channel);
        condition_ = *job.condition;
    }
    channel_.EsNodB = job.esno;
    channel_.seed = job.seeds.channel;
}

HfchannelOut TrialPath::pass(const ComplexArray& x, const VarShapping& shaping,
                             const ModeParams* mode, HostServices& host) const {
    return step_ ? step_(channel_, x, shaping, mode, host)
                 : pass_channel(channel_, x, shaping, host);
}

namespace {

// The earliest and latest delay of the channel's paths, in samples (0 for white noise).
std::pair<double, double> path_delays(const RoadChannel& channel, double M) {
    if (channel.kind != ChannelKind::paths || channel.fading.paths.empty()) return {0, 0};
    double first = channel.fading.paths.front().delay;
    double last = first;
    for (const HfPath& p : channel.fading.paths) {
        first = std::min(first, p.delay);
        last = std::max(last, p.delay);
    }
    return {first * kSymbolRate * M, last * kSymbolRate * M};
}

}  // namespace

AcquisitionTruth entry_truth(const ModeParams& mode, double nFrame, const RoadChannel& channel,
                             const VarShapping& shaping, double start) {
    const double M = shaping.oversamplingFactor;
    const auto [first, last] = path_delays(channel, M);
    AcquisitionTruth truth;
    truth.preambleStart = start + first + 2 * shaping.pulseDelay * M + 1;
    truth.spread = last - first;
    truth.M = M;
    truth.firstData = truth.preambleStart + static_cast<double>(mode.preamSync.numel()) * M;
    truth.block = block_symbols(mode.interl) * M;
    truth.blocks = std::max(1, static_cast<int>(std::floor(nFrame)));
    return truth;
}

int next_block(const AcquisitionTruth& truth) {
    const double next = std::ceil((1 - truth.firstData) / truth.block);
    return static_cast<int>(std::clamp(next, 0.0, truth.blocks - 1.0));
}

index_t heard_length(const AcquisitionTruth& truth, index_t length) {
    const double end = truth.firstData + (next_block(truth) + 1) * truth.block + truth.spread +
                       kLongestFrame * truth.M;
    return std::clamp<index_t>(static_cast<index_t>(end), 0, length);
}

std::shared_ptr<const ModeSets> mode_sets(const SweepConfig& config) {
    auto sets = std::make_shared<ModeSets>();
    for (const double rate : config.rates) {
        const double interLen = rate_interleaver(rate, config.interLen);
        const Mode* m = find_mode(rate, interLen);
        sets->rates.push_back(rate);
        sets->mode.push_back(rateconf(rate, interLen));
        sets->index.push_back(m == nullptr ? -1 : static_cast<int>(m - kModes));
        sets->nFrame.push_back(trial_nframe(config, rate));
    }
    return sets;
}

RealArray trial_draws(HostServices& host, double txSeed) {
    SeededStream stream(host, std::fmod(txSeed + 1, 4294967296.0));
    RealArray u = host.rand(4);
    stream.restore();
    return u;
}

namespace {

// Turns `x` by `hz` (at `rate` samples a second), from the phase `phase`.
void turn(ComplexArray& x, double hz, double phase, double rate) {
    const double step = 2 * std::numbers::pi * hz / rate;
    for (index_t n = 0; n < x.numel(); ++n) {
        x[n] *= std::polar(1.0, phase + step * static_cast<double>(n));
    }
}

class AcquisitionRunner final : public TrialRunner {
public:
    AcquisitionRunner(std::shared_ptr<const ModeSets> sets, const SweepConfig& config,
                      const std::atomic<bool>* interrupt)
        : sets_(std::move(sets)), config_(config), path_(config) {
        host_.set_interrupt_flag(interrupt);
    }

    TrialOutcome run(const TrialJob& job) override {
        const std::size_t k = rate_index(sets_->rates, job.rate);
        path_.set(job);
        return config_.noiseSeconds > 0 ? run_noise(job) : run_transmission(job, k);
    }

private:
    // The lead in samples, the offset in Hz, the starting phase and the entry point (0..1).
    struct Draws {
        double lead = 0, offset = 0, phase = 0, entry = 0;
    };

    Draws draw(const TrialJob& job) {
        const RealArray u = trial_draws(host_, job.seeds.tx);
        const double M = config_.shaping.oversamplingFactor;
        return {std::floor(u[0] * (kLeadSymbols * M + 1)), (2 * u[1] - 1) * config_.offsetHz,
                2 * std::numbers::pi * u[2], u[3]};
    }

    // The received signal through the channel step, matched-filtered.
    ComplexArray receive(ComplexArray& sent, const Draws& d) {
        const double M = config_.shaping.oversamplingFactor;
        turn(sent, d.offset, d.phase, kSymbolRate * M);
        // The signal starts with a stretch of noise or inside the transmission: no mode to hand
        // the channel step.
        return pulsematch(path_.pass(sent, config_.shaping, nullptr, host_).AwgnOut,
                          config_.shaping, host_)
            .out;
    }

    TrialOutcome run_transmission(const TrialJob& job, std::size_t k) {
        const ModeParams& mode = sets_->mode[k];
        const double M = config_.shaping.oversamplingFactor;
        const Draws d = draw(job);
        const SendchainOut tx = sendchain(mode, sets_->nFrame[k], job.seeds.tx, host_);
        const ComplexArray shaped = pulseshaper(tx.MultiplexOut, config_.shaping, host_).out;
        // Silence before the transmission, or the transmission from a sample of its preamble or
        // of its data on.
        const bool late = config_.late != LateEntry::none;
        const index_t lead = late ? 0 : static_cast<index_t>(d.lead);
        const index_t skip =
            late ? entry_sample(mode, sets_->nFrame[k], config_.late, M, d.entry) : 0;
        ComplexArray sent(lead + shaped.numel() - skip);
        std::copy(shaped.begin() + skip, shaped.end(), sent.begin() + lead);
        const ComplexArray matched = receive(sent, d);
        AcquisitionTruth truth = entry_truth(mode, sets_->nFrame[k], path_.channel(),
                                             config_.shaping, static_cast<double>(lead - skip));
        truth.mode = sets_->index[k];
        if (config_.late == LateEntry::data) {
            ComplexArray heard(heard_length(truth, matched.numel()));
            std::copy(matched.begin(), matched.begin() + heard.numel(), heard.begin());
            return acquisition_outcome(
                classify(blocklock(heard, config_.shaping, {}, host_), truth));
        }
        truth.blocks = 1;
        const ModelockOut lock = modelock(matched, config_.shaping, {}, host_);
        // Entering late, a receiver that found no preamble segment whose mode it reads surely and
        // whose preamble's end it confirms (the entry may leave no whole segment, and the search
        // may then find what only looks like one in the data) reads the frames that follow, as
        // `receive` does: where the frames after the find bear it out (its preamble's end in a
        // fade), the first data symbol they place; otherwise the block that the frames of the
        // whole input place where they name a mode surely.
        const bool read = lock.found && lock.confidence >= kLeastModeConfidence;
        const bool sure = read && confirms_find(matched, lock, config_.shaping, host_);
        if (late && !sure && matched.numel() >= static_cast<double>(kBlocklockShortest) * M) {
            const BlocklockOut after =
                read ? frames_after_find(matched, lock.mode, lock.firstData, config_.shaping, host_)
                     : BlocklockOut{};
            if (after.found) return acquisition_outcome(classify(after, truth));
            const BlocklockOut frames = blocklock(matched, config_.shaping, {}, host_);
            if (frames.found && frames.mode >= 0 && frames.confidence >= kLeastModeConfidence) {
                return acquisition_outcome(classify(frames, truth));
            }
        }
        return acquisition_outcome(classify(lock, truth));
    }

    TrialOutcome run_noise(const TrialJob& job) {
        const double M = config_.shaping.oversamplingFactor;
        const Draws d = draw(job);
        const auto symbols = static_cast<index_t>(std::ceil(config_.noiseSeconds * kSymbolRate));
        ComplexArray gaussian(symbols);
        {
            SeededStream stream(host_, job.seeds.tx);
            const RealArray g = host_.randn(symbols, 2);
            stream.restore();
            const double scale = std::sqrt(0.5);
            for (index_t n = 0; n < symbols; ++n) {
                gaussian[n] = cdouble(g[n], g[symbols + n]) * scale;
            }
        }
        ComplexArray sent = pulseshaper(gaussian, config_.shaping, host_).out;
        const ComplexArray matched = receive(sent, d);
        std::int64_t detections = 0;
        VarModelock settings;
        const double segment = 480 * M;
        for (;;) {
            const ModelockOut found = modelock(matched, config_.shaping, settings, host_);
            if (!found.found) break;
            ++detections;
            settings.from = found.start + segment;
            if (settings.from + segment > static_cast<double>(matched.numel())) break;
        }
        return noise_outcome(detections, static_cast<double>(matched.numel()) / (kSymbolRate * M));
    }

    std::shared_ptr<const ModeSets> sets_;
    SweepConfig config_;
    BuiltinHost host_;
    TrialPath path_;
};

}  // namespace

TrialRunnerFactory acquisition_trial_runners(const SweepConfig& config,
                                             const std::atomic<bool>* interrupt) {
    return [sets = mode_sets(config), config, interrupt]() -> std::unique_ptr<TrialRunner> {
        return std::make_unique<AcquisitionRunner>(sets, config, interrupt);
    };
}

}  // namespace hfchain::sweep
