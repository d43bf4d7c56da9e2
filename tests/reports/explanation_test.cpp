// The explanation document and text: members present only when the summary
// has them, the diagnostic object, and the follow-up commands quoted for the
// shell from the directory exactly as given.
#include "reports/explanation.hpp"

#include <gtest/gtest.h>

#include "core/writer.hpp"
#include "vyx_test.hpp"

using vyx::Error;
using vyx::StringWriter;
using vyx::test::TempDir;
using vyx::test::writeFile;
namespace ex = vyx::explanation;

namespace {

const char* kFailedManifest =
    R"({"schemaVersion":1,"scenarioName":"login","appId":"com.example.app","status":"failed",)"
    R"("durationMs":1234,"failedStepIndex":2,"error":"WaitTimeout","eventsPath":"events.jsonl",)"
    R"("artifactsDir":"artifacts","eventCount":3,"snapshotCount":1,"partialFailureCount":0,"reportPath":null})"
    "\n";

const char* kFailedEvents =
    R"({"seq":1,"timestampMs":1,"kind":"scenario.start","payload":{}})"
    "\n"
    R"({"seq":2,"timestampMs":2,"kind":"wait.visible.timeout","payload":{"status":"timeout","snapshotId":"snapshot-1",)"
    R"("activePackage":"com.example.app","activeActivity":".Main","error":"WaitTimeout",)"
    R"("visibleTexts":["Sign in","Forgot?","Help"],"nearestTextMatches":[{"stableId":"n1","text":"Sign in","score":80}]}})"
    "\n"
    R"({"seq":3,"timestampMs":3,"kind":"scenario.end","payload":{"status":"failed","failedStepIndex":2,"error":"WaitTimeout"}})"
    "\n";

std::string json(const std::string& dir) {
  StringWriter w;
  auto s = ex::writeTraceExplanationJson(dir, w);
  EXPECT_TRUE(s.has_value()) << (s ? "" : vyx::errorName(s.error()));
  return w.str();
}

std::string text(const std::string& dir) {
  StringWriter w;
  auto s = ex::writeTraceExplanationText(dir, w);
  EXPECT_TRUE(s.has_value()) << (s ? "" : vyx::errorName(s.error()));
  return w.str();
}

}  // namespace

TEST(Explanation, FailedRunWithDiagnostic) {
  TempDir dir;
  writeFile(dir.file("t/trace.json"), kFailedManifest);
  writeFile(dir.file("t/events.jsonl"), kFailedEvents);
  std::string d = dir.file("t");
  EXPECT_EQ(json(d), R"({"ok":true,"traceDir":")" + d +
                         R"(","scenario":"login","status":"failed","appId":"com.example.app","durationMs":1234,)"
                         R"("eventCount":3,"snapshotCount":1,"failedStepIndex":2,"error":"WaitTimeout",)"
                         R"("diagnostic":{"kind":"wait.visible.timeout","status":"timeout","snapshotId":"snapshot-1",)"
                         R"("error":"WaitTimeout","activePackage":"com.example.app","activeActivity":".Main",)"
                         R"x("visibleTexts":["Sign in","Forgot?","Help"],"nearestTextMatches":["Sign in (score 80)"]},)x"
                         R"("lastEvent":"scenario.end","nextCommands":["vyx report )" +
                         d + " --out " + d + "/report.html --junit " + d + R"(/junit.xml","vyx export )" + d +
                         " --out " + d + R"(.vyxtrace --redact"]})" + "\n");
  EXPECT_EQ(text(d),
            "VYX trace explanation\n"
            "scenario: login\n"
            "appId: com.example.app\n"
            "status: failed\n"
            "durationMs: 1234\n"
            "events: 3\n"
            "snapshots: 1\n"
            "failedStepIndex: 2\n"
            "error: WaitTimeout\n"
            "diagnostic: wait.visible.timeout timeout\n"
            "snapshot: snapshot-1\n"
            "activePackage: com.example.app\n"
            "activeActivity: .Main\n"
            "visibleTexts: Sign in | Forgot? | Help\n"
            "nearestTextMatches: Sign in (score 80)\n"
            "lastEvent: scenario.end\n");
}

