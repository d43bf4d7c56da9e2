#pragma once
// The reply lines of both agent servers: the id rule, the success and error
// envelopes, and the device list result of the JSON-RPC server.

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <string_view>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/json_writer.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"

namespace vyx::json_rpc_protocol {

// The request's id: an integer as its digits, a string as a JSON string,
// anything else (absent included) as null.
Status writeId(Writer& w, const json::Value* id);

// {"jsonrpc":"2.0","id":<id>,"result":<what fn(Writer&) writes>} and a line
// feed.
template <class F>
Status writeResult(Writer& w, const json::Value* id, F&& fn) {
  JsonObjectWriter reply(w);
  reply.str("jsonrpc", "2.0").value("id", [&](Writer& out) { return writeId(out, id); });
  reply.value("result", std::forward<F>(fn));
  VYX_TRY(reply.finish());
  return w.writeByte('\n');
}

// The success reply around a result text given whole.
Status writeResultRaw(Writer& w, const json::Value* id, std::string_view result);

// {"jsonrpc":"2.0","id":<id>,"error":{"code":..,"message":..[,"publicCode":..]}}
Status writeErrorWithPublicCode(Writer& w, const json::Value* id, int32_t code, std::string_view message,
                                std::optional<std::string_view> publicCode);

// -32000 with the failure's name as message and its public code.
Status writeFailure(Writer& w, const json::Value* id, Error failure);

// The result of "device.list": [{"serial":..,"state":..,"ready":..},...].
Status writeDevicesResult(Writer& w, const json::Value* id, std::span<const DeviceInfo> devices);

// The text without spaces, tabs, carriage returns and line feeds at its end.
std::string_view trimTrailing(std::string_view text);

// Error codes of both servers.
inline constexpr int32_t kParseError = -32700;
inline constexpr int32_t kInvalidRequest = -32600;
inline constexpr int32_t kMethodNotFound = -32601;
inline constexpr int32_t kInvalidParams = -32602;
inline constexpr int32_t kServerError = -32000;

}  // namespace vyx::json_rpc_protocol
