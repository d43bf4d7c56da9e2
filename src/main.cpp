// The vyx entry point: process set-up, command dispatch, tear-down and the
// exit status.

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

#include "authoring/cli_discover.hpp"
#include "authoring/cli_doctor.hpp"
#include "authoring/cli_draft.hpp"
#include "authoring/cli_explore.hpp"
#include "authoring/cli_import.hpp"
#include "authoring/cli_init.hpp"
#include "authoring/cli_readiness.hpp"
#include "core/args.hpp"
#include "core/cli_info.hpp"
#include "core/cli_validate.hpp"
#include "core/crash.hpp"
#include "core/errors.hpp"
#include "core/memory.hpp"
#include "core/stdio.hpp"
#include "core/usage.hpp"
#include "devices/cli_devices.hpp"
#include "reports/cli_trace.hpp"
#include "runner/cli_run.hpp"
#include "server/cli_serve.hpp"

namespace {

using vyx::ArgIterator;
using vyx::Status;

using Handler = Status (*)(ArgIterator&);

struct Command {
  std::string_view word;
  Handler handler;
};

Status runHelp(ArgIterator&) { return vyx::printUsage(); }

// Matched in order; the first match wins.
const Command kCommands[] = {
    {"devices", vyx::cli_devices::run},
    {"schemas", vyx::cli_info::runSchemas},
    {"doctor", vyx::cli_doctor::run},
    {"discover", vyx::cli_discover::run},
    {"draft", vyx::cli_draft::run},
    {"explore", vyx::cli_explore::run},
    {"validate", vyx::cli_validate::run},
    {"init", vyx::cli_init::run},
    {"import", vyx::cli_import::run},
    {"inspect", vyx::cli_readiness::run},
    {"run", vyx::cli_run::run},
    {"report", vyx::cli_trace::runReport},
    {"explain", vyx::cli_trace::runExplain},
    {"export", vyx::cli_trace::runExport},
    {"serve", vyx::cli_serve::runServe},
    {"mcp", vyx::cli_serve::runMcp},
    {"version", vyx::cli_info::runVersion},
    {"--version", vyx::cli_info::runVersion},
    {"help", runHelp},
    {"--help", runHelp},
};

Status mainInner(int argc, char** argv) {
  vyx::stdio::ProcessState process;
  ArgIterator args(argc, argv);
  (void)args.next();  // program name
  auto word = args.next();
  if (!word) return vyx::printUsage();
  for (const Command& command : kCommands) {
    if (command.word == *word) return command.handler(args);
  }
  std::string line = "unknown command: ";
  line += *word;
  line += "\n\n";
  vyx::writeAllStderr(line);
  VYX_TRY(vyx::printUsage());
  return vyx::fail(vyx::Error::unknownCommand);
}

}  // namespace

int main(int argc, char** argv) {
  vyx::crash::installHandlers();
  vyx::memory::retainFreedMemory();
  Status result = mainInner(argc, argv);
  if (result) return 0;
  vyx::Error e = result.error();
  if (e == vyx::Error::BrokenPipe) std::_Exit(141);
  vyx::writeTopLevelError(e);
  return vyx::exitCodeForError(e);
}
