#pragma once
// Trace pieces shared by both servers: the small event recorder and the page
// of the session's event log.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/errors.hpp"
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

}  // namespace vyx::json_rpc_trace
