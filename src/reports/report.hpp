#pragma once
// The documents of `vyx report`: the HTML report and the JUnit XML of a
// benchmark directory (one results.jsonl record per run) and of a trace
// directory, and the report's path written back into the trace's
// trace.json.
//
// The documents stream: an input is read twice, line by line (once for the
// totals that the document shows first, once for the rows), so memory stays
// proportional to one line. Each document goes to a temporary file beside
// its path and replaces the file at that path only when it is complete.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/atomic_file.hpp"
#include "core/errors.hpp"
#include "core/fd.hpp"
#include "core/writer.hpp"

namespace vyx::report {

// A line-oriented input read front to back, as often as needed.
class LineSource {
 public:
  virtual ~LineSource() = default;
  // Calls `line` with each line (without its line feed; the text after the
  // last line feed is a line too) and stops at the first failure.
  virtual Status forEachLine(const std::function<Status(std::string_view)>& line) const = 0;
};

// Lines held in memory.
class TextLines final : public LineSource {
 public:
  explicit TextLines(std::string_view text) : text_(text) {}
  Status forEachLine(const std::function<Status(std::string_view)>& line) const override;

 private:
  std::string_view text_;
};

// The lines of a file, read in chunks. A file of 64 MiB or more fails with
// StreamTooLong; every pass reads the bytes the file held when the first
// pass began, so a log that grows meanwhile reads the same both times.
class FileLines final : public LineSource {
 public:
  explicit FileLines(std::string path) : path_(std::move(path)) {}
  // The file `name` beneath the directory `dir`, opened as every trace
  // reader opens a trace's files (core/trace_files.hpp): one behind a
  // symbolic link counts as missing (FileNotFound).
  static FileLines beneath(std::string dir, std::string name);
  Status forEachLine(const std::function<Status(std::string_view)>& line) const override;

 private:
  std::string path_;
  std::optional<std::string> dir_;
  mutable int64_t budget_ = -1;
};

// The benchmark HTML document of the records in `results`; `sourceDir` is
// shown as the source. Fails with the JSON reader's error for a line that
// does not parse, or Overflow when the durations' sum does not fit 64 bits,
// before anything is written.
Status writeBenchmarkHtml(Writer& w, std::string_view sourceDir, const LineSource& results);

// The benchmark JUnit document; the same failures.
Status writeBenchmarkJUnit(Writer& w, std::string_view sourceDir, const LineSource& results);

// The trace HTML document of the event lines in `events`, linking to the
// log at `eventsPath`.
Status writeTraceHtml(Writer& w, std::string_view traceDir, std::string_view eventsPath, const LineSource& events);

// The trace JUnit document from the trace's summary.
Status writeTraceJUnit(Writer& w, std::string_view traceDir);

// Reads <benchmarkDir>'s results file and writes the benchmark HTML report to
// `outPath`.
Status writeBenchmarkReport(std::string_view benchmarkDir, std::string_view resultsPath, std::string_view outPath);

// The benchmark JUnit document written to `junitPath`.
Status writeBenchmarkJUnitReport(std::string_view benchmarkDir, std::string_view resultsPath,
                                 std::string_view junitPath);

// The "reportPath" update of a trace's trace.json, made ready before any
// report is written: the manifest is read (never through a symbolic link;
// a link counts as a missing manifest, which is left alone), its new text
// is built, and the temporary file that will replace it is created beside
// it, so a trace that cannot be updated fails before any output is
// replaced. commit() writes and renames it over trace.json; released
// without a commit, the temporary file is removed and the manifest is left
// as it was.
class ReportPathUpdate {
 public:
  static Expected<ReportPathUpdate> prepare(std::string_view traceDir, std::string_view outPath);

  ReportPathUpdate(ReportPathUpdate&& other) noexcept;
  ReportPathUpdate& operator=(ReportPathUpdate&&) = delete;
  ~ReportPathUpdate();

  // A manifest that does not parse, or is not an object, cannot be
  // updated; its error is kept for the caller to return once the report is
  // written.
  std::optional<Error> manifestError() const { return manifestError_; }
  // Records the path (nothing to do without a manifest); fails with the
  // manifest's error or the file system's.
  Status commit();

 private:
  ReportPathUpdate() = default;
  void discard();
  Fd dir_;
  // Beneath dir_, so declared after it.
  std::optional<atomic_file::AtomicFile> file_;
  std::string text_;
  std::optional<Error> manifestError_;
};

// Writes the trace HTML report to `outPath` and returns the prepared
// "reportPath" update, for the caller to commit once every other document
// is written. Fails with FileNotFound when the trace has no event log (or
// only one behind a link), with the manifest's error when trace.json cannot
// be updated (both before anything is written), and with
// InvalidTraceManifest after the report was written when trace.json holds
// no object.
Expected<ReportPathUpdate> writeTraceReportFile(std::string_view traceDir, std::string_view outPath);

// Writes the trace HTML report to `outPath`, then records its path relative
// to the trace directory as "reportPath" in trace.json (a missing trace.json
// is left alone).
Status writeTraceReport(std::string_view traceDir, std::string_view outPath);

// Writes the trace JUnit document to `junitPath`.
Status writeTraceJUnitReport(std::string_view traceDir, std::string_view junitPath);

// `path` relative to `dir`, both taken against the working directory (or
// "." when it cannot be read) and normalised as text: "." and ".." resolved,
// repeated "/" collapsed, symbolic links not looked at. An output inside the
// directory gives its name below it ("report.html").
std::string relativePath(std::string_view dir, std::string_view path);

}  // namespace vyx::report
