#pragma once
// Reads a trace directory back into what it says about its run: the
// manifest's values, the outcome of the final "scenario.end" event, the last
// diagnostic event, the last partial visual-capture failure and the kind of
// the last event. Never writes anything.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/trace_layout.hpp"
#include "reports/trace_summary_diagnostic.hpp"

namespace vyx::trace_summary {

struct Summary {
  std::string scenario;               // "" when the manifest has no string name
  std::string status;                 // the effective status, possibly ""
  std::optional<std::string> appId;
  std::string eventsPath = std::string(trace_layout::kEventsFile);
  std::string artifactsDir = std::string(trace_layout::kArtifactsDir);
  std::optional<int64_t> durationMs;
  std::optional<int64_t> eventCount;
  std::optional<int64_t> snapshotCount;
  std::optional<int64_t> partialFailureCount;
  std::optional<int64_t> failedStepIndex;
  std::optional<std::string> error;
  std::optional<std::string> reportPath;
  DiagnosticEvent diagnostic;                    // every field absent when the log has none
  std::optional<DiagnosticEvent> partialFailure;
  std::optional<std::string> lastEvent;
};

// Reads <traceDir>/trace.json (under limits::kManifestReadBytes) and the event
// log it names (under limits::kEventLogBytes; a missing log is no error). The
// partial failure is the last event that trace_layout::isPartialFailureEvent
// accepts. Fails with the file's read
// error, the JSON reader's error, or InvalidTraceManifest for a manifest that
// is not an object. Bad event lines are skipped.
Expected<Summary> read(const std::string& traceDir);

}  // namespace vyx::trace_summary
