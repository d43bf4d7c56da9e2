#pragma once
// The MCP trace tools: each writes one tool text reply from the session's
// live trace, or a fixed text when the session has no trace.

#include <cstdint>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/trace.hpp"
#include "core/writer.hpp"

namespace vyx::mcp_trace {

// trace_events: one page of the event log (at most 1000 events).
Status writeEventsToolResult(Writer& w, const json::Value* id, const TraceWriter* trace, uint64_t afterSeq,
                             uint64_t limit);

// trace_explain: the explanation of the session so far.
Status writeExplainToolResult(Writer& w, const json::Value* id, TraceWriter* trace);

}  // namespace vyx::mcp_trace
