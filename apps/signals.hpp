// Stop requests from outside: Ctrl-C (SIGINT), SIGTERM (a batch scheduler, `kill`) and SIGHUP (a
// closed terminal).
//
// The first of them sets the stop flag, which the blocks poll: a sweep stops between trials and
// still writes what it finished, then the program exits with 128 + the signal's number. A second
// one abandons everything at once: the temporary files of results not yet in place are removed
// (their targets keep their previous content) and the program exits with kAbandonedStatus.
#pragma once

#include <atomic>
#include <csignal>

namespace hfchain::app {

// Exit status after a second stop signal: results were not (all) written.
inline constexpr int kAbandonedStatus = 3;

// The flag the first stop signal sets (also set by hand, for example when another process of the
// same job was stopped).
std::atomic<bool>& stop_flag();

// The signal that set the stop flag, or 0.
int stop_signal();

// Records `signal` as the reason for the stop (the first one wins) and sets the stop flag.
void request_stop(int signal);

// 128 + stop_signal(); 130 (as for Ctrl-C) when the flag was set without a signal.
int stop_status();

// Handles SIGINT, SIGTERM and SIGHUP for its lifetime. A signal that was ignored when the program
// started (SIGINT in a background job, SIGHUP under nohup) stays ignored.
class StopSignals {
public:
    StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    ~StopSignals();

private:
    struct sigaction previous_[3] = {};  // SIGINT, SIGTERM, SIGHUP
    bool installed_[3] = {};
};

}  // namespace hfchain::app
