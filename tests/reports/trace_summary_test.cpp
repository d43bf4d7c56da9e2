// Reading a trace directory back into its summary: manifest types, the
// terminal event's precedence, diagnostic and partial-failure selection, and
// the list flattening.
#include "reports/trace_summary.hpp"

#include <gtest/gtest.h>

#include "core/json.hpp"
#include "core/limits.hpp"
#include "core/writer.hpp"
#include "vyx_test.hpp"

using vyx::Error;
using vyx::test::TempDir;
using vyx::test::writeFile;
namespace ts = vyx::trace_summary;

namespace {

const char* kManifest =
    R"({"schemaVersion":1,"runnerVersion":"0.2.9","protocolVersion":"2026-04-28","scenarioName":"login",)"
    R"("appId":"com.example.app","status":"failed","startedAtMs":100,"endedAtMs":150,"durationMs":50,)"
    R"("failedStepIndex":4,"error":"ManifestError","eventsPath":"events.jsonl","artifactsDir":"artifacts",)"
    R"("eventCount":7,"snapshotCount":2,"partialFailureCount":0,"reportPath":null})"
    "\n";

std::string event(int seq, const std::string& kind, const std::string& payload) {
  return R"({"seq":)" + std::to_string(seq) + R"(,"timestampMs":1,"kind":")" + kind + R"(","payload":)" + payload +
         "}\n";
}

ts::Summary readOk(const TempDir& dir) {
  auto s = ts::read(dir.path());
  EXPECT_TRUE(s.has_value()) << (s ? "" : vyx::errorName(s.error()));
  return s ? *s : ts::Summary{};
}

}  // namespace

TEST(TraceSummary, ManifestAloneWithoutEventLog) {
  TempDir dir;
  writeFile(dir.file("trace.json"), kManifest);
  ts::Summary s = readOk(dir);
  EXPECT_EQ(s.scenario, "login");
  EXPECT_EQ(s.status, "failed");
  EXPECT_EQ(s.appId, "com.example.app");
  EXPECT_EQ(s.eventsPath, "events.jsonl");
  EXPECT_EQ(s.artifactsDir, "artifacts");
  EXPECT_EQ(s.durationMs, 50);
  EXPECT_EQ(s.eventCount, 7);
  EXPECT_EQ(s.snapshotCount, 2);
  EXPECT_EQ(s.partialFailureCount, 0);
  EXPECT_EQ(s.failedStepIndex, 4);
  EXPECT_EQ(s.error, "ManifestError");
  EXPECT_FALSE(s.reportPath);
  EXPECT_FALSE(s.diagnostic.kind);
  EXPECT_FALSE(s.partialFailure);
  EXPECT_FALSE(s.lastEvent);
}

TEST(TraceSummary, ManifestValuesOfTheWrongTypeCountAsAbsent) {
  TempDir dir;
  writeFile(dir.file("trace.json"),
            R"({"scenarioName":3,"appId":null,"durationMs":12.5,"eventCount":"7","snapshotCount":99999999999999999999,)"
            R"("eventsPath":null,"artifactsDir":[],"error":false,"reportPath":"report.html","partialFailureCount":-2})");
  ts::Summary s = readOk(dir);
  EXPECT_EQ(s.scenario, "");
  EXPECT_EQ(s.status, "");
  EXPECT_FALSE(s.appId);
  EXPECT_FALSE(s.durationMs);
  EXPECT_FALSE(s.eventCount);
  EXPECT_FALSE(s.snapshotCount);
  EXPECT_EQ(s.partialFailureCount, -2);
  EXPECT_EQ(s.eventsPath, "events.jsonl");
  EXPECT_EQ(s.artifactsDir, "artifacts");
  EXPECT_FALSE(s.error);
  EXPECT_EQ(s.reportPath, "report.html");
}

