#pragma once
// Trace pieces shared by both servers: the small event recorder and the page
// of the session's event log.

#include <cstdint>
#include <string>
#include <optional>
#include <string_view>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/trace.hpp"

namespace vyx::json_rpc_trace {

// Records `kind` with the payload {"<key>":"<value>"}.
Status recordSimplePayload(TraceWriter& trace, std::string_view kind, std::string_view key, std::string_view value);

// Pages hold at most this many events, whatever the client asks for.
inline constexpr uint64_t kMaxPageEvents = 1000;

// One page of the event log after `afterSeq`, at most `limit` events:
// {"traceDir":..,"afterSeq":n,"nextSeq":n,"latestSeq":n,"events":[<lines>]}.
// The selected lines are copied as they stand in the log. Lines that do not
// parse or carry no "seq" of 1 or more are skipped. Without a trace the page
// is empty and "traceDir" null. A missing log counts as empty.
Expected<std::string> eventsPage(const TraceWriter* trace, uint64_t afterSeq, uint64_t limit);

// Rewrites the manifest, writes the explanation of the session's trace into
// memory (trailing white space dropped), then records "trace.explain"
// {"status":"ok"}; the explanation describes the session before that event.
Expected<std::string> explainLiveTrace(TraceWriter& trace);

// What a client asks of a draft from the live trace; with a goal it is an
// exploration.
struct DraftRequest {
  std::string_view out;
  std::optional<std::string_view> goal;
  bool includeActions = false;
  bool validate = false;
  bool force = false;
  std::optional<std::string_view> name;
  std::optional<std::string_view> appId;
};

// Reads "out", "goal" (exploring only), "includeActions", "validate",
// "force", "name" and "appId" in this order. "name" and "appId" that are
// not strings fail with ParamMustBeString when `strictNames`, else count as
// absent.
Expected<DraftRequest> readDraftRequest(const json::Value* params, bool explore, bool strictNames);

// Rewrites the manifest, drafts a scenario from the session's trace, records
// "trace.discover" (or "trace.explore" with a goal) with status "ok" or
// "failed", and returns the discover (or explore) document with trailing
// white space dropped. A draft that failed validation is a document with
// "ok" false, not an error; a drafting failure records nothing.
Expected<std::string> draftFromLiveTrace(TraceWriter& trace, const DraftRequest& request);

// Exports the session's trace as a bundle (after recording "trace.export"
// {"status":"started"} when `recordStart`, then rewriting the manifest) and
// returns {"traceDir":..,"out":..,"redacted":..,"omitScreenshots":..}.
// Omitting screenshots implies redaction.
Expected<std::string> exportLiveTrace(TraceWriter& trace, std::string_view out, bool redact, bool omitScreenshots,
                                      bool recordStart);

}  // namespace vyx::json_rpc_trace
