#include "runner/runner.hpp"

#include <optional>
#include <type_traits>

#include "core/trace_layout.hpp"
#include "runner/runner_events.hpp"

namespace vyx::runner {
namespace {

// Records through `record` when a trace writer exists.
template <class F>
Status traced(TraceWriter* trace, F&& record) {
  if (!trace) return {};
  return record(*trace);
}

// A device call followed by its event and the settle.
template <class F>
Status thenRecordAndSettle(Device& device, Status done, TraceWriter* trace, F&& record) {
  if (!done) return done;
  VYX_TRY(traced(trace, record));
  return device.settle();
}

// The result of a wait or assertion: its error, or `onMiss` when the
// condition was not met.
Status judged(const Expected<bool>& met, Error onMiss) {
  if (!met) return fail(met.error());
  if (!*met) return fail(onMiss);
  return {};
}

// launch and openLink: a "failed" event before the error, or "ok" and the
// settle.
Status appAction(Device& device, Status done, TraceWriter* trace, std::string_view kind,
                 std::optional<std::string_view> url) {
  if (!done) {
    VYX_TRY(traced(trace, [&](TraceWriter& t) {
      return runner_events::recordActionStatus(t, kind, "failed", done.error(), url);
    }));
    return done;
  }
  VYX_TRY(traced(trace, [&](TraceWriter& t) {
    return runner_events::recordActionStatus(t, kind, "ok", std::nullopt, url);
  }));
  return device.settle();
}

Status snapshotStep(Device& device, TraceWriter* trace) {
  VYX_TRY_ASSIGN(ObservationSnapshot snap, device.snapshot(trace));
  if (!trace) return {};
  VYX_TRY_ASSIGN(std::string path, trace->writeSnapshot(snap));
  return trace->recordEvent(event_kinds::kObserveSnapshot, runner_events::eventString(path));
}

Status optionalStep(Device& device, const step::Optional& s, TraceWriter* trace, Clock& clock) {
  Status inner = executeStep(device, s.inner(), trace, clock);
  if (inner) return {};
  return traced(trace, [&](TraceWriter& t) { return runner_events::recordStepOptional(t, inner.error()); });
}

Status whenVisibleStep(Device& device, const step::WhenVisible& s, TraceWriter* trace, Clock& clock) {
  Expected<bool> visible =
      s.timeoutMs != 0 ? untilVisibleKind(device, s.selector, s.timeoutMs, trace, event_kinds::kWaitVisible, clock)
                       : isVisibleNow(device, s.selector, trace);
  if (!visible) {
    return traced(trace, [&](TraceWriter& t) {
      return runner_events::recordSelectorEventWithError(t, s.selector, visible.error());
    });
  }
  if (!*visible) {
    return traced(trace, [&](TraceWriter& t) { return runner_events::recordSelectorEvent(t, s.selector); });
  }
  return runSteps(device, s.steps, trace, clock);
}

Status repeatStep(Device& device, const step::Repeat& s, TraceWriter* trace, Clock& clock) {
  for (uint64_t i = 1; i <= s.times; ++i) {
    VYX_TRY(traced(trace, [&](TraceWriter& t) {
      return runner_events::recordRepeatIteration(t, static_cast<uint32_t>(i), s.times);
    }));
    VYX_TRY(runSteps(device, s.steps, trace, clock));
  }
  return {};
}

}  // namespace

Status executeStep(Device& device, const Step& step, TraceWriter* trace, Clock& clock) {
  return std::visit(
      [&](const auto& s) -> Status {
        using T = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<T, step::Launch>) {
          return appAction(device, device.launch(), trace, event_kinds::kAppLaunch, std::nullopt);
        } else if constexpr (std::is_same_v<T, step::Stop>) {
          return device.stop();
        } else if constexpr (std::is_same_v<T, step::ClearState>) {
          return device.clearState();
        } else if constexpr (std::is_same_v<T, step::Snapshot>) {
          return snapshotStep(device, trace);
        } else if constexpr (std::is_same_v<T, step::OpenLink>) {
          return appAction(device, device.openLink(s.url), trace, event_kinds::kAppOpenLink, std::string_view(s.url));
        } else if constexpr (std::is_same_v<T, step::Tap>) {
          return tapSelector(device, s.selector, trace, clock);
        } else if constexpr (std::is_same_v<T, step::TypeText>) {
          if (s.selector) return typeTextSelector(device, *s.selector, s.text, trace, clock);
          // Typing into the focused element settles and records no event of
          // its own (the servers' focused type does record one).
          VYX_TRY(device.typeText(s.text));
          return device.settle();
        } else if constexpr (std::is_same_v<T, step::PressBack>) {
          return thenRecordAndSettle(device, device.pressBack(), trace, [](TraceWriter& t) {
            return runner_events::recordStatusOk(t, event_kinds::kUiPressBack);
          });
        } else if constexpr (std::is_same_v<T, step::HideKeyboard>) {
          return thenRecordAndSettle(device, device.hideKeyboard(), trace, [](TraceWriter& t) {
            return runner_events::recordStatusOk(t, event_kinds::kUiHideKeyboard);
          });
        } else if constexpr (std::is_same_v<T, step::Swipe>) {
          return thenRecordAndSettle(device, device.swipe(s.x1, s.y1, s.x2, s.y2, s.durationMs), trace,
                                     [&](TraceWriter& t) {
                                       return runner_events::recordSwipe(t, s.x1, s.y1, s.x2, s.y2, s.durationMs);
                                     });
        } else if constexpr (std::is_same_v<T, step::EraseText>) {
          if (s.selector) return eraseTextSelector(device, *s.selector, s.maxChars, trace, clock);
          return thenRecordAndSettle(device, device.eraseText(s.maxChars), trace, [&](TraceWriter& t) {
            return runner_events::recordEraseText(t, s.maxChars);
          });
        } else if constexpr (std::is_same_v<T, step::WaitVisible>) {
          return judged(untilVisibleKind(device, s.selector, s.timeoutMs, trace, event_kinds::kWaitVisible, clock),
                        Error::WaitTimeout);
        } else if constexpr (std::is_same_v<T, step::WaitNotVisible>) {
          return judged(
              untilNotVisibleKind(device, s.selector, s.timeoutMs, trace, event_kinds::kWaitNotVisible, clock),
              Error::WaitTimeout);
        } else if constexpr (std::is_same_v<T, step::WaitAny>) {
          VYX_TRY_ASSIGN(std::optional<size_t> index,
                         waitUntilAnyVisible(device, s.selectors, s.timeoutMs, trace, clock));
          if (!index) return fail(Error::WaitTimeout);
          return {};
        } else if constexpr (std::is_same_v<T, step::AssertVisible>) {
          return judged(untilVisibleKind(device, s.selector, s.timeoutMs.value_or(kDefaultAssertTimeoutMs), trace,
                                         event_kinds::kAssertVisible, clock),
                        Error::AssertionFailed);
        } else if constexpr (std::is_same_v<T, step::AssertNotVisible>) {
          return judged(untilNotVisibleKind(device, s.selector, s.timeoutMs.value_or(kDefaultAssertTimeoutMs),
                                            trace, event_kinds::kAssertNotVisible, clock),
                        Error::AssertionFailed);
        } else if constexpr (std::is_same_v<T, step::AssertNoneVisible>) {
          return judged(assertNoneVisible(device, s.selectors, s.timeoutMs, trace, clock), Error::AssertionFailed);
        } else if constexpr (std::is_same_v<T, step::AssertHealthy>) {
          return judged(assertHealthy(device, s.timeoutMs, trace, clock), Error::AssertionFailed);
        } else if constexpr (std::is_same_v<T, step::Optional>) {
          return optionalStep(device, s, trace, clock);
        } else if constexpr (std::is_same_v<T, step::WhenVisible>) {
          return whenVisibleStep(device, s, trace, clock);
        } else if constexpr (std::is_same_v<T, step::Repeat>) {
          return repeatStep(device, s, trace, clock);
        } else if constexpr (std::is_same_v<T, step::ScrollUntilVisible>) {
          return judged(scrollUntilVisible(device, s.selector, s.timeoutMs, s.direction, trace, clock),
                        Error::WaitTimeout);
        } else {
          static_assert(std::is_same_v<T, step::Sleep>);
          // Handed to the clock in milliseconds, so no duration overflows.
          clock.sleepMs(s.ms);
          return {};
        }
      },
      step.payload);
}

