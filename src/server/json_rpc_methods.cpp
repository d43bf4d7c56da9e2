#include "server/json_rpc_methods.hpp"

#include <initializer_list>
#include <variant>

#include "core/cli_info.hpp"
#include "core/json_writer.hpp"
#include "core/trace.hpp"
#include "core/version.hpp"
#include "server/json_rpc_protocol.hpp"
#include "server/operations.hpp"
#include "server/semantic.hpp"

namespace vyx::json_rpc_methods {

using json_rpc::Request;
using json_rpc::Session;

namespace {

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
    for (const operations::Operation& operation : operations::all()) list.str(operation.method);
    return list.finish();
  });
  (void)doc.finish();  // memory never fails
  return out.take();
}

// The JSON-RPC result of an outcome.
Status writeOutcome(Writer& w, const json::Value* id, const operations::Outcome& result) {
  namespace outcome = operations::outcome;
  auto boolean = [&](bool value) { return json_rpc_protocol::writeResultRaw(w, id, value ? "true" : "false"); };
  return std::visit(
      [&](const auto& o) -> Status {
        using T = std::decay_t<decltype(o)>;
        if constexpr (std::is_same_v<T, outcome::Done>) {
          return boolean(true);
        } else if constexpr (std::is_same_v<T, outcome::Visible>) {
          return boolean(o.visible);
        } else if constexpr (std::is_same_v<T, outcome::Gone>) {
          return boolean(o.gone);
        } else if constexpr (std::is_same_v<T, outcome::Matched>) {
          if (!o.index) return boolean(false);
          return json_rpc_protocol::writeResult(w, id, [&](Writer& out) {
            JsonObjectWriter matched(out);
            matched.unum("matchedIndex", *o.index);
            return matched.finish();
          });
        } else if constexpr (std::is_same_v<T, outcome::Document>) {
          return json_rpc_protocol::writeResultRaw(w, id, o.text);
        } else if constexpr (std::is_same_v<T, outcome::Snapshot>) {
          return json_rpc_protocol::writeResult(w, id, [&](Writer& out) {
            return o.semantic ? semantic::writeSemanticSnapshotJson(out, o.snapshot)
                              : trace::writeSnapshotJson(out, o.snapshot);
          });
        } else {
          return json_rpc_protocol::writeDevicesResult(w, id, o.devices);
        }
      },
      result);
}

}  // namespace

std::string_view capabilitiesJson() {
  static const std::string document = buildCapabilities();
  return document;
}

Status dispatchMethod(Session& session, const Request& request, Writer& w) {
  const operations::Operation* operation = operations::findMethod(request.method);
  if (operation == nullptr) {
    return json_rpc_protocol::writeErrorWithPublicCode(w, request.id, json_rpc_protocol::kMethodNotFound,
                                                       "method not found", std::nullopt);
  }
  VYX_TRY_ASSIGN(auto result, operation->handler(session, request.params, operations::Server::jsonRpc));
  return writeOutcome(w, request.id, result);
}

}  // namespace vyx::json_rpc_methods
