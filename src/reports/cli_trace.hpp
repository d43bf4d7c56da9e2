#pragma once
// The trace commands: `vyx report` (HTML and JUnit reports of a trace or
// benchmark directory), `vyx explain` (what happened in a run) and
// `vyx export` (a tar bundle of a trace, optionally redacted).

#include "core/args.hpp"
#include "core/errors.hpp"

namespace vyx::cli_trace {

// vyx report <dir> --out <file> [--junit <file>]
Status runReport(ArgIterator& args);

// vyx explain <trace-dir> [--json]
Status runExplain(ArgIterator& args);

// vyx export <trace-dir> --out <bundle> [--redact] [--omit-screenshots]
Status runExport(ArgIterator& args);

}  // namespace vyx::cli_trace
