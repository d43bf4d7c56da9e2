#include "authoring/importer_json.hpp"

#include <type_traits>

#include "core/json_writer.hpp"
#include "core/trace.hpp"
#include "core/trace_json.hpp"

namespace vyx::importer_json {

namespace {

using namespace importer::imported;

std::string_view actionOf(const importer::ImportedStep& step) {
  return std::visit(
      [](const auto& s) -> std::string_view {
        using T = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<T, Launch>) return "launch";
        if constexpr (std::is_same_v<T, Stop>) return "stop";
        if constexpr (std::is_same_v<T, ClearState>) return "clearState";
        if constexpr (std::is_same_v<T, Snapshot>) return "snapshot";
        if constexpr (std::is_same_v<T, HideKeyboard>) return "hideKeyboard";
        if constexpr (std::is_same_v<T, PressBack>) return "pressBack";
        if constexpr (std::is_same_v<T, OpenLink>) return "openLink";
        if constexpr (std::is_same_v<T, Tap>) return "tap";
        if constexpr (std::is_same_v<T, TypeText>) return "typeText";
        if constexpr (std::is_same_v<T, EraseText>) return "eraseText";
        if constexpr (std::is_same_v<T, AssertVisible>) return "assertVisible";
        if constexpr (std::is_same_v<T, AssertNotVisible>) return "assertNotVisible";
        if constexpr (std::is_same_v<T, WaitVisible>) return "waitVisible";
        if constexpr (std::is_same_v<T, WaitNotVisible>) return "waitNotVisible";
        if constexpr (std::is_same_v<T, ScrollStep>) return "scrollUntilVisible";
        if constexpr (std::is_same_v<T, Sleep>) return "sleep";
      },
      step);
}

}  // namespace

Status writeSelectorJson(Writer& w, const importer::SelectorSpec& wanted) {
  Selector selector;
  selector.resourceId = wanted.id;
  selector.text = wanted.text;
  selector.textContains = wanted.textContains;
  selector.contentDesc = wanted.contentDesc;
  return trace::writeSelectorJson(w, selector);
}

Status writeStepJson(Writer& w, const importer::ImportedStep& step) {
  JsonObjectWriter o(w);
  o.str("action", actionOf(step));
  auto selector = [&](const importer::SelectorSpec& s) {
    o.value("selector", [&](Writer& out) { return writeSelectorJson(out, s); });
  };
  std::visit(
      [&](const auto& s) {
        using T = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<T, OpenLink>) {
          o.str("url", s.url);
        } else if constexpr (std::is_same_v<T, TypeText>) {
          o.str("text", s.text);
        } else if constexpr (std::is_same_v<T, EraseText>) {
          o.unum("maxChars", s.maxChars);
        } else if constexpr (std::is_same_v<T, Tap> || std::is_same_v<T, AssertVisible> ||
                             std::is_same_v<T, AssertNotVisible>) {
          selector(s.selector);
        } else if constexpr (std::is_same_v<T, WaitVisible> || std::is_same_v<T, WaitNotVisible>) {
          selector(s.selector);
          o.unum("timeoutMs", s.timeoutMs);
        } else if constexpr (std::is_same_v<T, ScrollStep>) {
          selector(s.selector);
          o.str("direction", s.direction);
          o.unum("timeoutMs", s.timeoutMs);
        } else if constexpr (std::is_same_v<T, Sleep>) {
          o.unum("ms", s.ms);
        }
      },
      step);
  return o.finish();
}

Status writeScenarioJson(Writer& w, const importer::ImportedScenario& scenario) {
  VYX_TRY(w.writeAll("{\n  \"name\": "));
  VYX_TRY(trace_json::writeJsonString(w, scenario.name));
  if (scenario.appId) {
    VYX_TRY(w.writeAll(",\n  \"appId\": "));
    VYX_TRY(trace_json::writeJsonString(w, *scenario.appId));
  }
  VYX_TRY(w.writeAll(",\n  \"steps\": [\n"));
  for (size_t i = 0; i < scenario.steps.size(); ++i) {
    if (i > 0) VYX_TRY(w.writeAll(",\n"));
    VYX_TRY(w.writeAll("    "));
    VYX_TRY(writeStepJson(w, scenario.steps[i]));
  }
  return w.writeAll("\n  ]\n}\n");
}

}  // namespace vyx::importer_json
