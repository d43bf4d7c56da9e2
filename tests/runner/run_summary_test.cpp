// The short and long JSON summaries of `vyx run --json`, byte for byte.
#include "runner/run_summary.hpp"

#include <gtest/gtest.h>

#include "core/writer.hpp"

using vyx::Error;
using vyx::Status;
namespace rs = vyx::run_summary;
namespace ts = vyx::trace_summary;

namespace {

std::string shortOf(const Status& outcome, const rs::Discovery& d = {}) {
  vyx::StringWriter w;
  EXPECT_TRUE(rs::writeShort(w, outcome, "smoke \"one\"", "com.example.app", d));
  return w.str();
}

std::string longOf(const ts::Summary& s, std::string_view dir, const Status& outcome, const rs::Discovery& d = {}) {
  vyx::StringWriter w;
  EXPECT_TRUE(rs::writeLong(w, s, dir, outcome, d));
  return w.str();
}

const std::string kNextPlain =
    R"("nextCommands":["vyx report traces/run --out traces/run/report.html --junit traces/run/junit.xml",)"
    R"("vyx explain traces/run --json",)"
    R"("vyx discover --from-trace traces/run --out .vyx/discovered/replay-smoke.json --include-actions --validate --force --json",)"
    R"("vyx export traces/run --out traces/run.vyxtrace --redact"]})"
    "\n";

}  // namespace

TEST(RunSummary, ShortForm) {
  EXPECT_EQ(shortOf({}), R"({"ok":true,"status":"passed","scenario":"smoke \"one\"","appId":"com.example.app"})"
                         "\n");
  EXPECT_EQ(shortOf(vyx::fail(Error::WaitTimeout)),
            R"({"ok":false,"status":"failed","scenario":"smoke \"one\"","appId":"com.example.app","error":"WaitTimeout"})"
            "\n");
  rs::Discovery d{std::string(R"({"ok":true})"), std::nullopt};
  EXPECT_EQ(shortOf({}, d),
            R"({"ok":true,"status":"passed","scenario":"smoke \"one\"","appId":"com.example.app","discovery":{"ok":true}})"
            "\n");
  rs::Discovery e{std::nullopt, std::string("FileNotFound")};
  EXPECT_EQ(shortOf({}, e),
            R"({"ok":true,"status":"passed","scenario":"smoke \"one\"","appId":"com.example.app","discoveryError":"FileNotFound"})"
            "\n");
}

TEST(RunSummary, LongFormMinimal) {
  ts::Summary s;
  s.scenario = "smoke";
  s.status = "passed";
  EXPECT_EQ(longOf(s, "traces/run", {}),
            R"({"ok":true,"status":"passed","scenario":"smoke","traceDir":"traces/run","eventsPath":"events.jsonl",)"
            R"("artifactsDir":"artifacts",)" +
                kNextPlain);
}

TEST(RunSummary, LongFormFull) {
  ts::Summary s;
  s.scenario = "smoke";
  s.status = "partial";
  s.appId = "com.example.app";
  s.durationMs = 42;
  s.eventCount = 9;
  s.snapshotCount = 3;
  s.partialFailureCount = 1;
  s.failedStepIndex = -1;
  s.error = "WaitTimeout";
  s.reportPath = "report.html";
  ts::DiagnosticEvent p;
  p.kind = "observe.snapshot.semanticExtraction";
  p.status = "failed";
  p.semanticStatus = "failed";
  p.source = "xctest";
  p.snapshotId = "snapshot-1";  // not part of the summary's object
  s.partialFailure = p;
  rs::Discovery d{std::nullopt, std::string("SemanticSnapshotMissing")};
  EXPECT_EQ(longOf(s, "traces/run", vyx::fail(Error::AssertionFailed), d),
            R"({"ok":false,"status":"partial","scenario":"smoke","appId":"com.example.app","traceDir":"traces/run",)"
            R"("eventsPath":"events.jsonl","artifactsDir":"artifacts","durationMs":42,"eventCount":9,"snapshotCount":3,)"
            R"("partialFailureCount":1,"failedStepIndex":-1,"error":"WaitTimeout",)"
            R"("partialFailure":{"kind":"observe.snapshot.semanticExtraction","status":"failed","semanticStatus":"failed","source":"xctest"},)"
            R"("reportPath":"report.html","discoveryError":"SemanticSnapshotMissing",)" +
                kNextPlain);
}

TEST(RunSummary, LongFormOkNeedsPassedTraceAndPassedRun) {
  struct Case {
    const char* status;
    Status outcome;
    bool ok;
    const char* errorMember;  // nullptr: no "error"
  };
  const Case cases[] = {
      {"passed", {}, true, nullptr},
      {"passed", vyx::fail(Error::StreamTooLong), false, "StreamTooLong"},  // the run failed after the trace said passed
      {"partial", {}, false, nullptr},
      {"failed", vyx::fail(Error::WaitTimeout), false, "WaitTimeout"},
      {"running", vyx::fail(Error::NoSpaceLeft), false, "NoSpaceLeft"},
  };
  for (const Case& c : cases) {
    ts::Summary s;
    s.status = c.status;
    std::string out = longOf(s, "t", c.outcome);
    EXPECT_TRUE(out.starts_with(c.ok ? R"({"ok":true,)" : R"({"ok":false,)")) << out;
    if (c.errorMember) {
      EXPECT_NE(out.find(std::string(R"("error":")") + c.errorMember + "\""), std::string::npos) << out;
    } else {
      EXPECT_EQ(out.find(R"("error":)"), std::string::npos) << out;
    }
  }
}

TEST(RunSummary, NextCommandsQuoteTheTraceDirectory) {
  ts::Summary s;
  s.status = "passed";
  std::string out = longOf(s, "my traces/it's", {});
  EXPECT_NE(out.find(R"("traceDir":"my traces/it's")"), std::string::npos);
  EXPECT_NE(out.find(R"("nextCommands":["vyx report 'my traces/it'\\''s' --out 'my traces/it'\\''s/report.html' )"
                     R"(--junit 'my traces/it'\\''s/junit.xml'","vyx explain 'my traces/it'\\''s' --json",)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(R"("vyx export 'my traces/it'\\''s' --out 'my traces/it'\\''s.vyxtrace' --redact"]})"),
            std::string::npos)
      << out;
  // A directory that already ends in "/" is joined without doubling it.
  out = longOf(s, "t/", {});
  EXPECT_NE(out.find("vyx report t/ --out t/report.html --junit t/junit.xml"), std::string::npos) << out;
}
