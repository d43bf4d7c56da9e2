#pragma once
// Payload builders for the events the runner records. Every payload is one
// compact JSON object with its keys in a fixed order; optional keys are left
// out when absent, errors are written by name, selectors as their set fields.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/json_writer.hpp"
#include "core/scenario.hpp"
#include "core/trace.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"

namespace vyx {
class Device;
}

namespace vyx::runner_events {

// Every recorder below hands its payload to TraceWriter::recordEvent as a
// writer callback, so the payload is written once, redacted as it goes.

// Renders one compact JSON object member by member into text, for callers
// that pass the text to TraceWriter::recordEvent(kind, text) themselves.
// Prefer recording with a callback (TraceWriter::recordEvent(kind, fn)).
class Payload {
 public:
  Payload();
  Payload& str(std::string_view key, std::string_view value);
  Payload& num(std::string_view key, int64_t value);
  Payload& unum(std::string_view key, uint64_t value);
  Payload& flag(std::string_view key, bool value);
  Payload& error(std::string_view key, Error value);
  Payload& selector(std::string_view key, const Selector& value);
  Payload& selectors(std::string_view key, std::span<const Selector> values);
  // Starts a member whose value the caller writes into writer().
  Payload& key(std::string_view key);
  Writer& writer() { return object_.writer(); }
  // Closes the object and hands the text over.
  std::string finish();

 private:
  StringWriter out_;
  JsonObjectWriter object_{out_};
};

// {"value":<string>}
std::string eventString(std::string_view value);

// {"status":..[,"error":<name>][,"url":..]} under the caller's kind.
Status recordActionStatus(TraceWriter& trace, std::string_view kind, std::string_view status,
                          std::optional<Error> error, std::optional<std::string_view> url);

// "ui.swipe"
Status recordSwipe(TraceWriter& trace, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs);

// {"status":"ok","strategy":"nativeSelector"[,"matchedIndex":n],"selector":..,"timeoutMs":n}
Status recordNativeWait(TraceWriter& trace, std::string_view kind, const Selector& selector,
                        std::optional<size_t> matchedIndex, uint64_t timeoutMs);

// {"status":"timeout","strategy":"nativeSelector","timeoutMs":n,"selectors":[..]}
Status recordNativeWaitTimeout(TraceWriter& trace, std::string_view kind, std::span<const Selector> selectors,
                               uint64_t timeoutMs);

// The time-out of an iOS native wait: diagnostics from a fresh snapshot, or
// the plain native time-out when that snapshot cannot be taken.
Status recordNativeWaitTimeoutWithDiagnostics(TraceWriter& trace, Device& device, std::string_view kind,
                                              std::span<const Selector> selectors, uint64_t timeoutMs);

// "observe.retry" {"status":"retry","kind":..,"error":..}
Status recordObservationRetry(TraceWriter& trace, std::string_view kind, Error error);

// "assert.noneVisible" {"status":"ok","selectors":[..],"timeoutMs":n}
Status recordSelectorArrayStatus(TraceWriter& trace, std::span<const Selector> selectors, uint64_t timeoutMs);

// "assert.healthy" with the overlay selectors, native road.
Status recordNativeSelectorArrayStatus(TraceWriter& trace, std::string_view status,
                                       std::optional<size_t> matchedIndex, uint64_t timeoutMs);

// "step.whenVisible.skipped"
Status recordSelectorEvent(TraceWriter& trace, const Selector& selector);
Status recordSelectorEventWithError(TraceWriter& trace, const Selector& selector, Error error);

// "step.error" {"index":n,"error":..}
Status recordStepError(TraceWriter& trace, size_t index, Error error);

// "scenario.end"
Status recordScenarioEnd(TraceWriter& trace, std::string_view name, std::string_view status,
                         std::optional<size_t> failedStepIndex, std::optional<Error> error);

// "trace.discover" and "trace.explore", for the servers' trace operations.
Status recordTraceDiscover(TraceWriter& trace, std::string_view status, std::string_view outPath,
                           bool includeActions, bool validated);
Status recordTraceExplore(TraceWriter& trace, std::string_view status, std::string_view outPath,
                          std::string_view goal, bool includeActions, bool validated);

// The remaining fixed payloads of the catalogue.

// {"status":"ok"} ("ui.pressBack", "ui.hideKeyboard")
Status recordStatusOk(TraceWriter& trace, std::string_view kind);
// "step.done" {"index":n}
Status recordStepDone(TraceWriter& trace, size_t index);
// "step.optional" {"status":"skipped","error":..}
Status recordStepOptional(TraceWriter& trace, Error error);
// "step.repeat.iteration" {"iteration":i,"times":n}
Status recordRepeatIteration(TraceWriter& trace, uint32_t iteration, uint32_t times);
// "ui.eraseText" {"maxChars":n}
Status recordEraseText(TraceWriter& trace, uint32_t maxChars);
// "ui.tap", snapshot road.
Status recordTap(TraceWriter& trace, std::string_view snapshotId, std::string_view target, int32_t x, int32_t y,
                 uint32_t attempts, const Selector& selector);
// "ui.type" {"status":"ok"[,"strategy":"nativeSelector"],"selector":..,"text":..}
Status recordType(TraceWriter& trace, const Selector& selector, std::string_view text, bool native);
// Visible and any-of waits, snapshot road:
// {"status":"ok"[,"matchedIndex":n],"target":..,"selector":..,"timeoutMs":n}
Status recordVisibleOk(TraceWriter& trace, std::string_view kind, std::optional<size_t> matchedIndex,
                       std::string_view target, const Selector& selector, uint64_t timeoutMs);
// Not-visible waits, snapshot road: {"status":"ok","selector":..,"timeoutMs":n}
Status recordNotVisibleOk(TraceWriter& trace, std::string_view kind, const Selector& selector, uint64_t timeoutMs);
// "assert.healthy" snapshot road: {"status":"ok","timeoutMs":n}
Status recordHealthyOk(TraceWriter& trace, uint64_t timeoutMs);
// "ui.scroll" {"direction":..,"x":n,"y1":n,"y2":n}
Status recordScroll(TraceWriter& trace, ScrollDirection direction, int32_t x, int32_t y1, int32_t y2);
// "ui.scrollUntilVisible" {"status":"ok","target":..,"selector":..,"direction":..,"timeoutMs":n}
Status recordScrollFound(TraceWriter& trace, std::string_view target, const Selector& selector,
                         ScrollDirection direction, uint64_t timeoutMs);

}  // namespace vyx::runner_events
