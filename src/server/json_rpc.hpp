#pragma once
// One request line of the JSON-RPC server: the parse, the request checks, the
// method call, the -32000 reply of a failed method and the rpc.* trace
// events. The parse and checks are shared with the MCP server.

#include <optional>
#include <string_view>
#include <vector>

#include "core/clock.hpp"
#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/trace.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"
#include "devices/device.hpp"

namespace vyx::json_rpc {

// What a server session works on: the one device, the optional trace of the
// session and the clock of its waits.
struct Session {
  Device& device;
  TraceWriter* trace = nullptr;
  Clock& clock;
};

// The three members of a request that passed the checks; they point into the
// parsed document.
struct Request {
  const json::Value* id = nullptr;
  std::string_view method;
  const json::Value* params = nullptr;
};

// Parses the line into `root` and checks it. A line that is not a request
// gets its error reply here (-32700 with the parse error's name; -32600
// "request must be an object", "missing method" or "method must be a
// string") and yields none; only a failed write is an error.
Expected<std::optional<Request>> readRequest(std::string_view line, json::Value& root, Writer& w);

// Answers one trimmed, non-empty line with exactly one reply. Fails only when
// writing the reply or recording an rpc.* event failed.
Status dispatchLineWithTrace(Session& session, std::string_view line, Writer& w);

// "rpc.request" and "rpc.response": {"method":..,"id":..}.
Status recordRpcEvent(TraceWriter& trace, std::string_view kind, std::string_view method, const json::Value* id);
// "rpc.error": {"method":..,"id":..,"error":<name>}.
Status recordRpcErrorEvent(TraceWriter& trace, std::string_view method, const json::Value* id, Error error);

}  // namespace vyx::json_rpc
