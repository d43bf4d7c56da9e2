#include "reports/report.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "core/atomic_file.hpp"
#include "core/files.hpp"
#include "core/json.hpp"
#include "core/limits.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"
#include "core/trace_files.hpp"
#include "core/trace_json.hpp"
#include "core/trace_layout.hpp"
#include "reports/report_html.hpp"
#include "reports/trace_summary.hpp"

namespace vyx::report {
namespace {

using report_html::escape;

constexpr size_t kReadChunk = 64 * 1024;

// Calls `object` with each line that holds a JSON object, its parsed value
// and its trimmed text. Blank lines and other values are skipped; a line
// that does not parse ends the reading with the parser's error.
Status forEachObject(const LineSource& source,
                     const std::function<Status(const json::Value&, std::string_view)>& object) {
  return source.forEachLine([&](std::string_view raw) -> Status {
    std::string_view line = text::trimBlanks(raw);
    if (line.empty()) return {};
    VYX_TRY_ASSIGN(auto value, json::parseValue(line));
    if (!value.isObject()) return {};
    return object(value, line);
  });
}

std::optional<std::string_view> stringField(const json::Value& object, std::string_view key) {
  const json::Value* v = object.get(key);
  if (v == nullptr || !v->isString()) return std::nullopt;
  return std::string_view(v->string);
}

std::optional<int64_t> integerField(const json::Value& object, std::string_view key) {
  const json::Value* v = object.get(key);
  if (v == nullptr || !v->isInteger()) return std::nullopt;
  return v->integer;
}

Status checkedAdd(int64_t& sum, int64_t value) {
  if (__builtin_add_overflow(sum, value, &sum)) return fail(Error::Overflow);
  return {};
}

// Milliseconds as seconds with three decimals: 5 gives 0.005, 60000 60.000.
Status writeJUnitTime(Writer& w, int64_t ms) {
  VYX_TRY(w.writeInt(ms / 1000));
  int64_t rest = ms % 1000;
  char digits[4] = {'.', static_cast<char>('0' + rest / 100), static_cast<char>('0' + rest / 10 % 10),
                    static_cast<char>('0' + rest % 10)};
  return w.writeAll(std::string_view(digits, 4));
}

// ---------------------------------------------------------------- HTML

constexpr std::string_view kStyleRules[] = {
    R"(body{font-family:system-ui,-apple-system,BlinkMacSystemFont,"Segoe UI",sans-serif;margin:32px;color:#17202a;background:#f7f8fa})",
    "h1,h2{color:#111827}",
    "section{margin:24px 0}",
    "dl{display:grid;grid-template-columns:max-content 1fr;gap:8px 16px}",
    "dt{font-weight:700}",
    "table{border-collapse:collapse;width:100%;background:#fff}",
    "th,td{border:1px solid #d8dee6;padding:8px;text-align:left;vertical-align:top}",
    "th{background:#eef2f7}",
    ".ok{color:#116329;font-weight:700}",
    ".failed{color:#b42318;font-weight:700}",
    ".muted{color:#667085}",
    ".warning{border-left:4px solid #b54708;background:#fff7ed;padding:12px}",
    "code{white-space:pre-wrap;word-break:break-word}",
};

constexpr std::string_view kWarning =
    "<p class=\"warning\">Screenshots and raw UI XML may contain app data. Sanitize trace bundles before public "
    "sharing.</p>\n";

Status writeHead(Writer& w, std::string_view title, std::string_view sourceDir) {
  VYX_TRY(w.writeAll("<!doctype html><html><head><meta charset=\"utf-8\"><title>"));
  VYX_TRY(escape(w, title));
  VYX_TRY(w.writeAll("</title><style>\n"));
  for (std::string_view rule : kStyleRules) {
    VYX_TRY(w.writeAll(rule));
    VYX_TRY(w.writeByte('\n'));
  }
  VYX_TRY(w.writeAll("</style></head><body>\n<h1>"));
  VYX_TRY(w.writeAll(title));
  VYX_TRY(w.writeAll("</h1>\n<p class=\"muted\">Source: "));
  VYX_TRY(escape(w, sourceDir));
  return w.writeAll("</p>\n");
}

// One results.jsonl record; absent or mistyped keys are empty.
struct BenchmarkRecord {
  std::optional<std::string_view> tool;
  std::string_view status;
  std::optional<std::string_view> traceStatus;
  std::string_view traceError;
  std::string_view traceDir;
  std::optional<int64_t> run;
  int64_t durationMs = 0;
  std::optional<int64_t> failedStepIndex;

