#include "runner/run_summary.hpp"

#include <cstdint>

#include "core/cli_output.hpp"
#include "core/trace_json.hpp"
#include "core/trace_layout.hpp"

namespace vyx::run_summary {
namespace {

// Writes `,"key":` before a value.
Status key(Writer& w, std::string_view name) {
  if (auto s = w.writeByte(','); !s) return s;
  if (auto s = trace_json::writeJsonString(w, name); !s) return s;
  return w.writeByte(':');
}

Status stringMember(Writer& w, std::string_view name, std::string_view value) {
  if (auto s = key(w, name); !s) return s;
  return trace_json::writeJsonString(w, value);
}

Status optionalString(Writer& w, std::string_view name, const std::optional<std::string>& value) {
  if (!value) return {};
  return stringMember(w, name, *value);
}

Status optionalInteger(Writer& w, std::string_view name, const std::optional<int64_t>& value) {
  if (!value) return {};
  if (auto s = key(w, name); !s) return s;
  return w.writeInt(*value);
}

Status discoveryMembers(Writer& w, const Discovery& discovery) {
  if (discovery.document) {
    if (auto s = key(w, "discovery"); !s) return s;
    if (auto s = w.writeAll(*discovery.document); !s) return s;
  }
  return optionalString(w, "discoveryError", discovery.errorName);
}

Status partialFailure(Writer& w, const trace_summary::DiagnosticEvent& event) {
  if (auto s = key(w, "partialFailure"); !s) return s;
  if (auto s = w.writeAll("{\"kind\":"); !s) return s;
  if (auto s = trace_json::writeJsonString(w, event.kind.value_or("")); !s) return s;
  for (const auto& [name, value] : {std::pair<std::string_view, const std::optional<std::string>&>{"status", event.status},
                                    {"artifactStatus", event.artifactStatus},
                                    {"semanticStatus", event.semanticStatus},
                                    {"error", event.error},
                                    {"screenshotArtifact", event.screenshotArtifact},
                                    {"source", event.source}}) {
    if (auto s = optionalString(w, name, value); !s) return s;
  }
  return w.writeByte('}');
}

Status nextCommands(Writer& w, std::string_view traceDir) {
  using namespace cli_output;
  if (auto s = key(w, "nextCommands"); !s) return s;
  // 1. report
  if (auto s = w.writeAll("[\"vyx report "); !s) return s;
  if (auto s = writeShellArgJsonContent(w, traceDir); !s) return s;
  if (auto s = w.writeAll(" --out "); !s) return s;
  if (auto s = writeJoinedPathShellArgJsonContent(w, traceDir, trace_layout::kReportFile); !s) return s;
  if (auto s = w.writeAll(" --junit "); !s) return s;
  if (auto s = writeJoinedPathShellArgJsonContent(w, traceDir, trace_layout::kJUnitFile); !s) return s;
  // 2. explain
  if (auto s = w.writeAll("\",\"vyx explain "); !s) return s;
  if (auto s = writeShellArgJsonContent(w, traceDir); !s) return s;
  if (auto s = w.writeAll(" --json"); !s) return s;
  // 3. discover
  if (auto s = w.writeAll("\",\"vyx discover --from-trace "); !s) return s;
  if (auto s = writeShellArgJsonContent(w, traceDir); !s) return s;
  if (auto s = w.writeAll(" --out .vyx/discovered/replay-smoke.json --include-actions --validate --force --json");
      !s)
    return s;
  // 4. export
  if (auto s = w.writeAll("\",\"vyx export "); !s) return s;
  if (auto s = writeShellArgJsonContent(w, traceDir); !s) return s;
  if (auto s = w.writeAll(" --out "); !s) return s;
  if (auto s = writePathWithSuffixShellArgJsonContent(w, traceDir); !s) return s;
  return w.writeAll(" --redact\"]");
}

}  // namespace

Status writeShort(Writer& w, const Status& outcome, std::string_view scenarioName, std::string_view appId,
                  const Discovery& discovery) {
  if (auto s = w.writeAll(outcome ? "{\"ok\":true" : "{\"ok\":false"); !s) return s;
  if (auto s = stringMember(w, "status", outcome ? "passed" : "failed"); !s) return s;
  if (auto s = stringMember(w, "scenario", scenarioName); !s) return s;
  if (auto s = stringMember(w, "appId", appId); !s) return s;
  if (!outcome) {
    if (auto s = stringMember(w, "error", errorName(outcome.error())); !s) return s;
  }
  if (auto s = discoveryMembers(w, discovery); !s) return s;
  return w.writeAll("}\n");
}

Status writeLong(Writer& w, const trace_summary::Summary& summary, std::string_view traceDir, const Status& outcome,
                 const Discovery& discovery) {
  bool ok = summary.status == "passed" && outcome.has_value();
  if (auto s = w.writeAll(ok ? "{\"ok\":true" : "{\"ok\":false"); !s) return s;
  if (auto s = stringMember(w, "status", summary.status); !s) return s;
  if (auto s = stringMember(w, "scenario", summary.scenario); !s) return s;
  if (auto s = optionalString(w, "appId", summary.appId); !s) return s;
  if (auto s = stringMember(w, "traceDir", traceDir); !s) return s;
  if (auto s = stringMember(w, "eventsPath", summary.eventsPath); !s) return s;
  if (auto s = stringMember(w, "artifactsDir", summary.artifactsDir); !s) return s;
  if (auto s = optionalInteger(w, "durationMs", summary.durationMs); !s) return s;
  if (auto s = optionalInteger(w, "eventCount", summary.eventCount); !s) return s;
  if (auto s = optionalInteger(w, "snapshotCount", summary.snapshotCount); !s) return s;
  if (auto s = optionalInteger(w, "partialFailureCount", summary.partialFailureCount); !s) return s;
  if (auto s = optionalInteger(w, "failedStepIndex", summary.failedStepIndex); !s) return s;
  if (summary.error) {
    if (auto s = stringMember(w, "error", *summary.error); !s) return s;
  } else if (!outcome) {
    if (auto s = stringMember(w, "error", errorName(outcome.error())); !s) return s;
  }
  if (summary.partialFailure) {
    if (auto s = partialFailure(w, *summary.partialFailure); !s) return s;
  }
  if (auto s = optionalString(w, "reportPath", summary.reportPath); !s) return s;
  if (auto s = discoveryMembers(w, discovery); !s) return s;
  if (auto s = nextCommands(w, traceDir); !s) return s;
  return w.writeAll("}\n");
}

}  // namespace vyx::run_summary