Status runSteps(Device& device, std::span<const Step> steps, TraceWriter* trace, Clock& clock) {
  for (const Step& step : steps) VYX_TRY(executeStep(device, step, trace, clock));
  return {};
}

Status runScenario(Device& device, const Scenario& scenario, TraceWriter* trace, Clock& clock) {
  if (!trace) return runSteps(device, scenario.steps, nullptr, clock);
  std::optional<std::string_view> appId;
  if (scenario.appId) appId = *scenario.appId;
  VYX_TRY(trace->startManifest(scenario.name, appId));
  VYX_TRY(trace->recordEvent(event_kinds::kScenarioStart, runner_events::eventString(scenario.name)));
  for (size_t j = 0; j < scenario.steps.size(); ++j) {
    Status result = executeStep(device, scenario.steps[j], trace, clock);
    if (result) {
      VYX_TRY(runner_events::recordStepDone(*trace, j));
      continue;
    }
    const Error e = result.error();
    VYX_TRY(runner_events::recordStepError(*trace, j, e));
    VYX_TRY(runner_events::recordScenarioEnd(*trace, scenario.name, "failed", j, e));
    VYX_TRY(trace->finishManifest("failed", j, errorName(e), std::nullopt));
    return fail(e);
  }
  VYX_TRY(runner_events::recordScenarioEnd(*trace, scenario.name, "passed", std::nullopt, std::nullopt));
  return trace->finishManifest("passed", std::nullopt, std::nullopt, std::nullopt);
}

}  // namespace vyx::runner
