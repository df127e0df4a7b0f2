// `hfchain transmit` and `hfchain receive`: the waveform on the air, as audio files.
#pragma once

#include <CLI/CLI.hpp>

#include "apps/options.hpp"

namespace hfchain::app {

// Writes the transmission as audio and reports it (on standard error when the audio goes to
// standard output). Returns the exit status.
int transmit(const TransmitOptions& options);

// Decodes the recording, reports each transmission and writes the outputs. Returns the exit
// status: 0 when every block of at least one transmission decoded, 1 otherwise (the outputs are
// still written).
int receive(const ReceiveOptions& options);

// --rate and -i.
void add_mode_options(CLI::App& cmd, double& rate, double& interLen);
// --carrier.
void add_carrier_option(CLI::App& cmd, double& carrier);

}  // namespace hfchain::app
