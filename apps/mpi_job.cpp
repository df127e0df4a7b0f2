#include "apps/mpi_job.hpp"

#include <mpi.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "apps/signals.hpp"
#include "runtime/error.hpp"
#include "sweep/journal.hpp"

namespace hfchain::app {

namespace {

// Messages between rank 0 and the others, all text. Rank r to rank 0: kRequest "n" (n more
// trials wanted), kResult "point trial outcome...", kFail "identifier\nmessage", kStopped
// "signal" (a stop signal reached rank r), kDone "" (rank r has finished, last message). Rank 0
// to rank r: kTrials "point trial point trial ...", kStop "" (no more trials: abandon the running
// ones and finish; last message). Between the sweeps of a table, rank 0 to rank r: kPoint "row
// snr3k" (the next point's sweep starts), kFinish "" (the table is finished; last message).
enum Tag : int { kRequest = 1, kResult, kFail, kStopped, kDone, kTrials, kStop, kPoint, kFinish };

void send(MPI_Comm comm, int to, Tag tag, const std::string& text) {
    MPI_Send(text.data(), static_cast<int>(text.size()), MPI_CHAR, to, tag, comm);
}

struct Message {
    int from = 0;
    int tag = 0;
    std::string text;
};

// The next message for this rank (from `from`, or anyone), without waiting.
bool receive(MPI_Comm comm, int from, Message& m) {
    int flag = 0;
    MPI_Status status;
    MPI_Iprobe(from, MPI_ANY_TAG, comm, &flag, &status);
    if (flag == 0) return false;
    int count = 0;
    MPI_Get_count(&status, MPI_CHAR, &count);
    m.text.assign(static_cast<std::size_t>(count), '\0');
    MPI_Recv(m.text.data(), count, MPI_CHAR, status.MPI_SOURCE, status.MPI_TAG, comm,
             MPI_STATUS_IGNORE);
    m.from = status.MPI_SOURCE;
    m.tag = status.MPI_TAG;
    return true;
}

// Whole numbers separated by spaces.
bool read_numbers(std::string_view text, std::vector<std::int64_t>& out) {
    out.clear();
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        std::int64_t v = 0;
        const auto r = std::from_chars(p, end, v);
        if (r.ec != std::errc()) return false;
        out.push_back(v);
        p = r.ptr;
        if (p < end && *p++ != ' ') return false;
    }
    return true;
}

std::string ticket_text(const sweep::TrialTicket& t) {
    return std::to_string(t.point) + ' ' + std::to_string(t.trial);
}

// Rank 0's view of the other ranks.
class RemoteRanks final : public sweep::RemoteWorkers {
public:
    RemoteRanks(MPI_Comm comm, int size, int threads, sweep::Metric metric)
        : comm_(comm),
          size_(size),
          threads_(threads),
          metric_(metric),
          wanted_(size, 0),
          done_(size, false) {
        done_[0] = true;
    }

    RemoteRanks(const RemoteRanks&) = delete;
    RemoteRanks& operator=(const RemoteRanks&) = delete;
    ~RemoteRanks() override {
        if (!all_done()) {
            std::fputs("hfchain: ending every rank of the job\n", stderr);
            MPI_Abort(MPI_COMM_WORLD, 1);
        }
    }

    int threads() const override { return threads_; }
    int ranks() const override { return size_; }

    bool poll(sweep::TrialQueue& queue) override {
        try {
            return exchange(queue);
        } catch (const std::exception& e) {
            // Nothing here may leave the other ranks waiting.
            std::fprintf(stderr, "hfchain: %s; ending every rank of the job\n", e.what());
            MPI_Abort(MPI_COMM_WORLD, 1);
        }
        return false;
    }

private:
    bool all_done() const {
        return std::all_of(done_.begin(), done_.end(), [](bool d) { return d; });
    }

