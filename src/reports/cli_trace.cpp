#include "reports/cli_trace.hpp"

#include <optional>
#include <string>
#include <string_view>

#include "core/writer.hpp"
#include "reports/bundle.hpp"
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

Status runExport(ArgIterator& args) {
  std::optional<std::string> traceDir;
  std::optional<std::string> out;
  bundle::BundleExportOptions options;
  while (auto arg = args.next()) {
    if (*arg == "--out") {
      auto value = args.next();
      if (!value) return fail(Error::MissingTraceBundleOutput);
      out = std::string(*value);
    } else if (*arg == "--redact") {
      options.redact = true;
    } else if (*arg == "--omit-screenshots") {
      options.omitScreenshots = true;
      options.redact = true;
    } else if (arg->starts_with("--") || traceDir) {
      return fail(Error::unknownFlag);
    } else {
      traceDir = std::string(*arg);
    }
  }
  if (!traceDir) return fail(Error::MissingTraceDir);
  if (!out) return fail(Error::MissingTraceBundleOutput);

  VYX_TRY(bundle::exportTraceBundleWithOptions(*traceDir, *out, options));
  Output output;
  Status written = output.writeAll("wrote ");
  if (written) written = output.writeAll(*out);
  if (written) written = output.writeByte('\n');
  return finishOutput(output, written);
}

}  // namespace vyx::cli_trace
