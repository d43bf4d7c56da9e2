#pragma once
// The step executor and the scenario loop, written once over the Device
// interface. Including this header also gives the single actions, waits and
// assertions that the servers call directly, one request at a time, each with
// the session's Device and its optional TraceWriter:
//   runner_actions.hpp: tapSelector, typeTextSelector, eraseTextSelector,
//     scrollUntilVisible;
//   runner_waits.hpp: untilVisibleKind, untilNotVisibleKind (with the event
//     kinds "wait.visible", "assert.visible", "wait.notVisible",
//     "assert.notVisible"), waitUntilAnyVisible, assertNoneVisible,
//     assertHealthy, isVisibleNow.
// The clock defaults to the system clock.

#include <span>

#include "core/clock.hpp"
#include "core/errors.hpp"
#include "core/scenario.hpp"
#include "core/step_defaults.hpp"
#include "core/trace.hpp"
#include "devices/device.hpp"
#include "runner/runner_actions.hpp"
#include "runner/runner_waits.hpp"

namespace vyx::runner {

// The time-out of assertVisible and assertNotVisible steps without one.
inline constexpr uint64_t kDefaultAssertTimeoutMs = step_defaults::kTimeoutMs;

// Performs one step; nested steps of optional, whenVisible and repeat run
// with the same device, trace writer and clock.
Status executeStep(Device& device, const Step& step, TraceWriter* trace, Clock& clock);

// Runs the steps in order; the first error is returned at once.
Status runSteps(Device& device, std::span<const Step> steps, TraceWriter* trace, Clock& clock);

// Runs the whole scenario. With a trace writer it starts and finishes the
// manifest and records "scenario.start", one "step.done" per top-level step,
// and on failure "step.error" and "scenario.end". Without one it is the plain
// step loop.
Status runScenario(Device& device, const Scenario& scenario, TraceWriter* trace, Clock& clock);

}  // namespace vyx::runner
