#pragma once
// The method table of the JSON-RPC server, and the session operations that
// the MCP server's tools share with it: each reads its parameters, runs the
// device operation or runner action, and records its trace event; the
// servers differ only in how they write the outcome.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/writer.hpp"
#include "server/json_rpc.hpp"

namespace vyx::json_rpc_methods {

// The capabilities document of "runner.capabilities" (fixed, compact).
std::string_view capabilitiesJson();

// Serves one checked request: writes one reply line (a result, or -32601 for
// an unknown method) and returns success, or returns the failure having
// written nothing.
Status dispatchMethod(json_rpc::Session& session, const json_rpc::Request& request, Writer& w);

// "scenario.validate"; false when the method is another one.
Expected<bool> dispatchScenarioMethod(const json_rpc::Request& request, Writer& w);

// "trace.events", "trace.explore", "trace.discover", "trace.explain",
// "trace.export"; false when the method is another one.
Expected<bool> dispatchTraceMethod(json_rpc::Session& session, const json_rpc::Request& request, Writer& w);

// --- Session operations shared with the MCP server -------------------------

// Device operations without parameters; each records {"status":"ok"} under
// its event kind.
enum class AppAction { launch, stop, clearState, hideKeyboard, pressBack };
Status appAction(json_rpc::Session& session, AppAction action);

// "path": installs the app; records "app.install" {"path":..}.
Status installApp(json_rpc::Session& session, const json::Value* params);
// "url": opens the link; records "app.openLink" {"status":"ok","url":..}.
Status openLink(json_rpc::Session& session, const json::Value* params);
// "selector": taps the element (runner events).
Status tap(json_rpc::Session& session, const json::Value* params);
// "text", then an optional "selector": types into the element, or into the
// focused one (recording "ui.type" {"text":..}).
Status typeText(json_rpc::Session& session, const json::Value* params);
// "maxChars" (80), then an optional "selector".
Status eraseText(json_rpc::Session& session, const json::Value* params);
// "x1", "y1", "x2", "y2", "durationMs" (300); records "ui.swipe".
Status swipe(json_rpc::Session& session, const json::Value* params);
// "selector", "timeoutMs" (5000), "direction" (down): true when found.
Expected<bool> scrollUntilVisible(json_rpc::Session& session, const json::Value* params);
// "selectors", "timeoutMs" (5000): the index that matched, none at the deadline.
Expected<std::optional<size_t>> waitAny(json_rpc::Session& session, const json::Value* params);
// "timeoutMs" (5000), then waits for the selector under the event kind.
Expected<bool> untilVisible(json_rpc::Session& session, const Selector& selector, const json::Value* params,
                            std::string_view kind);
Expected<bool> untilNotVisible(json_rpc::Session& session, const Selector& selector, const json::Value* params,
                               std::string_view kind);
// "selector", "timeoutMs" (5000): AssertionFailed when not visible (or, for
// the second, still visible) at the deadline.
Status assertVisible(json_rpc::Session& session, const json::Value* params);
Status assertNotVisible(json_rpc::Session& session, const json::Value* params);
// "timeoutMs" (0): AssertionFailed when an error overlay stays visible.
Status assertHealthy(json_rpc::Session& session, const json::Value* params);
// "path": the validation document of the scenario file, trailing white space
// dropped. An invalid scenario is a document with "ok" false.
Expected<std::string> validateScenario(const json::Value* params);

}  // namespace vyx::json_rpc_methods