  explicit BenchmarkRecord(const json::Value& v)
      : tool(stringField(v, "tool")),
        status(stringField(v, "status").value_or("")),
        traceStatus(stringField(v, "traceStatus")),
        traceError(stringField(v, "traceError").value_or("")),
        traceDir(stringField(v, "traceDir").value_or("")),
        run(integerField(v, "run")),
        durationMs(integerField(v, "durationMs").value_or(0)),
        failedStepIndex(integerField(v, "failedStepIndex")) {}

  bool passed() const { return status == "ok" && (!traceStatus || traceStatus->empty() || *traceStatus == "passed"); }
};

struct BenchmarkTotals {
  int64_t total = 0;
  int64_t passed = 0;
  int64_t failed = 0;
  int64_t mean = 0;
  int64_t p95 = 0;
  // The sum of the durations of 0 and more: the suite time of the JUnit
  // document (zeros add nothing) and the numerator of the mean.
  int64_t sumMs = 0;
};

Expected<BenchmarkTotals> benchmarkTotals(const LineSource& results) {
  BenchmarkTotals t;
  std::vector<int64_t> durations;
  auto each = [&](const json::Value& v, std::string_view) -> Status {
    BenchmarkRecord r(v);
    ++t.total;
    if (r.durationMs >= 0) {
      durations.push_back(r.durationMs);
      VYX_TRY(checkedAdd(t.sumMs, r.durationMs));
    }
    ++(r.passed() ? t.passed : t.failed);
    return {};
  };
  VYX_TRY(forEachObject(results, each));
  if (!durations.empty()) {
    std::sort(durations.begin(), durations.end());
    auto n = static_cast<int64_t>(durations.size());
    t.mean = t.sumMs / n;
    auto index = static_cast<size_t>(static_cast<double>(n - 1) * 0.95);
    t.p95 = durations[std::min(index, durations.size() - 1)];
  }
  return t;
}

Status writeBenchmarkRow(Writer& w, const BenchmarkRecord& r) {
  VYX_TRY(w.writeAll("<tr><td>"));
  VYX_TRY(w.writeInt(r.run.value_or(0)));
  VYX_TRY(w.writeAll("</td><td>"));
  VYX_TRY(escape(w, r.tool.value_or("")));
  VYX_TRY(w.writeAll("</td><td class=\""));
  VYX_TRY(w.writeAll(r.passed() ? "ok" : "failed"));
  VYX_TRY(w.writeAll("\">"));
  VYX_TRY(escape(w, r.status));
  VYX_TRY(w.writeAll("</td><td>"));
  VYX_TRY(w.writeInt(r.durationMs));
  VYX_TRY(w.writeAll("</td><td>"));
  VYX_TRY(escape(w, r.traceStatus.value_or("")));
  VYX_TRY(w.writeAll("</td><td>"));
  if (r.failedStepIndex) {
    VYX_TRY(w.writeAll("failedStepIndex="));
    VYX_TRY(w.writeInt(*r.failedStepIndex));
    if (!r.traceError.empty()) {
      VYX_TRY(w.writeByte(' '));
      VYX_TRY(escape(w, r.traceError));
    }
  } else if (!r.traceError.empty()) {
    VYX_TRY(escape(w, r.traceError));
  }
  VYX_TRY(w.writeAll("</td><td>"));
  if (!r.traceDir.empty()) {
    VYX_TRY(report_html::writeArtifactLink(w, trace_layout::eventsPath(r.traceDir)));
  }
  return w.writeAll("</td></tr>\n");
}

struct TraceTotals {
  int64_t count = 0;
  std::string terminalStatus;
  std::string terminalError;
};

Expected<TraceTotals> traceTotals(const LineSource& events) {
  TraceTotals t;
  auto each = [&](const json::Value& v, std::string_view) -> Status {
    ++t.count;
    auto kind = stringField(v, "kind");
    const json::Value* payload = v.get("payload");
    if (kind && *kind == event_kinds::kScenarioEnd && payload != nullptr && payload->isObject()) {
      if (auto status = stringField(*payload, "status")) t.terminalStatus = *status;
      if (auto error = stringField(*payload, "error")) t.terminalError = *error;
    }
    return {};
  };
  VYX_TRY(forEachObject(events, each));
  return t;
}

// ---------------------------------------------------------------- JUnit

constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

Status writeSuiteTail(Writer& w, int64_t timeMs) {
  VYX_TRY(w.writeAll("\" errors=\"0\" skipped=\"0\" time=\""));
  VYX_TRY(writeJUnitTime(w, timeMs));
  return w.writeAll("\">\n  <properties>\n");
}

Status writeProperty(Writer& w, std::string_view name, std::string_view value) {
  VYX_TRY(w.writeAll("    <property name=\""));
  VYX_TRY(escape(w, name));
  VYX_TRY(w.writeAll("\" value=\""));
  VYX_TRY(escape(w, value));
  return w.writeAll("\"/>\n");
}

Status writeProperty(Writer& w, std::string_view name, int64_t value) {
  VYX_TRY(w.writeAll("    <property name=\""));
  VYX_TRY(escape(w, name));
  VYX_TRY(w.writeAll("\" value=\""));
  VYX_TRY(w.writeInt(value));
  return w.writeAll("\"/>\n");
}

// <failure message=".." type="..">, the text (written by `text`), </failure>
template <class Text>
Status writeFailure(Writer& w, std::string_view message, std::string_view type, Text&& text) {
  VYX_TRY(w.writeAll("<failure message=\""));
  VYX_TRY(escape(w, message));
  VYX_TRY(w.writeAll("\" type=\""));
  VYX_TRY(escape(w, type));
  VYX_TRY(w.writeAll("\">"));
  VYX_TRY(text());
  return w.writeAll("</failure>");
}

Status writeBenchmarkTestCase(Writer& w, const BenchmarkRecord& r, int64_t ordinal) {
  VYX_TRY(w.writeAll("  <testcase classname=\""));
  VYX_TRY(escape(w, r.tool.value_or("vyx")));
  VYX_TRY(w.writeAll("\" name=\"run "));
  VYX_TRY(w.writeInt(r.run.value_or(ordinal)));
  VYX_TRY(w.writeAll("\" time=\""));
  VYX_TRY(writeJUnitTime(w, std::max<int64_t>(r.durationMs, 0)));
  VYX_TRY(w.writeAll("\">"));
  if (!r.passed()) {
    std::string_view message = !r.traceError.empty()                       ? r.traceError
                               : r.traceStatus && !r.traceStatus->empty() ? *r.traceStatus
                                                                          : r.status;
    auto text = [&]() -> Status {
      if (r.failedStepIndex) {
        VYX_TRY(w.writeAll("failedStepIndex="));
        VYX_TRY(w.writeInt(*r.failedStepIndex));
      }
      if (!r.traceDir.empty()) {
        if (r.failedStepIndex) VYX_TRY(w.writeByte(' '));
        VYX_TRY(w.writeAll("traceDir="));
        VYX_TRY(escape(w, r.traceDir));
      }
      return {};
    };
    VYX_TRY(writeFailure(w, message, "VYXFailure", text));
  }
  return w.writeAll("</testcase>\n");
}

// ---------------------------------------------------------------- reportPath

std::vector<std::string_view> normalisedComponents(std::string_view absolute) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= absolute.size()) {
    size_t slash = absolute.find('/', start);
    if (slash == std::string_view::npos) slash = absolute.size();
    std::string_view part = absolute.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  return parts;
}

std::string workingDirectory() {
  std::string buffer(4096, '\0');
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
      buffer.resize(std::char_traits<char>::length(buffer.data()));
      return buffer;
    }
    if (errno != ERANGE || buffer.size() >= (1u << 20)) return ".";
    buffer.resize(buffer.size() * 2);
  }
}

