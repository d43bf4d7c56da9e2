#include "server/operations.hpp"

#include <array>

#include "server/operation_handlers.hpp"

namespace vyx::operations {

namespace {

using namespace handlers;

// Argument schemas of the tools document.
constexpr std::string_view S = R"({"type":"string"})";
constexpr std::string_view O = R"({"type":"object"})";
constexpr std::string_view I = R"({"type":"integer"})";
constexpr std::string_view I0 = R"({"type":"integer","minimum":0})";
constexpr std::string_view I1 = R"({"type":"integer","minimum":1})";
constexpr std::string_view B = R"({"type":"boolean"})";
constexpr std::string_view A = R"({"type":"array","minItems":1,"items":{"type":"object"}})";
constexpr std::string_view D = R"({"type":"string","enum":["down","up"]})";

constexpr size_t kToolCount = 26;

const Operation kOperations[] = {
    {"runner.capabilities", capabilities},
    {"device.list", listDevices},
    {"session.create", createSession},
    {"session.close", closeSession},
    {"app.install", installApp,
     {"install_app", 2, "Install an app artifact on the selected device.", {"path"}, {{"path", S}}}},
    {"app.launch", app<AppAction::launch>,
     {"launch_app", 3, "Launch the configured app on the selected device.", {}, {}}},
    {"app.stop", app<AppAction::stop>, {"stop_app", 4, "Stop the configured app on the selected device.", {}, {}}},
    {"app.openLink", openLink, {"open_link", 12, "Open a deep link URL in the target app.", {"url"}, {{"url", S}}}},
    {"app.clearState", app<AppAction::clearState>,
     {"clear_state", 5, "Clear the configured app state where the platform supports it.", {}, {}}},
    {"observe.snapshot", snapshot,
     {"snapshot", 0, "Capture the current mobile observation snapshot as JSON.", {}, {}}},
    {"observe.semanticSnapshot", semanticSnapshot,
     {"semantic_snapshot", 1,
      "Capture an agent-optimized mobile semantic tree with roles, names, selectors, bounds, and recommended actions.",
      {},
      {}}},
    {"ui.tap", tap, {"tap", 6, "Tap a visible element by selector.", {"selector"}, {{"selector", O}}}},
    {"ui.type", typeText,
     {"type", 7, "Type text, optionally after focusing an element by selector.", {"text"},
      {{"selector", O}, {"text", S}}}},
    {"ui.eraseText", eraseText,
     {"erase_text", 9, "Erase text, optionally after focusing an element by selector.", {},
      {{"selector", O}, {"maxChars", I0}}}},
    {"ui.hideKeyboard", app<AppAction::hideKeyboard>,
     {"hide_keyboard", 8, "Dismiss the software keyboard when the platform can do so.", {}, {}}},
    {"ui.swipe", swipe,
     {"swipe", 10, "Swipe between absolute screen coordinates.", {"x1", "y1", "x2", "y2"},
      {{"x1", I}, {"y1", I}, {"x2", I}, {"y2", I}, {"durationMs", I0}}}},
    {"ui.pressBack", app<AppAction::pressBack>,
     {"press_back", 11, "Press Android back or the platform-equivalent navigation action.", {}, {}}},
    {"ui.scrollUntilVisible", scrollUntilVisible,
     {"scroll_until_visible", 16, "Scroll until an element selector is visible.", {"selector"},
      {{"selector", O}, {"direction", D}, {"timeoutMs", I0}}}},
    {"wait.until", waitVisible,
     {"wait_visible", 13, "Wait for an element selector to become visible.", {"selector"},
      {{"selector", O}, {"timeoutMs", I0}}}},
    {"wait.any", waitAny,
     {"wait_any", 15, "Wait for the first visible selector from an ordered selector list.", {"selectors"},
      {{"selectors", A}, {"timeoutMs", I0}}}},
    {"wait.gone", waitGone,
     {"wait_not_visible", 14, "Wait for an element selector to no longer be visible.", {"selector"},
      {{"selector", O}, {"timeoutMs", I0}}}},
    {"assert.visible", assertVisible,
     {"assert_visible", 17, "Assert that an element selector is visible within the timeout.", {"selector"},
      {{"selector", O}, {"timeoutMs", I0}}}},
    {"assert.notVisible", assertNotVisible,
     {"assert_not_visible", 18, "Assert that an element selector is not visible within the timeout.", {"selector"},
      {{"selector", O}, {"timeoutMs", I0}}}},
    {"assert.healthy", assertHealthy,
     {"assert_healthy", 19, "Assert that the app is free of common crash and error overlays.", {},
      {{"timeoutMs", I0}}}},
    {"scenario.validate", validateScenario,
     {"scenario_validate", 20, "Validate a VYX scenario file and return structured diagnostics.", {"path"},
      {{"path", S}}}},
    {"trace.events", traceEvents,
     {"trace_events", 21, "Read live trace events from a traced MCP session.", {},
      {{"afterSeq", I0}, {"limit", I1}}}},
    {"trace.explore", traceExplore,
     {"trace_explore", 23,
      "Generate a review-required scenario draft for a stated goal from the active trace directory.",
      {"out", "goal"},
      {{"out", S}, {"goal", S}, {"includeActions", B}, {"validate", B}, {"force", B}, {"name", S}, {"appId", S}}}},
    {"trace.discover", traceDiscover,
     {"trace_discover", 24, "Generate a reviewable scenario draft from the active trace directory.", {"out"},
      {{"out", S}, {"includeActions", B}, {"validate", B}, {"force", B}, {"name", S}, {"appId", S}}}},
    {"trace.explain", traceExplain,
     {"trace_explain", 22, "Summarize the active trace status, failure, diagnostics, and next commands.", {}, {}}},
    {"trace.export", traceExport,
     {"trace_export", 25, "Export the active trace directory as a .vyxtrace bundle.", {"out"},
      {{"out", S}, {"redact", B}, {"omitScreenshots", B}}}},
};

std::array<const Operation*, kToolCount> toolOrder() {
  std::array<const Operation*, kToolCount> order{};
  for (const Operation& operation : kOperations) {
    if (!operation.tool.name.empty()) order[operation.tool.position] = &operation;
  }
  return order;
}

}  // namespace

std::span<const Operation> all() { return kOperations; }

const Operation* findMethod(std::string_view method) {
  for (const Operation& operation : kOperations) {
    if (operation.method == method) return &operation;
  }
  return nullptr;
}

const Operation* findTool(std::string_view tool) {
  for (const Operation* operation : tools()) {
    if (operation->tool.name == tool) return operation;
  }
  return nullptr;
}

std::span<const Operation* const> tools() {
  static const std::array<const Operation*, kToolCount> order = toolOrder();
  return order;
}

}  // namespace vyx::operations