TEST(TraceSummary, ReadErrors) {
  TempDir dir;
  EXPECT_EQ(ts::read(dir.path()).error(), Error::FileNotFound);
  writeFile(dir.file("trace.json"), "{\"a\":");
  EXPECT_EQ(ts::read(dir.path()).error(), Error::UnexpectedEndOfInput);
  writeFile(dir.file("trace.json"), "[1]");
  EXPECT_EQ(ts::read(dir.path()).error(), Error::InvalidTraceManifest);
  writeFile(dir.file("trace.json"), "{\"a\":1,\"a\":2}");
  EXPECT_EQ(ts::read(dir.path()).error(), Error::DuplicateField);
  writeFile(dir.file("trace.json"), std::string(vyx::limits::kManifestReadBytes, ' '));
  EXPECT_EQ(ts::read(dir.path()).error(), Error::StreamTooLong);
  // An event log that is a directory is a read failure, not a missing log.
  writeFile(dir.file("trace.json"), kManifest);
  vyx::test::runProgram({"/bin/mkdir", dir.file("events.jsonl")});
  EXPECT_EQ(ts::read(dir.path()).error(), Error::IsDir);
}

TEST(TraceSummary, EventsPathFromManifestNamesTheLog) {
  TempDir dir;
  writeFile(dir.file("trace.json"), R"({"status":"running","eventsPath":"log.jsonl"})");
  writeFile(dir.file("log.jsonl"), event(1, "scenario.start", R"({"value":"x"})"));
  writeFile(dir.file("events.jsonl"), event(1, "other", "{}"));
  ts::Summary s = readOk(dir);
  EXPECT_EQ(s.lastEvent, "scenario.start");
  EXPECT_EQ(s.status, "running");
}

TEST(TraceSummary, EffectiveStatusTable) {
  struct Case {
    const char* manifestStatus;
    const char* endStatus;  // nullptr: no scenario.end
    const char* expected;
  };
  const Case cases[] = {
      {"partial", "passed", "partial"}, {"partial", "failed", "failed"}, {"running", nullptr, "running"},
      {"passed", "failed", "failed"},   {"failed", "passed", "passed"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.file("trace.json"), std::string(R"({"status":")") + c.manifestStatus + "\"}");
    std::string log = event(1, "scenario.start", R"({"value":"s"})");
    if (c.endStatus) log += event(2, "scenario.end", std::string(R"({"value":"s","status":")") + c.endStatus + "\"}");
    writeFile(dir.file("events.jsonl"), log);
    EXPECT_EQ(readOk(dir).status, c.expected) << c.manifestStatus << " / " << (c.endStatus ? c.endStatus : "-");
  }
}

TEST(TraceSummary, OnlyTheLastScenarioEndCountsAndFallsBackToTheManifest) {
  TempDir dir;
  writeFile(dir.file("trace.json"), kManifest);
  writeFile(dir.file("events.jsonl"),
            event(1, "scenario.end", R"({"status":"failed","failedStepIndex":1,"error":"WaitTimeout"})") +
                event(2, "scenario.end", R"({"status":"failed","failedStepIndex":"2"})"));
  ts::Summary s = readOk(dir);
  EXPECT_EQ(s.status, "failed");
  EXPECT_EQ(s.failedStepIndex, 4);       // the manifest's, never the first event's
  EXPECT_EQ(s.error, "ManifestError");   // likewise
  EXPECT_EQ(s.lastEvent, "scenario.end");
}

