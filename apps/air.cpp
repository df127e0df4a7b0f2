#include "apps/air.hpp"

#include "sweep/config.hpp"

namespace hfchain::app {

void add_mode_options(CLI::App& cmd, double& rate, double& interLen) {
    cmd.add_option("--rate", rate, "Data rate in bit/s: " + sweep::rate_list())
        ->type_name("BIT/S")
        ->capture_default_str();
    cmd.add_option("-i,--interleaver", interLen, "Interleaver length in seconds: 0.6 or 4.8")
        ->type_name("S")
        ->capture_default_str();
}

void add_carrier_option(CLI::App& cmd, double& carrier) {
    cmd.add_option("--carrier", carrier, "Carrier frequency")
        ->type_name("HZ")
        ->capture_default_str();
}

}  // namespace hfchain::app
