// `vyx report` through the real binary: argument rules, the lines it
// prints, the trace's "reportPath", and documents that their readers accept:
// the JUnit XML passes xmllint, and the HTML report opens in headless
// Chromium without console messages (a screenshot of it is kept in the
// test's working directory as trace-report.png).
#include <gtest/gtest.h>

#include "core/clock.hpp"
#include "core/trace.hpp"
#include "programs.hpp"
#include "vyx_test.hpp"
#include "fake_clock.hpp"

using vyx::test::findProgram;
using vyx::test::readFile;
using vyx::test::runProgram;
using vyx::test::runVyx;
using vyx::test::TempDir;
using vyx::test::writeFile;

namespace {

const std::string kUnknownFlag =
    "error[cli.unknown_flag]: unknown flag\nhint: run `vyx help` for each command's flags and arguments.\n";

// A failed run as `vyx run` records it, with markup and quotes in its texts.
void writeTrace(const std::string& t) {
  writeFile(t + "/trace.json",
            R"({"schemaVersion":1,"scenarioName":"Sign in <& \"quotes\">","appId":"com.example.app",)"
            R"("status":"failed","durationMs":4321,"failedStepIndex":1,"error":"WaitTimeout",)"
            R"("eventsPath":"events.jsonl","artifactsDir":"artifacts","eventCount":3,"snapshotCount":1,)"
            R"("partialFailureCount":0,"reportPath":null})" "\n");
  writeFile(t + "/events.jsonl",
            R"({"seq":1,"timestampMs":1,"kind":"scenario.start","payload":{"value":"Sign in <& \"quotes\">"}})" "\n"
            R"({"seq":2,"timestampMs":2,"kind":"wait.visible","payload":{"status":"timeout","snapshotId":"snapshot-1",)"
            R"("visibleTexts":["Welcome","it's <b>"]}})" "\n"
            R"({"seq":3,"timestampMs":3,"kind":"scenario.end","payload":{"status":"failed","failedStepIndex":1,)"
            R"("error":"WaitTimeout"}})" "\n");
}

// A failed run written by the trace writer itself, the way `vyx run`
// records one: a snapshot with markup in its texts, a wait that timed out,
// the end of the scenario.
void writeRecordedTrace(const std::string& t) {
  vyx::FakeClock clock;
  auto writer = vyx::TraceWriter::create(t, {}, clock);
  ASSERT_TRUE(writer.has_value());
  ASSERT_TRUE(writer->startManifest("Sign in <& \"quotes\">", "com.example.app").has_value());
  vyx::ObservationSnapshot snap;
  snap.id = writer->nextSnapshotId();
  snap.nodes.push_back(vyx::UiNode{.stableId = "n1", .className = "android.widget.TextView", .text = "it's <b>"});
  ASSERT_TRUE(writer->writeSnapshot(snap).has_value());
  ASSERT_TRUE(writer->recordEvent("observe.snapshot", R"({"value":"artifacts/snapshot-1.json"})").has_value());
  clock.advance(1500);
  ASSERT_TRUE(writer->recordEvent("wait.visible", R"({"status":"timeout","snapshotId":"snapshot-1",)"
                                                  R"("visibleTexts":["it's <b>"],"timeoutMs":1000})")
                  .has_value());
  ASSERT_TRUE(writer->recordEvent("scenario.end", R"({"status":"failed","failedStepIndex":1,"error":"WaitTimeout"})")
                  .has_value());
  ASSERT_TRUE(writer->finishManifest("failed", 1, "WaitTimeout", std::nullopt).has_value());
}

const std::string kResults =
    R"({"run":1,"tool":"vyx","status":"ok","traceStatus":"passed","durationMs":1200,"traceDir":"runs/1"})" "\n"
    R"({"run":2,"tool":"vyx <beta>","status":"failed","traceStatus":"failed","traceError":"WaitTimeout",)"
    R"("failedStepIndex":3,"durationMs":5400,"traceDir":"runs/2"})" "\n";

}  // namespace

