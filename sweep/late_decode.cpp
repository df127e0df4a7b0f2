#include "sweep/late_decode.hpp"

#include <algorithm>
#include <cmath>

#include "chain/hf_receiver.hpp"
#include "chain/road_channel.hpp"
#include "receiver/impulseblank/impulseblank.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "sweep/acquisition.hpp"
#include "transmitter/bitbudget.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain::sweep {

ReceiverCounts late_block_counts(const RealArray& decoded, const RealArray& sent, index_t from,
                                 index_t blocks, index_t per) {
    ReceiverCounts c;
    for (index_t b = from; b < blocks; ++b) {
        index_t wrong = 0;
        for (index_t j = 0; j < per; ++j) {
            const index_t at = (b - from) * per + j;
            const index_t was = b * per + j;
            // Bits the decoder did not give (or the transmission did not hold) are wrong.
            wrong += at >= decoded.numel() || was >= sent.numel() || decoded[at] != sent[was];
        }
        c.infoBits += per;
        c.infoErrors += wrong;
        c.blocks += 1;
        c.blockErrors += wrong > 0 ? 1 : 0;
    }
    return c;
}

namespace {

class LateDecodeRunner final : public TrialRunner {
public:
    LateDecodeRunner(std::shared_ptr<const ModeSets> sets, const SweepConfig& config,
                     const std::atomic<bool>* interrupt)
        : sets_(std::move(sets)), shaping_(config.shaping), path_(config) {
        host_.set_interrupt_flag(interrupt);
    }

    TrialOutcome run(const TrialJob& job) override {
        const std::size_t k = rate_index(sets_->rates, job.rate);
        path_.set(job);
        const ModeParams& mode = sets_->mode[k];
        const double nFrame = sets_->nFrame[k];
        const SendchainOut tx = sendchain(mode, nFrame, job.seeds.tx, host_);
        const index_t skip =
            entry_sample(mode, nFrame, LateEntry::data, shaping_.oversamplingFactor,
                         trial_draws(host_, job.seeds.tx)[3]);
        AcquisitionTruth truth =
            entry_truth(mode, nFrame, path_.channel(), shaping_, -static_cast<double>(skip));
        truth.mode = sets_->index[k];
        const ComplexArray matched = hear(mode, tx, skip, truth);
        const index_t per = bit_budget(mode, nFrame).total / static_cast<index_t>(truth.blocks);
        const index_t next = next_block(truth);

        TrialOutcome outcome;
        ReceiverCounts& counts = outcome.receivers[static_cast<std::size_t>(ReceiverKind::hf)];
        const BlocklockOut lock = blocklock(matched, shaping_, {}, host_);
        int from = 0;
        if (classify(lock, truth, &from) != Acquired::right) {
            // Nothing decoded: the next whole block is lost.
            counts = late_block_counts(RealArray(), tx.BitInCodIn, next, next + 1, per);
            outcome.syncMiss = true;
        } else {
            // The blocks from the one found to the next whole block (one, but for a start read
            // within the tolerance before the first sample).
            const index_t to = std::max<index_t>(from, next) + 1;
            HfSettings settings;
            settings.shaping = shaping_;
            settings.nFrame = static_cast<double>(to - from);
            const HfLateReceived late =
                receive_hf_late(matched, lock.blockStart, lock.offset, mode, settings, host_);
            counts =
                late_block_counts(late.decoding.ran ? late.decoding.decoded.DecodOut : RealArray(),
                                  tx.BitInCodIn, from, to, per);
        }
        outcome.bits = counts.infoBits;
        outcome.errors = counts.infoErrors;
        return outcome;
    }

private:
    // The transmission through the channel as the road sends it, heard from the sample `skip` on
    // for heard_length() samples (impulses blanked), matched-filtered.
    ComplexArray hear(const ModeParams& mode, const SendchainOut& tx, index_t skip,
                      const AcquisitionTruth& truth) {
        const ComplexArray shaped = pulseshaper(tx.MultiplexOut, shaping_).out;
        const HfchannelOut faded = path_.pass(shaped, shaping_, &mode, host_);
        const ComplexArray& received = faded.AwgnOut;
        const index_t from = std::min(skip, received.numel());
        ComplexArray heard(heard_length(truth, received.numel() - from));
        std::copy(received.begin() + from, received.begin() + from + heard.numel(), heard.begin());
        const ImpulseblankOut blanking = impulseblank(heard);
        if (blanking.samples.empty()) return pulsematch(heard, shaping_, host_).out;
        return pulsematch(blanked(heard, blanking.samples), shaping_, host_).out;
    }

    std::shared_ptr<const ModeSets> sets_;
    VarShapping shaping_;
    BuiltinHost host_;
    TrialPath path_;
};

}  // namespace

TrialRunnerFactory late_decode_trial_runners(const SweepConfig& config,
                                             const std::atomic<bool>* interrupt) {
    return [sets = mode_sets(config), config, interrupt]() -> std::unique_ptr<TrialRunner> {
        return std::make_unique<LateDecodeRunner>(sets, config, interrupt);
    };
}

}  // namespace hfchain::sweep
