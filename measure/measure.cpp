#include "measure/measure.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

#include "chain/road.hpp"
#include "chain/seedhash.hpp"
#include "runtime/builtin_host.hpp"

namespace hfchain::measure {

namespace {

// 10 log10(3000 / 2400): the symbol rate's share of a 3 kHz band.
const double kBandRatio = 10.0 * std::log10(3000.0 / 2400.0);

// One trial: the transmission through the condition at the SNR, both receivers.
TrialCount run_trial(const Milstd& milstd, const CurveConfig& config, double snr,
                     std::int64_t trial, HostServices& host) {
    const TrialSeeds seeds =
        trial_seeds(config.seed, config.interLen, config.condition, snr, trial);
    RoadConfig road;
    road.nFrame = 1;
    road.txSeed = seeds.tx;
    road.shaping = config.shaping;
    const bool awgn = config.condition == "awgn";
    road.channel = awgn ? ChannelKind::awgn : ChannelKind::watterson;
    road.watterson = VarWatterson{awgn ? "bom" : config.condition, esno_of_snr(snr), seeds.channel};
    road.receivers = {ReceiverKind::hf, ReceiverKind::genie};
    road.iterations = config.iterations;
    const RoadResult r = run_road(milstd, road, host);
    TrialCount c;
    c.bits = r.hf.infoBits;
    c.hfErrors = r.hf.infoBitErrors;
    c.genieErrors = r.genie.infoBitErrors;
    return c;
}

// One point, its trials spread over the workers.
PointStats run_point(const Milstd& milstd, const CurveConfig& config, double snr,
                     const std::atomic<bool>* stop) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<TrialCount>> done;
    std::vector<double> seconds;
    std::int64_t dispatched = 0;
    std::int64_t counted = 0;  // K once the rule is met
    std::exception_ptr error;

    // The prefix of completed trials, and the rule over it.
    auto settle = [&] {
        std::vector<TrialCount> prefix;
        for (const auto& d : done) {
            if (!d) break;
            prefix.push_back(*d);
        }
        counted = counted_trials(prefix, config);
    };

    auto worker = [&] {
        BuiltinHost host;
        std::unique_lock lock(mutex);
        for (;;) {
            if (counted > 0 || error || (stop != nullptr && stop->load())) return;
            const std::int64_t trial = dispatched++;
            lock.unlock();
            std::optional<TrialCount> result;
            double took = 0;
            try {
                const auto start = std::chrono::steady_clock::now();
                result = run_trial(milstd, config, snr, trial, host);
                took =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            } catch (...) {
                lock.lock();
                if (!error) error = std::current_exception();
                changed.notify_all();
                return;
            }
            lock.lock();
            if (static_cast<std::int64_t>(done.size()) <= trial) {
                done.resize(trial + 1);
                seconds.resize(trial + 1);
            }
            done[trial] = result;
            seconds[trial] = took;
            settle();
            changed.notify_all();
        }
    };

    const int threads = config.threads > 0
                            ? config.threads
                            : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; ++i) pool.emplace_back(worker);
    for (std::thread& t : pool) t.join();
    if (error) std::rethrow_exception(error);

    PointStats p;
    p.snr = snr;
    const std::int64_t K = counted > 0 ? counted : 0;
    for (std::int64_t t = 0; t < K; ++t) {
        const TrialCount& c = *done[t];
        ++p.trials;
        p.bits += c.bits;
        p.hfErrors += c.hfErrors;
        p.genieErrors += c.genieErrors;
        p.hfTrialsInError += c.hfErrors > 0 ? 1 : 0;
        p.genieTrialsInError += c.genieErrors > 0 ? 1 : 0;
        p.seconds += seconds[t];
    }
    return p;
}

}  // namespace

double esno_of_snr(double snr_db) { return snr_db + kBandRatio; }
double snr_of_esno(double esno_db) { return esno_db - kBandRatio; }

TrialSeeds trial_seeds(std::uint32_t seed, double interLen, const std::string& condition,
                       double snr_db, std::int64_t trial) {
    std::uint64_t h = mix(seed + 0x9e3779b97f4a7c15ULL);
    h = mix(h ^ static_cast<std::uint64_t>(std::llround(interLen * 1000)));
    h = mix(h ^ fnv1a64(condition));
    h = mix(h ^ static_cast<std::uint64_t>(std::llround(snr_db * 1000)));
    h = mix(h ^ static_cast<std::uint64_t>(trial));
    TrialSeeds s;
    s.tx = static_cast<double>(mix(h ^ 1) & 0xffffffffULL);
    s.channel = static_cast<double>(mix(h ^ 2) & 0xffffffffULL);
    return s;
}

std::int64_t counted_trials(const std::vector<TrialCount>& trials, const CurveConfig& config) {
    std::int64_t bits = 0, hf = 0, genie = 0, hf_events = 0, genie_events = 0;
    for (std::size_t t = 0; t < trials.size(); ++t) {
        bits += trials[t].bits;
        hf += trials[t].hfErrors;
        genie += trials[t].genieErrors;
        hf_events += trials[t].hfErrors > 0 ? 1 : 0;
        genie_events += trials[t].genieErrors > 0 ? 1 : 0;
        const auto k = static_cast<std::int64_t>(t + 1);
        if (k < config.minTrials) continue;
        const bool enough = hf >= config.minErrors && genie >= config.minErrors &&
                            hf_events >= config.minEvents && genie_events >= config.minEvents;
        if (enough || bits >= config.maxBits) return k;
    }
    return 0;
}

std::vector<PointStats> measure_curve(const Milstd& milstd, const CurveConfig& config,
                                      const std::function<void(const PointStats&)>& progress,
                                      const std::atomic<bool>* stop) {
    std::vector<PointStats> points;
    for (const double snr : config.snr) {
        if (stop != nullptr && stop->load()) break;
        const PointStats p = run_point(milstd, config, snr, stop);
        if (p.trials == 0) break;  // stopped before the rule was met
        points.push_back(p);
        if (progress) progress(p);
        if (p.hfRate() < config.floor && p.genieRate() < config.floor) break;
    }
    return points;
}

double snr_at(const std::vector<double>& snr, const std::vector<double>& rate, double target) {
    std::optional<std::size_t> previous;
    for (std::size_t i = 0; i < snr.size() && i < rate.size(); ++i) {
        if (!(rate[i] > 0)) continue;
        if (previous && rate[*previous] >= target && rate[i] < target) {
            const double a = std::log10(rate[*previous]), b = std::log10(rate[i]);
            const double f = (std::log10(target) - a) / (b - a);
            return snr[*previous] + f * (snr[i] - snr[*previous]);
        }
        previous = i;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace hfchain::measure
