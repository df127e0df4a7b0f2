// The commands of the program, one file each (command_run.cpp, ...) over the option groups they
// share (apps/option_groups.hpp). A command adds itself and its options to the program's parser
// and says how to read them once the command line is parsed.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

#include "apps/options.hpp"

namespace hfchain::app {

struct CommandParser {
    CLI::App* command;
    // Called once the command line is parsed, when it gave this command: turns the text given into
    // the command's options and checks them. Raises UsageError.
    std::function<void()> finish;
};

CommandParser add_run_command(CLI::App& app, RunOptions& options);
CommandParser add_sweep_command(CLI::App& app, SweepOptions& options);
CommandParser add_requirements_command(CLI::App& app, RequirementsOptions& options);
CommandParser add_transmit_command(CLI::App& app, TransmitOptions& options);
CommandParser add_receive_command(CLI::App& app, ReceiveOptions& options);
CommandParser add_channel_command(CLI::App& app, ChannelOptions& options);

// Runs `hfchain channel`; returns the exit status. Raises on a failure.
int do_channel(ChannelOptions& options);

}  // namespace hfchain::app
