#pragma once
// The MCP trace tools: each writes one tool text reply from the session's
// live trace, or a fixed text when the session has no trace.

#include <cstdint>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/trace.hpp"
#include "core/writer.hpp"
#include "server/json_rpc_trace.hpp"

namespace vyx::mcp_trace {

// trace_events: one page of the event log (at most 1000 events).
Status writeEventsToolResult(Writer& w, const json::Value* id, const TraceWriter* trace, uint64_t afterSeq,
                             uint64_t limit);

// trace_explain: the explanation of the session so far.
Status writeExplainToolResult(Writer& w, const json::Value* id, TraceWriter* trace);

// trace_discover and trace_explore (with a goal): the drafted scenario's
// document.
Status writeDraftToolResult(Writer& w, const json::Value* id, TraceWriter* trace,
                            const json_rpc_trace::DraftRequest& request);

// trace_export: the bundle summary; records no event.
Status writeExportToolResult(Writer& w, const json::Value* id, TraceWriter* trace, std::string_view out,
                             bool redact, bool omitScreenshots);

}  // namespace vyx::mcp_trace