TEST(ReportCommand, ArgumentErrors) {
  TempDir dir;
  writeTrace(dir.file("t"));
  vyx::test::RunOptions in;
  in.cwd = dir.path();
  const std::string noInput = "error[cli.missing_report_input]: missing report input path\n";
  const std::string noOutput = "error[cli.missing_report_output]: missing report output path\n";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"report"}, noInput},
      {{"report", "--out", "r.html"}, noInput},
      {{"report", "t"}, noOutput},
      {{"report", "t", "--out"}, noOutput},
      {{"report", "--junit", "r.xml", "--out"}, noOutput},
      {{"report", "t", "--out", "r.html", "--junit"},
       "error[cli.missing_junit_output]: missing JUnit output path\n"},
      {{"report", "--x", "--out", "r.html"}, kUnknownFlag},
      {{"report", "t", "--", "--out", "r.html"}, kUnknownFlag},
      {{"report", "t", "u", "--out", "r.html"}, kUnknownFlag},
  };
  for (const Case& c : cases) {
    auto r = runVyx(c.args, in);
    EXPECT_EQ(r.status, 2) << c.args.back();
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err) << c.args.back();
  }
  EXPECT_FALSE(vyx::test::fileExists(dir.file("r.html")));

  // A single dash, or a word with one leading dash, is a directory.
  auto dash = runVyx({"report", "-", "--out", "r.html"}, in);
  EXPECT_EQ(dash.status, 1);
  EXPECT_EQ(dash.err, "error[scenario.file_not_found]: scenario file was not found\n");
}

TEST(ReportCommand, TraceReportAndJUnit) {
  TempDir dir;
  writeTrace(dir.file("traces/run1"));
  vyx::test::RunOptions in;
  in.cwd = dir.path();
  auto r = runVyx({"report", "traces/run1", "--junit", "out/x.xml", "--out", "out/first.html", "--out", "out/r.html"},
                  [&] {
                    writeFile(dir.file("out/.keep"), "");
                    return in;
                  }());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "wrote out/r.html\nwrote out/x.xml\n");
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(vyx::test::fileExists(dir.file("out/first.html")));
  std::string manifest = readFile(dir.file("traces/run1/trace.json"));
  EXPECT_NE(manifest.find(R"("reportPath":"../../out/r.html"})"), std::string::npos) << manifest;
  // The JUnit document is built after the manifest changed.
  EXPECT_NE(readFile(dir.file("out/x.xml")).find(R"(<failure message="WaitTimeout" type="WaitTimeout">)"
                                                 R"(failedStepIndex=1</failure>)"),
            std::string::npos);

  // A failing JUnit step keeps the report and its line.
  writeFile(dir.file("bare/events.jsonl"), "{\"seq\":1}\n");
  auto partial = runVyx({"report", "bare", "--out", "bare/report.html", "--junit", "bare/junit.xml"}, in);
  EXPECT_EQ(partial.status, 1);
  EXPECT_EQ(partial.out, "wrote bare/report.html\n");
  EXPECT_EQ(partial.err, "error[scenario.file_not_found]: scenario file was not found\n");
  EXPECT_FALSE(vyx::test::fileExists(dir.file("bare/junit.xml")));
}

TEST(ReportCommand, BenchmarkDirectory) {
  TempDir dir;
  writeFile(dir.file("bench/results.jsonl"), kResults);
  vyx::test::RunOptions in;
  in.cwd = dir.path();
  auto r = runVyx({"report", "bench", "--out", "bench.html", "--junit", "bench.xml"}, in);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "wrote bench.html\nwrote bench.xml\n");
  std::string html = readFile(dir.file("bench.html"));
  EXPECT_NE(html.find("<dt>Pass Rate</dt><dd>1/2</dd><dt>Failures</dt><dd>1</dd><dt>Mean</dt><dd>3300ms</dd>"),
            std::string::npos);
  EXPECT_NE(html.find("<td>failedStepIndex=3 WaitTimeout</td><td><a href=\"file://runs/2/events.jsonl\">"),
            std::string::npos);
  EXPECT_NE(readFile(dir.file("bench.xml")).find("<testsuite name=\"VYX Benchmark\" tests=\"2\" failures=\"1\" "
                                                 "errors=\"0\" skipped=\"0\" time=\"6.600\">"),
            std::string::npos);

  writeFile(dir.file("broken/results.jsonl"), kResults + "{\"run\":\n");
  auto broken = runVyx({"report", "broken", "--out", "broken.html"}, in);
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.out, "");
  EXPECT_EQ(broken.err, "error[internal.error]: UnexpectedEndOfInput\n");
  EXPECT_FALSE(vyx::test::fileExists(dir.file("broken.html")));
}

