#include "server/mcp_protocol.hpp"

#include "core/cli_info.hpp"
#include "core/json_writer.hpp"
#include "core/version.hpp"
#include "server/json_rpc_protocol.hpp"

namespace vyx::mcp_protocol {

Status writeInitializeResult(Writer& w, const json::Value* id, std::string_view protocolVersion) {
  return json_rpc_protocol::writeResult(w, id, [&](Writer& out) {
    JsonObjectWriter result(out);
    result.str("protocolVersion", protocolVersion);
    result.value("capabilities", [](Writer& c) {
      JsonObjectWriter capabilities(c);
      capabilities.raw("tools", "{}");
      return capabilities.finish();
    });
    result.value("serverInfo", [](Writer& s) {
      JsonObjectWriter info(s);
      info.str("name", cli_info::kName).str("version", version::kRunner);
      return info.finish();
    });
    return result.finish();
  });
}

Status writeToolTextResult(Writer& w, const json::Value* id, std::string_view text) {
  return json_rpc_protocol::writeResult(w, id, [&](Writer& out) {
    JsonObjectWriter result(out);
    result.value("content", [&](Writer& c) {
      JsonArrayWriter content(c);
      content.value([&](Writer& item) {
        JsonObjectWriter part(item);
        part.str("type", "text").str("text", text);
        return part.finish();
      });
      return content.finish();
    });
    return result.finish();
  });
}

}  // namespace vyx::mcp_protocol
