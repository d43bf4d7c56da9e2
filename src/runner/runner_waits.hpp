#pragma once
// Waits and assertions: poll the screen every 500 ms until a condition holds
// or the deadline passes. A passed deadline is a result (false, or no index),
// not an error. Snapshots failing with CommandTimedOut or CommandFailed
// before the deadline are retried and recorded as "observe.retry".
//
// A driver that waits natively (iOS) is asked first in every cycle of the
// visibility and any-of waits, and snapshots are the fallback when it cannot
// answer; the health assertion offers each overlay text to the driver once.
// With a time-out of 0, those waits check once through a snapshot, as on a
// driver without a native road.
//
// The agent servers call these operations one request at a time, with the
// session's device and trace writer (nullptr: nothing is recorded).

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

// True when a visible node matched before the deadline; events under `kind`.
Expected<bool> untilVisibleKind(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                                std::string_view kind, Clock& clock = systemClock());
// True when no visible node matched before the deadline.
Expected<bool> untilNotVisibleKind(Device& device, const Selector& selector, uint64_t timeoutMs,
                                   TraceWriter* trace, std::string_view kind, Clock& clock = systemClock());

// The general waits under their fixed kinds.
Expected<bool> waitUntilVisible(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                                Clock& clock = systemClock());
Expected<bool> waitUntilNotVisible(Device& device, const Selector& selector, uint64_t timeoutMs,
                                   TraceWriter* trace, Clock& clock = systemClock());
Expected<bool> assertVisible(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                             Clock& clock = systemClock());
Expected<bool> assertNotVisible(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                                Clock& clock = systemClock());

// The index of the first selector (in list order) that became visible, or
// nullopt at the deadline. An empty list waits out the whole time-out.
Expected<std::optional<size_t>> waitUntilAnyVisible(Device& device, std::span<const Selector> selectors,
                                                    uint64_t timeoutMs, TraceWriter* trace,
                                                    Clock& clock = systemClock());

// True when no selector matches a visible node before the deadline.
Expected<bool> assertNoneVisible(Device& device, std::span<const Selector> selectors, uint64_t timeoutMs,
                                 TraceWriter* trace, Clock& clock = systemClock());

// True when no error overlay is visible; false when one still is at the
// deadline, or at once when the driver reports one natively.
Expected<bool> assertHealthy(Device& device, uint64_t timeoutMs, TraceWriter* trace, Clock& clock = systemClock());

// One snapshot: whether a visible node matches. Records nothing.
Expected<bool> isVisibleNow(Device& device, const Selector& selector, TraceWriter* trace);

}  // namespace vyx::runner
