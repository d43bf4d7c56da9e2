#pragma once
// `vyx init`: a starter scenario, or with --app the ".vyx" project of an app
// checkout (configuration, smoke scenarios, device matrix, agent
// instructions) and the trace entry of its ".gitignore".

#include "core/args.hpp"
#include "core/errors.hpp"

namespace vyx::cli_init {

Status run(ArgIterator& args);

}  // namespace vyx::cli_init