// Refuses an output path that names one of the document's inputs: the
// document renamed over it would lose that file.
Status refuseInputAsOutput(std::string_view outPath, std::initializer_list<std::string_view> inputs) {
  struct stat out {};
  if (::stat(std::string(outPath).c_str(), &out) != 0) return {};
  for (std::string_view input : inputs) {
    struct stat in {};
    if (::stat(std::string(input).c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
      return fail(Error::PathAlreadyExists);
    }
  }
  return {};
}

// Writes a document into a file that replaces `path` once complete.
template <class Document>
Status writeDocumentFile(std::string_view path, Document&& document) {
  VYX_TRY_ASSIGN(auto file, atomic_file::AtomicFile::create(path, report_html::kOutputBuffer));
  VYX_TRY(document(file));
  return file.commit();
}

}  // namespace

// ---------------------------------------------------------------- sources

Status TextLines::forEachLine(const std::function<Status(std::string_view)>& line) const {
  std::string_view rest = text_;
  for (;;) {
    size_t at = rest.find('\n');
    VYX_TRY(line(rest.substr(0, at)));
    if (at == std::string_view::npos) return {};
    rest.remove_prefix(at + 1);
  }
}

FileLines FileLines::beneath(std::string dir, std::string name) {
  FileLines lines(std::move(name));
  lines.dir_ = std::move(dir);
  return lines;
}

