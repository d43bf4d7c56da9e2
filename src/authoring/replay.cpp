#include "authoring/replay.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "core/files.hpp"
#include "core/trace_files.hpp"
#include "core/json_writer.hpp"
#include "core/limits.hpp"
#include "core/text.hpp"
#include "core/trace_json.hpp"
#include "core/trace_layout.hpp"

namespace vyx::replay {

namespace {

namespace ek = event_kinds;

constexpr std::array<std::string_view, 15> kControlKinds = {
    ek::kScenarioStart,
    ek::kScenarioEnd,
    ek::kStepDone,
    ek::kStepError,
    ek::kStepOptional,
    ek::kStepWhenVisibleSkipped,
    ek::kStepRepeatIteration,
    ek::kObserveSnapshot,
    ek::kObserveSemanticSnapshot,
    ek::kObserveSemanticExtraction,
    ek::kObserveRetry,
    ek::kRpcRequest,
    ek::kRpcResponse,
    ek::kRpcError,
    ek::kTraceExport,
};

constexpr std::string_view kRedactionMarker = "[REDACTED:";

// Payload readers: a value of another type counts as absent.

std::optional<std::string_view> optionalString(const json::Value& payload, std::string_view key) {
  const json::Value* v = payload.get(key);
  if (v == nullptr || !v->isString() || v->string.empty()) return std::nullopt;
  return std::string_view(v->string);
}

std::optional<int32_t> optionalI32(const json::Value& payload, std::string_view key) {
  const json::Value* v = payload.get(key);
  if (v == nullptr || !v->isInteger()) return std::nullopt;
  if (v->integer < std::numeric_limits<int32_t>::min() || v->integer > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(v->integer);
}

std::optional<uint64_t> optionalUsize(const json::Value& payload, std::string_view key) {
  const json::Value* v = payload.get(key);
  if (v == nullptr || !v->isInteger() || v->integer < 0) return std::nullopt;
  return static_cast<uint64_t>(v->integer);
}

std::optional<std::string_view> optionalScrollDirection(const json::Value& payload) {
  auto direction = optionalString(payload, "direction");
  if (direction && (*direction == "down" || *direction == "up")) return direction;
  return std::nullopt;
}

const json::Value* optionalObject(const json::Value& payload, std::string_view key) {
  const json::Value* v = payload.get(key);
  return v != nullptr && v->isObject() ? v : nullptr;
}

const json::Value* optionalArray(const json::Value& payload, std::string_view key) {
  const json::Value* v = payload.get(key);
  return v != nullptr && v->isArray() ? v : nullptr;
}

// One step object under construction: {"action":<name>, members...}.
class StepText {
 public:
  explicit StepText(std::string_view action) : object_(out_) { object_.str("action", action); }

  StepText& str(std::string_view key, std::string_view value) {
    object_.str(key, value);
    return *this;
  }
  StepText& num(std::string_view key, int64_t value) {
    object_.num(key, value);
    return *this;
  }
  StepText& unum(std::string_view key, uint64_t value) {
    object_.unum(key, value);
    return *this;
  }
  StepText& optUnum(std::string_view key, std::optional<uint64_t> value) {
    if (value) object_.unum(key, *value);
    return *this;
  }
  // A recorded value, written back exactly as it was parsed.
  StepText& value(std::string_view key, const json::Value& value) {
    object_.value(key, [&](Writer& w) { return trace_json::writeJsonValue(w, value); });
    return *this;
  }

  // Writing goes to memory and cannot fail.
  std::string finish() {
    (void)object_.finish();
    return out_.take();
  }

 private:
  StringWriter out_;
  JsonObjectWriter object_;
};

enum class Outcome { Step, MissingFields, RedactedText, Unsupported };

struct Built {
  Outcome outcome;
  std::string text{};
};

Built step(std::string text) { return {Outcome::Step, std::move(text)}; }
Built missing() { return {Outcome::MissingFields}; }

// The selector-and-timeout steps of the visibility waits and assertions.
Built visibilityStep(std::string_view action, const json::Value& payload) {
  const json::Value* selector = optionalObject(payload, "selector");
  if (selector == nullptr) return missing();
  return step(StepText(action).value("selector", *selector).optUnum("timeoutMs", optionalUsize(payload, "timeoutMs")).finish());
}

Built build(std::string_view kind, const json::Value& payload) {
  if (kind == ek::kAppLaunch) return step(StepText("launch").finish());
  if (kind == ek::kAppOpenLink) {
    auto url = optionalString(payload, "url");
    if (!url) return missing();
    return step(StepText("openLink").str("url", *url).finish());
  }
  if (kind == ek::kUiTap) {
    const json::Value* selector = optionalObject(payload, "selector");
    if (selector == nullptr) return missing();
    return step(StepText("tap").value("selector", *selector).finish());
  }
  if (kind == ek::kUiType) {
    auto text = optionalString(payload, "text");
    if (!text) return missing();
    if (text->size() >= kRedactionMarker.size() && text->starts_with(kRedactionMarker)) {
      return {Outcome::RedactedText};
    }
    StepText s("typeText");
    if (const json::Value* selector = optionalObject(payload, "selector")) s.value("selector", *selector);
    return step(s.str("text", *text).finish());
  }
  if (kind == ek::kUiEraseText) {
    auto maxChars = optionalUsize(payload, "maxChars");
    if (!maxChars) return missing();
    StepText s("eraseText");
    if (const json::Value* selector = optionalObject(payload, "selector")) s.value("selector", *selector);
    return step(s.unum("maxChars", *maxChars).finish());
  }
  if (kind == ek::kUiHideKeyboard) return step(StepText("hideKeyboard").finish());
  if (kind == ek::kUiPressBack) return step(StepText("pressBack").finish());
  if (kind == ek::kUiSwipe) {
    auto x1 = optionalI32(payload, "x1");
    auto y1 = optionalI32(payload, "y1");
    auto x2 = optionalI32(payload, "x2");
    auto y2 = optionalI32(payload, "y2");
    if (!x1 || !y1 || !x2 || !y2) return missing();
    return step(StepText("swipe")
                    .num("x1", *x1)
                    .num("y1", *y1)
                    .num("x2", *x2)
                    .num("y2", *y2)
                    .optUnum("durationMs", optionalUsize(payload, "durationMs"))
                    .finish());
  }
  if (kind == ek::kWaitVisible) return visibilityStep("waitVisible", payload);
  if (kind == ek::kWaitNotVisible) return visibilityStep("waitNotVisible", payload);
  if (kind == ek::kAssertVisible) return visibilityStep("assertVisible", payload);
  if (kind == ek::kAssertNotVisible) return visibilityStep("assertNotVisible", payload);
  // The selector that matched.
  if (kind == ek::kWaitAny) return visibilityStep("waitVisible", payload);
  if (kind == ek::kUiScrollUntilVisible) {
    const json::Value* selector = optionalObject(payload, "selector");
    if (selector == nullptr) return missing();
    StepText s("scrollUntilVisible");
    s.value("selector", *selector);
    if (auto direction = optionalScrollDirection(payload)) s.str("direction", *direction);
    return step(s.optUnum("timeoutMs", optionalUsize(payload, "timeoutMs")).finish());
  }
  if (kind == ek::kAssertNoneVisible) {
    const json::Value* selectors = optionalArray(payload, "selectors");
    if (selectors == nullptr) return missing();
    return step(StepText("assertNoneVisible")
                    .value("selectors", *selectors)
                    .optUnum("timeoutMs", optionalUsize(payload, "timeoutMs"))
                    .finish());
  }
  if (kind == ek::kAssertHealthy) {
    return step(StepText("assertHealthy").optUnum("timeoutMs", optionalUsize(payload, "timeoutMs")).finish());
  }
  return {Outcome::Unsupported};
}

std::string sentence(std::string_view prefix, std::string_view kind) {
  std::string out(prefix);
  out += kind;
  return out;
}

void replayLine(std::string_view line, Replay& replay, Warnings& warnings) {
  auto parsed = json::parseValue(line);
  if (!parsed) {
    warnings.add(kInvalidEvent);
    return;
  }
  const json::Value& event = *parsed;
  if (!event.isObject()) return;
  const json::Value* kindValue = event.get("kind");
  if (kindValue == nullptr || !kindValue->isString() || kindValue->string.empty()) return;
  const json::Value* payload = event.get("payload");
  if (payload == nullptr || !payload->isObject()) return;
  std::string_view kind = kindValue->string;
  if (isControlEvent(kind)) return;

  ++replay.stats.eventCount;
  if (const json::Value* status = payload->get("status")) {
    if (!status->isString() || status->string != "ok") {
      ++replay.stats.skippedEventCount;
      return;
    }
  }

  // A step keeps its fields as recorded, even where the scenario reader
  // would refuse them: validating the draft is what tells the user.
  Built built = build(kind, *payload);
  switch (built.outcome) {
    case Outcome::Step:
      replay.steps.push_back(std::move(built.text));
      ++replay.stats.stepCount;
      return;
    case Outcome::MissingFields:
      warnings.add(sentence(kMissingFieldsPrefix, kind));
      break;
    case Outcome::RedactedText:
      warnings.add(sentence(kRedactedTextPrefix, kind));
      break;
    case Outcome::Unsupported:
      warnings.add(sentence(kUnsupportedPrefix, kind));
      break;
  }
  ++replay.stats.skippedEventCount;
}

}  // namespace

void Warnings::add(std::string_view sentence) {
  if (std::find(list_.begin(), list_.end(), sentence) != list_.end()) return;
  list_.emplace_back(sentence);
}

bool isControlEvent(std::string_view kind) {
  return std::find(kControlKinds.begin(), kControlKinds.end(), kind) != kControlKinds.end();
}

Replay replayEventLog(std::string_view log, Warnings& warnings) {
  Replay replay;
  replay.stats.enabled = true;
  while (!log.empty()) {
    size_t end = log.find('\n');
    std::string_view line = log.substr(0, end);
    log.remove_prefix(end == std::string_view::npos ? log.size() : end + 1);
    line = text::trimBlanks(line);
    if (!line.empty()) replayLine(line, replay, warnings);
  }
  return replay;
}

namespace {

Expected<Replay> replayRead(const Expected<std::string>& log, Warnings& warnings) {
  if (!log) {
    if (log.error() != Error::FileNotFound) return fail(log.error());
    warnings.add(kEventsNotFound);
    Replay replay;
    replay.stats.enabled = true;
    return replay;
  }
  return replayEventLog(*log, warnings);
}

}  // namespace

Expected<Replay> replayEventFile(const std::string& path, Warnings& warnings) {
  return replayRead(files::readFileLimited(path, limits::kEventLogBytes), warnings);
}

Expected<Replay> replayTraceEvents(const std::string& traceDir, std::string_view eventsPath, Warnings& warnings) {
  return replayRead(
      trace_files::readTraceFile(traceDir, trace_files::manifestRelative(eventsPath), limits::kEventLogBytes), warnings);
}

Status writeReplayJson(Writer& w, const ReplayStats& stats) {
  VYX_TRY(w.writeAll(",\"replay\":"));
  JsonObjectWriter o(w);
  o.flag("enabled", stats.enabled)
      .unum("eventCount", stats.eventCount)
      .unum("stepCount", stats.stepCount)
      .unum("skippedEventCount", stats.skippedEventCount);
  return o.finish();
}

}  // namespace vyx::replay
