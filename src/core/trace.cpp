#include "core/trace.hpp"

#include <limits>
#include <utility>

#include "core/atomic_file.hpp"
#include "core/files.hpp"
#include "core/json.hpp"
#include "core/json_writer.hpp"
#include "core/text.hpp"
#include "core/limits.hpp"
#include "core/trace_json.hpp"
#include "core/trace_layout.hpp"
#include "core/version.hpp"

namespace vyx {

namespace {

constexpr std::string_view kRedactedResourceId = "[REDACTED:resourceId]";

// Whether one of the entries occurs in the id (ASCII letters compared without
// case); an empty entry never matches.
bool anyContained(std::string_view id, const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    if (!entry.empty() && text::containsAsciiFolded(id, entry)) return true;
  }
  return false;
}

// What the trace's copy of a snapshot hides; absent for the plain writer.
struct SnapshotRedaction {
  const TraceOptions& options;
  trace_json::TextRules rules;
};

void writeNodeMembers(JsonObjectWriter& o, const UiNode& node, const SnapshotRedaction* redaction) {
  bool sensitive = false;
  bool hideId = false;
  if (redaction && node.resourceId) {
    const std::string_view id = *node.resourceId;
    bool allowed = anyContained(id, redaction->options.allowlistResourceIds);
    bool denied = anyContained(id, redaction->options.denylistResourceIds);
    // A resource id naming a secret (or denied outright) hides its node's texts.
    sensitive = !allowed && (denied || trace_json::isSensitiveKeyName(id));
    hideId = denied && !allowed;
  }

  o.str("stableId", node.stableId).str("className", node.className);
  if (hideId) {
    o.str("resourceId", kRedactedResourceId);
  } else {
    o.strOrNull("resourceId", node.resourceId);
  }
  auto text = [&](std::string_view key, std::optional<std::string_view> value) {
    if (!value || !redaction) {
      o.strOrNull(key, value);
      return;
    }
    o.value(key, [&](Writer& w) {
      return trace_json::writeRedactedJsonStringForKeyWithRules(w, key, *value, sensitive, redaction->rules);
    });
  };
  text("text", node.text);
  text("contentDesc", node.contentDesc);
  o.object("bounds", [&](JsonObjectWriter& b) { trace::writeBoundsMembers(b, node.bounds); });
  o.flag("enabled", node.enabled).flag("visible", node.visible).flag("selected", node.selected);
}

Status writeSnapshotDocument(Writer& w, const ObservationSnapshot& s, const SnapshotRedaction* redaction) {
  JsonObjectWriter o(w);
  o.str("id", s.id).num("timestampMs", s.timestampMs).object("viewport", [&](JsonObjectWriter& v) {
    v.unum("width", s.viewport.width).unum("height", s.viewport.height);
  });
  o.unumOrNull("displayDensityDpi", s.displayDensityDpi)
      .strOrNull("activePackage", s.activePackage)
      .strOrNull("activeActivity", s.activeActivity)
      .strOrNull("screenshotArtifact", s.screenshotArtifact)
      .strOrNull("treeArtifact", s.treeArtifact)
      .strOrNull("focusedNodeId", s.focusedNodeId);
  if (redaction && s.logDelta) {
    o.value("logDelta", [&](Writer& out) {
      return trace_json::writeRedactedJsonStringForKeyWithRules(out, "logDelta", *s.logDelta, false, redaction->rules);
    });
  } else {
    o.strOrNull("logDelta", s.logDelta);
  }
  o.array("nodes", [&](JsonArrayWriter& nodes) {
    for (const UiNode& node : s.nodes) {
      nodes.object([&](JsonObjectWriter& n) { writeNodeMembers(n, node, redaction); });
    }
  });
  return o.finish();
}

int64_t saturatingSub(int64_t a, int64_t b) {
  int64_t out = 0;
  if (__builtin_sub_overflow(a, b, &out)) {
    return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  }
  return out;
}

Status removeIgnoringMissing(const std::string& path) { return files::removeFileIfExists(path); }

}  // namespace