    bool exchange(sweep::TrialQueue& queue) {
        Message m;
        std::vector<std::int64_t> numbers;
        while (receive(comm_, MPI_ANY_SOURCE, m)) {
            const std::string rank = "rank " + std::to_string(m.from);
            switch (m.tag) {
                case kRequest:
                    if (read_numbers(m.text, numbers) && numbers.size() == 1 && numbers[0] > 0) {
                        wanted_[m.from] += numbers[0];
                    }
                    break;
                case kResult: {
                    const std::size_t second = m.text.find(' ', m.text.find(' ') + 1);
                    sweep::TrialOutcome outcome;
                    if (second == std::string::npos ||
                        !read_numbers(std::string_view(m.text).substr(0, second), numbers) ||
                        numbers.size() != 2 ||
                        !sweep::decode_outcome(std::string_view(m.text).substr(second + 1), outcome,
                                               metric_)) {
                        queue.fail(std::make_exception_ptr(
                            Error("", rank + " sent a malformed result: '" + m.text + "'")));
                        break;
                    }
                    queue.give({numbers[0], numbers[1]}, outcome);
                    break;
                }
                case kFail: {
                    const std::size_t eol = m.text.find('\n');
                    const std::string id = eol == std::string::npos ? "" : m.text.substr(0, eol);
                    const std::string text =
                        eol == std::string::npos ? m.text : m.text.substr(eol + 1);
                    queue.fail(std::make_exception_ptr(Error(id, rank + ": " + text)));
                    break;
                }
                case kStopped:
                    if (read_numbers(m.text, numbers) && numbers.size() == 1) {
                        request_stop(static_cast<int>(numbers[0]));
                    } else {
                        request_stop(0);
                    }
                    break;
                case kDone:
                    done_[m.from] = true;
                    break;
                default:
                    queue.fail(
                        std::make_exception_ptr(Error("", rank + " sent an unknown message (tag " +
                                                              std::to_string(m.tag) + ")")));
            }
        }
        if (!queue.stopping()) {
            for (int r = 1; r < size_; ++r) {
                std::string trials;
                for (; wanted_[r] > 0; --wanted_[r]) {
                    const std::optional<sweep::TrialTicket> t = queue.take();
                    if (!t) break;
                    if (!trials.empty()) trials += ' ';
                    trials += ticket_text(*t);
                }
                if (!trials.empty()) send(comm_, r, kTrials, trials);
            }
        } else if (!stop_sent_) {
            for (int r = 1; r < size_; ++r) send(comm_, r, kStop, "");
            stop_sent_ = true;
        }
        return !all_done();
    }

    MPI_Comm comm_;
    int size_;
    int threads_;
    sweep::Metric metric_;              // the fields of the results
    std::vector<std::int64_t> wanted_;  // trials each rank asked for and has not yet received
    std::vector<bool> done_;
    bool stop_sent_ = false;
};

// "row snr3k": a point of the table, its SNR written so that it reads back as the same number
// (its trials' seeds come from it).
std::string point_text(std::size_t index, double snr3k) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, snr3k);
    return std::to_string(index) + ' ' + std::string(buf, r.ptr);
}

bool read_point(std::string_view text, std::size_t& index, double& snr3k) {
    const char* end = text.data() + text.size();
    const auto i = std::from_chars(text.data(), end, index);
    if (i.ec != std::errc() || i.ptr == end || *i.ptr != ' ') return false;
    const auto x = std::from_chars(i.ptr + 1, end, snr3k);
    return x.ec == std::errc() && x.ptr == end;
}

// Rank 0's view of the other ranks through the points of a table: each point's sweep has its own
// RemoteRanks.
class RankPoints final : public sweep::RemotePoints {
public:
    RankPoints(MPI_Comm comm, int size, int threads)
        : comm_(comm), size_(size), threads_(threads) {}

    RankPoints(const RankPoints&) = delete;
    RankPoints& operator=(const RankPoints&) = delete;
    ~RankPoints() override {
        current_.reset();  // a point's sweep left running ends the job here
        for (int r = 1; r < size_; ++r) send(comm_, r, kFinish, "");
    }

    sweep::RemoteWorkers* point(std::size_t index, double snr3k) override {
        current_.reset();
        const std::string text = point_text(index, snr3k);
        for (int r = 1; r < size_; ++r) send(comm_, r, kPoint, text);
        current_ = std::make_unique<RemoteRanks>(comm_, size_, threads_, sweep::Metric::decoded);
        return current_.get();
    }

private:
    MPI_Comm comm_;
    int size_;
    int threads_;
    std::unique_ptr<RemoteRanks> current_;  // the workers of the point running or last run
};

