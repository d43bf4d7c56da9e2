#pragma once
// The handlers of the operation table: each reads its parameters in the
// order the servers answer for, runs the device operation or runner action,
// records the operation's own trace event (only with a trace, and only after
// the device succeeded) and returns the outcome.

#include "core/errors.hpp"
#include "core/json.hpp"
#include "server/json_rpc.hpp"
#include "server/operations.hpp"

namespace vyx::operations::handlers {

using json_rpc::Session;

// The device operations without parameters; each records {"status":"ok"}
// under its event kind.
enum class AppAction { launch, stop, clearState, hideKeyboard, pressBack };
Status appAction(Session& session, AppAction action);

template <AppAction action>
Expected<Outcome> app(Session& session, const json::Value*, Server) {
  VYX_TRY(appAction(session, action));
  return outcome::Done{};
}

// --- Device and session operations (device_operations.cpp) ---------------------

Expected<Outcome> capabilities(Session&, const json::Value*, Server);
Expected<Outcome> listDevices(Session& session, const json::Value*, Server);
Expected<Outcome> createSession(Session&, const json::Value*, Server);
Expected<Outcome> closeSession(Session&, const json::Value*, Server);
// "path"; records "app.install" {"path":..}.
Expected<Outcome> installApp(Session& session, const json::Value* params, Server);
// "url"; records "app.openLink" {"status":"ok","url":..}.
Expected<Outcome> openLink(Session& session, const json::Value* params, Server);
Expected<Outcome> snapshot(Session& session, const json::Value*, Server server);
Expected<Outcome> semanticSnapshot(Session& session, const json::Value*, Server server);
// "selector" (runner events).
Expected<Outcome> tap(Session& session, const json::Value* params, Server);
// "text", then an optional "selector".
Expected<Outcome> typeText(Session& session, const json::Value* params, Server);
// "maxChars" (80), then an optional "selector".
Expected<Outcome> eraseText(Session& session, const json::Value* params, Server);
// "x1", "y1", "x2", "y2", "durationMs" (300); records "ui.swipe".
Expected<Outcome> swipe(Session& session, const json::Value* params, Server);
// "selector", "timeoutMs" (5000), "direction" (down).
Expected<Outcome> scrollUntilVisible(Session& session, const json::Value* params, Server);
Expected<Outcome> waitVisible(Session& session, const json::Value* params, Server server);
Expected<Outcome> waitAny(Session& session, const json::Value* params, Server);
Expected<Outcome> waitGone(Session& session, const json::Value* params, Server);
// AssertionFailed when the element is not visible (still visible, not
// healthy) at the deadline.
Expected<Outcome> assertVisible(Session& session, const json::Value* params, Server);
Expected<Outcome> assertNotVisible(Session& session, const json::Value* params, Server);
Expected<Outcome> assertHealthy(Session& session, const json::Value* params, Server);
// "path": the validation document, trailing white space dropped; an invalid
// scenario is a document with "ok" false.
Expected<Outcome> validateScenario(Session&, const json::Value* params, Server);

// --- Trace operations (trace_operations.cpp) ------------------------------------

Expected<Outcome> traceEvents(Session& session, const json::Value* params, Server);
Expected<Outcome> traceExplore(Session& session, const json::Value* params, Server server);
Expected<Outcome> traceDiscover(Session& session, const json::Value* params, Server server);
Expected<Outcome> traceExplain(Session& session, const json::Value*, Server server);
Expected<Outcome> traceExport(Session& session, const json::Value* params, Server server);

}  // namespace vyx::operations::handlers
