#include "server/json_rpc.hpp"

#include "core/json_writer.hpp"
#include "server/json_rpc_methods.hpp"
#include "server/json_rpc_protocol.hpp"

namespace vyx::json_rpc {
namespace {

using json_rpc_protocol::writeErrorWithPublicCode;

std::string rpcPayload(std::string_view method, const json::Value* id, std::optional<Error> error) {
  StringWriter out;
  JsonObjectWriter payload(out);
  payload.str("method", method).value("id", [&](Writer& w) { return json_rpc_protocol::writeId(w, id); });
  if (error) payload.error("error", *error);
  (void)payload.finish();  // memory never fails
  return out.take();
}

}  // namespace

Expected<std::optional<Request>> readRequest(std::string_view line, json::Value& root, Writer& w) {
  auto parsed = json::parse(line);
  if (!parsed) {
    VYX_TRY(writeErrorWithPublicCode(w, nullptr, json_rpc_protocol::kParseError, errorName(parsed.error().error),
                                     std::nullopt));
    return std::optional<Request>();
  }
  root = std::move(*parsed);
  if (!root.isObject()) {
    VYX_TRY(writeErrorWithPublicCode(w, nullptr, json_rpc_protocol::kInvalidRequest, "request must be an object",
                                     std::nullopt));
    return std::optional<Request>();
  }
  Request request;
  request.id = root.get("id");
  const json::Value* method = root.get("method");
  if (method == nullptr || !method->isString()) {
    VYX_TRY(writeErrorWithPublicCode(w, request.id, json_rpc_protocol::kInvalidRequest,
                                     method == nullptr ? "missing method" : "method must be a string",
                                     std::nullopt));
    return std::optional<Request>();
  }
  request.method = method->string;
  request.params = root.get("params");
  return std::optional<Request>(request);
}

Status recordRpcEvent(TraceWriter& trace, std::string_view kind, std::string_view method, const json::Value* id) {
  return trace.recordEvent(kind, rpcPayload(method, id, std::nullopt));
}

Status recordRpcErrorEvent(TraceWriter& trace, std::string_view method, const json::Value* id, Error error) {
  return trace.recordEvent("rpc.error", rpcPayload(method, id, error));
}

Status dispatchLineWithTrace(Session& session, std::string_view line, Writer& w) {
  json::Value root;
  VYX_TRY_ASSIGN(auto checked, readRequest(line, root, w));
  if (!checked) return {};
  const Request& request = *checked;

  if (session.trace != nullptr) VYX_TRY(recordRpcEvent(*session.trace, "rpc.request", request.method, request.id));
  // A method that fails part-way must leave no partial reply behind.
  StringWriter reply;
  Status outcome = json_rpc_methods::dispatchMethod(session, request, reply);
  if (outcome) {
    VYX_TRY(w.writeAll(reply.str()));
    if (session.trace != nullptr) {
      VYX_TRY(recordRpcEvent(*session.trace, "rpc.response", request.method, request.id));
    }
    return {};
  }
  Error error = outcome.error();
  if (session.trace != nullptr) VYX_TRY(recordRpcErrorEvent(*session.trace, request.method, request.id, error));
  return json_rpc_protocol::writeFailure(w, request.id, error);
}

}  // namespace vyx::json_rpc
