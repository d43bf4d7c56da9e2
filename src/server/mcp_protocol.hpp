#pragma once
// The reply forms that only the MCP server writes: the initialize result and
// the tool text reply.

#include <string_view>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/writer.hpp"

namespace vyx::mcp_protocol {

// Answers initialize with the protocol version, the tools capability and the
// server's name and version.
Status writeInitializeResult(Writer& w, const json::Value* id, std::string_view protocolVersion);

// A success whose result is {"content":[{"type":"text","text":<text>}]}.
Status writeToolTextResult(Writer& w, const json::Value* id, std::string_view text);

}  // namespace vyx::mcp_protocol
