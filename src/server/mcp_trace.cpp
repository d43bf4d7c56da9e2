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

Status writeDraftToolResult(Writer& w, const json::Value* id, TraceWriter* trace,
                            const json_rpc_trace::DraftRequest& request) {
  if (trace == nullptr) {
    return mcp_protocol::writeToolTextResult(
        w, id,
        request.goal
            ? R"({"ok":false,"mode":"explore","traceDir":null,"message":"start vyx mcp with --trace-dir to enable live trace exploration"})"
            : R"({"ok":false,"mode":"discover","traceDir":null,"message":"start vyx mcp with --trace-dir to enable live trace discovery"})");
  }
  auto document = json_rpc_trace::draftFromLiveTrace(*trace, request);
  if (!document) return fail(document.error());
  return mcp_protocol::writeToolTextResult(w, id, *document);
}

Status writeExportToolResult(Writer& w, const json::Value* id, TraceWriter* trace, std::string_view out,
                             bool redact, bool omitScreenshots) {
  if (trace == nullptr) {
    return mcp_protocol::writeToolTextResult(
        w, id, R"({"traceDir":null,"message":"start vyx mcp with --trace-dir to enable export"})");
  }
  auto summary = json_rpc_trace::exportLiveTrace(*trace, out, redact, omitScreenshots, false);
  if (!summary) return fail(summary.error());
  return mcp_protocol::writeToolTextResult(w, id, *summary);
}

}  // namespace vyx::mcp_trace
