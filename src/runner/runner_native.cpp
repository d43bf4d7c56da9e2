#include "runner/runner_native.hpp"

#include "runner/runner_events.hpp"

namespace vyx::runner_native {

Status recordSelectorAction(TraceWriter& trace, std::string_view kind, const Selector& selector,
                            std::optional<uint32_t> maxChars) {
  runner_events::Payload p;
  p.str("status", "ok").str("strategy", "nativeSelector").selector("selector", selector);
  if (maxChars) p.unum("maxChars", *maxChars);
  return trace.recordEvent(kind, p.finish());
}

Status recordSelectorActionFailure(TraceWriter& trace, std::string_view kind, const Selector& selector,
                                   Error error) {
  return trace.recordEvent(kind, runner_events::Payload()
                                     .str("status", "failed")
                                     .str("strategy", "nativeSelector")
                                     .error("error", error)
                                     .selector("selector", selector)
                                     .finish());
}

}  // namespace vyx::runner_native