Status FileLines::forEachLine(const std::function<Status(std::string_view)>& line) const {
  VYX_TRY_ASSIGN(auto file, dir_ ? trace_files::openTraceFile(*dir_, path_) : files::openForReading(path_));
  const int fd = file.fd.get();
  if (budget_ < 0) {
    if (file.size >= limits::kEventLogBytes) return fail(Error::StreamTooLong);
    budget_ = static_cast<int64_t>(file.size);
  }

  std::string pending;  // the start of a line that continues in the next chunk
  std::string chunk(kReadChunk, '\0');
  auto left = static_cast<uint64_t>(budget_);
  while (left > 0) {
    size_t want = left < chunk.size() ? static_cast<size_t>(left) : chunk.size();
    ssize_t n = ::read(fd, chunk.data(), want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errorFromErrno(errno, Error::ReadFailed));
    }
    if (n == 0) return fail(Error::UnexpectedEndOfStream);
    left -= static_cast<uint64_t>(n);
    std::string_view data(chunk.data(), static_cast<size_t>(n));
    for (;;) {
      size_t at = data.find('\n');
      if (at == std::string_view::npos) {
        pending.append(data);
        break;
      }
      if (pending.empty()) {
        VYX_TRY(line(data.substr(0, at)));
      } else {
        pending.append(data.substr(0, at));
        VYX_TRY(line(pending));
        pending.clear();
      }
      data.remove_prefix(at + 1);
    }
  }
  return line(pending);
}

// ---------------------------------------------------------------- documents

