#pragma once
// `vyx import flow-yaml <flow.yaml> --out <scenario.json> [--name <name>]
// [--app-id <id>] [--force] [--json]`.

#include "core/args.hpp"
#include "core/errors.hpp"

namespace vyx::cli_import {

Status run(ArgIterator& args);

}  // namespace vyx::cli_import
