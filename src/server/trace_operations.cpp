#include <optional>
#include <string>
#include <string_view>

#include "core/json_writer.hpp"
#include "server/json_rpc_params.hpp"
#include "server/json_rpc_trace.hpp"
#include "server/operation_handlers.hpp"

namespace vyx::operations::handlers {

namespace params = json_rpc_params;

namespace {

constexpr uint64_t kDefaultPageSize = 100;

// The reply of a trace operation in a session without a trace directory:
// {["ok":false,"mode":<mode>,]"traceDir":null,"message":"start vyx <command>
// with --trace-dir to enable <what>"}.
std::string noTraceReply(Server server, std::optional<std::string_view> mode, std::string_view what) {
  std::string message = "start vyx ";
  message += server == Server::jsonRpc ? "serve" : "mcp";
  message += " with --trace-dir to enable ";
  message += what;
  StringWriter out;
  JsonObjectWriter o(out);
  if (mode) o.flag("ok", false).str("mode", *mode);
  o.null("traceDir").str("message", message);
  (void)o.finish();  // memory never fails
  return out.take();
}

// Every parameter is read before the trace is looked at. "name" and "appId"
// that are not strings fail over JSON-RPC and count as absent over MCP.
Expected<Outcome> draft(Session& session, const json::Value* p, Server server, bool explore) {
  VYX_TRY_ASSIGN(auto request, json_rpc_trace::readDraftRequest(p, explore, server == Server::jsonRpc));
  if (session.trace == nullptr) {
    return outcome::Document{explore ? noTraceReply(server, "explore", "live trace exploration")
                                     : noTraceReply(server, "discover", "live trace discovery")};
  }
  VYX_TRY_ASSIGN(std::string document, json_rpc_trace::draftFromLiveTrace(*session.trace, request));
  return outcome::Document{std::move(document)};
}

struct ExportRequest {
  std::string_view out;
  bool redact = false;
  bool omitScreenshots = false;
};

// "out", then the two flags: JSON-RPC reads "redact" first, MCP
// "omitScreenshots" first.
Expected<ExportRequest> readExportRequest(const json::Value* p, Server server) {
  ExportRequest request;
  VYX_TRY_ASSIGN(request.out, params::requiredString(p, "out"));
  if (server == Server::jsonRpc) {
    VYX_TRY_ASSIGN(request.redact, params::optionalBool(p, "redact"));
    VYX_TRY_ASSIGN(request.omitScreenshots, params::optionalBool(p, "omitScreenshots"));
  } else {
    VYX_TRY_ASSIGN(request.omitScreenshots, params::optionalBool(p, "omitScreenshots"));
    VYX_TRY_ASSIGN(request.redact, params::optionalBool(p, "redact"));
  }
  return request;
}

}  // namespace

Expected<Outcome> traceEvents(Session& session, const json::Value* p, Server) {
  VYX_TRY_ASSIGN(uint64_t afterSeq, params::optionalU64(p, "afterSeq", 0));
  VYX_TRY_ASSIGN(uint64_t limit, params::optionalU64(p, "limit", kDefaultPageSize));
  VYX_TRY_ASSIGN(std::string page, json_rpc_trace::eventsPage(session.trace, afterSeq, limit));
  return outcome::Document{std::move(page)};
}

Expected<Outcome> traceExplore(Session& session, const json::Value* p, Server server) {
  return draft(session, p, server, true);
}

Expected<Outcome> traceDiscover(Session& session, const json::Value* p, Server server) {
  return draft(session, p, server, false);
}

Expected<Outcome> traceExplain(Session& session, const json::Value*, Server server) {
  if (session.trace == nullptr) {
    return outcome::Document{
        noTraceReply(server, std::nullopt,
                     server == Server::jsonRpc ? "live RPC trace explanation" : "live trace explanation")};
  }
  VYX_TRY_ASSIGN(std::string text, json_rpc_trace::explainLiveTrace(*session.trace));
  return outcome::Document{std::move(text)};
}

// JSON-RPC looks at the trace first and reads its parameters only with one,
// and records "trace.export" before exporting; MCP reads and checks its
// arguments first and records nothing.
Expected<Outcome> traceExport(Session& session, const json::Value* p, Server server) {
  const bool rpc = server == Server::jsonRpc;
  if (rpc && session.trace == nullptr) {
    return outcome::Document{noTraceReply(server, std::nullopt, "live RPC trace export")};
  }
  VYX_TRY_ASSIGN(ExportRequest request, readExportRequest(p, server));
  if (session.trace == nullptr) return outcome::Document{noTraceReply(server, std::nullopt, "export")};
  VYX_TRY_ASSIGN(std::string summary, json_rpc_trace::exportLiveTrace(*session.trace, request.out, request.redact,
                                                                      request.omitScreenshots, rpc));
  return outcome::Document{std::move(summary)};
}

}  // namespace vyx::operations::handlers
