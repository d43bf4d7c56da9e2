#pragma once
// `vyx run`: joins the command line, the configuration, one device driver,
// an optional trace directory, Android emulator preparation and screen
// recording, the scenario runner and the JSON summary.

#include <optional>
#include <string>

#include "core/args.hpp"
#include "core/clock.hpp"
#include "core/command.hpp"
#include "core/errors.hpp"
#include "core/run_options.hpp"

namespace vyx::cli_run {

// Everything the command line of `run` says.
struct RunFlags {
  RunCliOptions options;
  std::optional<std::string> configPath;
  std::optional<std::string> discoverOut;
  bool json = false;
};

// Parses the arguments after "run". A value flag takes the next argument
// whatever it is; a repeated flag overrides; the first positional argument
// is the scenario path; any other argument fails with unknownFlag.
Expected<RunFlags> parseFlags(ArgIterator& args);

// The outside world of a run: the child-process runner of every tool call
// and the clock of every pause and deadline.
struct Environment {
  command::ProcessRunner& runner;
  Clock& clock;
};

// The command handler: returns the run's outcome (or the first early
// failure), which the entry point turns into the exit status.
Status run(ArgIterator& args);
Status run(ArgIterator& args, Environment& env);

}  // namespace vyx::cli_run
