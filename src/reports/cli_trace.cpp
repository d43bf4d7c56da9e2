#include "reports/cli_trace.hpp"

#include <optional>
#include <string>
#include <string_view>

#include "core/writer.hpp"
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/files.hpp"
#include "core/paths.hpp"
#include "reports/bundle.hpp"
#include "reports/explanation.hpp"
#include "reports/report.hpp"

namespace vyx::cli_trace {
namespace {

// A document written into standard output: a failure while writing is
// WriteFailed; the final flush reports the writer's recorded cause
// (BrokenPipe when the reader went away).
Status finishOutput(Output& out, const Status& written) {
  if (!written) return fail(Error::WriteFailed);
  return out.flush();
}

// The name of a benchmark directory's results file.
constexpr std::string_view kBenchmarkResults = "results.jsonl";

// A directory holding results.jsonl is a benchmark directory; without it
// (FileNotFound) a trace directory; any other failure to open it is returned.
Expected<bool> isBenchmarkDirectory(const std::string& resultsPath) {
  auto file = files::openForReading(resultsPath);
  if (file) return true;
  if (file.error() == Error::FileNotFound) return false;
  return fail(file.error());
}

Status printWrote(Output& out, std::string_view path) {
  Status written = out.writeAll("wrote ");
  if (written) written = out.writeAll(path);
  if (written) written = out.writeByte('\n');
  if (!written) return fail(Error::WriteFailed);
  return {};
}

// The JUnit document of whichever kind the directory holds by now.
Status writeJUnit(Output& output, const std::string& dir, const std::string& resultsPath, const std::string& junit) {
  VYX_TRY_ASSIGN(auto benchmark, isBenchmarkDirectory(resultsPath));
  VYX_TRY(benchmark ? report::writeBenchmarkJUnitReport(dir, resultsPath, junit)
                    : report::writeTraceJUnitReport(dir, junit));
  return printWrote(output, junit);
}

}  // namespace

Status runReport(ArgIterator& args) {
  if (args.remaining() == 0) return fail(Error::MissingReportInput);
  std::optional<std::string> dir;
  std::optional<std::string> out;
  std::optional<std::string> junit;
  while (auto arg = args.next()) {
    if (*arg == "--out") {
      VYX_TRY(takeValue(args, Error::MissingReportOutput, out));
    } else if (*arg == "--junit") {
      VYX_TRY(takeValue(args, Error::MissingJUnitOutput, junit));
    } else if ((arg->size() >= 2 && arg->starts_with("--")) || dir) {
      return fail(Error::unknownFlag);
    } else {
      dir = std::string(*arg);
    }
  }
  if (!dir) return fail(Error::MissingReportInput);
  if (!out) return fail(Error::MissingReportOutput);

  // Released on every return, which flushes the lines already printed.
  Output output;
  const std::string resultsPath = paths::join(*dir, kBenchmarkResults);
  VYX_TRY_ASSIGN(auto benchmark, isBenchmarkDirectory(resultsPath));
  if (benchmark) {
    VYX_TRY(report::writeBenchmarkReport(*dir, resultsPath, *out));
    VYX_TRY(printWrote(output, *out));
    if (junit) VYX_TRY(writeJUnit(output, *dir, resultsPath, *junit));
    return output.flush();
  }
  // A trace directory: its manifest is checked for the update first, and the
  // report's path is recorded in it last, once the documents are written.
  VYX_TRY_ASSIGN(auto reportPath, report::writeTraceReportFile(*dir, *out));
  VYX_TRY(printWrote(output, *out));
  Status junitWritten = junit ? writeJUnit(output, *dir, resultsPath, *junit) : Status{};
  Status recorded = reportPath.commit();
  VYX_TRY(junitWritten);
  VYX_TRY(recorded);
  return output.flush();
}

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

  VYX_TRY_ASSIGN(auto summary, trace_summary::read(*traceDir));
  Output out;
  Status written = json ? explanation::writeExplanationJson(out, *traceDir, summary)
                        : explanation::writeExplanationText(out, summary);
  return finishOutput(out, written);
}

Status runExport(ArgIterator& args) {
  std::optional<std::string> traceDir;
  std::optional<std::string> out;
  bundle::BundleExportOptions options;
  while (auto arg = args.next()) {
    if (*arg == "--out") {
      VYX_TRY(takeValue(args, Error::MissingTraceBundleOutput, out));
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
  VYX_TRY(printWrote(output, *out));
  return output.flush();
}

}  // namespace vyx::cli_trace