TEST(TraceSummary, DiagnosticSelection) {
  TempDir dir;
  writeFile(dir.file("trace.json"), kManifest);
  std::string partial =
      R"({"status":"failed","artifactStatus":"captured","semanticStatus":"failed","error":"IosShimResponseNotOk",)"
      R"("screenshotArtifact":"artifacts/snapshot-1.png","source":"xctest"})";
  std::string log = event(1, "ui.tap.notFound", R"({"snapshotId":null,"status":"notFound"})") +
                    event(2, "observe.snapshot.semanticExtraction", partial) +
                    // Not diagnostics: no snapshotId, an assertion kind, a scenario.end with a snapshotId.
                    event(3, "wait.visible", R"({"status":"timeout"})") +
                    event(4, "assert.visible", R"({"snapshotId":"snapshot-3","status":"failed"})") +
                    event(5, "scenario.end", R"({"snapshotId":"snapshot-3","status":"failed"})");
  writeFile(dir.file("events.jsonl"), log);
  ts::Summary s = readOk(dir);
  ASSERT_TRUE(s.partialFailure);
  EXPECT_EQ(s.diagnostic.kind, "observe.snapshot.semanticExtraction");
  EXPECT_EQ(s.diagnostic.error, "IosShimResponseNotOk");
  EXPECT_EQ(s.partialFailure->kind, "observe.snapshot.semanticExtraction");
  EXPECT_EQ(s.partialFailure->artifactStatus, "captured");
  EXPECT_EQ(s.partialFailure->semanticStatus, "failed");
  EXPECT_EQ(s.partialFailure->screenshotArtifact, "artifacts/snapshot-1.png");
  EXPECT_EQ(s.partialFailure->source, "xctest");

  // A later wait failure replaces the diagnostic and leaves the partial failure.
  log += event(6, "wait.visible", R"({"snapshotId":"snapshot-4","status":"timeout","activePackage":"com.x"})");
  writeFile(dir.file("events.jsonl"), log);
  s = readOk(dir);
  EXPECT_EQ(s.diagnostic.kind, "wait.visible");
  EXPECT_EQ(s.diagnostic.snapshotId, "snapshot-4");
  EXPECT_EQ(s.diagnostic.activePackage, "com.x");
  EXPECT_FALSE(s.diagnostic.error);
  ASSERT_TRUE(s.partialFailure);
  EXPECT_EQ(s.partialFailure->kind, "observe.snapshot.semanticExtraction");
}

TEST(TraceSummary, BadLinesAreSkipped) {
  TempDir dir;
  writeFile(dir.file("trace.json"), kManifest);
  writeFile(dir.file("events.jsonl"), event(1, "step.done", R"({"index":0})") + "   \n" + "not json\n" +
                                          "[\"kind\"]\n" + R"({"kind":5,"payload":{}})" + "\n" +
                                          R"({"kind":"last.kind","payload":[]})" + "\r\n" +
                                          R"({"kind":"wait.visible","payload":{"snapshotId":"s"}})" + "\r\n" +
                                          R"({"kind":"final","payload":1})");
  ts::Summary s = readOk(dir);
  EXPECT_EQ(s.lastEvent, "final");  // the unterminated last line counts; kind is taken before the payload
  EXPECT_EQ(s.diagnostic.kind, "wait.visible");
}

TEST(TraceSummary, FlattenedLists) {
  auto payload = vyx::json::parseValue(
      R"({"visibleTexts":["1","2","3","4","5","6","7","8","9","10"],)"
      R"("nearestTextMatches":[{"text":"A","score":3},{"text":"B"},{"score":4},7,{"text":"N","score":-2}]})");
  ASSERT_TRUE(payload);
  auto d = ts::DiagnosticEvent::fromPayload("wait.visible", *payload);
  EXPECT_EQ(d.visibleTexts, "1 | 2 | 3 | 4 | 5 | 6 | 7 | 8");
  EXPECT_EQ(d.nearestTextMatches, "A (score 3) | B | N (score -2)");

  struct Case {
    const char* payload;
    std::optional<std::string> visible;
  };
  const Case cases[] = {
      {R"({"visibleTexts":["a",3,"b"]})", "a | b"},
      {R"({"visibleTexts":[1,2]})", std::nullopt},
      {R"({"visibleTexts":[]})", std::nullopt},
      {R"({"visibleTexts":"a"})", std::nullopt},
  };
  for (const Case& c : cases) {
    auto v = vyx::json::parseValue(c.payload);
    ASSERT_TRUE(v);
    EXPECT_EQ(ts::DiagnosticEvent::fromPayload("k", *v).visibleTexts, c.visible) << c.payload;
  }
  auto none = vyx::json::parseValue(R"({"nearestTextMatches":[{"score":1},"x"]})");
  EXPECT_FALSE(ts::DiagnosticEvent::fromPayload("k", *none).nearestTextMatches);
}

TEST(TraceSummary, WriteJoinedStringArray) {
  const std::pair<const char*, const char*> cases[] = {
      {"a | b | ", R"(["a","b",""])"},
      {"one", R"(["one"])"},
      {"", R"([""])"},
      {"q\"x | y", R"(["q\"x","y"])"},
  };
  for (const auto& [in, out] : cases) {
    vyx::StringWriter w;
    ASSERT_TRUE(ts::writeJoinedStringArrayJson(w, in));
    EXPECT_EQ(w.str(), out);
  }
}
