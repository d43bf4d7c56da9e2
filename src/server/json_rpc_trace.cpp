#include "server/json_rpc_trace.hpp"

#include <algorithm>

#include "core/trace_files.hpp"
#include "core/json.hpp"
#include "core/json_writer.hpp"
#include "core/limits.hpp"
#include "core/text.hpp"
#include "core/trace_layout.hpp"
#include "authoring/discover.hpp"
#include "reports/bundle.hpp"
#include "reports/explanation.hpp"
#include "runner/runner_events.hpp"
#include "server/json_rpc_params.hpp"
#include "server/json_rpc_protocol.hpp"

namespace vyx::json_rpc_trace {
namespace {

// The line's "seq" when it is an object with an integer "seq" of 1 or more.
std::optional<uint64_t> lineSeq(std::string_view line) {
  auto parsed = json::parse(line);
  if (!parsed || !parsed->isObject()) return std::nullopt;
  const json::Value* seq = parsed->get("seq");
  if (seq == nullptr || !seq->isInteger() || seq->integer < 1) return std::nullopt;
  return static_cast<uint64_t>(seq->integer);
}

}  // namespace

Status recordSimplePayload(TraceWriter& trace, std::string_view kind, std::string_view key, std::string_view value) {
  StringWriter payload;
  JsonObjectWriter o(payload);
  o.str(key, value);
  VYX_TRY(o.finish());
  return trace.recordEvent(kind, payload.str());
}

Expected<std::string> eventsPage(const TraceWriter* trace, uint64_t afterSeq, uint64_t limit) {
  limit = std::min(limit, kMaxPageEvents);
  uint64_t nextSeq = afterSeq;
  StringWriter events;
  std::string log;
  if (trace != nullptr) {
    auto text = trace_files::readTraceFile(trace->traceDir(), trace_layout::kEventsFile, limits::kEventLogBytes);
    if (text) {
      log = std::move(*text);
    } else if (text.error() != Error::FileNotFound) {
      return fail(text.error());
    }
  }
  JsonArrayWriter list(events);
  uint64_t count = 0;
  std::string_view rest = log;
  bool more = trace != nullptr;
  while (more && count < limit) {
    size_t end = rest.find('\n');
    std::string_view line = text::trimBlanks(rest.substr(0, end));
    if (end == std::string_view::npos) {
      more = false;
    } else {
      rest.remove_prefix(end + 1);
    }
    if (line.empty()) continue;
    std::optional<uint64_t> seq = lineSeq(line);
    if (!seq || *seq <= afterSeq) continue;
    list.raw(line);
    ++count;
    nextSeq = *seq;
  }
  VYX_TRY(list.finish());

  StringWriter out;
  JsonObjectWriter page(out);
  if (trace != nullptr) {
    page.str("traceDir", trace->traceDir());
  } else {
    page.null("traceDir");
  }
  page.unum("afterSeq", afterSeq).unum("nextSeq", nextSeq);
  page.unum("latestSeq", trace != nullptr ? trace->eventCount() : 0);
  page.raw("events", events.str());
  VYX_TRY(page.finish());
  return out.take();
}

Expected<std::string> explainLiveTrace(TraceWriter& trace) {
  VYX_TRY(trace.writeManifest());
  StringWriter out;
  VYX_TRY(explanation::writeTraceExplanationJson(trace.traceDir(), out));
  std::string text = out.take();
  text.resize(json_rpc_protocol::trimTrailing(text).size());
  VYX_TRY(trace.recordEvent("trace.explain", R"({"status":"ok"})"));
  return text;
}

namespace {
std::optional<std::string> owned(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  return std::string(*text);
}
}  // namespace

Expected<DraftRequest> readDraftRequest(const json::Value* p, bool explore, bool strictNames) {
  namespace params = json_rpc_params;
  DraftRequest draft;
  VYX_TRY_ASSIGN(draft.out, params::requiredString(p, "out"));
  if (explore) {
    VYX_TRY_ASSIGN(draft.goal, params::requiredString(p, "goal"));
  }
  for (auto [name, flag] : {std::pair{"includeActions", &draft.includeActions}, std::pair{"validate", &draft.validate},
                            std::pair{"force", &draft.force}}) {
    VYX_TRY_ASSIGN(*flag, params::optionalBool(p, name));
  }
  for (auto [name, field] : {std::pair{"name", &draft.name}, std::pair{"appId", &draft.appId}}) {
    auto value = params::optionalString(p, name);
    if (value) {
      *field = *value;
    } else if (strictNames) {
      return fail(value.error());
    }
  }
  return draft;
}

Expected<std::string> draftFromLiveTrace(TraceWriter& trace, const DraftRequest& request) {
  VYX_TRY(trace.writeManifest());
  discover::DraftOptions options;
  options.traceDir = trace.traceDir();
  options.out = std::string(request.out);
  options.name = owned(request.name);
  options.appId = owned(request.appId);
  options.includeActions = request.includeActions;
  options.validate = request.validate;
  options.force = request.force;
  options.json = true;
  VYX_TRY_ASSIGN(auto result, discover::discoverFromTrace(options));
  std::string_view status = result.ok ? "ok" : "failed";
  if (request.goal) {
    VYX_TRY(runner_events::recordTraceExplore(trace, status, result.draft.out, *request.goal, request.includeActions,
                                              result.validated));
  } else {
    VYX_TRY(runner_events::recordTraceDiscover(trace, status, result.draft.out, request.includeActions,
                                               result.validated));
  }
  StringWriter out;
  VYX_TRY(discover::writeJsonWithOptions(out, result,
                                         request.goal ? discover::exploreForm(request.goal) : discover::kDiscoverForm));
  std::string text = out.take();
  text.resize(json_rpc_protocol::trimTrailing(text).size());
  return text;
}

Expected<std::string> exportLiveTrace(TraceWriter& trace, std::string_view out, bool redact, bool omitScreenshots,
                                      bool recordStart) {
  if (recordStart) VYX_TRY(trace.recordEvent("trace.export", R"({"status":"started"})"));
  VYX_TRY(trace.writeManifest());
  bundle::BundleExportOptions options;
  options.redact = redact || omitScreenshots;
  options.omitScreenshots = omitScreenshots;
  VYX_TRY(bundle::exportTraceBundleWithOptions(trace.traceDir(), out, options));
  StringWriter text;
  JsonObjectWriter o(text);
  o.str("traceDir", trace.traceDir()).str("out", out).flag("redacted", options.redact);
  o.flag("omitScreenshots", omitScreenshots);
  VYX_TRY(o.finish());
  return text.take();
}

}  // namespace vyx::json_rpc_trace