// What a rank's worker threads share with its main thread, which alone talks to rank 0.
struct RankWork {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<sweep::TrialTicket> trials;           // received, not started
    std::deque<std::pair<Tag, std::string>> outbox;  // results and failures for rank 0
    int running = 0;
    bool stop = false;
};

void rank_worker(RankWork& work, const sweep::SweepConfig& config, sweep::TrialRunner& runner) {
    for (;;) {
        sweep::TrialTicket ticket;
        {
            std::unique_lock lock(work.mutex);
            work.changed.wait(lock, [&] { return work.stop || !work.trials.empty(); });
            if (work.stop) return;
            ticket = work.trials.front();
            work.trials.pop_front();
            ++work.running;
        }
        std::pair<Tag, std::string> message{kResult, {}};
        bool send_it = true;
        try {
            const auto start = std::chrono::steady_clock::now();
            sweep::TrialOutcome outcome = runner.run(sweep::trial_job(config, ticket));
            outcome.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            message.second =
                ticket_text(ticket) + ' ' + sweep::encode_outcome(outcome, config.metric);
        } catch (const Error& e) {
            send_it = e.identifier() != errid::kInterrupted;
            message = {kFail, e.identifier() + '\n' + e.what()};
        } catch (const std::exception& e) {
            message = {kFail, std::string("\n") + e.what()};
        }
        std::lock_guard lock(work.mutex);
        --work.running;
        if (send_it) work.outbox.push_back(std::move(message));
        work.changed.notify_all();
    }
}

}  // namespace

struct MpiJob::Comms {
    MPI_Comm work = MPI_COMM_NULL;  // the trials' messages, apart from any other traffic
};

MpiJob::MpiJob(int& argc, char**& argv) : comms_(std::make_unique<Comms>()) {
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
    MPI_Comm node = MPI_COMM_NULL;
    MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &node);
    MPI_Comm_size(node, &local_size_);
    MPI_Comm_free(&node);
    MPI_Comm_dup(MPI_COMM_WORLD, &comms_->work);
}

MpiJob::~MpiJob() {
    MPI_Comm_free(&comms_->work);
    MPI_Finalize();
}

int MpiJob::agree(int status, std::string& message) {
    int worst = 0;
    MPI_Allreduce(&status, &worst, 1, MPI_INT, MPI_MAX, comms_->work);
    if (worst == 0) return 0;
    const int mine = status != 0 ? rank_ : size_;
    int first = 0;
    MPI_Allreduce(&mine, &first, 1, MPI_INT, MPI_MIN, comms_->work);
    if (first != 0) {
        if (rank_ == first) {
            send(comms_->work, 0, kFail, message);
        } else if (rank_ == 0) {
            Message m;
            while (!receive(comms_->work, first, m)) std::this_thread::yield();
            message = "rank " + std::to_string(first) + ": " + m.text;
        }
    }
    return worst;
}

std::string MpiJob::from_rank0(const std::string& text) {
    int n = rank_ == 0 ? static_cast<int>(text.size()) : 0;
    MPI_Bcast(&n, 1, MPI_INT, 0, comms_->work);
    std::string out = rank_ == 0 ? text : std::string(static_cast<std::size_t>(n), '\0');
    MPI_Bcast(out.data(), n, MPI_CHAR, 0, comms_->work);
    return out;
}

void MpiJob::abort(int status) {
    MPI_Abort(MPI_COMM_WORLD, status);
    std::_Exit(status);  // not reached
}

int MpiJob::sum_of_others(int value) {
    int mine = rank_ == 0 ? 0 : value;
    int sum = 0;
    MPI_Reduce(&mine, &sum, 1, MPI_INT, MPI_SUM, 0, comms_->work);
    return sum;
}

std::unique_ptr<sweep::RemoteWorkers> remote_ranks(MpiJob& job, int threads, sweep::Metric metric) {
    return std::make_unique<RemoteRanks>(job.comms_->work, job.size(), threads, metric);
}

