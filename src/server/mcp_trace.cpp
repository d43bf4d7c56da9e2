#include "server/mcp_trace.hpp"

#include "server/json_rpc_trace.hpp"
#include "server/mcp_protocol.hpp"

namespace vyx::mcp_trace {

Status writeEventsToolResult(Writer& w, const json::Value* id, const TraceWriter* trace, uint64_t afterSeq,
                             uint64_t limit) {
  auto page = json_rpc_trace::eventsPage(trace, afterSeq, limit);
  if (!page) return fail(page.error());
  return mcp_protocol::writeToolTextResult(w, id, *page);
}

Status writeExplainToolResult(Writer& w, const json::Value* id, TraceWriter* trace) {
  if (trace == nullptr) {
    return mcp_protocol::writeToolTextResult(
        w, id, R"({"traceDir":null,"message":"start vyx mcp with --trace-dir to enable live trace explanation"})");
  }
  auto text = json_rpc_trace::explainLiveTrace(*trace);
  if (!text) return fail(text.error());
  return mcp_protocol::writeToolTextResult(w, id, *text);
}

}  // namespace vyx::mcp_trace
