#include "server/mcp.hpp"

#include <initializer_list>
#include <string>

#include "core/json_writer.hpp"
#include "core/trace.hpp"
#include "runner/runner_events.hpp"
#include "server/json_rpc_methods.hpp"
#include "server/json_rpc_params.hpp"
#include "server/json_rpc_protocol.hpp"
#include "server/json_rpc_trace.hpp"
#include "server/mcp_protocol.hpp"
#include "server/mcp_trace.hpp"
#include "server/semantic.hpp"

namespace vyx::mcp {

using json_rpc::Session;
namespace ops = json_rpc_methods;
namespace params = json_rpc_params;

namespace {

// --- The tools document ------------------------------------------------------

// Argument schemas.
constexpr std::string_view S = R"({"type":"string"})";
constexpr std::string_view O = R"({"type":"object"})";
constexpr std::string_view I = R"({"type":"integer"})";
constexpr std::string_view I0 = R"({"type":"integer","minimum":0})";
constexpr std::string_view I1 = R"({"type":"integer","minimum":1})";
constexpr std::string_view B = R"({"type":"boolean"})";
constexpr std::string_view A = R"({"type":"array","minItems":1,"items":{"type":"object"}})";
constexpr std::string_view D = R"({"type":"string","enum":["down","up"]})";

struct Property {
  std::string_view name;
  std::string_view schema;
};

using ToolHandler = Status (*)(Session&, const json::Value* id, const json::Value* args, Writer&);

struct Tool {
  std::string_view name;
  std::string_view description;
  std::initializer_list<std::string_view> required;
  std::initializer_list<Property> properties;
  ToolHandler handler;
};

constexpr std::string_view kOk = R"({"ok":true})";

Status writeOk(Writer& w, const json::Value* id) { return mcp_protocol::writeToolTextResult(w, id, kOk); }

template <ops::AppAction action>
Status appTool(Session& session, const json::Value* id, const json::Value*, Writer& w) {
  VYX_TRY(ops::appAction(session, action));
  return writeOk(w, id);
}

template <Status (*operation)(Session&, const json::Value*)>
Status paramTool(Session& session, const json::Value* id, const json::Value* args, Writer& w) {
  VYX_TRY(operation(session, args));
  return writeOk(w, id);
}

Status snapshotTool(Session& session, const json::Value* id, const json::Value*, Writer& w) {
  auto snapshot = session.device.snapshot(session.trace);
  if (!snapshot) return fail(snapshot.error());
  StringWriter text;
  VYX_TRY(trace::writeSnapshotJson(text, *snapshot));
  return mcp_protocol::writeToolTextResult(w, id, text.str());
}

Status semanticSnapshotTool(Session& session, const json::Value* id, const json::Value*, Writer& w) {
  auto snapshot = session.device.snapshot(session.trace);
  if (!snapshot) return fail(snapshot.error());
  if (session.trace != nullptr) {
    auto artifact = session.trace->writeSnapshot(*snapshot);
    if (!artifact) return fail(artifact.error());
    VYX_TRY(runner_events::recordStatusOk(*session.trace, "observe.semanticSnapshot"));
  }
  StringWriter text;
  VYX_TRY(semantic::writeSemanticSnapshotJson(text, *snapshot));
  return mcp_protocol::writeToolTextResult(w, id, text.str());
}

Status waitVisibleTool(Session& session, const json::Value* id, const json::Value* args, Writer& w) {
  auto selector = params::selectorParam(args);
  if (!selector) return fail(selector.error());
  auto visible = ops::untilVisible(session, *selector, args, "wait.visible");
  if (!visible) return fail(visible.error());
  return writeVisibleToolResult(w, id, *visible);
}

Status waitNotVisibleTool(Session& session, const json::Value* id, const json::Value* args, Writer& w) {
  auto selector = params::selectorParam(args);
  if (!selector) return fail(selector.error());
  auto gone = ops::untilNotVisible(session, *selector, args, "wait.notVisible");
  if (!gone) return fail(gone.error());
  return writeVisibleToolResult(w, id, !*gone);
}

Status waitAnyTool(Session& session, const json::Value* id, const json::Value* args, Writer& w) {
  auto index = ops::waitAny(session, args);
  if (!index) return fail(index.error());
  return writeMatchedIndexToolResult(w, id, *index);
}

Status scrollTool(Session& session, const json::Value* id, const json::Value* args, Writer& w) {
  auto found = ops::scrollUntilVisible(session, args);
  if (!found) return fail(found.error());
  return writeVisibleToolResult(w, id, *found);
}

Status validateTool(Session&, const json::Value* id, const json::Value* args, Writer& w) {
  auto document = ops::validateScenario(args);
  if (!document) return fail(document.error());
  return mcp_protocol::writeToolTextResult(w, id, *document);
}

Status traceEventsTool(Session& session, const json::Value* id, const json::Value* args, Writer& w) {
  auto afterSeq = params::optionalU64(args, "afterSeq", 0);
  if (!afterSeq) return fail(afterSeq.error());
  auto limit = params::optionalU64(args, "limit", 100);
  if (!limit) return fail(limit.error());
  return mcp_trace::writeEventsToolResult(w, id, session.trace, *afterSeq, *limit);
}

// trace_discover and trace_explore: every argument is read before the
// trace is looked at; "name" and "appId" that are not strings are ignored.
template <bool explore>
Status draftTool(Session& session, const json::Value* id, const json::Value* args, Writer& w) {
  auto draft = json_rpc_trace::readDraftRequest(args, explore, false);
  if (!draft) return fail(draft.error());
  return mcp_trace::writeDraftToolResult(w, id, session.trace, *draft);
}

Status exportTool(Session& session, const json::Value* id, const json::Value* args, Writer& w) {
  auto out = params::requiredString(args, "out");
  if (!out) return fail(out.error());
  auto omitScreenshots = params::optionalBool(args, "omitScreenshots");
  if (!omitScreenshots) return fail(omitScreenshots.error());
  auto redact = params::optionalBool(args, "redact");
  if (!redact) return fail(redact.error());
  return mcp_trace::writeExportToolResult(w, id, session.trace, *out, *redact, *omitScreenshots);
}

const Tool kTools[] = {
    {"snapshot", "Capture the current mobile observation snapshot as JSON.", {}, {}, snapshotTool},
    {"semantic_snapshot",
     "Capture an agent-optimized mobile semantic tree with roles, names, selectors, bounds, and recommended actions.",
     {},
     {},
     semanticSnapshotTool},
    {"install_app", "Install an app artifact on the selected device.", {"path"}, {{"path", S}},
     paramTool<ops::installApp>},
    {"launch_app", "Launch the configured app on the selected device.", {}, {}, appTool<ops::AppAction::launch>},
    {"stop_app", "Stop the configured app on the selected device.", {}, {}, appTool<ops::AppAction::stop>},
    {"clear_state", "Clear the configured app state where the platform supports it.", {}, {},
     appTool<ops::AppAction::clearState>},
    {"tap", "Tap a visible element by selector.", {"selector"}, {{"selector", O}}, paramTool<ops::tap>},
    {"type", "Type text, optionally after focusing an element by selector.", {"text"},
     {{"selector", O}, {"text", S}}, paramTool<ops::typeText>},
    {"hide_keyboard", "Dismiss the software keyboard when the platform can do so.", {}, {},
     appTool<ops::AppAction::hideKeyboard>},
    {"erase_text", "Erase text, optionally after focusing an element by selector.", {},
     {{"selector", O}, {"maxChars", I0}}, paramTool<ops::eraseText>},
    {"swipe", "Swipe between absolute screen coordinates.", {"x1", "y1", "x2", "y2"},
     {{"x1", I}, {"y1", I}, {"x2", I}, {"y2", I}, {"durationMs", I0}}, paramTool<ops::swipe>},
    {"press_back", "Press Android back or the platform-equivalent navigation action.", {}, {},
     appTool<ops::AppAction::pressBack>},
    {"open_link", "Open a deep link URL in the target app.", {"url"}, {{"url", S}}, paramTool<ops::openLink>},
    {"wait_visible", "Wait for an element selector to become visible.", {"selector"},
     {{"selector", O}, {"timeoutMs", I0}}, waitVisibleTool},
    {"wait_not_visible", "Wait for an element selector to no longer be visible.", {"selector"},
     {{"selector", O}, {"timeoutMs", I0}}, waitNotVisibleTool},
    {"wait_any", "Wait for the first visible selector from an ordered selector list.", {"selectors"},
     {{"selectors", A}, {"timeoutMs", I0}}, waitAnyTool},
    {"scroll_until_visible", "Scroll until an element selector is visible.", {"selector"},
     {{"selector", O}, {"direction", D}, {"timeoutMs", I0}}, scrollTool},
    {"assert_visible", "Assert that an element selector is visible within the timeout.", {"selector"},
     {{"selector", O}, {"timeoutMs", I0}}, paramTool<ops::assertVisible>},
    {"assert_not_visible", "Assert that an element selector is not visible within the timeout.", {"selector"},
     {{"selector", O}, {"timeoutMs", I0}}, paramTool<ops::assertNotVisible>},
    {"assert_healthy", "Assert that the app is free of common crash and error overlays.", {},
     {{"timeoutMs", I0}}, paramTool<ops::assertHealthy>},
    {"scenario_validate", "Validate a VYX scenario file and return structured diagnostics.", {"path"},
     {{"path", S}}, validateTool},
    {"trace_events", "Read live trace events from a traced MCP session.", {}, {{"afterSeq", I0}, {"limit", I1}},
     traceEventsTool},
    {"trace_explain", "Summarize the active trace status, failure, diagnostics, and next commands.", {}, {},
     [](Session& session, const json::Value* id, const json::Value*, Writer& w) {
       return mcp_trace::writeExplainToolResult(w, id, session.trace);
     }},
    {"trace_explore",
     "Generate a review-required scenario draft for a stated goal from the active trace directory.",
     {"out", "goal"},
     {{"out", S}, {"goal", S}, {"includeActions", B}, {"validate", B}, {"force", B}, {"name", S}, {"appId", S}},
     draftTool<true>},
    {"trace_discover", "Generate a reviewable scenario draft from the active trace directory.", {"out"},
     {{"out", S}, {"includeActions", B}, {"validate", B}, {"force", B}, {"name", S}, {"appId", S}}, draftTool<false>},
    {"trace_export", "Export the active trace directory as a .vyxtrace bundle.", {"out"},
     {{"out", S}, {"redact", B}, {"omitScreenshots", B}}, exportTool},
};

std::string buildToolsDocument() {
  StringWriter out;
  JsonObjectWriter doc(out);
  doc.value("tools", [](Writer& w) {
    JsonArrayWriter tools(w);
    for (const Tool& tool : kTools) {
      tools.value([&](Writer& t) {
        JsonObjectWriter o(t);
        o.str("name", tool.name).str("description", tool.description);
        o.value("inputSchema", [&](Writer& s) {
          JsonObjectWriter schema(s);
          schema.str("type", "object").flag("additionalProperties", false);
          if (tool.required.size() > 0) {
            schema.value("required", [&](Writer& r) {
              JsonArrayWriter names(r);
              for (std::string_view name : tool.required) names.str(name);
              return names.finish();
            });
          }
          schema.value("properties", [&](Writer& p) {
            JsonObjectWriter properties(p);
            for (const Property& property : tool.properties) properties.raw(property.name, property.schema);
            return properties.finish();
          });
          return schema.finish();
        });
        return o.finish();
      });
    }
    return tools.finish();
  });
  (void)doc.finish();  // memory never fails
  return out.take();
}

// tools/call: the tool's reply, or the failure that the caller answers.
Status callTool(Session& session, const json::Value* id, const json::Value* callParams, Writer& w) {
  const json::Value* name = params::member(callParams, "name");
  if (name == nullptr) return fail(Error::MissingParam);
  if (!name->isString()) return fail(Error::ParamMustBeString);
  const json::Value* args = params::member(callParams, "arguments");
  for (const Tool& tool : kTools) {
    if (tool.name != name->string) continue;
    return tool.handler(session, id, args, w);
  }
  return json_rpc_protocol::writeErrorWithPublicCode(w, id, json_rpc_protocol::kInvalidParams, "unknown tool",
                                                     std::nullopt);
}

}  // namespace

std::string_view toolsJson() {
  static const std::string document = buildToolsDocument();
  return document;
}

Status writeVisibleToolResult(Writer& w, const json::Value* id, bool visible) {
  return mcp_protocol::writeToolTextResult(w, id, visible ? R"({"visible":true})" : R"({"visible":false})");
}

Status writeMatchedIndexToolResult(Writer& w, const json::Value* id, std::optional<size_t> index) {
  StringWriter text;
  JsonObjectWriter o(text);
  if (index) {
    o.unum("matchedIndex", *index);
  } else {
    o.null("matchedIndex");
  }
  VYX_TRY(o.finish());
  return mcp_protocol::writeToolTextResult(w, id, text.str());
}

Status dispatchLine(Session& session, std::string_view line, Writer& w) {
  json::Value root;
  auto checked = json_rpc::readRequest(line, root, w);
  if (!checked) return fail(checked.error());
  if (!*checked) return {};
  const json_rpc::Request& request = **checked;

  // A client's notifications (no id, "notifications/...") are not requests:
  // answering them breaks MCP clients, so they get no reply.
  if (request.id == nullptr && request.method.starts_with("notifications/")) return {};
  if (request.method == "initialize") {
    const json::Value* version = params::member(request.params, "protocolVersion");
    return mcp_protocol::writeInitializeResult(
        w, request.id, version != nullptr && version->isString() ? version->string : kDefaultProtocolVersion);
  }
  if (request.method == "ping") return json_rpc_protocol::writeResultRaw(w, request.id, "{}");
  if (request.method == "tools/list") return json_rpc_protocol::writeResultRaw(w, request.id, toolsJson());
  if (request.method == "tools/call") {
    // A tool that fails part-way must leave no partial reply behind.
    StringWriter reply;
    Status outcome = callTool(session, request.id, request.params, reply);
    if (outcome) return w.writeAll(reply.str());
    return json_rpc_protocol::writeFailure(w, request.id, outcome.error());
  }
  return json_rpc_protocol::writeErrorWithPublicCode(w, request.id, json_rpc_protocol::kMethodNotFound,
                                                     "method not found", std::nullopt);
}

}  // namespace vyx::mcp
