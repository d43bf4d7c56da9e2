#pragma once
// The explanation of a recorded run: what happened, the last useful failure
// context and what to do next. The JSON form is the document of
// `vyx explain --json` and of the servers' explain operations; the text form
// is what `vyx explain` prints for people.
//
// Both writers read the trace summary first and write nothing when it cannot
// be read. They write to any Writer (standard output, a reply buffer) and
// never print or flush on their own.

#include <string_view>

#include "core/errors.hpp"
#include "core/writer.hpp"
#include "reports/trace_summary.hpp"

namespace vyx::explanation {

// Reads the summary of `traceDir` and writes the explanation document, one
// compact JSON object and a line feed. `traceDir` is written exactly as
// given, and the follow-up commands are built from it. Fails with the
// summary's error (nothing written) or the writer's.
Status writeTraceExplanationJson(std::string_view traceDir, Writer& w);

// The same, as the text lines of `vyx explain`.
Status writeTraceExplanationText(std::string_view traceDir, Writer& w);

// The two forms from a summary already read.
Status writeExplanationJson(Writer& w, std::string_view traceDir, const trace_summary::Summary& summary);
Status writeExplanationText(Writer& w, const trace_summary::Summary& summary);

}  // namespace vyx::explanation