namespace {

Status benchmarkHtml(Writer& w, std::string_view sourceDir, const LineSource& results, const BenchmarkTotals* totals) {
  VYX_TRY(writeHead(w, "VYX Report", sourceDir));
  VYX_TRY(w.writeAll("<section><h2>Benchmark Summary</h2><dl><dt>Pass Rate</dt><dd>"));
  VYX_TRY(w.writeInt(totals->passed));
  VYX_TRY(w.writeByte('/'));
  VYX_TRY(w.writeInt(totals->total));
  VYX_TRY(w.writeAll("</dd><dt>Failures</dt><dd>"));
  VYX_TRY(w.writeInt(totals->failed));
  VYX_TRY(w.writeAll("</dd><dt>Mean</dt><dd>"));
  VYX_TRY(w.writeInt(totals->mean));
  VYX_TRY(w.writeAll("ms</dd><dt>P95</dt><dd>"));
  VYX_TRY(w.writeInt(totals->p95));
  VYX_TRY(w.writeAll(
      "ms</dd></dl></section>\n<section><h2>Runs</h2><table><thead><tr><th>Run</th><th>Tool</th><th>Status</th>"
      "<th>Duration</th><th>Trace Status</th><th>Failure</th><th>Artifacts</th></tr></thead><tbody>\n"));
  auto each = [&](const json::Value& v, std::string_view) {
    return writeBenchmarkRow(w, BenchmarkRecord(v));
  };
  VYX_TRY(forEachObject(results, each));
  VYX_TRY(w.writeAll("</tbody></table></section>\n"));
  VYX_TRY(w.writeAll(kWarning));
  return w.writeAll("</body></html>\n");
}

Status benchmarkJUnit(Writer& w, std::string_view sourceDir, const LineSource& results,
                      const BenchmarkTotals* totals) {
  VYX_TRY(w.writeAll(kXmlDeclaration));
  VYX_TRY(w.writeAll("<testsuite name=\"VYX Benchmark\" tests=\""));
  VYX_TRY(w.writeInt(totals->total));
  VYX_TRY(w.writeAll("\" failures=\""));
  VYX_TRY(w.writeInt(totals->failed));
  VYX_TRY(writeSuiteTail(w, totals->sumMs));
  VYX_TRY(writeProperty(w, "source", sourceDir));
  VYX_TRY(w.writeAll("  </properties>\n"));
  int64_t ordinal = 0;
  auto each = [&](const json::Value& v, std::string_view) {
    return writeBenchmarkTestCase(w, BenchmarkRecord(v), ++ordinal);
  };
  VYX_TRY(forEachObject(results, each));
  return w.writeAll("</testsuite>\n");
}

Status traceHtml(Writer& w, std::string_view traceDir, std::string_view eventsPath, const LineSource& events,
                 const TraceTotals* totals) {
  VYX_TRY(writeHead(w, "VYX Trace Report", traceDir));
  VYX_TRY(w.writeAll("<section><h2>Trace Summary</h2><dl><dt>Events</dt><dd>"));
  VYX_TRY(w.writeInt(totals->count));
  VYX_TRY(w.writeAll("</dd><dt>Terminal Status</dt><dd>"));
  VYX_TRY(escape(w, totals->terminalStatus));
  VYX_TRY(w.writeAll("</dd><dt>Error</dt><dd>"));
  VYX_TRY(escape(w, totals->terminalError));
  VYX_TRY(w.writeAll(
      "</dd></dl></section>\n<section><h2>Timeline</h2><table><thead><tr><th>Seq</th><th>Kind</th>"
      "<th>Event</th></tr></thead><tbody>\n"));
  int64_t used = 0;
  auto each = [&](const json::Value& v, std::string_view line) -> Status {
    ++used;
    VYX_TRY(w.writeAll("<tr><td>"));
    VYX_TRY(w.writeInt(integerField(v, "seq").value_or(used)));
    VYX_TRY(w.writeAll("</td><td>"));
    VYX_TRY(escape(w, stringField(v, "kind").value_or("")));
    VYX_TRY(w.writeAll("</td><td><code>"));
    VYX_TRY(escape(w, line));
    return w.writeAll("</code></td></tr>\n");
  };
  VYX_TRY(forEachObject(events, each));
  VYX_TRY(w.writeAll("</tbody></table></section>\n<p>"));
  VYX_TRY(report_html::writeArtifactLink(w, eventsPath));
  VYX_TRY(w.writeAll("</p>\n"));
  VYX_TRY(w.writeAll(kWarning));
  return w.writeAll("</body></html>\n");
}

}  // namespace

Status writeBenchmarkHtml(Writer& w, std::string_view sourceDir, const LineSource& results) {
  VYX_TRY_ASSIGN(auto totals, benchmarkTotals(results));
  return benchmarkHtml(w, sourceDir, results, &totals);
}

Status writeBenchmarkJUnit(Writer& w, std::string_view sourceDir, const LineSource& results) {
  VYX_TRY_ASSIGN(auto totals, benchmarkTotals(results));
  return benchmarkJUnit(w, sourceDir, results, &totals);
}

