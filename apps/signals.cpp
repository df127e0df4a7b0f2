#include "apps/signals.hpp"

#include <unistd.h>

#include <csignal>

#include "runtime/output_file.hpp"

namespace hfchain::app {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<bool> g_stop{false};
std::atomic<int> g_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "set from a signal handler");

extern "C" void on_stop_signal(int signal) {
    int none = 0;
    if (g_signal.compare_exchange_strong(none, signal)) {
        g_stop.store(true);
        return;
    }
    // The second request: leave nothing half-written behind and go.
    remove_temporary_files_now();
    static const char message[] =
        "hfchain: stopped by a second signal; results not written (files keep their previous "
        "content)\n";
    const ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    ::_exit(kAbandonedStatus);
}

}  // namespace

std::atomic<bool>& stop_flag() { return g_stop; }

int stop_signal() { return g_signal.load(); }

void request_stop(int signal) {
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
    g_stop.store(true);
}

int stop_status() {
    const int s = g_signal.load();
    return 128 + (s > 0 ? s : SIGINT);
}

StopSignals::StopSignals() {
    static_assert(std::size(kStopSignals) == sizeof previous_ / sizeof previous_[0]);
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], nullptr, &previous_[i]);
        if (previous_[i].sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = on_stop_signal;
        sigemptyset(&sa.sa_mask);
        for (const int s : kStopSignals) sigaddset(&sa.sa_mask, s);  // one handler at a time
        sa.sa_flags = SA_RESTART;
        sigaction(kStopSignals[i], &sa, nullptr);
        installed_[i] = true;
    }
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        if (installed_[i]) sigaction(kStopSignals[i], &previous_[i], nullptr);
    }
}

}  // namespace hfchain::app
