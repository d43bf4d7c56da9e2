#include "reports/trace_summary.hpp"

#include "core/files.hpp"
#include "core/limits.hpp"
#include "core/trace_files.hpp"
#include "core/trace_layout.hpp"

namespace vyx::trace_summary {
namespace {

std::optional<std::string> optString(const json::Value& object, std::string_view key) {
  const json::Value* v = object.get(key);
  if (v == nullptr || !v->isString()) return std::nullopt;
  return v->string;
}

std::optional<int64_t> optInteger(const json::Value& object, std::string_view key) {
  const json::Value* v = object.get(key);
  if (v == nullptr || !v->isInteger()) return std::nullopt;
  return v->integer;
}

// The outcome carried by the last "scenario.end" event.
struct TerminalEvent {
  std::optional<std::string> status;
  std::optional<std::string> error;
  std::optional<int64_t> failedStepIndex;
};

bool isDiagnosticKind(std::string_view kind) {
  return kind.find("wait.") != std::string_view::npos || kind.find("notFound") != std::string_view::npos ||
         kind.find("scrollUntilVisible") != std::string_view::npos;
}

void scanLine(std::string_view line, Summary& summary, std::optional<TerminalEvent>& terminal) {
  auto parsed = json::parseValue(line);
  if (!parsed || !parsed->isObject()) return;
  const json::Value* kindValue = parsed->get("kind");
  if (kindValue == nullptr || !kindValue->isString()) return;
  const std::string& kind = kindValue->string;
  summary.lastEvent = kind;
  const json::Value* payload = parsed->get("payload");
  if (payload == nullptr || !payload->isObject()) return;

  if (kind == event_kinds::kScenarioEnd) {
    TerminalEvent t;
    t.status = optString(*payload, "status");
    t.error = optString(*payload, "error");
    t.failedStepIndex = optInteger(*payload, "failedStepIndex");
    terminal = std::move(t);
    return;
  }
  bool partial = trace_layout::isPartialFailureEvent(kind, *payload);
  bool diagnostic = partial || (payload->get("snapshotId") != nullptr && isDiagnosticKind(kind));
  if (!diagnostic) return;
  summary.diagnostic = DiagnosticEvent::fromPayload(kind, *payload);
  if (partial) summary.partialFailure = DiagnosticEvent::fromPayload(kind, *payload);
}

}  // namespace

Expected<Summary> read(const std::string& traceDir) {
  // Both files are opened beneath the directory: a link, or an event-log
  // path that leads out of the trace, reads as a missing file.
  VYX_TRY_ASSIGN(auto manifest, trace_files::readManifestObject(traceDir));

  Summary summary;
  if (auto v = optString(manifest, "scenarioName")) summary.scenario = std::move(*v);
  std::string manifestStatus = optString(manifest, "status").value_or("");
  summary.appId = optString(manifest, "appId");
  std::optional<std::string> manifestError = optString(manifest, "error");
  if (auto v = optString(manifest, "eventsPath")) summary.eventsPath = std::move(*v);
  if (auto v = optString(manifest, "artifactsDir")) summary.artifactsDir = std::move(*v);
  summary.reportPath = optString(manifest, "reportPath");
  std::optional<int64_t> manifestFailedStep = optInteger(manifest, "failedStepIndex");
  summary.durationMs = optInteger(manifest, "durationMs");
  summary.eventCount = optInteger(manifest, "eventCount");
  summary.snapshotCount = optInteger(manifest, "snapshotCount");
  summary.partialFailureCount = optInteger(manifest, "partialFailureCount");

  std::optional<TerminalEvent> terminal;
  auto log = trace_files::readTraceFile(traceDir, trace_files::manifestRelative(summary.eventsPath),
                                        limits::kEventLogBytes);
  if (log) {
    trace_layout::forEachJsonLine(*log, [&](std::string_view line) {
      scanLine(line, summary, terminal);
      return true;
    });
  } else if (log.error() != Error::FileNotFound) {
    return fail(log.error());
  }

  std::string status = manifestStatus;
  if (terminal && terminal->status) status = *terminal->status;
  if (manifestStatus == "partial" && status == "passed") status = "partial";
  summary.status = std::move(status);
  summary.failedStepIndex = terminal && terminal->failedStepIndex ? terminal->failedStepIndex : manifestFailedStep;
  summary.error = terminal && terminal->error ? terminal->error : manifestError;
  return summary;
}

}  // namespace vyx::trace_summary
