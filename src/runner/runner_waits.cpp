#include "runner/runner_waits.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "core/selector.hpp"
#include "core/trace_layout.hpp"
#include "runner/health.hpp"
#include "runner/runner_diagnostics.hpp"
#include "runner/runner_events.hpp"

namespace vyx::runner {
namespace {

constexpr uint64_t kHealthProbeMaxMs = 250;

bool retryable(Error e) { return e == Error::CommandTimedOut || e == Error::CommandFailed; }

// Milliseconds from now to the deadline; 0 when it has passed.
uint64_t remainingMs(int64_t deadline, int64_t now) {
  if (deadline <= now) return 0;
  return static_cast<uint64_t>(deadline) - static_cast<uint64_t>(now);
}


const UiNode* firstMatch(const ObservationSnapshot& snap, const Selector& sel) {
  for (const UiNode& node : snap.nodes) {
    if (selector::matches(sel, node)) return &node;
  }
  return nullptr;
}

// What one snapshot poll decided.
enum class Poll : uint8_t { met, timedOut, again };

// How a retryable snapshot error is handled: retried before the deadline
// (Poll::again, pause done), returned otherwise.
Expected<Poll> onSnapshotError(Error error, int64_t deadline, TraceWriter* trace, std::string_view kind,
                               Clock& clock) {
  VYX_TRY(retryObservation(error, deadline, trace, kind, clock));
  return Poll::again;
}

// One snapshot poll of a visible or not-visible wait. On Poll::again the
// pause has been taken.
Expected<Poll> pollVisibility(Device& device, const Selector& sel, bool wantVisible, uint64_t timeoutMs,
                              int64_t deadline, TraceWriter* trace, std::string_view kind, Clock& clock) {
  Expected<ObservationSnapshot> snap = device.snapshot(trace);
  if (!snap) return onSnapshotError(snap.error(), deadline, trace, kind, clock);
  const UiNode* node = firstMatch(*snap, sel);
  if (wantVisible == (node != nullptr)) {
    if (trace) {
      VYX_TRY(wantVisible ? runner_events::recordVisibleOk(*trace, kind, std::nullopt, node->stableId, sel, timeoutMs)
                          : runner_events::recordNotVisibleOk(*trace, kind, sel, timeoutMs));
    }
    return Poll::met;
  }
  if (clock.monotonicMs() >= deadline) {
    if (trace) {
      VYX_TRY(runner_diagnostics::recordWithOptions(*trace, kind, "timeout", std::nullopt,
                                                    std::span<const Selector>(&sel, 1), *snap, timeoutMs));
    }
    return Poll::timedOut;
  }
  pause(clock);
  return Poll::again;
}

Status nativeTimeout(Device& device, TraceWriter* trace, std::string_view kind, std::span<const Selector> selectors,
                     uint64_t timeoutMs) {
  if (!trace) return {};
  return runner_events::recordNativeWaitTimeoutWithDiagnostics(*trace, device, kind, selectors, timeoutMs);
}

Expected<bool> untilVisibility(Device& device, const Selector& sel, bool wantVisible, uint64_t timeoutMs,
                               TraceWriter* trace, std::string_view kind, Clock& clock) {
  const int64_t deadline = deadlineAfter(clock, timeoutMs);
  if (!device.waitsNatively() || timeoutMs == 0) {
    for (;;) {
      VYX_TRY_ASSIGN(Poll poll, pollVisibility(device, sel, wantVisible, timeoutMs, deadline, trace, kind, clock));
      if (poll != Poll::again) return poll == Poll::met;
    }
  }
  const std::span<const Selector> one(&sel, 1);
  for (;;) {
    const int64_t now = clock.monotonicMs();
    if (now >= deadline) {
      VYX_TRY(nativeTimeout(device, trace, kind, one, timeoutMs));
      return false;
    }
    Expected<std::optional<bool>> answer = device.nativeVisible(sel, remainingMs(deadline, now));
    if (!answer) {
      VYX_TRY(retryObservation(answer.error(), deadline, trace, kind, clock));
      continue;
    }
    if (answer->has_value()) {
      if (**answer == wantVisible) {
        if (trace) {
          VYX_TRY(runner_events::recordNativeWait(*trace, kind, sel, std::nullopt, timeoutMs));
        }
        return true;
      }
      if (clock.monotonicMs() >= deadline) {
        VYX_TRY(nativeTimeout(device, trace, kind, one, timeoutMs));
        return false;
      }
      pause(clock);
      continue;
    }
    VYX_TRY_ASSIGN(Poll poll, pollVisibility(device, sel, wantVisible, timeoutMs, deadline, trace, kind, clock));
    if (poll != Poll::again) return poll == Poll::met;
  }
}

struct AnyPoll {
  Poll poll = Poll::again;
  size_t index = 0;
};

// One snapshot poll of the any-of wait: selectors outer, nodes inner.
Expected<AnyPoll> pollAny(Device& device, std::span<const Selector> selectors, uint64_t timeoutMs, int64_t deadline,
                          TraceWriter* trace, Clock& clock) {
  constexpr std::string_view kind = event_kinds::kWaitAny;
  Expected<ObservationSnapshot> snap = device.snapshot(trace);
  if (!snap) {
    VYX_TRY_ASSIGN(Poll poll, onSnapshotError(snap.error(), deadline, trace, kind, clock));
    return AnyPoll{poll, 0};
  }
  for (size_t i = 0; i < selectors.size(); ++i) {
    if (const UiNode* node = firstMatch(*snap, selectors[i])) {
      if (trace) {
        VYX_TRY(runner_events::recordVisibleOk(*trace, kind, i, node->stableId, selectors[i], timeoutMs));
      }
      return AnyPoll{Poll::met, i};
    }
  }
  if (clock.monotonicMs() >= deadline) {
    if (trace) {
      VYX_TRY(runner_diagnostics::recordWithOptions(*trace, kind, "timeout", std::nullopt, selectors, *snap,
                                                    std::nullopt));
    }
    return AnyPoll{Poll::timedOut, 0};
  }
  pause(clock);
  return AnyPoll{Poll::again, 0};
}

Expected<std::optional<size_t>> anyResult(const AnyPoll& poll) {
  if (poll.poll == Poll::met) return std::optional<size_t>(poll.index);
  return std::optional<size_t>();
}

Expected<std::optional<size_t>> waitAnyEmpty(Device& device, uint64_t timeoutMs, TraceWriter* trace, Clock& clock) {
  const int64_t deadline = deadlineAfter(clock, timeoutMs);
  while (clock.monotonicMs() < deadline) pause(clock);
  if (trace) {
    Expected<ObservationSnapshot> snap = device.snapshot(trace);
    VYX_TRY(snap ? runner_diagnostics::recordWithOptions(*trace, event_kinds::kWaitAny, "timeout", "nativeSelector", {},
                                                         *snap, timeoutMs)
                 : runner_events::recordNativeWaitTimeout(*trace, event_kinds::kWaitAny, {}, timeoutMs));
  }
  return std::optional<size_t>();
}

Expected<std::optional<size_t>> waitAnyNative(Device& device, std::span<const Selector> selectors, uint64_t timeoutMs,
                                           TraceWriter* trace, Clock& clock) {
  constexpr std::string_view kind = event_kinds::kWaitAny;
  const int64_t deadline = deadlineAfter(clock, timeoutMs);
  for (;;) {
    bool fallback = false;
    for (size_t i = 0; i < selectors.size(); ++i) {
      const int64_t now = clock.monotonicMs();
      if (now >= deadline) {
        VYX_TRY(nativeTimeout(device, trace, kind, selectors, timeoutMs));
        return std::optional<size_t>();
      }
      Expected<std::optional<bool>> answer = device.nativeVisible(selectors[i], remainingMs(deadline, now));
      if (!answer) {
        VYX_TRY(retryObservation(answer.error(), deadline, trace, kind, clock));
        continue;
      }
      if (!answer->has_value()) {
        fallback = true;
        break;
      }
      if (**answer) {
        if (trace) {
          VYX_TRY(runner_events::recordNativeWait(*trace, kind, selectors[i], i, timeoutMs));
        }
        return std::optional<size_t>(i);
      }
    }
    if (fallback) {
      VYX_TRY_ASSIGN(AnyPoll poll, pollAny(device, selectors, timeoutMs, deadline, trace, clock));
      if (poll.poll != Poll::again) return anyResult(poll);
      continue;
    }
    if (clock.monotonicMs() >= deadline) {
      VYX_TRY(nativeTimeout(device, trace, kind, selectors, timeoutMs));
      return std::optional<size_t>();
    }
    pause(clock);
  }
}

bool anyMatches(const ObservationSnapshot& snap, std::span<const Selector> selectors) {
  return std::any_of(selectors.begin(), selectors.end(),
                     [&](const Selector& sel) { return firstMatch(snap, sel) != nullptr; });
}

// The snapshot loop of the health assertion (the Android form on both).
Expected<bool> healthSnapshotLoop(Device& device, uint64_t timeoutMs, int64_t deadline, TraceWriter* trace,
                                  Clock& clock) {
  constexpr std::string_view kind = event_kinds::kAssertHealthy;
  for (;;) {
    Expected<ObservationSnapshot> snap = device.snapshot(trace);
    if (!snap) {
      VYX_TRY(onSnapshotError(snap.error(), deadline, trace, kind, clock));
      continue;
    }
    if (!health::hasUnhealthyOverlay(snap->nodes)) {
      if (trace) {
        VYX_TRY(runner_events::recordHealthyOk(*trace, timeoutMs));
      }
      return true;
    }
    if (clock.monotonicMs() >= deadline) {
      if (trace) {
        VYX_TRY(runner_diagnostics::recordWithOptions(*trace, kind, "unhealthy", std::nullopt,
                                                      health::defaultSelectors(), *snap, timeoutMs));
      }
      return false;
    }
    pause(clock);
  }
}

}  // namespace

void pause(Clock& clock) { clock.sleepMs(kPollPauseMs); }

int64_t deadlineAfter(Clock& clock, uint64_t timeoutMs) {
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  return saturatingAdd(clock.monotonicMs(), static_cast<int64_t>(std::min(timeoutMs, kMax)));
}

Status retryObservation(Error error, int64_t deadline, TraceWriter* trace, std::string_view kind, Clock& clock) {
  if (!retryable(error) || clock.monotonicMs() >= deadline) return fail(error);
  if (trace) {
    Status st = runner_events::recordObservationRetry(*trace, kind, error);
    if (!st) return st;
  }
  pause(clock);
  return {};
}

Expected<bool> untilVisibleKind(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                                std::string_view kind, Clock& clock) {
  return untilVisibility(device, selector, true, timeoutMs, trace, kind, clock);
}

Expected<bool> untilNotVisibleKind(Device& device, const Selector& selector, uint64_t timeoutMs,
                                   TraceWriter* trace, std::string_view kind, Clock& clock) {
  return untilVisibility(device, selector, false, timeoutMs, trace, kind, clock);
}

Expected<bool> waitUntilVisible(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                                Clock& clock) {
  return untilVisibleKind(device, selector, timeoutMs, trace, event_kinds::kWaitVisible, clock);
}

Expected<bool> waitUntilNotVisible(Device& device, const Selector& selector, uint64_t timeoutMs,
                                   TraceWriter* trace, Clock& clock) {
  return untilNotVisibleKind(device, selector, timeoutMs, trace, event_kinds::kWaitNotVisible, clock);
}

Expected<bool> assertVisible(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                             Clock& clock) {
  return untilVisibleKind(device, selector, timeoutMs, trace, event_kinds::kAssertVisible, clock);
}

Expected<bool> assertNotVisible(Device& device, const Selector& selector, uint64_t timeoutMs, TraceWriter* trace,
                                Clock& clock) {
  return untilNotVisibleKind(device, selector, timeoutMs, trace, event_kinds::kAssertNotVisible, clock);
}

Expected<std::optional<size_t>> waitUntilAnyVisible(Device& device, std::span<const Selector> selectors,
                                                    uint64_t timeoutMs, TraceWriter* trace, Clock& clock) {
  if (selectors.empty()) return waitAnyEmpty(device, timeoutMs, trace, clock);
  if (device.waitsNatively() && timeoutMs != 0) {
    return waitAnyNative(device, selectors, timeoutMs, trace, clock);
  }
  const int64_t deadline = deadlineAfter(clock, timeoutMs);
  for (;;) {
    VYX_TRY_ASSIGN(AnyPoll poll, pollAny(device, selectors, timeoutMs, deadline, trace, clock));
    if (poll.poll != Poll::again) return anyResult(poll);
  }
}

Expected<bool> assertNoneVisible(Device& device, std::span<const Selector> selectors, uint64_t timeoutMs,
                                 TraceWriter* trace, Clock& clock) {
  constexpr std::string_view kind = event_kinds::kAssertNoneVisible;
  const int64_t deadline = deadlineAfter(clock, timeoutMs);
  for (;;) {
    Expected<ObservationSnapshot> snap = device.snapshot(trace);
    if (!snap) {
      VYX_TRY(onSnapshotError(snap.error(), deadline, trace, kind, clock));
      continue;
    }
    if (!anyMatches(*snap, selectors)) {
      if (trace) {
        VYX_TRY(runner_events::recordSelectorArrayStatus(*trace, selectors, timeoutMs));
      }
      return true;
    }
    if (clock.monotonicMs() >= deadline) {
      if (trace) {
        VYX_TRY(
            runner_diagnostics::recordWithOptions(*trace, kind, "visible", std::nullopt, selectors, *snap, timeoutMs));
      }
      return false;
    }
    pause(clock);
  }
}

Expected<bool> assertHealthy(Device& device, uint64_t timeoutMs, TraceWriter* trace, Clock& clock) {
  const int64_t deadline = deadlineAfter(clock, timeoutMs);
  // The native phase: one probe per overlay text. A driver that cannot
  // answer a probe (always so on Android) sends the assertion to the
  // snapshot loop.
  {
    const uint64_t probeMs = std::min(std::max<uint64_t>(timeoutMs, 1), kHealthProbeMaxMs);
    const std::span<const Selector> overlays = health::defaultSelectors();
    bool allAbsent = true;
    for (size_t i = 0; i < overlays.size(); ++i) {
      Expected<std::optional<bool>> answer = device.nativeVisible(overlays[i], probeMs);
      if (!answer) {
        if (!retryable(answer.error())) return fail(answer.error());
        if (trace) {
          VYX_TRY(runner_events::recordObservationRetry(*trace, event_kinds::kAssertHealthy, answer.error()));
        }
        allAbsent = false;
        break;
      }
      if (!answer->has_value()) {
        allAbsent = false;
        break;
      }
      if (**answer) {
        if (trace) {
          VYX_TRY(runner_events::recordNativeSelectorArrayStatus(*trace, "unhealthy", i, timeoutMs));
        }
        return false;
      }
    }
    if (allAbsent) {
      if (trace) {
        VYX_TRY(runner_events::recordNativeSelectorArrayStatus(*trace, "ok", std::nullopt, timeoutMs));
      }
      return true;
    }
  }
  return healthSnapshotLoop(device, timeoutMs, deadline, trace, clock);
}

Expected<bool> isVisibleNow(Device& device, const Selector& selector, TraceWriter* trace) {
  VYX_TRY_ASSIGN(ObservationSnapshot snap, device.snapshot(trace));
  return firstMatch(snap, selector) != nullptr;
}

}  // namespace vyx::runner
