#include "core/trace.hpp"

#include <array>
#include <limits>
#include <utility>

#include "core/files.hpp"
#include "core/json.hpp"
#include "core/limits.hpp"
#include "core/trace_json.hpp"
#include "core/trace_layout.hpp"
#include "core/version.hpp"

namespace vyx {

namespace {

constexpr std::string_view kRedactedResourceId = "[REDACTED:resourceId]";

// Resource ids holding one of these words mark their node's texts as secret.
constexpr std::array<std::string_view, 9> kSensitiveWords = {
    "password", "token", "secret", "authorization", "auth", "cookie", "apikey", "api_key", "bearer"};

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive (ASCII letters only) substring test; an empty needle or
// one longer than the haystack never matches.
bool containsFolded(std::string_view haystack, std::string_view needle) {
  if (needle.empty() || needle.size() > haystack.size()) return false;
  for (size_t start = 0; start + needle.size() <= haystack.size(); ++start) {
    size_t i = 0;
    while (i < needle.size() && foldAscii(haystack[start + i]) == foldAscii(needle[i])) ++i;
    if (i == needle.size()) return true;
  }
  return false;
}

template <class List>
bool anyContained(std::string_view haystack, const List& entries) {
  for (const auto& entry : entries) {
    if (containsFolded(haystack, entry)) return true;
  }
  return false;
}

Status writeOptionalString(Writer& w, const std::optional<std::string>& value) {
  if (!value) return w.writeAll("null");
  return trace_json::writeJsonString(w, *value);
}

Status writeKey(Writer& w, std::string_view literal) { return w.writeAll(literal); }

// What the trace's copy of a snapshot hides; absent for the plain writer.
struct SnapshotRedaction {
  const TraceOptions& options;
  trace_json::TextRules rules;
};

Status writeNode(Writer& w, const UiNode& node, const SnapshotRedaction* redaction) {
  bool sensitive = false;
  bool hideId = false;
  if (redaction && node.resourceId) {
    const std::string& id = *node.resourceId;
    bool allowed = anyContained(id, redaction->options.allowlistResourceIds);
    bool denied = anyContained(id, redaction->options.denylistResourceIds);
    sensitive = !allowed && (denied || anyContained(id, kSensitiveWords));
    hideId = denied && !allowed;
  }

  VYX_TRY(writeKey(w, "{\"stableId\":"));
  VYX_TRY(trace_json::writeJsonString(w, node.stableId));
  VYX_TRY(writeKey(w, ",\"className\":"));
  VYX_TRY(trace_json::writeJsonString(w, node.className));
  VYX_TRY(writeKey(w, ",\"resourceId\":"));
  if (hideId) {
    VYX_TRY(trace_json::writeJsonString(w, kRedactedResourceId));
  } else {
    VYX_TRY(writeOptionalString(w, node.resourceId));
  }

  auto writeText = [&](std::string_view key, const std::optional<std::string>& value) -> Status {
    if (!value) return w.writeAll("null");
    if (!redaction) return trace_json::writeJsonString(w, *value);
    return trace_json::writeRedactedJsonStringForKeyWithRules(w, key, *value, sensitive, redaction->rules);
  };
  VYX_TRY(writeKey(w, ",\"text\":"));
  VYX_TRY(writeText("text", node.text));
  VYX_TRY(writeKey(w, ",\"contentDesc\":"));
  VYX_TRY(writeText("contentDesc", node.contentDesc));

  VYX_TRY(writeKey(w, ",\"bounds\":{\"x\":"));
  VYX_TRY(w.writeInt(node.bounds.x));
  VYX_TRY(writeKey(w, ",\"y\":"));
  VYX_TRY(w.writeInt(node.bounds.y));
  VYX_TRY(writeKey(w, ",\"width\":"));
  VYX_TRY(w.writeInt(node.bounds.width));
  VYX_TRY(writeKey(w, ",\"height\":"));
  VYX_TRY(w.writeInt(node.bounds.height));
  VYX_TRY(writeKey(w, "},\"enabled\":"));
  VYX_TRY(w.writeAll(node.enabled ? "true" : "false"));
  VYX_TRY(writeKey(w, ",\"visible\":"));
  VYX_TRY(w.writeAll(node.visible ? "true" : "false"));
  VYX_TRY(writeKey(w, ",\"selected\":"));
  VYX_TRY(w.writeAll(node.selected ? "true" : "false"));
  return w.writeByte('}');
}

Status writeSnapshotDocument(Writer& w, const ObservationSnapshot& s, const SnapshotRedaction* redaction) {
  VYX_TRY(writeKey(w, "{\"id\":"));
  VYX_TRY(trace_json::writeJsonString(w, s.id));
  VYX_TRY(writeKey(w, ",\"timestampMs\":"));
  VYX_TRY(w.writeInt(s.timestampMs));
  VYX_TRY(writeKey(w, ",\"viewport\":{\"width\":"));
  VYX_TRY(w.writeUint(s.viewport.width));
  VYX_TRY(writeKey(w, ",\"height\":"));
  VYX_TRY(w.writeUint(s.viewport.height));
  VYX_TRY(writeKey(w, "},\"displayDensityDpi\":"));
  if (s.displayDensityDpi) {
    VYX_TRY(w.writeUint(*s.displayDensityDpi));
  } else {
    VYX_TRY(w.writeAll("null"));
  }
  VYX_TRY(writeKey(w, ",\"activePackage\":"));
  VYX_TRY(writeOptionalString(w, s.activePackage));
  VYX_TRY(writeKey(w, ",\"activeActivity\":"));
  VYX_TRY(writeOptionalString(w, s.activeActivity));
  VYX_TRY(writeKey(w, ",\"screenshotArtifact\":"));
  VYX_TRY(writeOptionalString(w, s.screenshotArtifact));
  VYX_TRY(writeKey(w, ",\"treeArtifact\":"));
  VYX_TRY(writeOptionalString(w, s.treeArtifact));
  VYX_TRY(writeKey(w, ",\"focusedNodeId\":"));
  VYX_TRY(writeOptionalString(w, s.focusedNodeId));
  VYX_TRY(writeKey(w, ",\"logDelta\":"));
  if (redaction && s.logDelta) {
    VYX_TRY(trace_json::writeRedactedJsonStringForKeyWithRules(w, "logDelta", *s.logDelta, false, redaction->rules));
  } else {
    VYX_TRY(writeOptionalString(w, s.logDelta));
  }
  VYX_TRY(writeKey(w, ",\"nodes\":["));
  for (size_t i = 0; i < s.nodes.size(); ++i) {
    if (i > 0) VYX_TRY(w.writeByte(','));
    VYX_TRY(writeNode(w, s.nodes[i], redaction));
  }
  return w.writeAll("]}");
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

Status writeSelectorJson(Writer& w, const Selector& selector) {
  VYX_TRY(w.writeByte('{'));
  bool first = true;
  auto field = [&](std::string_view key, const std::optional<std::string>& value) -> Status {
    if (!value) return {};
    if (!first) VYX_TRY(w.writeByte(','));
    first = false;
    VYX_TRY(trace_json::writeJsonString(w, key));
    VYX_TRY(w.writeByte(':'));
    return trace_json::writeJsonString(w, *value);
  };
  VYX_TRY(field("id", selector.resourceId));
  VYX_TRY(field("text", selector.text));
  VYX_TRY(field("textContains", selector.textContains));
  VYX_TRY(field("contentDesc", selector.contentDesc));
  VYX_TRY(field("contentDescContains", selector.contentDescContains));
  VYX_TRY(field("className", selector.className));
  return w.writeByte('}');
}

Status writeManifestJson(Writer& w, const Manifest& m, uint64_t eventCount, uint64_t snapshotCount,
                         uint64_t partialFailureCount) {
  VYX_TRY(writeKey(w, "{\"schemaVersion\":1,\"runnerVersion\":"));
  VYX_TRY(trace_json::writeJsonString(w, version::kRunner));
  VYX_TRY(writeKey(w, ",\"protocolVersion\":"));
  VYX_TRY(trace_json::writeJsonString(w, version::kProtocol));
  VYX_TRY(writeKey(w, ",\"scenarioName\":"));
  VYX_TRY(trace_json::writeJsonString(w, m.scenarioName));
  VYX_TRY(writeKey(w, ",\"appId\":"));
  VYX_TRY(writeOptionalString(w, m.appId));
  VYX_TRY(writeKey(w, ",\"status\":"));
  // A run that passed with failed semantic extractions only partly passed.
  std::string_view status = m.status;
  if (status == "passed" && partialFailureCount > 0) status = "partial";
  VYX_TRY(trace_json::writeJsonString(w, status));
  VYX_TRY(writeKey(w, ",\"startedAtMs\":"));
  VYX_TRY(w.writeInt(m.startedAtMs));
  VYX_TRY(writeKey(w, ",\"endedAtMs\":"));
  if (m.endedAtMs) {
    VYX_TRY(w.writeInt(*m.endedAtMs));
    VYX_TRY(writeKey(w, ",\"durationMs\":"));
    VYX_TRY(w.writeInt(saturatingSub(*m.endedAtMs, m.startedAtMs)));
  } else {
    VYX_TRY(writeKey(w, "null,\"durationMs\":null"));
  }
  VYX_TRY(writeKey(w, ",\"failedStepIndex\":"));
  if (m.failedStepIndex) {
    VYX_TRY(w.writeUint(*m.failedStepIndex));
  } else {
    VYX_TRY(w.writeAll("null"));
  }
  VYX_TRY(writeKey(w, ",\"error\":"));
  VYX_TRY(writeOptionalString(w, m.error));
  VYX_TRY(writeKey(w, ",\"eventsPath\":"));
  VYX_TRY(trace_json::writeJsonString(w, trace_layout::kEventsFile));
  VYX_TRY(writeKey(w, ",\"artifactsDir\":"));
  VYX_TRY(trace_json::writeJsonString(w, trace_layout::kArtifactsDir));
  VYX_TRY(writeKey(w, ",\"eventCount\":"));
  VYX_TRY(w.writeUint(eventCount));
  VYX_TRY(writeKey(w, ",\"snapshotCount\":"));
  VYX_TRY(w.writeUint(snapshotCount));
  VYX_TRY(writeKey(w, ",\"partialFailureCount\":"));
  VYX_TRY(w.writeUint(partialFailureCount));
  VYX_TRY(writeKey(w, ",\"reportPath\":"));
  VYX_TRY(writeOptionalString(w, m.reportPath));
  return w.writeAll("}\n");
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
  m.startedAtMs = clock_->nowMs();
  manifest_ = std::move(m);
  return writeManifest();
}

Status TraceWriter::recordEvent(std::string_view kind, std::string_view payloadJson) {
  uint64_t seq = ++eventCount_;
  Expected<json::Value> value = json::parseValue(payloadJson);
  if (value && trace_layout::isPartialFailureEvent(kind, *value)) ++partialFailureCount_;

  trace_json::TextRules rules{options_.denylistText, options_.allowlistText};
  StringWriter line;
  VYX_TRY(line.writeAll("{\"seq\":"));
  VYX_TRY(line.writeUint(seq));
  VYX_TRY(line.writeAll(",\"timestampMs\":"));
  VYX_TRY(line.writeInt(clock_->nowMs()));
  // Kinds are fixed dotted identifiers, which the string writer leaves as
  // they are; escaping still keeps the line valid JSON whatever a caller
  // passes.
  VYX_TRY(line.writeAll(",\"kind\":"));
  VYX_TRY(trace_json::writeJsonString(line, kind));
  VYX_TRY(line.writeAll(",\"payload\":"));
  if (value) {
    VYX_TRY(trace_json::writeJsonValueRedacted(line, *value, "", rules));
  } else {
    VYX_TRY(trace_json::writeRedactedJsonStringForKeyWithRules(line, "", payloadJson, false, rules));
  }
  VYX_TRY(line.writeAll("}\n"));

  VYX_TRY(files::appendWithinLimit(trace_layout::eventsPath(traceDir_), line.str(), limits::kEventLogBytes));
  return writeManifest();
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
  SnapshotRedaction redaction{options_, {options_.denylistText, options_.allowlistText}};
  StringWriter doc;
  VYX_TRY(writeSnapshotDocument(doc, snapshot, &redaction));
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
  m.endedAtMs = clock_->nowMs();
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
  return files::writeFileAtomic(trace_layout::manifestPath(traceDir_), doc.str());
}

}  // namespace vyx
