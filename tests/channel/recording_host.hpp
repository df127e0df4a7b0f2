// A host for the channel tests: the built-in generator, with a log of every service call and an
// optional user interrupt after a number of polls.
#pragma once

#include <string>
#include <vector>

#include "runtime/builtin_host.hpp"
#include "runtime/checks.hpp"

namespace hfchain {

class RecordingHost final : public HostServices {
public:
    explicit RecordingHost(double seed) : inner_(seed) {}

    std::unique_ptr<RngSettings> seed_twister(double seed) override {
        log.push_back("seed " + format_value(seed));
        return inner_.seed_twister(seed);
    }
    void restore(const RngSettings& settings) override {
        log.push_back("restore");
        inner_.restore(settings);
    }
    RealArray rand(index_t n) override {
        log.push_back("rand " + std::to_string(n));
        return inner_.rand(n);
    }
    RealArray randn(index_t rows, index_t cols) override {
        log.push_back("randn " + std::to_string(rows) + "x" + std::to_string(cols));
        return inner_.randn(rows, cols);
    }
    void poll_interrupt() override {
        if (++polls == interrupt_at_poll) raise(errid::kInterrupted, "Interrupted by the user.");
    }

    std::vector<std::string> log;
    int polls = 0;
    int interrupt_at_poll = -1;

private:
    BuiltinHost inner_;
};

}  // namespace hfchain