namespace trace {

Status writeSnapshotJson(Writer& w, const ObservationSnapshot& snapshot) {
  return writeSnapshotDocument(w, snapshot, nullptr);
}

void writeBoundsMembers(JsonObjectWriter& o, const Bounds& bounds) {
  o.num("x", bounds.x).num("y", bounds.y).num("width", bounds.width).num("height", bounds.height);
}

void writeSelectorMembers(JsonObjectWriter& o, const Selector& selector) {
  o.optStr("id", selector.resourceId)
      .optStr("text", selector.text)
      .optStr("textContains", selector.textContains)
      .optStr("contentDesc", selector.contentDesc)
      .optStr("contentDescContains", selector.contentDescContains)
      .optStr("className", selector.className);
}

Status writeSelectorJson(Writer& w, const Selector& selector) {
  JsonObjectWriter o(w);
  writeSelectorMembers(o, selector);
  return o.finish();
}

Status writeSelectorListJson(Writer& w, std::span<const Selector> selectors) {
  JsonArrayWriter a(w);
  writeSelectorItems(a, selectors);
  return a.finish();
}

void writeSelectorItems(JsonArrayWriter& a, std::span<const Selector> selectors) {
  for (const Selector& selector : selectors) {
    a.object([&](JsonObjectWriter& o) { writeSelectorMembers(o, selector); });
  }
}

void selectorMember(JsonObjectWriter& o, std::string_view key, const Selector& selector) {
  o.object(key, [&](JsonObjectWriter& inner) { writeSelectorMembers(inner, selector); });
}

void selectorListMember(JsonObjectWriter& o, std::string_view key, std::span<const Selector> selectors) {
  o.array(key, [&](JsonArrayWriter& a) { writeSelectorItems(a, selectors); });
}

Status writeManifestJson(Writer& w, const Manifest& m, uint64_t eventCount, uint64_t snapshotCount,
                         uint64_t partialFailureCount) {
  // A run that passed with failed semantic extractions only partly passed.
  std::string_view status = m.status;
  if (status == "passed" && partialFailureCount > 0) status = "partial";
  std::optional<int64_t> duration;
  if (m.endedAtMs) duration = saturatingSub(*m.endedAtMs, m.startedAtMs);

  JsonObjectWriter o(w);
  o.num("schemaVersion", trace_layout::kSchemaVersion)
      .str("runnerVersion", version::kRunner)
      .str("protocolVersion", version::kProtocol)
      .str("scenarioName", m.scenarioName)
      .strOrNull("appId", m.appId)
      .str("status", status)
      .num("startedAtMs", m.startedAtMs)
      .numOrNull("endedAtMs", m.endedAtMs)
      .numOrNull("durationMs", duration)
      .unumOrNull("failedStepIndex", m.failedStepIndex)
      .strOrNull("error", m.error)
      .str("eventsPath", trace_layout::kEventsFile)
      .str("artifactsDir", trace_layout::kArtifactsDir)
      .unum("eventCount", eventCount)
      .unum("snapshotCount", snapshotCount)
      .unum("partialFailureCount", partialFailureCount)
      .strOrNull("reportPath", m.reportPath);
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

}  // namespace trace

TraceWriter::TraceWriter(std::string traceDir, TraceOptions options, Clock& clock)
    : traceDir_(std::move(traceDir)), options_(std::move(options)), clock_(&clock) {}

Expected<TraceWriter> TraceWriter::create(std::string traceDir, TraceOptions options, Clock& clock) {
  // An empty path names no directory; joined with "/" it would turn every
  // file below into one at the file-system root.
  if (traceDir.empty()) return fail(Error::FileNotFound);
  VYX_TRY(files::makePath(traceDir));
  VYX_TRY(removeIgnoringMissing(trace_layout::eventsPath(traceDir)));
  VYX_TRY(removeIgnoringMissing(trace_layout::manifestPath(traceDir)));
  // Rewrites cut off by a killed writer (this one's or a report's).
  atomic_file::removeStaleTemporaries(trace_layout::manifestPath(traceDir));
  VYX_TRY(removeIgnoringMissing(trace_layout::reportPath(traceDir)));
  std::string artifacts = trace_layout::artifactsPath(traceDir);
  VYX_TRY(files::removeTree(artifacts));
  VYX_TRY(files::makePath(artifacts));
  return TraceWriter(std::move(traceDir), std::move(options), clock);
}

Status TraceWriter::startManifest(std::string_view scenarioName, std::optional<std::string_view> appId) {
  Manifest m;
  m.scenarioName = std::string(scenarioName);
  if (appId) m.appId = std::string(*appId);
  m.status = "running";
  m.startedAtMs = clock_->wallClockMs();
  manifest_ = std::move(m);
  return writeManifest();
}

trace_json::TextRules TraceWriter::textRules() const { return {options_.denylistText, options_.allowlistText}; }

Status TraceWriter::recordEvent(std::string_view kind, std::string_view payloadJson) {
  uint64_t seq = ++eventCount_;
  Expected<json::Value> value = json::parseValue(payloadJson);
  if (value && trace_layout::isPartialFailureEvent(kind, *value)) ++partialFailureCount_;
  trace_json::TextRules rules = textRules();
  return appendEvent(seq, kind, [&](Writer& w) -> Status {
    if (value) return trace_json::writeJsonValueRedacted(w, *value, "", rules);
    return trace_json::writeRedactedJsonStringForKeyWithRules(w, "", payloadJson, false, rules);
  });
}

Status TraceWriter::recordEvent(std::string_view kind, const EventPayload& payload) {
  uint64_t seq = ++eventCount_;
  std::optional<std::string> artifactStatus;
  std::optional<std::string> semanticStatus;
  JsonRedaction redaction{textRules(), nullptr};
  if (kind == event_kinds::kObserveSemanticExtraction) {
    redaction.onTopLevelString = [&](std::string_view key, std::string_view value) {
      if (key == "artifactStatus") artifactStatus = std::string(value);
      if (key == "semanticStatus") semanticStatus = std::string(value);
    };
  }
  // The payload is written while the line is built, before anything reaches
  // the file: the partial failure counts even when the append then fails.
  return appendEvent(seq, kind, [&](Writer& w) -> Status {
    JsonObjectWriter o(w, &redaction);
    payload(o);
    VYX_TRY(o.finish());
    if (trace_layout::isPartialFailure(kind, artifactStatus, semanticStatus)) ++partialFailureCount_;
    return {};
  });
}

Expected<std::string> TraceWriter::eventLine(uint64_t seq, std::string_view kind,
                                             const std::function<Status(Writer&)>& writePayload) {
  StringWriter line;
  JsonObjectWriter o(line);
  // Kinds are fixed dotted identifiers, which the string writer leaves as
  // they are; escaping still keeps the line valid JSON whatever a caller
  // passes.
  o.unum("seq", seq).num("timestampMs", clock_->wallClockMs()).str("kind", kind).value("payload", writePayload);
  VYX_TRY(o.finish());
  VYX_TRY(line.writeByte('\n'));
  return line.take();
}

Status TraceWriter::appendEvent(uint64_t seq, std::string_view kind,
                                const std::function<Status(Writer&)>& writePayload) {
  // The line is built even for a closed log, so that what it counts is
  // counted whether it is written or not.
  VYX_TRY_ASSIGN(auto line, eventLine(seq, kind, writePayload));
  if (!logClosed_) {
    Status appended = files::appendBelowLimit(trace_layout::eventsPath(traceDir_), line, limits::kEventLogBytes);
    if (appended) return writeManifest();
    if (appended.error() != Error::StreamTooLong) return appended;
    closeLog();
    Status noted = writeManifest();
    if (fullLog_ == FullLog::Skip) return noted;
    return fail(Error::StreamTooLong);
  }
  if (fullLog_ == FullLog::Skip) return writeManifest();
  return fail(Error::StreamTooLong);
}

void TraceWriter::closeLog() {
  logClosed_ = true;
  ++partialFailureCount_;
  auto last = eventLine(eventCount_ + 1, event_kinds::kTraceEvents, [](Writer& w) -> Status {
    return w.writeAll(R"({"status":"failed","error":"StreamTooLong"})");
  });
  // Without room for it the partial failure alone tells of the lost events.
  if (last && files::appendBelowLimit(trace_layout::eventsPath(traceDir_), *last, limits::kEventLogBytes)) {
    ++eventCount_;
  }
}

std::string TraceWriter::nextSnapshotId() {
  ++snapshotCount_;
  return "snapshot-" + std::to_string(snapshotCount_);
}

Expected<std::string> TraceWriter::writeArtifact(std::string_view name, std::string_view bytes) {
  std::string path = trace_layout::artifactPath(traceDir_, name);
  VYX_TRY(files::writeFile(path, bytes));
  return path;
}

Expected<std::string> TraceWriter::writeSnapshot(const ObservationSnapshot& snapshot) {
  SnapshotRedaction redaction{options_, textRules()};
  StringWriter doc;
  VYX_TRY(writeSnapshotDocument(doc, snapshot, &redaction));
  // Drafting reads snapshots back only below this size.
  if (doc.str().size() >= limits::kSnapshotReadBytes) return fail(Error::StreamTooLong);
  std::string name = snapshot.id + ".json";
  std::string path = trace_layout::artifactPath(traceDir_, name);
  VYX_TRY(files::writeFile(path, doc.str()));
  return path;
}

Status TraceWriter::finishManifest(std::string_view status, std::optional<size_t> failedStepIndex,
                                   std::optional<std::string_view> errorName,
                                   std::optional<std::string_view> reportPath) {
  if (!manifest_) return {};
  Manifest& m = *manifest_;
  m.status = std::string(status);
  m.endedAtMs = clock_->wallClockMs();
  m.failedStepIndex = failedStepIndex;
  if (errorName) {
    m.error = std::string(*errorName);
  } else {
    m.error.reset();
  }
  if (reportPath) m.reportPath = std::string(*reportPath);
  return writeManifest();
}

Status TraceWriter::writeManifest() {
  if (!manifest_) return {};
  StringWriter doc;
  VYX_TRY(trace::writeManifestJson(doc, *manifest_, eventCount_, snapshotCount_, partialFailureCount_));
  return files::writeFileAtomicBelowLimit(trace_layout::manifestPath(traceDir_), doc.str(),
                                          limits::kManifestReadBytes);
}

}  // namespace vyx
