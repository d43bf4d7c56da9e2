#pragma once
// What a trace directory holds and how its parts are named, shared by the
// trace writer (core/trace.hpp) and everything that reads a trace back
// (summaries, reports and bundles, drafting, the servers' trace operations):
//
//   <traceDir>/trace.json               the run manifest
//   <traceDir>/events.jsonl             one event per line
//   <traceDir>/artifacts/               snapshots, screenshots, UI trees
//   <traceDir>/artifacts/screenrecord.mp4   the Android screen recording
//   <traceDir>/report.html              written by `vyx report`
//
// Also here: the event kinds that more than one module writes or reads, how
// an event log is read line by line, and the rule that makes an event a
// partial visual-capture failure. The size
// limits of these files are in core/limits.hpp, the versions written into
// trace.json in core/version.hpp.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/json.hpp"
#include "core/text.hpp"

namespace vyx::trace_layout {

inline constexpr std::string_view kManifestFile = "trace.json";
inline constexpr std::string_view kEventsFile = "events.jsonl";
inline constexpr std::string_view kArtifactsDir = "artifacts";
inline constexpr std::string_view kReportFile = "report.html";
// The JUnit file that the run's suggested `vyx report` command names.
inline constexpr std::string_view kJUnitFile = "junit.xml";
// The Android screen recording, inside the artifacts directory.
inline constexpr std::string_view kScreenRecordingFile = "screenrecord.mp4";
// The same, relative to the trace directory (as event payloads name it).
inline constexpr std::string_view kScreenRecordingArtifact = "artifacts/screenrecord.mp4";
static_assert(kScreenRecordingArtifact.substr(0, kArtifactsDir.size()) == kArtifactsDir &&
              kScreenRecordingArtifact[kArtifactsDir.size()] == '/' &&
              kScreenRecordingArtifact.substr(kArtifactsDir.size() + 1) == kScreenRecordingFile);

// The manifest's "schemaVersion".
inline constexpr int kSchemaVersion = 1;

// Paths inside a trace directory, joined with paths::join (the directory, one
// "/" and the name, exactly as given).
std::string manifestPath(std::string_view traceDir);
std::string eventsPath(std::string_view traceDir);
std::string reportPath(std::string_view traceDir);
std::string artifactsPath(std::string_view traceDir);
// <traceDir>/artifacts/<name>
std::string artifactPath(std::string_view traceDir, std::string_view name);

// Reads an event log (or another JSON-lines file read the same way) line by
// line: the text is cut at every line feed, the piece after the last one
// being a line too; each line is trimmed (text::trimBlanks) and empty ones are
// skipped. fn(std::string_view line) returns false to stop early.
template <class F>
void forEachJsonLine(std::string_view lines, F&& fn) {
  while (true) {
    size_t at = lines.find('\n');
    std::string_view line = text::trimBlanks(lines.substr(0, at));
    if (!line.empty() && !fn(line)) return;
    if (at == std::string_view::npos) return;
    lines.remove_prefix(at + 1);
  }
}

// A snapshot whose screenshot was captured but whose semantic extraction
// failed: the kind is "observe.snapshot.semanticExtraction", the payload's
// "artifactStatus" is the string "captured" and its "semanticStatus" the
// string "failed". The writer counts these ("partialFailureCount", and a
// passed run is written "partial"); the summary reports the last one.
// Absent arguments stand for members that are missing or not strings.
bool isPartialFailure(std::string_view kind, std::optional<std::string_view> artifactStatus,
                      std::optional<std::string_view> semanticStatus);
// The same rule over a parsed payload (false when it is not an object).
bool isPartialFailureEvent(std::string_view kind, const json::Value& payload);

}  // namespace vyx::trace_layout

// The event kinds of events.jsonl ("kind" of each line).
namespace vyx::event_kinds {

inline constexpr std::string_view kScenarioStart = "scenario.start";
inline constexpr std::string_view kScenarioEnd = "scenario.end";
inline constexpr std::string_view kStepDone = "step.done";
inline constexpr std::string_view kStepError = "step.error";
inline constexpr std::string_view kStepOptional = "step.optional";
inline constexpr std::string_view kStepWhenVisibleSkipped = "step.whenVisible.skipped";
inline constexpr std::string_view kStepRepeatIteration = "step.repeat.iteration";

inline constexpr std::string_view kObserveSnapshot = "observe.snapshot";
inline constexpr std::string_view kObserveSemanticSnapshot = "observe.semanticSnapshot";
inline constexpr std::string_view kObserveSemanticExtraction = "observe.snapshot.semanticExtraction";
inline constexpr std::string_view kObserveRetry = "observe.retry";

inline constexpr std::string_view kAppLaunch = "app.launch";
inline constexpr std::string_view kAppStop = "app.stop";
inline constexpr std::string_view kAppClearState = "app.clearState";
inline constexpr std::string_view kAppInstall = "app.install";
inline constexpr std::string_view kAppOpenLink = "app.openLink";

inline constexpr std::string_view kUiTap = "ui.tap";
inline constexpr std::string_view kUiTapNotFound = "ui.tap.notFound";
inline constexpr std::string_view kUiType = "ui.type";
inline constexpr std::string_view kUiSwipe = "ui.swipe";
inline constexpr std::string_view kUiScroll = "ui.scroll";
inline constexpr std::string_view kUiScrollUntilVisible = "ui.scrollUntilVisible";
inline constexpr std::string_view kUiPressBack = "ui.pressBack";
inline constexpr std::string_view kUiHideKeyboard = "ui.hideKeyboard";
inline constexpr std::string_view kUiEraseText = "ui.eraseText";

inline constexpr std::string_view kWaitVisible = "wait.visible";
inline constexpr std::string_view kWaitNotVisible = "wait.notVisible";
inline constexpr std::string_view kWaitAny = "wait.any";
inline constexpr std::string_view kAssertVisible = "assert.visible";
inline constexpr std::string_view kAssertNotVisible = "assert.notVisible";
inline constexpr std::string_view kAssertNoneVisible = "assert.noneVisible";
inline constexpr std::string_view kAssertHealthy = "assert.healthy";

inline constexpr std::string_view kTraceScreenRecording = "trace.screenRecording";
inline constexpr std::string_view kTraceDiscover = "trace.discover";
inline constexpr std::string_view kTraceExplore = "trace.explore";
inline constexpr std::string_view kTraceExport = "trace.export";
inline constexpr std::string_view kTraceExplain = "trace.explain";
// The last event of a log that refused an event for its size.
inline constexpr std::string_view kTraceEvents = "trace.events";

inline constexpr std::string_view kRpcRequest = "rpc.request";
inline constexpr std::string_view kRpcResponse = "rpc.response";
inline constexpr std::string_view kRpcError = "rpc.error";

}  // namespace vyx::event_kinds