TEST(Explanation, PassedRunWithoutDiagnosticOrAppId) {
  TempDir dir;
  writeFile(dir.file("trace.json"),
            R"({"scenarioName":"smoke","status":"passed","durationMs":-5,"eventCount":1,"reportPath":"r.html"})");
  writeFile(dir.file("events.jsonl"),
            R"({"seq":1,"timestampMs":1,"kind":"scenario.end","payload":{"status":"passed"}})");
  std::string d = dir.path();
  EXPECT_EQ(json(d), R"({"ok":true,"traceDir":")" + d +
                         R"(","scenario":"smoke","status":"passed","durationMs":-5,"eventCount":1,)"
                         R"("lastEvent":"scenario.end","nextCommands":["vyx report )" +
                         d + " --out " + d + "/report.html --junit " + d + R"(/junit.xml","vyx export )" + d +
                         " --out " + d + R"(.vyxtrace --redact"]})" + "\n");
  EXPECT_EQ(text(d),
            "VYX trace explanation\nscenario: smoke\nstatus: passed\ndurationMs: -5\nevents: 1\n"
            "lastEvent: scenario.end\n");
}

TEST(Explanation, PartialFailureShowsCaptureStatuses) {
  TempDir dir;
  writeFile(dir.file("trace.json"), R"({"scenarioName":"s","status":"partial"})");
  writeFile(dir.file("events.jsonl"),
            R"({"seq":1,"kind":"observe.snapshot.semanticExtraction","payload":{"status":"failed",)"
            R"("artifactStatus":"captured","semanticStatus":"failed","error":"IosShimMissingNodes",)"
            R"("screenshotArtifact":"artifacts/s-1.png","source":"ios-shim"}})");
  std::string out = json(dir.path());
  EXPECT_NE(out.find(R"("diagnostic":{"kind":"observe.snapshot.semanticExtraction","status":"failed",)"
                     R"("artifactStatus":"captured","semanticStatus":"failed","error":"IosShimMissingNodes",)"
                     R"("screenshotArtifact":"artifacts/s-1.png","source":"ios-shim"},)"),
            std::string::npos)
      << out;
  EXPECT_EQ(text(dir.path()),
            "VYX trace explanation\nscenario: s\nstatus: partial\n"
            "diagnostic: observe.snapshot.semanticExtraction failed\n"
            "artifactStatus: captured\nsemanticStatus: failed\n"
            "lastEvent: observe.snapshot.semanticExtraction\n");
}

TEST(Explanation, FollowUpCommandsQuoteTheDirectoryAsGiven) {
  TempDir dir;
  writeFile(dir.file("my run/trace.json"), R"({"scenarioName":"s","status":"running"})");
  writeFile(dir.file("it's/trace.json"), R"({"scenarioName":"s","status":"running"})");
  struct Case {
    std::string traceDir;
    std::string commands;
  };
  const std::string base = dir.path();
  const Case cases[] = {
      {base + "/my run",
       R"("vyx report ')" + base + R"(/my run' --out ')" + base + R"(/my run/report.html' --junit ')" + base +
           R"(/my run/junit.xml'","vyx export ')" + base + R"(/my run' --out ')" + base +
           R"(/my run.vyxtrace' --redact")"},
      {base + "/my run/",
       R"("vyx report ')" + base + R"(/my run/' --out ')" + base + R"(/my run/report.html' --junit ')" + base +
           R"(/my run/junit.xml'","vyx export ')" + base + R"(/my run/' --out ')" + base +
           R"(/my run/.vyxtrace' --redact")"},
      {base + "/it's",
       R"("vyx report ')" + base + R"(/it'\\''s' --out ')" + base + R"(/it'\\''s/report.html' --junit ')" + base +
           R"(/it'\\''s/junit.xml'","vyx export ')" + base + R"(/it'\\''s' --out ')" + base +
           R"(/it'\\''s.vyxtrace' --redact")"},
  };
  for (const Case& c : cases) {
    std::string out = json(c.traceDir);
    EXPECT_NE(out.find(R"("nextCommands":[)" + c.commands + "]}\n"), std::string::npos) << out;
  }
}

TEST(Explanation, UnreadableSummaryWritesNothing) {
  TempDir dir;
  writeFile(dir.file("array/trace.json"), "[1]");
  writeFile(dir.file("broken/trace.json"), "{");
  struct Case {
    std::string dir;
    Error error;
  };
  const Case cases[] = {{dir.file("none"), Error::FileNotFound},
                        {dir.file("array"), Error::InvalidTraceManifest},
                        {dir.file("broken"), Error::UnexpectedEndOfInput}};
  for (const Case& c : cases) {
    StringWriter w;
    auto s = ex::writeTraceExplanationJson(c.dir, w);
    ASSERT_FALSE(s.has_value()) << c.dir;
    EXPECT_EQ(s.error(), c.error) << c.dir;
    EXPECT_EQ(w.str(), "");
  }
}
