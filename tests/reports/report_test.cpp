// The documents of `vyx report`, built in memory: the benchmark HTML and
// JUnit (pass rule, statistics, cells, escaping), the trace HTML and JUnit,
// the relative report path, and what happens to trace.json.
#include "reports/report.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include "core/writer.hpp"
#include "vyx_test.hpp"

using vyx::Error;
using vyx::StringWriter;
using vyx::test::readFile;
using vyx::test::TempDir;
using vyx::test::writeFile;
namespace report = vyx::report;

namespace {

const std::string kHead =
    "<!doctype html><html><head><meta charset=\"utf-8\"><title>TITLE</title><style>\n"
    "body{font-family:system-ui,-apple-system,BlinkMacSystemFont,\"Segoe UI\",sans-serif;margin:32px;color:#17202a;"
    "background:#f7f8fa}\n"
    "h1,h2{color:#111827}\n"
    "section{margin:24px 0}\n"
    "dl{display:grid;grid-template-columns:max-content 1fr;gap:8px 16px}\n"
    "dt{font-weight:700}\n"
    "table{border-collapse:collapse;width:100%;background:#fff}\n"
    "th,td{border:1px solid #d8dee6;padding:8px;text-align:left;vertical-align:top}\n"
    "th{background:#eef2f7}\n"
    ".ok{color:#116329;font-weight:700}\n"
    ".failed{color:#b42318;font-weight:700}\n"
    ".muted{color:#667085}\n"
    ".warning{border-left:4px solid #b54708;background:#fff7ed;padding:12px}\n"
    "code{white-space:pre-wrap;word-break:break-word}\n"
    "</style></head><body>\n"
    "<h1>TITLE</h1>\n";

const std::string kWarning =
    "<p class=\"warning\">Screenshots and raw UI XML may contain app data. Sanitize trace bundles before public "
    "sharing.</p>\n";

std::string head(const std::string& title, const std::string& source) {
  std::string h = kHead;
  for (size_t at; (at = h.find("TITLE")) != std::string::npos;) h.replace(at, 5, title);
  return h + "<p class=\"muted\">Source: " + source + "</p>\n";
}

std::string benchmarkHtml(const std::string& results, const std::string& source = "bench") {
  StringWriter w;
  auto s = report::writeBenchmarkHtml(w, source, report::TextLines(results));
  EXPECT_TRUE(s.has_value()) << (s ? "" : vyx::errorName(s.error()));
  return w.str();
}

std::string benchmarkJUnit(const std::string& results, const std::string& source = "bench") {
  StringWriter w;
  auto s = report::writeBenchmarkJUnit(w, source, report::TextLines(results));
  EXPECT_TRUE(s.has_value()) << (s ? "" : vyx::errorName(s.error()));
  return w.str();
}

// The summary list of a benchmark document.
std::string summaryOf(const std::string& html) {
  size_t from = html.find("<dt>Pass Rate</dt>");
  size_t to = html.find("</dd></dl>");
  return html.substr(from, to - from);
}

std::string durations(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += "{\"status\":\"ok\",\"durationMs\":" + std::to_string(v) + "}\n";
  return out;
}

}  // namespace

TEST(Report, BenchmarkDocumentsByteForByte) {
  const std::string results =
      "\n[1,2]\n"
      R"({"run":1,"tool":"a<b>&'c\"","status":"ok","durationMs":100,"traceDir":"/no/such/run1"})" "\n"
      R"({"run":2,"status":"failed","traceStatus":"failed","traceError":"WaitTimeout","failedStepIndex":2,)"
      R"("traceDir":"t/1","durationMs":250})" "\r\n"
      R"({"status":"ok","traceStatus":"","durationMs":-5,"tool":7})";
  EXPECT_EQ(benchmarkHtml(results),
            head("VYX Report", "bench") +
                "<section><h2>Benchmark Summary</h2><dl><dt>Pass Rate</dt><dd>2/3</dd><dt>Failures</dt><dd>1</dd>"
                "<dt>Mean</dt><dd>175ms</dd><dt>P95</dt><dd>100ms</dd></dl></section>\n"
                "<section><h2>Runs</h2><table><thead><tr><th>Run</th><th>Tool</th><th>Status</th><th>Duration</th>"
                "<th>Trace Status</th><th>Failure</th><th>Artifacts</th></tr></thead><tbody>\n"
                "<tr><td>1</td><td>a&lt;b&gt;&amp;&#39;c&quot;</td><td class=\"ok\">ok</td><td>100</td><td></td>"
                "<td></td><td><a href=\"file:///no/such/run1/events.jsonl\">events.jsonl</a></td></tr>\n"
                "<tr><td>2</td><td></td><td class=\"failed\">failed</td><td>250</td><td>failed</td>"
                "<td>failedStepIndex=2 WaitTimeout</td><td><a href=\"file://t/1/events.jsonl\">events.jsonl</a></td>"
                "</tr>\n"
                "<tr><td>0</td><td></td><td class=\"ok\">ok</td><td>-5</td><td></td><td></td><td></td></tr>\n"
                "</tbody></table></section>\n" +
                kWarning + "</body></html>\n");
  EXPECT_EQ(benchmarkJUnit(results),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<testsuite name=\"VYX Benchmark\" tests=\"3\" failures=\"1\" errors=\"0\" skipped=\"0\" time=\"0.350\">\n"
            "  <properties>\n"
            "    <property name=\"source\" value=\"bench\"/>\n"
            "  </properties>\n"
            "  <testcase classname=\"a&lt;b&gt;&amp;&#39;c&quot;\" name=\"run 1\" time=\"0.100\"></testcase>\n"
            "  <testcase classname=\"vyx\" name=\"run 2\" time=\"0.250\"><failure message=\"WaitTimeout\" "
            "type=\"VYXFailure\">failedStepIndex=2 traceDir=t/1</failure></testcase>\n"
            "  <testcase classname=\"vyx\" name=\"run 3\" time=\"0.000\"></testcase>\n"
            "</testsuite>\n");
}

