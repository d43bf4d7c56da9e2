#include "runner/runner_events.hpp"

#include "core/trace_json.hpp"
#include "devices/device.hpp"
#include "runner/health.hpp"
#include "runner/runner_diagnostics.hpp"

namespace vyx::runner_events {

Payload::Payload() { (void)out_.writeAll("{"); }

Payload& Payload::key(std::string_view k) {
  if (!first_) (void)out_.writeAll(",");
  first_ = false;
  (void)trace_json::writeJsonString(out_, k);
  (void)out_.writeAll(":");
  return *this;
}

Payload& Payload::str(std::string_view k, std::string_view value) {
  key(k);
  (void)trace_json::writeJsonString(out_, value);
  return *this;
}

Payload& Payload::num(std::string_view k, int64_t value) {
  key(k);
  (void)out_.writeInt(value);
  return *this;
}

Payload& Payload::unum(std::string_view k, uint64_t value) {
  key(k);
  (void)out_.writeUint(value);
  return *this;
}

Payload& Payload::flag(std::string_view k, bool value) {
  key(k);
  (void)out_.writeAll(value ? "true" : "false");
  return *this;
}

Payload& Payload::error(std::string_view k, Error value) { return str(k, errorName(value)); }

Payload& Payload::selector(std::string_view k, const Selector& value) {
  key(k);
  (void)trace::writeSelectorJson(out_, value);
  return *this;
}

Payload& Payload::selectors(std::string_view k, std::span<const Selector> values) {
  key(k);
  writeSelectorList(out_, values);
  return *this;
}

std::string Payload::finish() {
  (void)out_.writeAll("}");
  return out_.take();
}

void writeSelectorList(Writer& w, std::span<const Selector> selectors) {
  (void)w.writeAll("[");
  for (size_t i = 0; i < selectors.size(); ++i) {
    if (i > 0) (void)w.writeAll(",");
    (void)trace::writeSelectorJson(w, selectors[i]);
  }
  (void)w.writeAll("]");
}

std::string eventString(std::string_view value) { return Payload().str("value", value).finish(); }

Status recordActionStatus(TraceWriter& trace, std::string_view kind, std::string_view status,
                          std::optional<Error> error, std::optional<std::string_view> url) {
  Payload p;
  p.str("status", status);
  if (error) p.error("error", *error);
  if (url) p.str("url", *url);
  return trace.recordEvent(kind, p.finish());
}

Status recordSwipe(TraceWriter& trace, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs) {
  return trace.recordEvent("ui.swipe", Payload()
                                           .str("status", "ok")
                                           .num("x1", x1)
                                           .num("y1", y1)
                                           .num("x2", x2)
                                           .num("y2", y2)
                                           .unum("durationMs", durationMs)
                                           .finish());
}

Status recordNativeWait(TraceWriter& trace, std::string_view kind, const Selector& selector,
                        std::optional<size_t> matchedIndex, uint64_t timeoutMs) {
  Payload p;
  p.str("status", "ok").str("strategy", "nativeSelector");
  if (matchedIndex) p.unum("matchedIndex", *matchedIndex);
  p.selector("selector", selector).unum("timeoutMs", timeoutMs);
  return trace.recordEvent(kind, p.finish());
}

Status recordNativeWaitTimeout(TraceWriter& trace, std::string_view kind, std::span<const Selector> selectors,
                               uint64_t timeoutMs) {
  return trace.recordEvent(kind, Payload()
                                     .str("status", "timeout")
                                     .str("strategy", "nativeSelector")
                                     .unum("timeoutMs", timeoutMs)
                                     .selectors("selectors", selectors)
                                     .finish());
}

Status recordNativeWaitTimeoutWithDiagnostics(TraceWriter& trace, Device& device, std::string_view kind,
                                              std::span<const Selector> selectors, uint64_t timeoutMs) {
  Expected<ObservationSnapshot> snap = device.snapshot(&trace);
  if (!snap) return recordNativeWaitTimeout(trace, kind, selectors, timeoutMs);
  return runner_diagnostics::recordWithOptions(trace, kind, "timeout", "nativeSelector", selectors, *snap,
                                               timeoutMs);
}

Status recordObservationRetry(TraceWriter& trace, std::string_view kind, Error error) {
  return trace.recordEvent("observe.retry",
                           Payload().str("status", "retry").str("kind", kind).error("error", error).finish());
}

Status recordSelectorArrayStatus(TraceWriter& trace, std::span<const Selector> selectors, uint64_t timeoutMs) {
  return trace.recordEvent(
      "assert.noneVisible",
      Payload().str("status", "ok").selectors("selectors", selectors).unum("timeoutMs", timeoutMs).finish());
}

Status recordNativeSelectorArrayStatus(TraceWriter& trace, std::string_view status,
                                       std::optional<size_t> matchedIndex, uint64_t timeoutMs) {
  Payload p;
  p.str("status", status).str("strategy", "nativeSelector");
  if (matchedIndex) p.unum("matchedIndex", *matchedIndex);
  p.selectors("selectors", health::defaultSelectors()).unum("timeoutMs", timeoutMs);
  return trace.recordEvent("assert.healthy", p.finish());
}

Status recordSelectorEvent(TraceWriter& trace, const Selector& selector) {
  return trace.recordEvent("step.whenVisible.skipped", Payload().selector("selector", selector).finish());
}

Status recordSelectorEventWithError(TraceWriter& trace, const Selector& selector, Error error) {
  return trace.recordEvent("step.whenVisible.skipped",
                           Payload().selector("selector", selector).error("error", error).finish());
}

Status recordStepError(TraceWriter& trace, size_t index, Error error) {
  return trace.recordEvent("step.error", Payload().unum("index", index).error("error", error).finish());
}

Status recordScenarioEnd(TraceWriter& trace, std::string_view name, std::string_view status,
                         std::optional<size_t> failedStepIndex, std::optional<Error> error) {
  Payload p;
  p.str("value", name).str("status", status);
  if (failedStepIndex) p.unum("failedStepIndex", *failedStepIndex);
  if (error) p.error("error", *error);
  return trace.recordEvent("scenario.end", p.finish());
}

Status recordTraceDiscover(TraceWriter& trace, std::string_view status, std::string_view outPath,
                           bool includeActions, bool validated) {
  return trace.recordEvent("trace.discover", Payload()
                                                 .str("status", status)
                                                 .str("out", outPath)
                                                 .flag("includeActions", includeActions)
                                                 .flag("validated", validated)
                                                 .finish());
}

Status recordTraceExplore(TraceWriter& trace, std::string_view status, std::string_view outPath,
                          std::string_view goal, bool includeActions, bool validated) {
  return trace.recordEvent("trace.explore", Payload()
                                                .str("status", status)
                                                .str("out", outPath)
                                                .str("goal", goal)
                                                .flag("includeActions", includeActions)
                                                .flag("validated", validated)
                                                .finish());
}

Status recordStatusOk(TraceWriter& trace, std::string_view kind) {
  return trace.recordEvent(kind, Payload().str("status", "ok").finish());
}

Status recordStepDone(TraceWriter& trace, size_t index) {
  return trace.recordEvent("step.done", Payload().unum("index", index).finish());
}

Status recordStepOptional(TraceWriter& trace, Error error) {
  return trace.recordEvent("step.optional", Payload().str("status", "skipped").error("error", error).finish());
}

Status recordRepeatIteration(TraceWriter& trace, uint32_t iteration, uint32_t times) {
  return trace.recordEvent("step.repeat.iteration",
                           Payload().unum("iteration", iteration).unum("times", times).finish());
}

Status recordEraseText(TraceWriter& trace, uint32_t maxChars) {
  return trace.recordEvent("ui.eraseText", Payload().unum("maxChars", maxChars).finish());
}

Status recordTap(TraceWriter& trace, std::string_view snapshotId, std::string_view target, int32_t x, int32_t y,
                 uint32_t attempts, const Selector& selector) {
  return trace.recordEvent("ui.tap", Payload()
                                         .str("snapshotId", snapshotId)
                                         .str("target", target)
                                         .num("x", x)
                                         .num("y", y)
                                         .unum("attempts", attempts)
                                         .selector("selector", selector)
                                         .finish());
}

Status recordType(TraceWriter& trace, const Selector& selector, std::string_view text, bool native) {
  Payload p;
  p.str("status", "ok");
  if (native) p.str("strategy", "nativeSelector");
  p.selector("selector", selector).str("text", text);
  return trace.recordEvent("ui.type", p.finish());
}

Status recordVisibleOk(TraceWriter& trace, std::string_view kind, std::optional<size_t> matchedIndex,
                       std::string_view target, const Selector& selector, uint64_t timeoutMs) {
  Payload p;
  p.str("status", "ok");
  if (matchedIndex) p.unum("matchedIndex", *matchedIndex);
  p.str("target", target).selector("selector", selector).unum("timeoutMs", timeoutMs);
  return trace.recordEvent(kind, p.finish());
}

Status recordNotVisibleOk(TraceWriter& trace, std::string_view kind, const Selector& selector, uint64_t timeoutMs) {
  return trace.recordEvent(
      kind, Payload().str("status", "ok").selector("selector", selector).unum("timeoutMs", timeoutMs).finish());
}

Status recordHealthyOk(TraceWriter& trace, uint64_t timeoutMs) {
  return trace.recordEvent("assert.healthy", Payload().str("status", "ok").unum("timeoutMs", timeoutMs).finish());
}

Status recordScroll(TraceWriter& trace, ScrollDirection direction, int32_t x, int32_t y1, int32_t y2) {
  return trace.recordEvent("ui.scroll", Payload()
                                            .str("direction", scrollDirectionName(direction))
                                            .num("x", x)
                                            .num("y1", y1)
                                            .num("y2", y2)
                                            .finish());
}

Status recordScrollFound(TraceWriter& trace, std::string_view target, const Selector& selector,
                         ScrollDirection direction, uint64_t timeoutMs) {
  return trace.recordEvent("ui.scrollUntilVisible", Payload()
                                                        .str("status", "ok")
                                                        .str("target", target)
                                                        .selector("selector", selector)
                                                        .str("direction", scrollDirectionName(direction))
                                                        .unum("timeoutMs", timeoutMs)
                                                        .finish());
}

}  // namespace vyx::runner_events
