#include "server/json_rpc_protocol.hpp"

#include "core/json_writer.hpp"
#include "core/trace_json.hpp"

namespace vyx::json_rpc_protocol {

Status writeId(Writer& w, const json::Value* id) {
  if (id != nullptr && id->isInteger()) return w.writeInt(id->integer);
  if (id != nullptr && id->isString()) return trace_json::writeJsonString(w, id->string);
  return w.writeAll("null");
}

Status writeResultRaw(Writer& w, const json::Value* id, std::string_view result) {
  return writeResult(w, id, [&](Writer& out) { return out.writeAll(result); });
}

Status writeErrorWithPublicCode(Writer& w, const json::Value* id, int32_t code, std::string_view message,
                                std::optional<std::string_view> publicCode) {
  JsonObjectWriter reply(w);
  reply.str("jsonrpc", "2.0").value("id", [&](Writer& out) { return writeId(out, id); });
  reply.value("error", [&](Writer& out) {
    JsonObjectWriter error(out);
    error.num("code", code).str("message", message).optStr("publicCode", publicCode);
    return error.finish();
  });
  VYX_TRY(reply.finish());
  return w.writeByte('\n');
}

Status writeFailure(Writer& w, const json::Value* id, Error failure) {
  return writeErrorWithPublicCode(w, id, kServerError, errorName(failure), classify(failure).code);
}

std::string_view trimTrailing(std::string_view text) {
  size_t last = text.find_last_not_of(" \t\r\n");
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

namespace {
bool isReadyState(std::string_view state) {
  return state == "device" || state == "Booted" || state == "connected" || state == "available";
}
}  // namespace

Status writeDevicesResult(Writer& w, const json::Value* id, std::span<const DeviceInfo> devices) {
  return writeResult(w, id, [&](Writer& out) {
    JsonArrayWriter list(out);
    for (const DeviceInfo& device : devices) {
      list.value([&](Writer& item) {
        JsonObjectWriter entry(item);
        entry.str("serial", device.serial).str("state", device.state).flag("ready", isReadyState(device.state));
        return entry.finish();
      });
    }
    return list.finish();
  });
}

}  // namespace vyx::json_rpc_protocol
