#pragma once
// `vyx discover --from-trace <trace-dir> --out <scenario.json>
// [--include-actions] [--validate] [--name <name>] [--app-id <id>] [--force]
// [--json]`. A failed validation prints the result and ends the process with
// status 1.

#include "core/args.hpp"
#include "core/errors.hpp"

namespace vyx::cli_discover {

Status run(ArgIterator& args);

}  // namespace vyx::cli_discover
