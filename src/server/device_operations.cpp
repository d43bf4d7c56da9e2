#include <cstdint>
#include <string>

#include "core/cli_output.hpp"
#include "core/json_writer.hpp"
#include "core/selector.hpp"
#include "core/step_defaults.hpp"
#include "core/trace.hpp"
#include "core/validation.hpp"
#include "runner/runner_actions.hpp"
#include "runner/runner_events.hpp"
#include "runner/runner_waits.hpp"
#include "server/json_rpc_methods.hpp"
#include "server/json_rpc_observation.hpp"
#include "server/json_rpc_params.hpp"
#include "server/json_rpc_protocol.hpp"
#include "server/json_rpc_trace.hpp"
#include "server/operation_handlers.hpp"

namespace vyx::operations::handlers {

namespace params = json_rpc_params;

namespace {

std::string_view eventKind(AppAction action) {
  switch (action) {
    case AppAction::launch: return "app.launch";
    case AppAction::stop: return "app.stop";
    case AppAction::clearState: return "app.clearState";
    case AppAction::hideKeyboard: return "ui.hideKeyboard";
    case AppAction::pressBack: return "ui.pressBack";
  }
  return "app.launch";
}

Status runAppAction(Device& device, AppAction action) {
  switch (action) {
    case AppAction::launch: return device.launch();
    case AppAction::stop: return device.stop();
    case AppAction::clearState: return device.clearState();
    case AppAction::hideKeyboard: return device.hideKeyboard();
    case AppAction::pressBack: return device.pressBack();
  }
  return {};
}

Expected<uint64_t> readTimeout(Session& session, const json::Value* p, uint64_t fallback) {
  return params::timeoutMs(p, fallback, session.clock.monotonicMs());
}

Expected<bool> untilVisible(Session& session, const Selector& selector, const json::Value* p, std::string_view kind) {
  VYX_TRY_ASSIGN(uint64_t timeout, readTimeout(session, p, step_defaults::kTimeoutMs));
  return runner::untilVisibleKind(session.device, selector, timeout, session.trace, kind, session.clock);
}

Expected<bool> untilNotVisible(Session& session, const Selector& selector, const json::Value* p,
                               std::string_view kind) {
  VYX_TRY_ASSIGN(uint64_t timeout, readTimeout(session, p, step_defaults::kTimeoutMs));
  return runner::untilNotVisibleKind(session.device, selector, timeout, session.trace, kind, session.clock);
}

// A negative outcome of an assertion is its failure.
Expected<Outcome> asserted(bool held) {
  if (!held) return fail(Error::AssertionFailed);
  return outcome::Done{};
}

}  // namespace

Status appAction(Session& session, AppAction action) {
  VYX_TRY(runAppAction(session.device, action));
  if (session.trace != nullptr) VYX_TRY(runner_events::recordStatusOk(*session.trace, eventKind(action)));
  return {};
}

Expected<Outcome> capabilities(Session&, const json::Value*, Server) {
  return outcome::Document{std::string(json_rpc_methods::capabilitiesJson())};
}

Expected<Outcome> listDevices(Session& session, const json::Value*, Server) {
  VYX_TRY_ASSIGN(auto devices, session.device.listDevices());
  return outcome::Devices{std::move(devices)};
}

Expected<Outcome> createSession(Session&, const json::Value*, Server) {
  StringWriter out;
  JsonObjectWriter o(out);
  o.str("sessionId", "default");
  VYX_TRY(o.finish());
  return outcome::Document{out.take()};
}

Expected<Outcome> closeSession(Session&, const json::Value*, Server) { return outcome::Done{}; }

Expected<Outcome> installApp(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(std::string_view path, params::requiredString(p, "path"));
  VYX_TRY(session.device.install(path));
  if (session.trace != nullptr) VYX_TRY(json_rpc_trace::recordSimplePayload(*session.trace, "app.install", "path", path));
  return outcome::Done{};
}

Expected<Outcome> openLink(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(std::string_view url, params::requiredString(p, "url"));
  VYX_TRY(session.device.openLink(url));
  if (session.trace != nullptr) {
    VYX_TRY(runner_events::recordActionStatus(*session.trace, "app.openLink", "ok", std::nullopt, url));
  }
  return outcome::Done{};
}

// The JSON-RPC server stores the snapshot and records an event naming it;
// the MCP snapshot tool stores and records nothing of its own.
Expected<Outcome> snapshot(Session& session, const json::Value*, Server server) {
  VYX_TRY_ASSIGN(auto taken, session.device.snapshot(session.trace));
  if (session.trace != nullptr && server == Server::jsonRpc) {
    VYX_TRY(json_rpc_observation::recordArtifact(*session.trace, "observe.snapshot", taken));
  }
  return outcome::Snapshot{std::move(taken), false};
}

// Both servers store the snapshot; the JSON-RPC event names the artifact,
// the MCP one is a plain {"status":"ok"}.
Expected<Outcome> semanticSnapshot(Session& session, const json::Value*, Server server) {
  VYX_TRY_ASSIGN(auto taken, session.device.snapshot(session.trace));
  if (session.trace != nullptr) {
    if (server == Server::jsonRpc) {
      VYX_TRY(json_rpc_observation::recordArtifact(*session.trace, "observe.semanticSnapshot", taken));
    } else {
      VYX_TRY(session.trace->writeSnapshot(taken));
      VYX_TRY(runner_events::recordStatusOk(*session.trace, "observe.semanticSnapshot"));
    }
  }
  return outcome::Snapshot{std::move(taken), true};
}

Expected<Outcome> tap(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(auto selector, params::selectorParam(p));
  VYX_TRY(runner::tapSelector(session.device, selector, session.trace, session.clock));
  return outcome::Done{};
}

// With a selector, the runner's action (which records and settles). Into the
// focused field a server records "ui.type" {"text":..} and does not settle,
// where a scenario's step settles and records nothing.
Expected<Outcome> typeText(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(std::string_view text, params::requiredString(p, "text"));
  VYX_TRY_ASSIGN(auto selector, params::optionalSelector(p));
  if (selector) {
    VYX_TRY(runner::typeTextSelector(session.device, *selector, text, session.trace, session.clock));
    return outcome::Done{};
  }
  VYX_TRY(session.device.typeText(text));
  if (session.trace != nullptr) VYX_TRY(json_rpc_trace::recordSimplePayload(*session.trace, "ui.type", "text", text));
  return outcome::Done{};
}

// Into the focused field a server records the event a scenario's step
// records, but does not settle.
Expected<Outcome> eraseText(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(uint32_t maxChars, params::optionalU32(p, "maxChars", step_defaults::kEraseMaxChars));
  VYX_TRY_ASSIGN(auto selector, params::optionalSelector(p));
  if (selector) {
    VYX_TRY(runner::eraseTextSelector(session.device, *selector, maxChars, session.trace, session.clock));
    return outcome::Done{};
  }
  VYX_TRY(session.device.eraseText(maxChars));
  if (session.trace != nullptr) VYX_TRY(runner_events::recordEraseText(*session.trace, maxChars));
  return outcome::Done{};
}

Expected<Outcome> swipe(Session& session, const json::Value* p, Server) {
  int32_t points[4] = {};
  constexpr std::string_view kNames[4] = {"x1", "y1", "x2", "y2"};
  for (size_t i = 0; i < 4; ++i) {
    VYX_TRY_ASSIGN(points[i], params::requiredI32(p, kNames[i]));
  }
  VYX_TRY_ASSIGN(uint32_t durationMs, params::optionalU32(p, "durationMs", step_defaults::kSwipeDurationMs));
  VYX_TRY(session.device.swipe(points[0], points[1], points[2], points[3], durationMs));
  if (session.trace != nullptr) {
    VYX_TRY(runner_events::recordSwipe(*session.trace, points[0], points[1], points[2], points[3], durationMs));
  }
  return outcome::Done{};
}

Expected<Outcome> scrollUntilVisible(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(auto selector, params::selectorParam(p));
  VYX_TRY_ASSIGN(uint64_t timeout, readTimeout(session, p, step_defaults::kTimeoutMs));
  VYX_TRY_ASSIGN(ScrollDirection direction, params::optionalDirection(p));
  VYX_TRY_ASSIGN(bool found, runner::scrollUntilVisible(session.device, selector, timeout, direction, session.trace,
                                                        session.clock));
  return outcome::Visible{found};
}

// "wait.until" takes its selector as "visible" (failing without it with
// WaitUntilNeedsVisibleSelector); the wait_visible tool as "selector".
Expected<Outcome> waitVisible(Session& session, const json::Value* p, Server server) {
  Selector selector;
  if (server == Server::jsonRpc) {
    const json::Value* visible = params::member(p, "visible");
    if (visible == nullptr) return fail(Error::WaitUntilNeedsVisibleSelector);
    VYX_TRY_ASSIGN(selector, vyx::selector::parseFromJson(*visible));
  } else {
    VYX_TRY_ASSIGN(selector, params::selectorParam(p));
  }
  VYX_TRY_ASSIGN(bool visible, untilVisible(session, selector, p, "wait.visible"));
  return outcome::Visible{visible};
}

Expected<Outcome> waitAny(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(auto list, params::selectors(p));
  VYX_TRY_ASSIGN(uint64_t timeout, readTimeout(session, p, step_defaults::kTimeoutMs));
  VYX_TRY_ASSIGN(auto index, runner::waitUntilAnyVisible(session.device, list, timeout, session.trace, session.clock));
  return outcome::Matched{index};
}

Expected<Outcome> waitGone(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(auto selector, params::selectorParam(p));
  VYX_TRY_ASSIGN(bool gone, untilNotVisible(session, selector, p, "wait.notVisible"));
  return outcome::Gone{gone};
}

Expected<Outcome> assertVisible(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(auto selector, params::selectorParam(p));
  VYX_TRY_ASSIGN(bool visible, untilVisible(session, selector, p, "assert.visible"));
  return asserted(visible);
}

Expected<Outcome> assertNotVisible(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(auto selector, params::selectorParam(p));
  VYX_TRY_ASSIGN(bool gone, untilNotVisible(session, selector, p, "assert.notVisible"));
  return asserted(gone);
}

Expected<Outcome> assertHealthy(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(uint64_t timeout, readTimeout(session, p, 0));
  VYX_TRY_ASSIGN(bool healthy, runner::assertHealthy(session.device, timeout, session.trace, session.clock));
  return asserted(healthy);
}

Expected<Outcome> validateScenario(Session&, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(std::string_view path, params::requiredString(p, "path"));
  validation::Result result = validation::validateFile(std::string(path));
  StringWriter out;
  VYX_TRY(cli_output::writeValidationJson(out, path, result));
  std::string text = out.take();
  text.resize(json_rpc_protocol::trimTrailing(text).size());
  return outcome::Document{std::move(text)};
}

}  // namespace vyx::operations::handlers
