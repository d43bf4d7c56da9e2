#include "runner/run_summary.hpp"

#include <cstdint>

#include "core/cli_output.hpp"
#include "core/json_writer.hpp"
#include "core/trace_layout.hpp"

namespace vyx::run_summary {
namespace {

void discoveryMembers(JsonObjectWriter& o, const Discovery& discovery) {
  if (discovery.document) o.raw("discovery", *discovery.document);
  o.optStr("discoveryError", discovery.errorName);
}

void partialFailureMembers(JsonObjectWriter& o, const trace_summary::DiagnosticEvent& event) {
  o.str("kind", event.kind.value_or(""))
      .optStr("status", event.status)
      .optStr("artifactStatus", event.artifactStatus)
      .optStr("semanticStatus", event.semanticStatus)
      .optStr("error", event.error)
      .optStr("screenshotArtifact", event.screenshotArtifact)
      .optStr("source", event.source);
}

// The follow-up commands for the trace directory, each one JSON string
// whose paths are shell words.
void nextCommands(JsonArrayWriter& a, std::string_view traceDir) {
  using namespace cli_output;
  auto command = [&](auto&& writeContent) {
    a.value([&](Writer& w) -> Status {
      VYX_TRY(w.writeByte('"'));
      VYX_TRY(writeContent(w));
      return w.writeByte('"');
    });
  };
  command([&](Writer& w) -> Status {
    VYX_TRY(w.writeAll("vyx report "));
    VYX_TRY(writeShellArgJsonContent(w, traceDir));
    VYX_TRY(w.writeAll(" --out "));
    VYX_TRY(writeJoinedPathShellArgJsonContent(w, traceDir, trace_layout::kReportFile));
    VYX_TRY(w.writeAll(" --junit "));
    return writeJoinedPathShellArgJsonContent(w, traceDir, trace_layout::kJUnitFile);
  });
  command([&](Writer& w) -> Status {
    VYX_TRY(w.writeAll("vyx explain "));
    VYX_TRY(writeShellArgJsonContent(w, traceDir));
    return w.writeAll(" --json");
  });
  command([&](Writer& w) -> Status {
    VYX_TRY(w.writeAll("vyx discover --from-trace "));
    VYX_TRY(writeShellArgJsonContent(w, traceDir));
    return w.writeAll(" --out .vyx/discovered/replay-smoke.json --include-actions --validate --force --json");
  });
  command([&](Writer& w) -> Status {
    VYX_TRY(w.writeAll("vyx export "));
    VYX_TRY(writeShellArgJsonContent(w, traceDir));
    VYX_TRY(w.writeAll(" --out "));
    VYX_TRY(writePathWithSuffixShellArgJsonContent(w, traceDir));
    return w.writeAll(" --redact");
  });
}

}  // namespace

Status writeShort(Writer& w, const Status& outcome, std::string_view scenarioName, std::string_view appId,
                  const Discovery& discovery) {
  JsonObjectWriter o(w);
  o.flag("ok", outcome.has_value())
      .str("status", outcome ? "passed" : "failed")
      .str("scenario", scenarioName)
      .str("appId", appId);
  if (!outcome) o.error("error", outcome.error());
  discoveryMembers(o, discovery);
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

Status writeLong(Writer& w, const trace_summary::Summary& summary, std::string_view traceDir, const Status& outcome,
                 const Discovery& discovery) {
  JsonObjectWriter o(w);
  o.flag("ok", summary.status == "passed" && outcome.has_value())
      .str("status", summary.status)
      .str("scenario", summary.scenario)
      .optStr("appId", summary.appId)
      .str("traceDir", traceDir)
      .str("eventsPath", summary.eventsPath)
      .str("artifactsDir", summary.artifactsDir)
      .optNum("durationMs", summary.durationMs)
      .optNum("eventCount", summary.eventCount)
      .optNum("snapshotCount", summary.snapshotCount)
      .optNum("partialFailureCount", summary.partialFailureCount)
      .optNum("failedStepIndex", summary.failedStepIndex);
  if (summary.error) {
    o.str("error", *summary.error);
  } else if (!outcome) {
    o.error("error", outcome.error());
  }
  if (summary.partialFailure) {
    o.object("partialFailure", [&](JsonObjectWriter& p) { partialFailureMembers(p, *summary.partialFailure); });
  }
  o.optStr("reportPath", summary.reportPath);
  discoveryMembers(o, discovery);
  o.array("nextCommands", [&](JsonArrayWriter& a) { nextCommands(a, traceDir); });
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

}  // namespace vyx::run_summary