Status writeTraceHtml(Writer& w, std::string_view traceDir, std::string_view eventsPath, const LineSource& events) {
  VYX_TRY_ASSIGN(auto totals, traceTotals(events));
  return traceHtml(w, traceDir, eventsPath, events, &totals);
}

Status writeTraceJUnit(Writer& w, std::string_view traceDir) {
  VYX_TRY_ASSIGN(auto summary, trace_summary::read(std::string(traceDir)));
  const trace_summary::Summary& s = summary;
  bool passed = s.status == "passed";
  int64_t timeMs = s.durationMs && *s.durationMs > 0 ? *s.durationMs : 0;
  VYX_TRY(w.writeAll(kXmlDeclaration));
  VYX_TRY(w.writeAll("<testsuite name=\"VYX\" tests=\"1\" failures=\""));
  VYX_TRY(w.writeAll(passed ? "0" : "1"));
  VYX_TRY(writeSuiteTail(w, timeMs));
  VYX_TRY(writeProperty(w, "traceDir", traceDir));
  VYX_TRY(writeProperty(w, "status", s.status));
  if (s.eventCount) VYX_TRY(writeProperty(w, "eventCount", *s.eventCount));
  if (s.snapshotCount) VYX_TRY(writeProperty(w, "snapshotCount", *s.snapshotCount));
  if (s.failedStepIndex) VYX_TRY(writeProperty(w, "failedStepIndex", *s.failedStepIndex));
  VYX_TRY(w.writeAll("  </properties>\n  <testcase classname=\""));
  VYX_TRY(escape(w, s.appId ? std::string_view(*s.appId) : std::string_view("vyx")));
  VYX_TRY(w.writeAll("\" name=\""));
  VYX_TRY(escape(w, s.scenario));
  VYX_TRY(w.writeAll("\" time=\""));
  VYX_TRY(writeJUnitTime(w, timeMs));
  VYX_TRY(w.writeAll("\">"));
  if (!passed) {
    std::string_view message = s.error ? std::string_view(*s.error) : std::string_view(s.status);
    std::string_view type = s.error ? std::string_view(*s.error) : std::string_view("VYXFailure");
    auto text = [&]() -> Status {
      if (s.failedStepIndex) {
        VYX_TRY(w.writeAll("failedStepIndex="));
        return w.writeInt(*s.failedStepIndex);
      }
      VYX_TRY(w.writeAll("status="));
      return escape(w, s.status);
    };
    VYX_TRY(writeFailure(w, message, type, text));
  }
  VYX_TRY(w.writeAll("</testcase>\n"));
  return w.writeAll("</testsuite>\n");
}

Status writeBenchmarkReport(std::string_view benchmarkDir, std::string_view resultsPath, std::string_view outPath) {
  // The input is read through once before the output file is created.
  FileLines results{std::string(resultsPath)};
  VYX_TRY_ASSIGN(auto totals, benchmarkTotals(results));
  VYX_TRY(refuseInputAsOutput(outPath, {resultsPath}));
  return writeDocumentFile(outPath,
                           [&](Writer& w) { return benchmarkHtml(w, benchmarkDir, results, &totals); });
}

Status writeBenchmarkJUnitReport(std::string_view benchmarkDir, std::string_view resultsPath,
                                 std::string_view junitPath) {
  FileLines results{std::string(resultsPath)};
  VYX_TRY_ASSIGN(auto totals, benchmarkTotals(results));
  VYX_TRY(refuseInputAsOutput(junitPath, {resultsPath}));
  return writeDocumentFile(junitPath,
                           [&](Writer& w) { return benchmarkJUnit(w, benchmarkDir, results, &totals); });
}

// ---------------------------------------------------------------- reportPath

