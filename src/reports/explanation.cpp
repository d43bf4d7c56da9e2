#include "reports/explanation.hpp"

#include <optional>
#include <string>

#include "core/cli_output.hpp"
#include "core/json_writer.hpp"
#include "core/trace_json.hpp"
#include "core/trace_layout.hpp"

namespace vyx::explanation {
namespace {

using trace_summary::DiagnosticEvent;
using trace_summary::Summary;

std::optional<std::string_view> view(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  return std::string_view(*value);
}

Status writeDiagnosticJson(Writer& w, const DiagnosticEvent& d) {
  JsonObjectWriter o(w);
  o.optStr("kind", view(d.kind))
      .optStr("status", view(d.status))
      .optStr("snapshotId", view(d.snapshotId))
      .optStr("artifactStatus", view(d.artifactStatus))
      .optStr("semanticStatus", view(d.semanticStatus))
      .optStr("error", view(d.error))
      .optStr("screenshotArtifact", view(d.screenshotArtifact))
      .optStr("source", view(d.source))
      .optStr("activePackage", view(d.activePackage))
      .optStr("activeActivity", view(d.activeActivity));
  if (d.visibleTexts) {
    o.value("visibleTexts", [&](Writer& out) { return trace_summary::writeJoinedStringArrayJson(out, *d.visibleTexts); });
  }
  if (d.nearestTextMatches) {
    o.value("nearestTextMatches",
            [&](Writer& out) { return trace_summary::writeJoinedStringArrayJson(out, *d.nearestTextMatches); });
  }
  return o.finish();
}

// "vyx report D --out D/report.html --junit D/junit.xml" and
// "vyx export D --out D.vyxtrace --redact", paths quoted for the shell.
Status writeNextCommands(Writer& w, std::string_view traceDir) {
  using namespace cli_output;
  JsonArrayWriter a(w);
  a.value([&](Writer& out) -> Status {
    VYX_TRY(out.writeAll("\"vyx report "));
    VYX_TRY(writeShellArgJsonContent(out, traceDir));
    VYX_TRY(out.writeAll(" --out "));
    VYX_TRY(writeJoinedPathShellArgJsonContent(out, traceDir, trace_layout::kReportFile));
    VYX_TRY(out.writeAll(" --junit "));
    VYX_TRY(writeJoinedPathShellArgJsonContent(out, traceDir, trace_layout::kJUnitFile));
    return out.writeByte('"');
  });
  a.value([&](Writer& out) -> Status {
    VYX_TRY(out.writeAll("\"vyx export "));
    VYX_TRY(writeShellArgJsonContent(out, traceDir));
    VYX_TRY(out.writeAll(" --out "));
    VYX_TRY(writePathWithSuffixShellArgJsonContent(out, traceDir));
    return out.writeAll(" --redact\"");
  });
  return a.finish();
}

// One "name: value" line.
Status line(Writer& w, std::string_view name, std::string_view value) {
  VYX_TRY(w.writeAll(name));
  VYX_TRY(w.writeAll(": "));
  VYX_TRY(w.writeAll(value));
  return w.writeByte('\n');
}

Status optionalLine(Writer& w, std::string_view name, const std::optional<std::string>& value) {
  return value ? line(w, name, *value) : Status{};
}

Status optionalNumberLine(Writer& w, std::string_view name, const std::optional<int64_t>& value) {
  if (!value) return {};
  VYX_TRY(w.writeAll(name));
  VYX_TRY(w.writeAll(": "));
  VYX_TRY(w.writeInt(*value));
  return w.writeByte('\n');
}

}  // namespace

Status writeExplanationJson(Writer& w, std::string_view traceDir, const Summary& s) {
  JsonObjectWriter o(w);
  o.flag("ok", true)
      .str("traceDir", traceDir)
      .str("scenario", s.scenario)
      .str("status", s.status)
      .optStr("appId", view(s.appId));
  if (s.durationMs) o.num("durationMs", *s.durationMs);
  if (s.eventCount) o.num("eventCount", *s.eventCount);
  if (s.snapshotCount) o.num("snapshotCount", *s.snapshotCount);
  if (s.failedStepIndex) o.num("failedStepIndex", *s.failedStepIndex);
  o.optStr("error", view(s.error));
  if (s.diagnostic.kind) o.value("diagnostic", [&](Writer& out) { return writeDiagnosticJson(out, s.diagnostic); });
  o.optStr("lastEvent", view(s.lastEvent));
  o.value("nextCommands", [&](Writer& out) { return writeNextCommands(out, traceDir); });
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

Status writeExplanationText(Writer& w, const Summary& s) {
  const DiagnosticEvent& d = s.diagnostic;
  VYX_TRY(w.writeAll("VYX trace explanation\n"));
  VYX_TRY(line(w, "scenario", s.scenario));
  VYX_TRY(optionalLine(w, "appId", s.appId));
  VYX_TRY(line(w, "status", s.status));
  VYX_TRY(optionalNumberLine(w, "durationMs", s.durationMs));
  VYX_TRY(optionalNumberLine(w, "events", s.eventCount));
  VYX_TRY(optionalNumberLine(w, "snapshots", s.snapshotCount));
  VYX_TRY(optionalNumberLine(w, "failedStepIndex", s.failedStepIndex));
  VYX_TRY(optionalLine(w, "error", s.error));
  if (d.kind) {
    VYX_TRY(w.writeAll("diagnostic: "));
    VYX_TRY(w.writeAll(*d.kind));
    if (d.status) {
      VYX_TRY(w.writeByte(' '));
      VYX_TRY(w.writeAll(*d.status));
    }
    VYX_TRY(w.writeByte('\n'));
  }
  VYX_TRY(optionalLine(w, "artifactStatus", d.artifactStatus));
  VYX_TRY(optionalLine(w, "semanticStatus", d.semanticStatus));
  VYX_TRY(optionalLine(w, "snapshot", d.snapshotId));
  VYX_TRY(optionalLine(w, "activePackage", d.activePackage));
  VYX_TRY(optionalLine(w, "activeActivity", d.activeActivity));
  VYX_TRY(optionalLine(w, "visibleTexts", d.visibleTexts));
  VYX_TRY(optionalLine(w, "nearestTextMatches", d.nearestTextMatches));
  return optionalLine(w, "lastEvent", s.lastEvent);
}

Status writeTraceExplanationJson(std::string_view traceDir, Writer& w) {
  VYX_TRY_ASSIGN(auto summary, trace_summary::read(std::string(traceDir)));
  return writeExplanationJson(w, traceDir, summary);
}

Status writeTraceExplanationText(std::string_view traceDir, Writer& w) {
  VYX_TRY_ASSIGN(auto summary, trace_summary::read(std::string(traceDir)));
  return writeExplanationText(w, summary);
}

}  // namespace vyx::explanation
