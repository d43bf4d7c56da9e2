#pragma once
// `vyx explore --from-trace <trace-dir> --out <scenario.json> [--goal <goal>]
// [--include-actions] [--validate] [--name <name>] [--app-id <id>] [--force]
// [--json]`: discover for an agent's stated goal, marked as not autonomous
// and for review. A failed validation prints the result and ends the process
// with status 1.

#include "core/args.hpp"
#include "core/errors.hpp"

namespace vyx::cli_explore {

Status run(ArgIterator& args);

}  // namespace vyx::cli_explore
