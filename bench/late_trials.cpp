// The trials of `hfchain sweep --late data -r hf` at one point, one line each: what blocklock read,
// the bit errors of the next whole block decoded after the late entry and by the full reception of
// the same transmission (the same bits, fading and noise: the sweep's trial seeds, base seed 1),
// the paths each sounding found, and the late entry's errors again with what it read replaced:
//   at: the block start where the block's first symbol arrives on the first path;
//   off0: no frequency offset;
//   whole: the received signal heard to its end, not only to the next whole block's.
// A trial whose reading was not right ("miss") is not decoded.
//
// Usage: late_trials RATE INTERLEAVER CONDITION ESNO FIRST COUNT [NFRAME=3]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "chain/hf_receiver.hpp"
#include "chain/road.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "receiver/blocklock/blocklock.hpp"
#include "receiver/impulseblank/impulseblank.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "sweep/acquisition.hpp"
#include "sweep/trial.hpp"
#include "transmitter/bitbudget.hpp"

using namespace hfchain;
using namespace hfchain::sweep;

namespace {

struct Point {
    ModeParams mode;
    int index = -1;  // in kModes
    std::string condition;
    double esno = 0;
    double nFrame = 3;
    VarShapping shaping;
};

// The wrong bits of the `count` encoder input bits of `sent` from `first` on, against `decoded`
// from `from` on (missing ones wrong).
index_t wrong_bits(const RealArray& decoded, index_t from, const RealArray& sent, index_t first,
                   index_t count) {
    index_t e = 0;
    for (index_t k = 0; k < count; ++k) {
        e += from + k >= decoded.numel() || decoded[from + k] != sent[first + k] ? 1 : 0;
    }
    return e;
}

// The received signal from sample `skip` on, `length` samples at most, as the sweep's trial hears
// it (impulses blanked), matched-filtered.
ComplexArray hear(const ComplexArray& received, index_t skip, index_t length,
                  const VarShapping& shaping, HostServices& host) {
    const index_t from = std::min(skip, received.numel());
    ComplexArray heard(std::min(length, received.numel() - from));
    std::copy(received.begin() + from, received.begin() + from + heard.numel(), heard.begin());
    const ImpulseblankOut b = impulseblank(heard);
    return pulsematch(b.samples.empty() ? heard : blanked(heard, b.samples), shaping, host).out;
}

void print_paths(const char* what, const ChansoundOut& s, double from) {
    std::printf(" | %s paths", what);
    for (index_t p = 0; p < s.delays.numel(); ++p) {
        std::printf(" %+.0f(%.2g)", s.delays[p] - from, s.pathPower[p]);
    }
    std::printf(" noise %.3g", s.noiseVar);
}

void trial(const Point& pt, std::int64_t k, HostServices& host) {
    const double rate = pt.mode.rate;
    const TrialSeeds seeds = trial_seeds(1, rate, pt.condition, pt.esno, k);
    RoadConfig road;
    road.nFrame = pt.nFrame;
    road.txSeed = seeds.tx;
    road.shaping = pt.shaping;
    road.channel = road_channel(pt.condition, pt.esno, seeds.channel);
    road.receivers = {ReceiverKind::hf};
    const RoadResult full = run_road(pt.mode, road, host);
    const double M = pt.shaping.oversamplingFactor;
    const index_t skip =
        entry_sample(pt.mode, pt.nFrame, LateEntry::data, M, trial_draws(host, seeds.tx)[3]);
    AcquisitionTruth truth =
        entry_truth(pt.mode, pt.nFrame, road.channel, pt.shaping, -static_cast<double>(skip));
    truth.mode = pt.index;
    const ComplexArray& received = full.faded.AwgnOut;
    const index_t per = bit_budget(pt.mode, pt.nFrame).total / static_cast<index_t>(truth.blocks);
    const index_t next = next_block(truth);
    const RealArray& sent = full.tx.BitInCodIn;
    const ComplexArray matched =
        hear(received, skip, heard_length(truth, received.numel() - skip), pt.shaping, host);
    const BlocklockOut lock = blocklock(matched, pt.shaping, {}, host);
    int from = 0;
    if (classify(lock, truth, &from) != Acquired::right) {
        std::printf("%lld miss\n", static_cast<long long>(k));
        return;
    }
    HfSettings settings;
    settings.shaping = pt.shaping;
    settings.nFrame = static_cast<double>(std::max<index_t>(from, next) + 1 - from);
    HfLateReceived late;
    const auto late_errors = [&](const ComplexArray& in, double start, double offset) {
        late = receive_hf_late(in, start, offset, pt.mode, settings, host);
        return late.decoding.ran ? wrong_bits(late.decoding.decoded.DecodOut, (next - from) * per,
                                              sent, next * per, per)
                                 : per;
    };
    const double at = std::round(truth.firstData + from * truth.block);
    const index_t whole = late_errors(hear(received, skip, received.numel(), pt.shaping, host),
                                      lock.blockStart, lock.offset);
    const index_t off0 = late_errors(matched, lock.blockStart, 0);
    const index_t first = late_errors(matched, at, lock.offset);
    const index_t errors = late_errors(matched, lock.blockStart, lock.offset);
    std::printf(
        "%lld block %lld start %+.1f symbols offset %.3f confidence %.3f | full %lld late "
        "%lld | at %lld off0 %lld whole %lld",
        static_cast<long long>(k), static_cast<long long>(next), (lock.blockStart - at) / M,
        lock.offset, lock.confidence,
        static_cast<long long>(
            wrong_bits(full.hf.decoded.DecodOut, next * per, sent, next * per, per)),
        static_cast<long long>(errors), static_cast<long long>(first), static_cast<long long>(off0),
        static_cast<long long>(whole));
    print_paths("late", late.sounding, lock.blockStart);
    print_paths("full", full.sounding, full.sounding.delays[0]);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr,
                     "usage: late_trials RATE INTERLEAVER CONDITION ESNO FIRST COUNT [NFRAME=3]\n");
        return 2;
    }
    Point pt;
    const double rate = std::atof(argv[1]);
    const double interLen = std::atof(argv[2]);
    pt.mode = rateconf(rate, interLen);
    pt.index = static_cast<int>(find_mode(rate, interLen) - kModes);
    pt.condition = argv[3];
    pt.esno = std::atof(argv[4]);
    pt.nFrame = argc > 7 ? std::atof(argv[7]) : 3;
    const long long first = std::atoll(argv[5]);
    BuiltinHost host;
    for (long long k = first; k < first + std::atoll(argv[6]); ++k) {
        trial(pt, k, host);
        std::fflush(stdout);
    }
    return 0;
}
