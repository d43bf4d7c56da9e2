#include "server/json_rpc_methods.hpp"

#include <array>
#include <utility>
#include <vector>

#include "core/cli_info.hpp"
#include "core/cli_output.hpp"
#include "core/json_writer.hpp"
#include "core/selector.hpp"
#include "core/step_defaults.hpp"
#include "core/trace.hpp"
#include "core/validation.hpp"
#include "core/version.hpp"
#include "runner/runner_actions.hpp"
#include "runner/runner_events.hpp"
#include "runner/runner_waits.hpp"
#include "server/json_rpc_observation.hpp"
#include "server/json_rpc_params.hpp"
#include "server/json_rpc_protocol.hpp"
#include "server/json_rpc_trace.hpp"
#include "server/semantic.hpp"

namespace vyx::json_rpc_methods {

using json_rpc::Request;
using json_rpc::Session;
namespace params = json_rpc_params;

namespace {

constexpr uint64_t kDefaultTimeoutMs = step_defaults::kTimeoutMs;
constexpr uint32_t kDefaultMaxChars = step_defaults::kEraseMaxChars;
constexpr uint32_t kDefaultSwipeMs = step_defaults::kSwipeDurationMs;
constexpr uint64_t kDefaultPageSize = 100;

// The method names in the order of the table below and of the capabilities.
constexpr std::array<std::string_view, 30> kMethodNames = {
    "runner.capabilities", "device.list",       "session.create",     "session.close",
    "app.install",         "app.launch",        "app.stop",           "app.openLink",
    "app.clearState",      "observe.snapshot",  "observe.semanticSnapshot",
    "ui.tap",              "ui.type",           "ui.eraseText",       "ui.hideKeyboard",
    "ui.swipe",            "ui.pressBack",      "ui.scrollUntilVisible",
    "wait.until",          "wait.any",          "wait.gone",          "assert.visible",
    "assert.notVisible",   "assert.healthy",    "scenario.validate",  "trace.events",
    "trace.explore",       "trace.discover",    "trace.explain",      "trace.export",
};

std::string buildCapabilities() {
  auto strings = [](std::initializer_list<std::string_view> items) {
    return [items](Writer& w) {
      JsonArrayWriter list(w);
      for (std::string_view item : items) list.str(item);
      return list.finish();
    };
  };
  StringWriter out;
  JsonObjectWriter doc(out);
  doc.str("name", cli_info::kName).str("version", version::kRunner);
  doc.str("protocolVersion", version::kProtocol);
  doc.value("protocol", [](Writer& w) {
    JsonObjectWriter o(w);
    o.str("version", version::kProtocol)
        .str("minimumCompatibleVersion", version::kMinimumCompatibleProtocol)
        .str("stability", cli_info::kStability)
        .str("breakingChangePolicy", cli_info::kBreakingChangePolicy);
    return o.finish();
  });
  doc.value("platforms", strings({"android", "ios"}));
  doc.value("platformSupport", [&](Writer& w) {
    JsonObjectWriter o(w);
    o.value("android", [&](Writer& a) {
      JsonObjectWriter android(a);
      android.str("status", "supported")
          .value("deviceTypes", strings({"emulator", "physical"}))
          .value("automation", strings({"adb", "uiautomator", "android-shim"}));
      return android.finish();
    });
    o.value("ios", [&](Writer& i) {
      JsonObjectWriter ios(i);
      ios.str("status", "supported")
          .value("deviceTypes", strings({"simulator", "physical"}))
          .value("automation", strings({"simctl", "devicectl", "xctest-shim"}))
          .flag("physicalDevices", true);
      return ios.finish();
    });
    return o.finish();
  });
  doc.flag("iosPreview", false);
  doc.value("transports", strings({"stdio", "tcp"}));
  doc.value("methods", [](Writer& w) {
    JsonArrayWriter list(w);
    for (std::string_view name : kMethodNames) list.str(name);
    return list.finish();
  });
  (void)doc.finish();  // memory never fails
  return out.take();
}

Status writeTrue(Writer& w, const Request& request) {
  return json_rpc_protocol::writeResultRaw(w, request.id, "true");
}

Status writeBool(Writer& w, const Request& request, bool value) {
  return json_rpc_protocol::writeResultRaw(w, request.id, value ? "true" : "false");
}

// The observation methods: a snapshot, its artifact and event when tracing,
// then the snapshot (plain or semantic) as the result.
Status observe(Session& session, const Request& request, Writer& w, bool semanticView) {
  auto snapshot = session.device.snapshot(session.trace);
  if (!snapshot) return fail(snapshot.error());
  if (session.trace != nullptr) {
    VYX_TRY(json_rpc_observation::recordArtifact(*session.trace, request.method, *snapshot));
  }
  return json_rpc_protocol::writeResult(w, request.id, [&](Writer& out) {
    return semanticView ? semantic::writeSemanticSnapshotJson(out, *snapshot)
                        : trace::writeSnapshotJson(out, *snapshot);
  });
}

Status listDevices(Session& session, const Request& request, Writer& w) {
  auto devices = session.device.listDevices();
  if (!devices) return fail(devices.error());
  return json_rpc_protocol::writeDevicesResult(w, request.id, *devices);
}

Status waitUntil(Session& session, const Request& request, Writer& w) {
  const json::Value* visible = params::member(request.params, "visible");
  if (visible == nullptr) return fail(Error::WaitUntilNeedsVisibleSelector);
  auto target = vyx::selector::parseFromJson(*visible);
  if (!target) return fail(target.error());
  auto found = untilVisible(session, *target, request.params, "wait.visible");
  if (!found) return fail(found.error());
  return writeBool(w, request, *found);
}

Status waitGone(Session& session, const Request& request, Writer& w) {
  auto selector = params::selectorParam(request.params);
  if (!selector) return fail(selector.error());
  auto gone = untilNotVisible(session, *selector, request.params, "wait.notVisible");
  if (!gone) return fail(gone.error());
  return writeBool(w, request, *gone);
}

Status waitAnyMethod(Session& session, const Request& request, Writer& w) {
  auto index = waitAny(session, request.params);
  if (!index) return fail(index.error());
  if (!*index) return writeBool(w, request, false);
  return json_rpc_protocol::writeResult(w, request.id, [&](Writer& out) {
    JsonObjectWriter o(out);
    o.unum("matchedIndex", **index);
    return o.finish();
  });
}

using Handler = Status (*)(Session&, const Request&, Writer&);

template <AppAction action>
Status appMethod(Session& session, const Request& request, Writer& w) {
  VYX_TRY(appAction(session, action));
  return writeTrue(w, request);
}

template <Status (*operation)(Session&, const json::Value*)>
Status paramMethod(Session& session, const Request& request, Writer& w) {
  VYX_TRY(operation(session, request.params));
  return writeTrue(w, request);
}

struct Method {
  std::string_view name;
  Handler handler;
};

const Method kMethods[] = {
    {"runner.capabilities",
     [](Session&, const Request& r, Writer& w) { return json_rpc_protocol::writeResultRaw(w, r.id, capabilitiesJson()); }},
    {"device.list", listDevices},
    {"session.create",
     [](Session&, const Request& r, Writer& w) {
       return json_rpc_protocol::writeResult(w, r.id, [](Writer& out) {
         JsonObjectWriter o(out);
         o.str("sessionId", "default");
         return o.finish();
       });
     }},
    {"session.close", [](Session&, const Request& r, Writer& w) { return writeTrue(w, r); }},
    {"app.install", paramMethod<installApp>},
    {"app.launch", appMethod<AppAction::launch>},
    {"app.stop", appMethod<AppAction::stop>},
    {"app.openLink", paramMethod<openLink>},
    {"app.clearState", appMethod<AppAction::clearState>},
    {"observe.snapshot", [](Session& s, const Request& r, Writer& w) { return observe(s, r, w, false); }},
    {"observe.semanticSnapshot", [](Session& s, const Request& r, Writer& w) { return observe(s, r, w, true); }},
    {"ui.tap", paramMethod<tap>},
    {"ui.type", paramMethod<typeText>},
    {"ui.eraseText", paramMethod<eraseText>},
    {"ui.hideKeyboard", appMethod<AppAction::hideKeyboard>},
    {"ui.swipe", paramMethod<swipe>},
    {"ui.pressBack", appMethod<AppAction::pressBack>},
    {"ui.scrollUntilVisible",
     [](Session& s, const Request& r, Writer& w) {
       auto found = scrollUntilVisible(s, r.params);
       if (!found) return Status(fail(found.error()));
       return writeBool(w, r, *found);
     }},
    {"wait.until", waitUntil},
    {"wait.any", waitAnyMethod},
    {"wait.gone", waitGone},
    {"assert.visible", paramMethod<assertVisible>},
    {"assert.notVisible", paramMethod<assertNotVisible>},
    {"assert.healthy", paramMethod<assertHealthy>},
};

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

}  // namespace

std::string_view capabilitiesJson() {
  static const std::string document = buildCapabilities();
  return document;
}

Status dispatchMethod(Session& session, const Request& request, Writer& w) {
  for (const Method& method : kMethods) {
    if (method.name == request.method) return method.handler(session, request, w);
  }
  auto scenario = dispatchScenarioMethod(request, w);
  if (!scenario) return fail(scenario.error());
  if (*scenario) return {};
  auto traced = dispatchTraceMethod(session, request, w);
  if (!traced) return fail(traced.error());
  if (*traced) return {};
  return json_rpc_protocol::writeErrorWithPublicCode(w, request.id, json_rpc_protocol::kMethodNotFound,
                                                     "method not found", std::nullopt);
}

Expected<bool> dispatchScenarioMethod(const Request& request, Writer& w) {
  if (request.method != "scenario.validate") return false;
  auto document = validateScenario(request.params);
  if (!document) return fail(document.error());
  VYX_TRY(json_rpc_protocol::writeResultRaw(w, request.id, *document));
  return true;
}

Expected<bool> dispatchTraceMethod(Session& session, const Request& request, Writer& w) {
  if (request.method == "trace.events") {
    auto afterSeq = params::optionalU64(request.params, "afterSeq", 0);
    if (!afterSeq) return fail(afterSeq.error());
    auto limit = params::optionalU64(request.params, "limit", kDefaultPageSize);
    if (!limit) return fail(limit.error());
    auto page = json_rpc_trace::eventsPage(session.trace, *afterSeq, *limit);
    if (!page) return fail(page.error());
    VYX_TRY(json_rpc_protocol::writeResultRaw(w, request.id, *page));
    return true;
  }
  bool explore = request.method == "trace.explore";
  if (explore || request.method == "trace.discover") {
    auto draft = json_rpc_trace::readDraftRequest(request.params, explore, true);
    if (!draft) return fail(draft.error());
    if (session.trace == nullptr) {
      VYX_TRY(json_rpc_protocol::writeResultRaw(
          w, request.id,
          explore ? R"({"ok":false,"mode":"explore","traceDir":null,"message":"start vyx serve with --trace-dir to enable live trace exploration"})"
                  : R"({"ok":false,"mode":"discover","traceDir":null,"message":"start vyx serve with --trace-dir to enable live trace discovery"})"));
      return true;
    }
    auto document = json_rpc_trace::draftFromLiveTrace(*session.trace, *draft);
    if (!document) return fail(document.error());
    VYX_TRY(json_rpc_protocol::writeResultRaw(w, request.id, *document));
    return true;
  }
  if (request.method == "trace.export") {
    if (session.trace == nullptr) {
      VYX_TRY(json_rpc_protocol::writeResultRaw(
          w, request.id,
          R"({"traceDir":null,"message":"start vyx serve with --trace-dir to enable live RPC trace export"})"));
      return true;
    }
    auto out = params::requiredString(request.params, "out");
    if (!out) return fail(out.error());
    auto redact = params::optionalBool(request.params, "redact");
    if (!redact) return fail(redact.error());
    auto omitScreenshots = params::optionalBool(request.params, "omitScreenshots");
    if (!omitScreenshots) return fail(omitScreenshots.error());
    auto summary = json_rpc_trace::exportLiveTrace(*session.trace, *out, *redact, *omitScreenshots, true);
    if (!summary) return fail(summary.error());
    VYX_TRY(json_rpc_protocol::writeResultRaw(w, request.id, *summary));
    return true;
  }
  if (request.method == "trace.explain") {
    if (session.trace == nullptr) {
      VYX_TRY(json_rpc_protocol::writeResultRaw(
          w, request.id,
          R"({"traceDir":null,"message":"start vyx serve with --trace-dir to enable live RPC trace explanation"})"));
      return true;
    }
    auto text = json_rpc_trace::explainLiveTrace(*session.trace);
    if (!text) return fail(text.error());
    VYX_TRY(json_rpc_protocol::writeResultRaw(w, request.id, *text));
    return true;
  }
  return false;
}

// --- Session operations ------------------------------------------------------

Status appAction(Session& session, AppAction action) {
  VYX_TRY(runAppAction(session.device, action));
  if (session.trace != nullptr) VYX_TRY(runner_events::recordStatusOk(*session.trace, eventKind(action)));
  return {};
}

Status installApp(Session& session, const json::Value* p) {
  auto path = params::requiredString(p, "path");
  if (!path) return fail(path.error());
  VYX_TRY(session.device.install(*path));
  if (session.trace != nullptr) VYX_TRY(json_rpc_trace::recordSimplePayload(*session.trace, "app.install", "path", *path));
  return {};
}

Status openLink(Session& session, const json::Value* p) {
  auto url = params::requiredString(p, "url");
  if (!url) return fail(url.error());
  VYX_TRY(session.device.openLink(*url));
  if (session.trace != nullptr) {
    VYX_TRY(runner_events::recordActionStatus(*session.trace, "app.openLink", "ok", std::nullopt, *url));
  }
  return {};
}

Status tap(Session& session, const json::Value* p) {
  auto selector = params::selectorParam(p);
  if (!selector) return fail(selector.error());
  return runner::tapSelector(session.device, *selector, session.trace, session.clock);
}

Status typeText(Session& session, const json::Value* p) {
  auto text = params::requiredString(p, "text");
  if (!text) return fail(text.error());
  auto selector = params::optionalSelector(p);
  if (!selector) return fail(selector.error());
  if (*selector) return runner::typeTextSelector(session.device, **selector, *text, session.trace, session.clock);
  VYX_TRY(session.device.typeText(*text));
  if (session.trace != nullptr) VYX_TRY(json_rpc_trace::recordSimplePayload(*session.trace, "ui.type", "text", *text));
  return {};
}

Status eraseText(Session& session, const json::Value* p) {
  auto maxChars = params::optionalU32(p, "maxChars", kDefaultMaxChars);
  if (!maxChars) return fail(maxChars.error());
  auto selector = params::optionalSelector(p);
  if (!selector) return fail(selector.error());
  if (*selector) {
    return runner::eraseTextSelector(session.device, **selector, *maxChars, session.trace, session.clock);
  }
  VYX_TRY(session.device.eraseText(*maxChars));
  if (session.trace != nullptr) VYX_TRY(runner_events::recordEraseText(*session.trace, *maxChars));
  return {};
}

Status swipe(Session& session, const json::Value* p) {
  int32_t points[4] = {};
  constexpr std::string_view kNames[4] = {"x1", "y1", "x2", "y2"};
  for (size_t i = 0; i < 4; ++i) {
    auto value = params::requiredI32(p, kNames[i]);
    if (!value) return fail(value.error());
    points[i] = *value;
  }
  auto durationMs = params::optionalU32(p, "durationMs", kDefaultSwipeMs);
  if (!durationMs) return fail(durationMs.error());
  VYX_TRY(session.device.swipe(points[0], points[1], points[2], points[3], *durationMs));
  if (session.trace != nullptr) {
    VYX_TRY(runner_events::recordSwipe(*session.trace, points[0], points[1], points[2], points[3], *durationMs));
  }
  return {};
}

Expected<bool> scrollUntilVisible(Session& session, const json::Value* p) {
  auto selector = params::selectorParam(p);
  if (!selector) return fail(selector.error());
  auto timeout = readTimeout(session, p, kDefaultTimeoutMs);
  if (!timeout) return fail(timeout.error());
  auto direction = params::optionalDirection(p);
  if (!direction) return fail(direction.error());
  return runner::scrollUntilVisible(session.device, *selector, *timeout, *direction, session.trace, session.clock);
}

Expected<std::optional<size_t>> waitAny(Session& session, const json::Value* p) {
  auto list = params::selectors(p);
  if (!list) return fail(list.error());
  auto timeout = readTimeout(session, p, kDefaultTimeoutMs);
  if (!timeout) return fail(timeout.error());
  return runner::waitUntilAnyVisible(session.device, *list, *timeout, session.trace, session.clock);
}

Expected<bool> untilVisible(Session& session, const Selector& selector, const json::Value* p,
                            std::string_view kind) {
  auto timeout = readTimeout(session, p, kDefaultTimeoutMs);
  if (!timeout) return fail(timeout.error());
  return runner::untilVisibleKind(session.device, selector, *timeout, session.trace, kind, session.clock);
}

Expected<bool> untilNotVisible(Session& session, const Selector& selector, const json::Value* p,
                               std::string_view kind) {
  auto timeout = readTimeout(session, p, kDefaultTimeoutMs);
  if (!timeout) return fail(timeout.error());
  return runner::untilNotVisibleKind(session.device, selector, *timeout, session.trace, kind, session.clock);
}

Status assertVisible(Session& session, const json::Value* p) {
  auto selector = params::selectorParam(p);
  if (!selector) return fail(selector.error());
  auto visible = untilVisible(session, *selector, p, "assert.visible");
  if (!visible) return fail(visible.error());
  if (!*visible) return fail(Error::AssertionFailed);
  return {};
}

Status assertNotVisible(Session& session, const json::Value* p) {
  auto selector = params::selectorParam(p);
  if (!selector) return fail(selector.error());
  auto gone = untilNotVisible(session, *selector, p, "assert.notVisible");
  if (!gone) return fail(gone.error());
  if (!*gone) return fail(Error::AssertionFailed);
  return {};
}

Status assertHealthy(Session& session, const json::Value* p) {
  auto timeout = readTimeout(session, p, 0);
  if (!timeout) return fail(timeout.error());
  auto healthy = runner::assertHealthy(session.device, *timeout, session.trace, session.clock);
  if (!healthy) return fail(healthy.error());
  if (!*healthy) return fail(Error::AssertionFailed);
  return {};
}

Expected<std::string> validateScenario(const json::Value* p) {
  auto path = params::requiredString(p, "path");
  if (!path) return fail(path.error());
  validation::Result result = validation::validateFile(std::string(*path));
  StringWriter out;
  VYX_TRY(cli_output::writeValidationJson(out, *path, result));
  std::string text = out.take();
  text.resize(json_rpc_protocol::trimTrailing(text).size());
  return text;
}

}  // namespace vyx::json_rpc_methods
