#pragma once
// The trace writer: one trace directory holding the run manifest
// (trace.json), the event log (events.jsonl) and the artifacts/ directory of
// snapshot JSON files, screenshots, UI trees and other device artifacts.
// Everything it stores except the manifest is redacted as it is written.
// File names, limits and event kinds: core/trace_layout.hpp, core/limits.hpp.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.hpp"
#include "core/errors.hpp"
#include "core/json_writer.hpp"
#include "core/trace_json.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"

namespace vyx {

// What a trace may hold and how it is redacted; filled from the
// configuration's `redaction` and `artifacts` sections.
struct TraceOptions {
  std::vector<std::string> denylistText;
  std::vector<std::string> allowlistText;
  std::vector<std::string> denylistResourceIds;
  std::vector<std::string> allowlistResourceIds;
  bool screenshots = true;
  bool hierarchy = true;
  bool logs = true;
  bool screenRecording = false;
};

// The run manifest as the writer holds it.
struct Manifest {
  std::string scenarioName;
  std::optional<std::string> appId;
  std::string status;  // "running" after start, then what finishManifest was given
  int64_t startedAtMs = 0;
  std::optional<int64_t> endedAtMs;
  std::optional<size_t> failedStepIndex;
  std::optional<std::string> error;
  std::optional<std::string> reportPath;
};

// What becomes of events once the event log has refused one. An event
// whose line would take events.jsonl to limits::kEventLogBytes (the size its
// readers refuse) is not written and closes the log: the trace counts one
// partial failure and ends with one last event, kind "trace.events" and
// payload {"status":"failed","error":"StreamTooLong"}, when that still fits.
// Nothing is appended after it.
enum class FullLog {
  // The refused event and every later one fail with StreamTooLong (a run
  // ends with it).
  Fail,
  // The refused event and every later one take their seq and counts, and
  // rewrite trace.json, as if written (a server goes on serving).
  Skip,
};

class TraceWriter {
 public:
  // Prepares the directory: creates it (with parents), removes the previous
  // events.jsonl, trace.json and report.html, the temporary manifests of
  // writers that no longer run, and empties artifacts/. Other files in the
  // directory are left alone. The clock stamps the manifest and
  // every event; it must outlive the writer.
  static Expected<TraceWriter> create(std::string traceDir, TraceOptions options, Clock& clock = systemClock());

  TraceWriter(TraceWriter&&) noexcept = default;
  TraceWriter& operator=(TraceWriter&&) noexcept = default;
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  // Starts (or starts over) the manifest with status "running" and writes
  // trace.json. The counts are kept.
  Status startManifest(std::string_view scenarioName, std::optional<std::string_view> appId);

  // Appends one line {"seq":..,"timestampMs":..,"kind":"..","payload":..} to
  // events.jsonl and rewrites trace.json (when a manifest was started). The
  // payload object is written by the callback into a redacting writer, so it
  // is serialised once and redacted as it is written. `seq` is taken even
  // when the call then fails. A line that does not fit below
  // limits::kEventLogBytes closes the log (see FullLog). An event that
  // trace_layout::isPartialFailure accepts (judged on the members as given)
  // counts as a partial failure.
  //
  //   trace.recordEvent(event_kinds::kUiSwipe, [&](JsonObjectWriter& p) {
  //     p.str("status", "ok").num("x1", x1);
  //   });
  using EventPayload = std::function<void(JsonObjectWriter&)>;
  Status recordEvent(std::string_view kind, const EventPayload& payload);

  // The same for a payload that a caller already holds as text: it is read
  // back and written redacted, with the same bytes as the callback form;
  // text that is not JSON is stored as one redacted JSON string.
  Status recordEvent(std::string_view kind, std::string_view payloadJson);

  // "snapshot-<n>", n counting from 1.
  std::string nextSnapshotId();

  // Creates or truncates <traceDir>/artifacts/<name> with the bytes; returns
  // the full path. A failed write leaves no file.
  Expected<std::string> writeArtifact(std::string_view name, std::string_view bytes);

  // Writes <traceDir>/artifacts/<id>.json, redacted; returns the full path.
  // A document that would reach limits::kSnapshotReadBytes fails with
  // StreamTooLong and nothing is written; a failed write leaves no file.
  Expected<std::string> writeSnapshot(const ObservationSnapshot& snapshot);

  // Finishes the manifest and writes trace.json. Without a started manifest
  // it succeeds and writes nothing. A report path already set is kept when
  // none is given.
  Status finishManifest(std::string_view status, std::optional<size_t> failedStepIndex,
                        std::optional<std::string_view> errorName, std::optional<std::string_view> reportPath);

  // Rewrites trace.json from the current state (atomically: a temporary file
  // renamed over it). Nothing when no manifest was started. A manifest that
  // would reach limits::kManifestReadBytes fails with StreamTooLong.
  Status writeManifest();

  // FullLog::Fail unless set.
  void setFullLog(FullLog policy) { fullLog_ = policy; }
  // Whether the event log has refused an event and takes no more.
  bool logClosed() const { return logClosed_; }

  const std::string& traceDir() const { return traceDir_; }
  const TraceOptions& options() const { return options_; }
  const std::optional<Manifest>& manifest() const { return manifest_; }
  uint64_t eventCount() const { return eventCount_; }
  uint64_t snapshotCount() const { return snapshotCount_; }
  uint64_t partialFailureCount() const { return partialFailureCount_; }

 private:
  TraceWriter(std::string traceDir, TraceOptions options, Clock& clock);
  trace_json::TextRules textRules() const;
  Status appendEvent(uint64_t seq, std::string_view kind, const std::function<Status(Writer&)>& writePayload);
  Expected<std::string> eventLine(uint64_t seq, std::string_view kind,
                                  const std::function<Status(Writer&)>& writePayload);
  void closeLog();

  std::string traceDir_;
  TraceOptions options_;
  Clock* clock_;
  uint64_t eventCount_ = 0;
  uint64_t snapshotCount_ = 0;
  uint64_t partialFailureCount_ = 0;
  std::optional<Manifest> manifest_;
  FullLog fullLog_ = FullLog::Fail;
  bool logClosed_ = false;
};

namespace trace {

// The snapshot JSON without redaction (compact, no line feed).
Status writeSnapshotJson(Writer& w, const ObservationSnapshot& snapshot);

// A node's bounds as the members x, y, width and height of an object being
// written.
void writeBoundsMembers(JsonObjectWriter& o, const Bounds& bounds);

// The selector as an object of its set fields only: id (the resourceId),
// text, textContains, contentDesc, contentDescContains, className; "{}" when
// none is set.
Status writeSelectorJson(Writer& w, const Selector& selector);
// The same fields as members of an object being written.
void writeSelectorMembers(JsonObjectWriter& o, const Selector& selector);
// A member holding the selector's JSON.
void selectorMember(JsonObjectWriter& o, std::string_view key, const Selector& selector);
// An array of selector objects, and the same as a member or as the items of
// an array being written.
Status writeSelectorListJson(Writer& w, std::span<const Selector> selectors);
void selectorListMember(JsonObjectWriter& o, std::string_view key, std::span<const Selector> selectors);
void writeSelectorItems(JsonArrayWriter& a, std::span<const Selector> selectors);

// The manifest document trace.json holds (one compact object and a line feed).
Status writeManifestJson(Writer& w, const Manifest& manifest, uint64_t eventCount, uint64_t snapshotCount,
                         uint64_t partialFailureCount);

}  // namespace trace

}  // namespace vyx
