#pragma once
// In core: `validate` is the entry's own command, and core owns the entry and validation.
// The `validate` command: checks one scenario file and prints the outcome as
// text or, with --json, as the validation document.

#include <string_view>

#include "core/args.hpp"
#include "core/errors.hpp"
#include "core/validation.hpp"
#include "core/writer.hpp"

namespace vyx::cli_validate {

// `vyx validate <scenario.json> [--json]`. Returns success for a valid
// scenario; for an invalid one prints the result, flushes and ends the
// process with status 1. Argument faults (unknownFlag, MissingScenarioPath)
// and write failures are returned.
Status run(ArgIterator& args);

// The one-line text form: "<path>: ok (<name>, <n> steps)" or
// "<path>: invalid [<code>] <message>[ at <jsonPath>][ line <l>[ column <c>]]".
Status writeText(Writer& w, std::string_view scenarioPath, const validation::Result& result);

}  // namespace vyx::cli_validate