int serve_trials(MpiJob& job, const sweep::SweepConfig& config,
                 const sweep::TrialRunnerFactory& runners, int threads) {
    const MPI_Comm comm = job.comms_->work;
    RankWork work;
    std::vector<std::unique_ptr<sweep::TrialRunner>> owned;
    for (int t = 0; t < threads; ++t) owned.push_back(runners());
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back(
            [&work, &config, runner = owned[t].get()] { rank_worker(work, config, *runner); });
    }

    int status = 0;
    std::int64_t asked = 0;  // trials asked for and not yet received
    bool stopping = false;   // rank 0 said stop
    bool told = false;       // rank 0 was told of a stop signal here, or of a failure
    Message m;
    std::vector<std::int64_t> numbers;
    for (;;) {
        while (!stopping && receive(comm, 0, m)) {
            if (m.tag == kStop) {
                stopping = true;
                stop_flag().store(true);  // abandon the running trials
                std::lock_guard lock(work.mutex);
                work.stop = true;
                work.trials.clear();
                work.changed.notify_all();
            } else if (m.tag == kTrials && read_numbers(m.text, numbers) &&
                       numbers.size() % 2 == 0) {
                std::lock_guard lock(work.mutex);
                for (std::size_t i = 0; i < numbers.size(); i += 2) {
                    work.trials.push_back({numbers[i], numbers[i + 1]});
                }
                asked -= static_cast<std::int64_t>(numbers.size() / 2);
                work.changed.notify_all();
            }
        }
        std::deque<std::pair<Tag, std::string>> outbox;
        std::int64_t idle = 0;
        bool finished = false;
        {
            std::unique_lock lock(work.mutex);
            if (work.outbox.empty() && !(stopping && work.running == 0)) {
                work.changed.wait_for(lock, std::chrono::milliseconds(1));
            }
            outbox.swap(work.outbox);
            idle = threads - work.running - static_cast<std::int64_t>(work.trials.size()) - asked;
            finished = stopping && work.running == 0;
        }
        for (const auto& [tag, text] : outbox) {
            if (tag == kFail) {
                if (told) continue;
                told = true;
                status = 1;
            }
            if (!stopping || tag != kFail) send(comm, 0, tag, text);
        }
        if (!stopping && !told && stop_flag().load()) {
            // A stop signal reached this rank: the whole job stops.
            send(comm, 0, kStopped, std::to_string(stop_signal()));
            told = true;
        }
        if (!stopping && !told && idle > 0) {
            send(comm, 0, kRequest, std::to_string(idle));
            asked += idle;
        }
        if (finished) break;
    }
    for (std::thread& w : workers) w.join();
    // Results of trials that ended after the stop are of no use any more.
    send(comm, 0, kDone, "");
    return status;
}

std::unique_ptr<sweep::RemotePoints> remote_points(MpiJob& job, int threads) {
    return std::make_unique<RankPoints>(job.comms_->work, job.size(), threads);
}

int serve_points(MpiJob& job, const sweep::RequirementsConfig& config,
                 const sweep::RowRunners& runners, int threads) {
    const MPI_Comm comm = job.comms_->work;
    const auto& rows = sweep::requirement_rows();
    int status = 0;
    Message m;
    for (;;) {
        while (!receive(comm, 0, m)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (m.tag == kFinish) return status;
        std::size_t index = 0;
        double snr3k = 0;
        if (m.tag != kPoint || !read_point(m.text, index, snr3k) || index >= rows.size()) {
            std::fprintf(stderr,
                         "hfchain: rank %d: rank 0 sent an unknown message (tag %d: '%s'); ending "
                         "every rank of the job\n",
                         job.rank(), m.tag, m.text.c_str());
            job.abort(1);
        }
        const sweep::SweepConfig point =
            sweep::requirement_point_config(config, rows[index], snr3k);
        status = std::max(status, serve_trials(job, point, runners(point), threads));
        // The point's stop raised the stop flag to abandon its trials; the next point starts
        // afresh, unless a stop signal reached this rank (it then stops the table at once).
        stop_flag().store(false);
        if (stop_signal() != 0) stop_flag().store(true);
    }
}

}  // namespace hfchain::app
