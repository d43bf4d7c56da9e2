#pragma once
// Waits and assertions: poll the screen every 500 ms until a condition holds
// or the deadline passes. A passed deadline is a result (false, or no index),
// not an error. Snapshots failing with CommandTimedOut or CommandFailed
// before the deadline are retried and recorded as "observe.retry".
//
// On iOS the visibility and any-of waits ask the shim natively first and
// fall back to snapshots when it cannot answer; the health assertion probes
// each overlay text natively once. With a time-out of 0, iOS waits check
// once through a snapshot, as on Android.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/clock.hpp"
#include "core/errors.hpp"
#include "core/trace.hpp"
#include "core/types.hpp"
#include "devices/device.hpp"

namespace vyx::runner {

inline constexpr uint64_t kPollPauseMs = 500;

// The pause between polls.
void pause(Clock& clock);

// now + timeoutMs, saturating at the largest deadline.
int64_t deadlineAfter(Clock& clock, uint64_t timeoutMs);

// The retry rule of waits, assertions and scrolling for a failed observation
// (snapshot or native query): CommandTimedOut and CommandFailed before the
// deadline are recorded as "observe.retry" under `kind` (with a trace) and
// paused on, and success tells the caller to observe again; any other error,
// and these two at or after the deadline, is returned.
Status retryObservation(Error error, int64_t deadline, TraceWriter* trace, std::string_view kind, Clock& clock);

// iOS: asks the shim whether an element matching the selector exists.
// nullopt when it cannot be asked (no shim, or a selector without exactly
// one field); otherwise the "exists" answer.
Expected<std::optional<bool>> nativeVisibleBySelector(Device& device, const Selector& selector, uint64_t timeoutMs);

// True when a visible node matched before the deadline; events under `kind`.
Expected<bool> untilVisibleKind(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                                std::string_view kind, Clock& clock);
// True when no visible node matched before the deadline.
Expected<bool> untilNotVisibleKind(Device& device, const Selector& selector, uint64_t timeoutMs,
                                   TraceWriter* trace, std::string_view kind, Clock& clock);

// The general waits under their fixed kinds.
Expected<bool> waitUntilVisible(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                                Clock& clock);
Expected<bool> waitUntilNotVisible(Device& device, const Selector& selector, uint64_t timeoutMs,
                                   TraceWriter* trace, Clock& clock);
Expected<bool> assertVisible(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                             Clock& clock);
Expected<bool> assertNotVisible(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                                Clock& clock);

// The index of the first selector (in list order) that became visible, or
// nullopt at the deadline. An empty list waits out the whole time-out.
Expected<std::optional<size_t>> waitUntilAnyVisible(Device& device, std::span<const Selector> selectors,
                                                    uint64_t timeoutMs, TraceWriter* trace, Clock& clock);

// True when no selector matches a visible node before the deadline.
Expected<bool> assertNoneVisible(Device& device, std::span<const Selector> selectors, uint64_t timeoutMs,
                                 TraceWriter* trace, Clock& clock);

// True when no error overlay is visible; false when one still is at the
// deadline, or (iOS) at once when the shim reports one.
Expected<bool> assertHealthy(Device& device, uint64_t timeoutMs, TraceWriter* trace, Clock& clock);

// One snapshot: whether a visible node matches. Records nothing.
Expected<bool> isVisibleNow(Device& device, const Selector& selector, TraceWriter* trace);

}  // namespace vyx::runner
