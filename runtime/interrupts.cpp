#include "runtime/interrupts.hpp"

namespace hfchain {

namespace {

class NoHost final : public HostServices {
public:
    std::unique_ptr<RngSettings> seed_twister(double) override { refuse(); }
    void restore(const RngSettings&) override { refuse(); }
    RealArray rand(index_t) override { refuse(); }
    RealArray randn(index_t, index_t) override { refuse(); }
    void poll_interrupt() override {}

private:
    [[noreturn]] static void refuse() {
        raise("hfchain:host:NoStream",
              "This call has no host random stream: pass a host to the block that draws.");
    }
};

}  // namespace

HostServices& no_host() noexcept {
    static NoHost host;
    return host;
}

}  // namespace hfchain
