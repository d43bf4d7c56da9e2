#include "reports/cli_trace.hpp"

#include <optional>
#include <string>
#include <string_view>

#include "core/writer.hpp"
#include "reports/explanation.hpp"

namespace vyx::cli_trace {
namespace {

// A document written into standard output: a failure while writing is
// WriteFailed; the final flush reports the writer's recorded cause
// (BrokenPipe when the reader went away).
Status finishOutput(Output& out, const Status& written) {
  if (!written) return fail(Error::WriteFailed);
  return out.flush();
}

}  // namespace

Status runExplain(ArgIterator& args) {
  bool json = false;
  std::optional<std::string> traceDir;
  while (auto arg = args.next()) {
    if (*arg == "--json") {
      json = true;
    } else if (traceDir) {
      return fail(Error::unknownFlag);
    } else {
      traceDir = std::string(*arg);
    }
  }
  if (!traceDir) return fail(Error::MissingTraceDir);

  auto summary = trace_summary::read(*traceDir);
  if (!summary) return fail(summary.error());
  Output out;
  Status written = json ? explanation::writeExplanationJson(out, *traceDir, *summary)
                        : explanation::writeExplanationText(out, *summary);
  return finishOutput(out, written);
}

}  // namespace vyx::cli_trace