TEST(Report, BenchmarkPassRuleAndStatistics) {
  struct Case {
    std::string results;
    std::string summary;
  };
  const Case cases[] = {
      {"", "<dt>Pass Rate</dt><dd>0/0</dd><dt>Failures</dt><dd>0</dd><dt>Mean</dt><dd>0ms</dd><dt>P95</dt><dd>0ms"},
      {R"({"status":"ok","traceStatus":"passed"})" "\n" R"({"status":"ok","traceStatus":"failed"})" "\n"
       R"({"traceStatus":"passed"})" "\n" R"({"status":"OK"})",
       "<dt>Pass Rate</dt><dd>1/4</dd><dt>Failures</dt><dd>3</dd><dt>Mean</dt><dd>0ms</dd><dt>P95</dt><dd>0ms"},
      {durations({100, 200}) + R"({"status":"ok"})",
       "<dt>Pass Rate</dt><dd>3/3</dd><dt>Failures</dt><dd>0</dd><dt>Mean</dt><dd>100ms</dd><dt>P95</dt><dd>100ms"},
      {durations({20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}),
       "<dt>Pass Rate</dt><dd>20/20</dd><dt>Failures</dt><dd>0</dd><dt>Mean</dt><dd>10ms</dd><dt>P95</dt>"
       "<dd>19ms"},
      {durations({7, -3}) + R"({"status":"ok","durationMs":2.5})",
       "<dt>Pass Rate</dt><dd>3/3</dd><dt>Failures</dt><dd>0</dd><dt>Mean</dt><dd>3ms</dd><dt>P95</dt><dd>0ms"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(summaryOf(benchmarkHtml(c.results)), c.summary) << c.results;
  }
  EXPECT_NE(benchmarkJUnit(durations({5, 999, 60000, -4})).find("tests=\"4\" failures=\"0\" errors=\"0\" skipped=\"0\" "
                                                               "time=\"61.004\""),
            std::string::npos);
}

TEST(Report, BadBenchmarkInputWritesNothing) {
  struct Case {
    std::string results;
    Error error;
  };
  const Case cases[] = {
      {durations({1}) + "{\"status\":", Error::UnexpectedEndOfInput},
      {"{\"a\":1,\"a\":2}", Error::DuplicateField},
      {durations({1}) + "{\"durationMs\":9223372036854775807}", Error::Overflow},
  };
  for (const Case& c : cases) {
    StringWriter html;
    auto s = report::writeBenchmarkHtml(html, "b", report::TextLines(c.results));
    ASSERT_FALSE(s.has_value());
    EXPECT_EQ(s.error(), c.error);
    EXPECT_EQ(html.str(), "");
    StringWriter junit;
    auto j = report::writeBenchmarkJUnit(junit, "b", report::TextLines(c.results));
    ASSERT_FALSE(j.has_value());
    EXPECT_EQ(j.error(), c.error);
    EXPECT_EQ(junit.str(), "");
  }
}

TEST(Report, TraceHtmlByteForByte) {
  const std::string events =
      R"({"seq":1,"kind":"scenario.start","payload":{"name":"<login>"}})" "\n"
      R"({"kind":"scenario.end","payload":{"status":"failed","error":"WaitTimeout"}})" "\n"
      "\n"
      R"(  {"seq":10,"kind":"scenario.end","payload":{"status":"passed"}}  )" "\n"
      R"("not an object")" "\n"
      R"({"kind":5})";
  StringWriter w;
  ASSERT_TRUE(report::writeTraceHtml(w, "t'1", "/no/such/events.jsonl", report::TextLines(events)).has_value());
  EXPECT_EQ(w.str(),
            head("VYX Trace Report", "t&#39;1") +
                "<section><h2>Trace Summary</h2><dl><dt>Events</dt><dd>4</dd><dt>Terminal Status</dt><dd>passed</dd>"
                "<dt>Error</dt><dd>WaitTimeout</dd></dl></section>\n"
                "<section><h2>Timeline</h2><table><thead><tr><th>Seq</th><th>Kind</th><th>Event</th></tr></thead>"
                "<tbody>\n"
                "<tr><td>1</td><td>scenario.start</td><td><code>{&quot;seq&quot;:1,&quot;kind&quot;:&quot;"
                "scenario.start&quot;,&quot;payload&quot;:{&quot;name&quot;:&quot;&lt;login&gt;&quot;}}</code></td>"
                "</tr>\n"
                "<tr><td>2</td><td>scenario.end</td><td><code>{&quot;kind&quot;:&quot;scenario.end&quot;,&quot;"
                "payload&quot;:{&quot;status&quot;:&quot;failed&quot;,&quot;error&quot;:&quot;WaitTimeout&quot;}}"
                "</code></td></tr>\n"
                "<tr><td>10</td><td>scenario.end</td><td><code>{&quot;seq&quot;:10,&quot;kind&quot;:&quot;"
                "scenario.end&quot;,&quot;payload&quot;:{&quot;status&quot;:&quot;passed&quot;}}</code></td></tr>\n"
                "<tr><td>4</td><td></td><td><code>{&quot;kind&quot;:5}</code></td></tr>\n"
                "</tbody></table></section>\n"
                "<p><a href=\"file:///no/such/events.jsonl\">events.jsonl</a></p>\n" +
                kWarning + "</body></html>\n");
}

TEST(Report, TraceJUnit) {
  TempDir dir;
  struct Case {
    std::string manifest;
    std::string expected;
  };
  const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  const Case cases[] = {
      {R"({"scenarioName":"Sign in","appId":"com.example.app","status":"passed","durationMs":1500,"eventCount":9,)"
       R"("snapshotCount":2})",
       decl +
           "<testsuite name=\"VYX\" tests=\"1\" failures=\"0\" errors=\"0\" skipped=\"0\" time=\"1.500\">\n"
           "  <properties>\n"
           "    <property name=\"traceDir\" value=\"DIR\"/>\n"
           "    <property name=\"status\" value=\"passed\"/>\n"
           "    <property name=\"eventCount\" value=\"9\"/>\n"
           "    <property name=\"snapshotCount\" value=\"2\"/>\n"
           "  </properties>\n"
           "  <testcase classname=\"com.example.app\" name=\"Sign in\" time=\"1.500\"></testcase>\n"
           "</testsuite>\n"},
      {R"({"scenarioName":"s","status":"failed","failedStepIndex":3,"error":"WaitTimeout","durationMs":-1})",
       decl +
           "<testsuite name=\"VYX\" tests=\"1\" failures=\"1\" errors=\"0\" skipped=\"0\" time=\"0.000\">\n"
           "  <properties>\n"
           "    <property name=\"traceDir\" value=\"DIR\"/>\n"
           "    <property name=\"status\" value=\"failed\"/>\n"
           "    <property name=\"failedStepIndex\" value=\"3\"/>\n"
           "  </properties>\n"
           "  <testcase classname=\"vyx\" name=\"s\" time=\"0.000\"><failure message=\"WaitTimeout\" "
           "type=\"WaitTimeout\">failedStepIndex=3</failure></testcase>\n"
           "</testsuite>\n"},
      {R"({"scenarioName":"s","status":"partial"})",
       decl +
           "<testsuite name=\"VYX\" tests=\"1\" failures=\"1\" errors=\"0\" skipped=\"0\" time=\"0.000\">\n"
           "  <properties>\n"
           "    <property name=\"traceDir\" value=\"DIR\"/>\n"
           "    <property name=\"status\" value=\"partial\"/>\n"
           "  </properties>\n"
           "  <testcase classname=\"vyx\" name=\"s\" time=\"0.000\"><failure message=\"partial\" "
           "type=\"VYXFailure\">status=partial</failure></testcase>\n"
           "</testsuite>\n"},
  };
  for (const Case& c : cases) {
    writeFile(dir.file("trace.json"), c.manifest);
    StringWriter w;
    ASSERT_TRUE(report::writeTraceJUnit(w, dir.path()).has_value());
    std::string expected = c.expected;
    expected.replace(expected.find("DIR"), 3, dir.path());
    EXPECT_EQ(w.str(), expected);
  }
}

TEST(Report, RelativePathIsLexical) {
  TempDir dir;
  char buffer[4096];
  ASSERT_NE(::getcwd(buffer, sizeof buffer), nullptr);
  std::string here = buffer;
  struct Case {
    std::string dir;
    std::string path;
    std::string expected;
  };
  const Case cases[] = {
      {"traces/run1", "traces/run1/report.html", "report.html"},
      {"traces/run1/", "./traces//run1/./report.html", "report.html"},
      {"traces/run1", "out/r.html", "../../out/r.html"},
      {"/a/b/c", "/a/x/y.html", "../../x/y.html"},
      {"/a/b/../c", "/a/c/d/r.html", "d/r.html"},
      {"t", here + "/t/r.html", "r.html"},
      {"/../..", "/r.html", "r.html"},
  };
  for (const Case& c : cases) EXPECT_EQ(report::relativePath(c.dir, c.path), c.expected) << c.dir << " " << c.path;
}

TEST(Report, TraceReportRecordsItsPathInTheManifest) {
  TempDir dir;
  const std::string t = dir.file("traces/run1");
  writeFile(t + "/events.jsonl", R"({"seq":1,"kind":"scenario.end","payload":{"status":"passed"}})" "\n");

  struct Case {
    std::string manifest;
    std::string out;
    std::string expected;
  };
  const Case cases[] = {
      {R"({"scenarioName":"s","reportPath":null,"n":[1.5,null,{}],"u":"é\u0001"})" "\n", t + "/report.html",
       R"({"scenarioName":"s","reportPath":"report.html","n":[1.5,null,{}],"u":"é\u0001"})" "\n"},
      {R"({ "scenarioName" : "s" })", dir.file("out/r.html"),
       R"({"scenarioName":"s","reportPath":"../../out/r.html"})" "\n"},
  };
  for (const Case& c : cases) {
    writeFile(t + "/trace.json", c.manifest);
    writeFile(dir.file("out/.keep"), "");
    ASSERT_TRUE(report::writeTraceReport(t, c.out).has_value()) << c.out;
    EXPECT_EQ(readFile(t + "/trace.json"), c.expected);
    EXPECT_NE(readFile(c.out).find("<h1>VYX Trace Report</h1>"), std::string::npos);
  }

  // No manifest: the report is still written; a manifest that is not an
  // object fails after the report was written.
  std::remove((t + "/trace.json").c_str());
  ASSERT_TRUE(report::writeTraceReport(t, t + "/a.html").has_value());
  EXPECT_FALSE(vyx::test::fileExists(t + "/trace.json"));
  writeFile(t + "/trace.json", "[]");
  auto s = report::writeTraceReport(t, t + "/b.html");
  ASSERT_FALSE(s.has_value());
  EXPECT_EQ(s.error(), Error::InvalidTraceManifest);
  EXPECT_TRUE(vyx::test::fileExists(t + "/b.html"));
}

TEST(Report, FailedDocumentsLeaveTheOutputAlone) {
  TempDir dir;
  writeFile(dir.file("t/trace.json"), "{}");
  writeFile(dir.file("out/r.html"), "earlier");
  auto missing = report::writeTraceReport(dir.file("t"), dir.file("out/r.html"));
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error(), Error::FileNotFound);
  writeFile(dir.file("t/events.jsonl"), "{\"seq\":1}\n{oops}\n");
  auto broken = report::writeTraceReport(dir.file("t"), dir.file("out/r.html"));
  ASSERT_FALSE(broken.has_value());
  EXPECT_EQ(broken.error(), Error::SyntaxError);
  EXPECT_EQ(readFile(dir.file("out/r.html")), "earlier");
  EXPECT_EQ(readFile(dir.file("t/trace.json")), "{}");
  EXPECT_EQ(vyx::test::splitLines(vyx::test::runProgram({"/bin/ls", "-A", dir.file("out")}).out),
            std::vector<std::string>{"r.html"});

  // An output path naming one of the inputs would lose it.
  writeFile(dir.file("t/events.jsonl"), "{\"seq\":1}\n");
  for (const char* input : {"t/events.jsonl", "t/trace.json"}) {
    auto refused = report::writeTraceReport(dir.file("t"), dir.file(input));
    ASSERT_FALSE(refused.has_value()) << input;
    EXPECT_EQ(refused.error(), Error::PathAlreadyExists);
  }
  EXPECT_EQ(readFile(dir.file("t/events.jsonl")), "{\"seq\":1}\n");
  EXPECT_EQ(readFile(dir.file("t/trace.json")), "{}");
}
