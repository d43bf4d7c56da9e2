#pragma once
// The Model Context Protocol server: one request line answered with one reply
// line. Four methods (initialize, ping, tools/list, tools/call) and 26 tools
// over the session's device and trace.

#include <optional>
#include <string_view>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/writer.hpp"
#include "server/json_rpc.hpp"

namespace vyx::mcp {

// The protocol version answered when the client names none.
inline constexpr std::string_view kDefaultProtocolVersion = "2024-11-05";

// The tools document of tools/list (fixed, compact).
std::string_view toolsJson();

// Answers one trimmed, non-empty line with exactly one reply, except a
// client notification (a message without "id" whose method begins with
// "notifications/"), which gets none. Fails only when writing failed.
Status dispatchLine(json_rpc::Session& session, std::string_view line, Writer& w);

// Tool text replies {"visible":..} and {"matchedIndex":n|null}.
Status writeVisibleToolResult(Writer& w, const json::Value* id, bool visible);
Status writeMatchedIndexToolResult(Writer& w, const json::Value* id, std::optional<size_t> index);

}  // namespace vyx::mcp
