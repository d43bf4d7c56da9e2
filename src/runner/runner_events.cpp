#include "runner/runner_events.hpp"

#include "core/trace_layout.hpp"
#include "devices/device.hpp"
#include "runner/health.hpp"
#include "runner/runner_diagnostics.hpp"

namespace vyx::runner_events {

namespace kinds = event_kinds;
using trace::selectorListMember;
using trace::selectorMember;

Payload::Payload() = default;

Payload& Payload::key(std::string_view k) {
  object_.key(k);
  return *this;
}

Payload& Payload::str(std::string_view k, std::string_view value) {
  object_.str(k, value);
  return *this;
}

Payload& Payload::num(std::string_view k, int64_t value) {
  object_.num(k, value);
  return *this;
}

Payload& Payload::unum(std::string_view k, uint64_t value) {
  object_.unum(k, value);
  return *this;
}

Payload& Payload::flag(std::string_view k, bool value) {
  object_.flag(k, value);
  return *this;
}

Payload& Payload::error(std::string_view k, Error value) {
  object_.error(k, value);
  return *this;
}

Payload& Payload::selector(std::string_view k, const Selector& value) {
  selectorMember(object_, k, value);
  return *this;
}

Payload& Payload::selectors(std::string_view k, std::span<const Selector> values) {
  selectorListMember(object_, k, values);
  return *this;
}

std::string Payload::finish() {
  (void)object_.finish();
  return out_.take();
}

std::string eventString(std::string_view value) { return Payload().str("value", value).finish(); }

Status recordActionStatus(TraceWriter& trace, std::string_view kind, std::string_view status,
                          std::optional<Error> error, std::optional<std::string_view> url) {
  return trace.recordEvent(kind, [&](JsonObjectWriter& p) {
    p.str("status", status);
    if (error) p.error("error", *error);
    p.optStr("url", url);
  });
}

Status recordSwipe(TraceWriter& trace, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs) {
  return trace.recordEvent(kinds::kUiSwipe, [&](JsonObjectWriter& p) {
    p.str("status", "ok").num("x1", x1).num("y1", y1).num("x2", x2).num("y2", y2).unum("durationMs", durationMs);
  });
}

Status recordNativeWait(TraceWriter& trace, std::string_view kind, const Selector& selector,
                        std::optional<size_t> matchedIndex, uint64_t timeoutMs) {
  return trace.recordEvent(kind, [&](JsonObjectWriter& p) {
    p.str("status", "ok").str("strategy", "nativeSelector").optUnum("matchedIndex", matchedIndex);
    selectorMember(p, "selector", selector);
    p.unum("timeoutMs", timeoutMs);
  });
}

Status recordNativeWaitTimeout(TraceWriter& trace, std::string_view kind, std::span<const Selector> selectors,
                               uint64_t timeoutMs) {
  return trace.recordEvent(kind, [&](JsonObjectWriter& p) {
    p.str("status", "timeout").str("strategy", "nativeSelector").unum("timeoutMs", timeoutMs);
    selectorListMember(p, "selectors", selectors);
  });
}

Status recordNativeWaitTimeoutWithDiagnostics(TraceWriter& trace, Device& device, std::string_view kind,
                                              std::span<const Selector> selectors, uint64_t timeoutMs) {
  Expected<ObservationSnapshot> snap = device.snapshot(&trace);
  if (!snap) return recordNativeWaitTimeout(trace, kind, selectors, timeoutMs);
  return runner_diagnostics::recordWithOptions(trace, kind, "timeout", "nativeSelector", selectors, *snap,
                                               timeoutMs);
}

Status recordObservationRetry(TraceWriter& trace, std::string_view kind, Error error) {
  return trace.recordEvent(kinds::kObserveRetry, [&](JsonObjectWriter& p) {
    p.str("status", "retry").str("kind", kind).error("error", error);
  });
}

Status recordSelectorArrayStatus(TraceWriter& trace, std::span<const Selector> selectors, uint64_t timeoutMs) {
  return trace.recordEvent(kinds::kAssertNoneVisible, [&](JsonObjectWriter& p) {
    p.str("status", "ok");
    selectorListMember(p, "selectors", selectors);
    p.unum("timeoutMs", timeoutMs);
  });
}

Status recordNativeSelectorArrayStatus(TraceWriter& trace, std::string_view status,
                                       std::optional<size_t> matchedIndex, uint64_t timeoutMs) {
  return trace.recordEvent(kinds::kAssertHealthy, [&](JsonObjectWriter& p) {
    p.str("status", status).str("strategy", "nativeSelector").optUnum("matchedIndex", matchedIndex);
    selectorListMember(p, "selectors", health::defaultSelectors());
    p.unum("timeoutMs", timeoutMs);
  });
}

Status recordSelectorEvent(TraceWriter& trace, const Selector& selector) {
  return trace.recordEvent(kinds::kStepWhenVisibleSkipped,
                           [&](JsonObjectWriter& p) { selectorMember(p, "selector", selector); });
}

Status recordSelectorEventWithError(TraceWriter& trace, const Selector& selector, Error error) {
  return trace.recordEvent(kinds::kStepWhenVisibleSkipped, [&](JsonObjectWriter& p) {
    selectorMember(p, "selector", selector);
    p.error("error", error);
  });
}

Status recordStepError(TraceWriter& trace, size_t index, Error error) {
  return trace.recordEvent(kinds::kStepError,
                           [&](JsonObjectWriter& p) { p.unum("index", index).error("error", error); });
}

Status recordScenarioEnd(TraceWriter& trace, std::string_view name, std::string_view status,
                         std::optional<size_t> failedStepIndex, std::optional<Error> error) {
  return trace.recordEvent(kinds::kScenarioEnd, [&](JsonObjectWriter& p) {
    p.str("value", name).str("status", status).optUnum("failedStepIndex", failedStepIndex);
    if (error) p.error("error", *error);
  });
}

Status recordTraceDiscover(TraceWriter& trace, std::string_view status, std::string_view outPath,
                           bool includeActions, bool validated) {
  return trace.recordEvent(kinds::kTraceDiscover, [&](JsonObjectWriter& p) {
    p.str("status", status).str("out", outPath).flag("includeActions", includeActions).flag("validated", validated);
  });
}

Status recordTraceExplore(TraceWriter& trace, std::string_view status, std::string_view outPath,
                          std::string_view goal, bool includeActions, bool validated) {
  return trace.recordEvent(kinds::kTraceExplore, [&](JsonObjectWriter& p) {
    p.str("status", status)
        .str("out", outPath)
        .str("goal", goal)
        .flag("includeActions", includeActions)
        .flag("validated", validated);
  });
}

Status recordStatusOk(TraceWriter& trace, std::string_view kind) {
  return trace.recordEvent(kind, [](JsonObjectWriter& p) { p.str("status", "ok"); });
}

Status recordStepDone(TraceWriter& trace, size_t index) {
  return trace.recordEvent(kinds::kStepDone, [&](JsonObjectWriter& p) { p.unum("index", index); });
}

Status recordStepOptional(TraceWriter& trace, Error error) {
  return trace.recordEvent(kinds::kStepOptional,
                           [&](JsonObjectWriter& p) { p.str("status", "skipped").error("error", error); });
}

Status recordRepeatIteration(TraceWriter& trace, uint32_t iteration, uint32_t times) {
  return trace.recordEvent(kinds::kStepRepeatIteration,
                           [&](JsonObjectWriter& p) { p.unum("iteration", iteration).unum("times", times); });
}

Status recordEraseText(TraceWriter& trace, uint32_t maxChars) {
  return trace.recordEvent(kinds::kUiEraseText, [&](JsonObjectWriter& p) { p.unum("maxChars", maxChars); });
}

Status recordTap(TraceWriter& trace, std::string_view snapshotId, std::string_view target, int32_t x, int32_t y,
                 uint32_t attempts, const Selector& selector) {
  return trace.recordEvent(kinds::kUiTap, [&](JsonObjectWriter& p) {
    p.str("snapshotId", snapshotId).str("target", target).num("x", x).num("y", y).unum("attempts", attempts);
    selectorMember(p, "selector", selector);
  });
}

Status recordType(TraceWriter& trace, const Selector& selector, std::string_view text, bool native) {
  return trace.recordEvent(kinds::kUiType, [&](JsonObjectWriter& p) {
    p.str("status", "ok");
    if (native) p.str("strategy", "nativeSelector");
    selectorMember(p, "selector", selector);
    p.str("text", text);
  });
}

Status recordVisibleOk(TraceWriter& trace, std::string_view kind, std::optional<size_t> matchedIndex,
                       std::string_view target, const Selector& selector, uint64_t timeoutMs) {
  return trace.recordEvent(kind, [&](JsonObjectWriter& p) {
    p.str("status", "ok").optUnum("matchedIndex", matchedIndex).str("target", target);
    selectorMember(p, "selector", selector);
    p.unum("timeoutMs", timeoutMs);
  });
}

Status recordNotVisibleOk(TraceWriter& trace, std::string_view kind, const Selector& selector, uint64_t timeoutMs) {
  return trace.recordEvent(kind, [&](JsonObjectWriter& p) {
    p.str("status", "ok");
    selectorMember(p, "selector", selector);
    p.unum("timeoutMs", timeoutMs);
  });
}

Status recordHealthyOk(TraceWriter& trace, uint64_t timeoutMs) {
  return trace.recordEvent(kinds::kAssertHealthy,
                           [&](JsonObjectWriter& p) { p.str("status", "ok").unum("timeoutMs", timeoutMs); });
}

Status recordScroll(TraceWriter& trace, ScrollDirection direction, int32_t x, int32_t y1, int32_t y2) {
  return trace.recordEvent(kinds::kUiScroll, [&](JsonObjectWriter& p) {
    p.str("direction", scrollDirectionName(direction)).num("x", x).num("y1", y1).num("y2", y2);
  });
}

Status recordScrollFound(TraceWriter& trace, std::string_view target, const Selector& selector,
                         ScrollDirection direction, uint64_t timeoutMs) {
  return trace.recordEvent(kinds::kUiScrollUntilVisible, [&](JsonObjectWriter& p) {
    p.str("status", "ok").str("target", target);
    selectorMember(p, "selector", selector);
    p.str("direction", scrollDirectionName(direction)).unum("timeoutMs", timeoutMs);
  });
}

}  // namespace vyx::runner_events
