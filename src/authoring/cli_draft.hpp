#pragma once
// `vyx draft --from-trace <trace-dir> --out <scenario.json> [--include-actions]
// [--name <name>] [--app-id <id>] [--force] [--json]`

#include "core/args.hpp"
#include "core/errors.hpp"

namespace vyx::cli_draft {

Status run(ArgIterator& args);

}  // namespace vyx::cli_draft
