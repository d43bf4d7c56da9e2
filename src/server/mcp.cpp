#include "server/mcp.hpp"

#include <string>
#include <variant>

#include "core/json_writer.hpp"
#include "core/trace.hpp"
#include "server/json_rpc_params.hpp"
#include "server/json_rpc_protocol.hpp"
#include "server/mcp_protocol.hpp"
#include "server/operations.hpp"
#include "server/semantic.hpp"

namespace vyx::mcp {

using json_rpc::Session;
namespace params = json_rpc_params;

namespace {

constexpr std::string_view kOk = R"({"ok":true})";

// The tool text reply of an outcome.
Status writeOutcome(Writer& w, const json::Value* id, const operations::Outcome& result) {
  namespace outcome = operations::outcome;
  return std::visit(
      [&](const auto& o) -> Status {
        using T = std::decay_t<decltype(o)>;
        if constexpr (std::is_same_v<T, outcome::Done>) {
          return mcp_protocol::writeToolTextResult(w, id, kOk);
        } else if constexpr (std::is_same_v<T, outcome::Visible>) {
          return writeVisibleToolResult(w, id, o.visible);
        } else if constexpr (std::is_same_v<T, outcome::Gone>) {
          return writeVisibleToolResult(w, id, !o.gone);
        } else if constexpr (std::is_same_v<T, outcome::Matched>) {
          return writeMatchedIndexToolResult(w, id, o.index);
        } else if constexpr (std::is_same_v<T, outcome::Document>) {
          return mcp_protocol::writeToolTextResult(w, id, o.text);
        } else if constexpr (std::is_same_v<T, outcome::Snapshot>) {
          StringWriter text;
          VYX_TRY(o.semantic ? semantic::writeSemanticSnapshotJson(text, o.snapshot)
                             : trace::writeSnapshotJson(text, o.snapshot));
          return mcp_protocol::writeToolTextResult(w, id, text.str());
        } else {
          // No tool lists devices.
          return fail(Error::Unexpected);
        }
      },
      result);
}

std::string buildToolsDocument() {
  StringWriter out;
  JsonObjectWriter doc(out);
  doc.value("tools", [](Writer& w) {
    JsonArrayWriter tools(w);
    for (const operations::Operation* operation : operations::tools()) {
      const operations::Tool& tool = operation->tool;
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
            for (const operations::Property& property : tool.properties) properties.raw(property.name, property.schema);
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
  const operations::Operation* operation = operations::findTool(name->string);
  if (operation == nullptr) {
    return json_rpc_protocol::writeErrorWithPublicCode(w, id, json_rpc_protocol::kInvalidParams, "unknown tool",
                                                       std::nullopt);
  }
  VYX_TRY_ASSIGN(auto result, operation->handler(session, args, operations::Server::mcp));
  return writeOutcome(w, id, result);
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
  VYX_TRY_ASSIGN(auto checked, json_rpc::readRequest(line, root, w));
  if (!checked) return {};
  const json_rpc::Request& request = *checked;

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