TEST(ReportCommand, JUnitPassesXmllint) {
  std::string xmllint = findProgram("xmllint");
  if (xmllint.empty()) GTEST_SKIP() << "xmllint is not installed (package libxml2-utils; scripts/setup.sh installs it)";
  TempDir dir;
  writeRecordedTrace(dir.file("t"));
  writeFile(dir.file("bench/results.jsonl"), kResults);
  ASSERT_EQ(runVyx({"report", dir.file("t"), "--out", dir.file("t.html"), "--junit", dir.file("t.xml")}).status, 0);
  ASSERT_EQ(runVyx({"report", dir.file("bench"), "--out", dir.file("b.html"), "--junit", dir.file("b.xml")}).status,
            0);
  for (const char* name : {"t.xml", "b.xml"}) {
    auto lint = runProgram({xmllint, "--noout", dir.file(name)});
    EXPECT_EQ(lint.status, 0) << name << ": " << lint.err;
    EXPECT_EQ(lint.err, "") << name;
  }
}

TEST(ReportCommand, ForeignBytesBecomeReplacementCharacters) {
  // A trace from elsewhere whose scenario name and events hold stray bytes
  // and control characters: XML allows neither, so each comes out as U+FFFD
  // in the JUnit file and the page.
  TempDir dir;
  writeRecordedTrace(dir.file("t"));
  std::string manifest = readFile(dir.file("t/trace.json"));
  const std::string name = "Sign in <& \\\"quotes\\\">";
  const size_t at = manifest.find(name);
  ASSERT_NE(at, std::string::npos) << manifest;
  manifest.replace(at, name.size(), "Sign\xff in\\u0001 \xc3\xa9");
  writeFile(dir.file("t/trace.json"), manifest);
  std::string events = readFile(dir.file("t/events.jsonl"));
  const size_t text = events.find("it's <b>");
  ASSERT_NE(text, std::string::npos) << events;
  events.replace(text, 8, "it's\xff");
  writeFile(dir.file("t/events.jsonl"), events);
  ASSERT_EQ(runVyx({"report", dir.file("t"), "--out", dir.file("t.html"), "--junit", dir.file("t.xml")}).status, 0);
  const std::string replaced = "Sign\xEF\xBF\xBD in\xEF\xBF\xBD \xc3\xa9";
  EXPECT_NE(readFile(dir.file("t.xml")).find("<testcase classname=\"com.example.app\" name=\"" + replaced + "\""), std::string::npos)
      << readFile(dir.file("t.xml"));
  EXPECT_NE(readFile(dir.file("t.html")).find("it&#39;s\xEF\xBF\xBD"), std::string::npos);
  std::string xmllint = findProgram("xmllint");
  if (xmllint.empty()) GTEST_SKIP() << "xmllint is not installed (package libxml2-utils; scripts/setup.sh installs it)";
  auto lint = runProgram({xmllint, "--noout", dir.file("t.xml")});
  EXPECT_EQ(lint.status, 0) << lint.err;
}

TEST(ReportCommand, HtmlOpensInChromium) {
  std::string chromium = findProgram("chromium");
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
  TempDir dir;
  writeRecordedTrace(dir.file("t"));
  ASSERT_EQ(runVyx({"report", dir.file("t"), "--out", dir.file("t/report.html")}).status, 0);
  const std::string url = "file://" + dir.file("t/report.html");
  auto browse = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {chromium,
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--user-data-dir=" + dir.file("profile-" + std::to_string(extra.size())),
                                     "--enable-logging=stderr",
                                     "--v=0"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(url);
    return runProgram(argv);
  };

  const std::string shot = dir.file("trace-report.png");
  auto screenshot = browse({"--window-size=1280,900", "--screenshot=" + shot});
  ASSERT_EQ(screenshot.status, 0) << screenshot.err;
  EXPECT_EQ(screenshot.err.find(":CONSOLE"), std::string::npos) << screenshot.err;
  std::string png = readFile(shot);
  ASSERT_GT(png.size(), 1000u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  writeFile("trace-report.png", png);  // kept beside the test for a person to look at

  // The page Chromium built holds the summary and one row per event.
  auto dom = browse({"--dump-dom"});
  ASSERT_EQ(dom.status, 0) << dom.err;
  EXPECT_EQ(dom.err.find(":CONSOLE"), std::string::npos) << dom.err;
  EXPECT_NE(dom.out.find("<title>VYX Trace Report</title>"), std::string::npos);
  EXPECT_NE(dom.out.find("<dt>Terminal Status</dt><dd>failed</dd><dt>Error</dt><dd>WaitTimeout</dd>"),
            std::string::npos);
  size_t rows = 0;
  for (size_t at = 0; (at = dom.out.find("<tr><td>", at)) != std::string::npos; ++at) ++rows;
  EXPECT_EQ(rows, 3u);
}