Expected<ReportPathUpdate> ReportPathUpdate::prepare(std::string_view traceDir, std::string_view outPath) {
  ReportPathUpdate update;
  VYX_TRY_ASSIGN(auto dir, trace_files::openDirectory(traceDir));
  auto text = trace_files::readFileBeneath(dir.get(), trace_layout::kManifestFile, limits::kManifestReadBytes);
  if (!text) {
    if (text.error() == Error::FileNotFound) return update;  // nothing to update
    return fail(text.error());
  }
  auto manifest = json::parseValue(*text);
  if (!manifest || !manifest->isObject()) {
    update.manifestError_ = manifest ? Error::InvalidTraceManifest : manifest.error();
    return update;
  }

  json::Value path;
  path.kind = json::Kind::String;
  path.string = relativePath(traceDir, outPath);
  manifest->set("reportPath", std::move(path));
  StringWriter doc;
  VYX_TRY(trace_json::writeJsonValue(doc, *manifest));
  VYX_TRY(doc.writeByte('\n'));
  // The manifest stays within what its readers take.
  if (doc.str().size() >= limits::kManifestReadBytes) return fail(Error::StreamTooLong);
  update.text_ = doc.take();

  VYX_TRY_ASSIGN(auto file, atomic_file::AtomicFile::createBeneath(dir.get(), trace_layout::kManifestFile));
  update.dir_ = std::move(dir);
  update.file_.emplace(std::move(file));
  return update;
}

ReportPathUpdate::ReportPathUpdate(ReportPathUpdate&& other) noexcept
    : dir_(std::move(other.dir_)),
      file_(std::move(other.file_)),
      text_(std::move(other.text_)),
      manifestError_(other.manifestError_) {
  other.file_.reset();
}

ReportPathUpdate::~ReportPathUpdate() { discard(); }

void ReportPathUpdate::discard() {
  file_.reset();
  dir_.reset();
}

Status ReportPathUpdate::commit() {
  if (manifestError_) {
    discard();
    return fail(*manifestError_);
  }
  if (!file_) return {};
  Status written = file_->writeAll(text_);
  if (written) written = file_->commit();
  discard();
  return written;
}

Expected<ReportPathUpdate> writeTraceReportFile(std::string_view traceDir, std::string_view outPath) {
  std::string eventsPath = trace_layout::eventsPath(traceDir);
  FileLines events = FileLines::beneath(std::string(traceDir), std::string(trace_layout::kEventsFile));
  VYX_TRY_ASSIGN(auto totals, traceTotals(events));
  std::string manifestPath = trace_layout::manifestPath(traceDir);
  VYX_TRY(refuseInputAsOutput(outPath, {eventsPath, manifestPath}));
  VYX_TRY_ASSIGN(auto update, ReportPathUpdate::prepare(traceDir, outPath));
  VYX_TRY(writeDocumentFile(outPath,
                            [&](Writer& w) { return traceHtml(w, traceDir, eventsPath, events, &totals); }));
  if (auto e = update.manifestError()) return fail(*e);
  return update;
}

Status writeTraceReport(std::string_view traceDir, std::string_view outPath) {
  VYX_TRY_ASSIGN(auto update, writeTraceReportFile(traceDir, outPath));
  return update.commit();
}

Status writeTraceJUnitReport(std::string_view traceDir, std::string_view junitPath) {
  // The summary is read in full before the output file is created.
  StringWriter doc;
  VYX_TRY(writeTraceJUnit(doc, traceDir));
  VYX_TRY(refuseInputAsOutput(junitPath, {trace_layout::eventsPath(traceDir), trace_layout::manifestPath(traceDir)}));
  return atomic_file::writeWhole(junitPath, doc.str());
}

std::string relativePath(std::string_view dir, std::string_view path) {
  std::string cwd;
  auto absolute = [&](std::string_view p) {
    if (p.starts_with('/')) return std::string(p);
    if (cwd.empty()) cwd = workingDirectory();
    return paths::join(cwd, p);
  };
  std::string absDir = absolute(dir);
  std::string absPath = absolute(path);
  std::vector<std::string_view> from = normalisedComponents(absDir);
  std::vector<std::string_view> to = normalisedComponents(absPath);
  size_t common = 0;
  while (common < from.size() && common < to.size() && from[common] == to[common]) ++common;
  std::string out;
  for (size_t i = common; i < from.size(); ++i) {
    if (!out.empty()) out += '/';
    out += "..";
  }
  for (size_t i = common; i < to.size(); ++i) {
    if (!out.empty()) out += '/';
    out.append(to[i]);
  }
  return out;
}

}  // namespace vyx::report
