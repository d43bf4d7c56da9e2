#pragma once
// The one-line JSON summaries that `vyx run --json` prints: the short form
// (outcome, scenario, app id) and the long form built from the trace summary
// of the run's trace directory, with the follow-up commands.

#include <optional>
#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/writer.hpp"
#include "reports/trace_summary.hpp"

namespace vyx::run_summary {

// The outcome of drafting a scenario from the new trace, when one was asked.
struct Discovery {
  std::optional<std::string> document;   // raw JSON, trailing white space cut
  std::optional<std::string> errorName;  // the failure's name
};

// {"ok":..,"status":"passed"|"failed","scenario":..,"appId":..[,"error":..]
//  [,"discovery":..][,"discoveryError":..]} and a line feed.
Status writeShort(Writer& w, const Status& outcome, std::string_view scenarioName, std::string_view appId,
                  const Discovery& discovery = {});

// The long form from the trace summary. "ok" is true only when the trace
// says "passed" and the run itself succeeded; "error" is the trace's error,
// else the run's.
Status writeLong(Writer& w, const trace_summary::Summary& summary, std::string_view traceDir, const Status& outcome,
                 const Discovery& discovery = {});

}  // namespace vyx::run_summary
