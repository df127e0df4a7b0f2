// hfchain: the command-line front of the simulator.
//
// With no arguments it runs the main job on built-in defaults.
#include <cstdio>
#include <exception>

#include "params/modeconf.hpp"
#include "runtime/error.hpp"

namespace {

void print_parameter_set(const hfchain::Milstd& m) {
    std::printf("Parameter set for a %.1f s interleaver\n", m.interl);
    std::printf("  rate               %.0f bit/s (8-PSK, rate-1/2 code, %g bits per symbol)\n",
                m.rate, m.bitsToSym);
    std::printf("  interleaver block  %d bits (interTable %d x 1)\n", m.interTable.numel(),
                m.interTable.numel());
    std::printf("  frame              %.0f data + %.0f probe symbols\n", m.data, m.trein);
    std::printf("  preamble           %d symbols\n", m.preamSync.numel());
    std::printf("  interTable starts  ");
    for (int k = 0; k < 5; ++k) std::printf("%.0f ", m.interTable[k]);
    std::printf("...\n  probe columns      ");
    for (int c = 0; c < 2; ++c) {
        for (int r = 0; r < m.probe.rows(); ++r) std::printf("%.0f", m.probe(r, c));
        std::printf(c == 0 ? " / " : "\n");
    }
}

}  // namespace

int main() {
    try {
        for (const double interLen : {0.6, 4.8}) {
            print_parameter_set(hfchain::modeconf(interLen));
            std::printf("\n");
        }
    } catch (const hfchain::Error& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
