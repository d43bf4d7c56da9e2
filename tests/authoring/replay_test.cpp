// Replaying an event log into scenario steps: which lines count, the step
// texts byte for byte, the skipped actions and their warnings.
#include "authoring/replay.hpp"

#include <gtest/gtest.h>

#include "core/writer.hpp"
#include "vyx_test.hpp"

namespace rp = vyx::replay;

namespace {

struct Replayed {
  std::vector<std::string> steps;
  rp::ReplayStats stats;
  std::vector<std::string> warnings;
};

Replayed replayOf(std::string_view log) {
  rp::Warnings warnings;
  rp::Replay r = rp::replayEventLog(log, warnings);
  return {r.steps, r.stats, warnings.take()};
}

std::string event(std::string_view kind, std::string_view payload) {
  return std::string(R"({"seq":1,"timestampMs":5,"kind":")") + std::string(kind) + R"(","payload":)" +
         std::string(payload) + "}\n";
}

}  // namespace

TEST(Replay, EachKindBecomesItsStep) {
  struct Case {
    std::string kind;
    std::string payload;
    std::string step;
  };
  const Case cases[] = {
      {"app.launch", R"({"status":"ok"})", R"({"action":"launch"})"},
      {"app.openLink", R"({"status":"ok","url":"app://x"})", R"({"action":"openLink","url":"app://x"})"},
      {"ui.tap", R"({"snapshotId":"snapshot-1","target":"n1","selector":{"id":"a:id/b","text":"Go"}})",
       R"({"action":"tap","selector":{"id":"a:id/b","text":"Go"}})"},
      {"ui.type", R"({"status":"ok","selector":{"text":"E-mail"},"text":"me \"x\""})",
       R"({"action":"typeText","selector":{"text":"E-mail"},"text":"me \"x\""})"},
      {"ui.type", R"({"selector":"not an object","text":"[REDACTED"})", R"({"action":"typeText","text":"[REDACTED"})"},
      {"ui.eraseText", R"({"maxChars":12})", R"({"action":"eraseText","maxChars":12})"},
      {"ui.eraseText", R"({"selector":{"text":"a"},"maxChars":0})",
       R"({"action":"eraseText","selector":{"text":"a"},"maxChars":0})"},
      {"ui.hideKeyboard", R"({"status":"ok"})", R"({"action":"hideKeyboard"})"},
      {"ui.pressBack", "{}", R"({"action":"pressBack"})"},
      {"ui.swipe", R"({"status":"ok","x1":-1,"y1":2,"x2":2147483647,"y2":-2147483648,"durationMs":300})",
       R"({"action":"swipe","x1":-1,"y1":2,"x2":2147483647,"y2":-2147483648,"durationMs":300})"},
      {"ui.swipe", R"({"x1":1,"y1":2,"x2":3,"y2":4,"durationMs":-5})", R"({"action":"swipe","x1":1,"y1":2,"x2":3,"y2":4})"},
      {"wait.visible", R"({"status":"ok","target":"n2","selector":{"text":"Hi"},"timeoutMs":5000})",
       R"({"action":"waitVisible","selector":{"text":"Hi"},"timeoutMs":5000})"},
      {"wait.visible", R"({"selector":{"text":"Hi"},"timeoutMs":-1})", R"({"action":"waitVisible","selector":{"text":"Hi"}})"},
      {"wait.notVisible", R"({"selector":{"text":"Spinner"},"timeoutMs":10})",
       R"({"action":"waitNotVisible","selector":{"text":"Spinner"},"timeoutMs":10})"},
      {"assert.visible", R"({"selector":{"contentDesc":"Menu"}})", R"({"action":"assertVisible","selector":{"contentDesc":"Menu"}})"},
      {"assert.notVisible", R"({"selector":{"text":"Error"},"timeoutMs":0})",
       R"({"action":"assertNotVisible","selector":{"text":"Error"},"timeoutMs":0})"},
      {"wait.any", R"({"status":"ok","matchedIndex":1,"selector":{"text":"B"},"timeoutMs":9})",
       R"({"action":"waitVisible","selector":{"text":"B"},"timeoutMs":9})"},
      {"ui.scrollUntilVisible", R"({"status":"ok","selector":{"text":"End"},"direction":"up","timeoutMs":7})",
       R"({"action":"scrollUntilVisible","selector":{"text":"End"},"direction":"up","timeoutMs":7})"},
      {"ui.scrollUntilVisible", R"({"selector":{"text":"End"},"direction":"left"})",
       R"({"action":"scrollUntilVisible","selector":{"text":"End"}})"},
      {"assert.noneVisible", R"({"status":"ok","selectors":[{"text":"A"},{"id":"b"}],"timeoutMs":0})",
       R"({"action":"assertNoneVisible","selectors":[{"text":"A"},{"id":"b"}],"timeoutMs":0})"},
      {"assert.healthy", R"({"status":"ok"})", R"({"action":"assertHealthy"})"},
      {"assert.healthy", R"({"status":"ok","timeoutMs":250})", R"({"action":"assertHealthy","timeoutMs":250})"},
      // Fields are written as recorded, even where the scenario reader would
      // refuse them: validating the draft tells the user.
      {"ui.tap", R"({"selector":{"text":5}})", R"({"action":"tap","selector":{"text":5}})"},
      {"ui.eraseText", R"({"maxChars":4294967296})", R"({"action":"eraseText","maxChars":4294967296})"},
      {"ui.swipe", R"({"x1":1,"y1":2,"x2":3,"y2":4,"durationMs":4294967296})",
       R"({"action":"swipe","x1":1,"y1":2,"x2":3,"y2":4,"durationMs":4294967296})"},
      {"assert.noneVisible", R"({"selectors":[],"timeoutMs":0})", R"({"action":"assertNoneVisible","selectors":[],"timeoutMs":0})"},
  };
  for (const Case& c : cases) {
    Replayed r = replayOf(event(c.kind, c.payload));
    ASSERT_EQ(r.steps.size(), 1u) << c.kind << " " << c.payload;
    EXPECT_EQ(r.steps[0], c.step);
    EXPECT_EQ(r.stats.eventCount, 1u);
    EXPECT_EQ(r.stats.stepCount, 1u);
    EXPECT_EQ(r.stats.skippedEventCount, 0u);
    EXPECT_TRUE(r.warnings.empty()) << c.kind;
  }
}

TEST(Replay, SkippedActionsAndTheirWarnings) {
  const std::string missing = std::string(rp::kMissingFieldsPrefix);
  struct Case {
    std::string kind;
    std::string payload;
    std::string warning;  // empty: skipped silently
  };
  const Case cases[] = {
      {"ui.tap", R"({"status":"failed","selector":{"text":"Go"}})", ""},
      {"ui.tap", R"({"status":true,"selector":{"text":"Go"}})", ""},
      {"ui.tap", R"({"selector":"Go"})", missing + "ui.tap"},
      {"ui.type", R"({"selector":{"text":"x"}})", missing + "ui.type"},
      {"ui.type", R"({"text":""})", missing + "ui.type"},
      {"ui.type", R"({"text":"[REDACTED:secret]"})", "redacted trace text action was skipped: ui.type"},
      {"ui.swipe", R"({"x1":2147483648,"y1":0,"x2":0,"y2":0})", missing + "ui.swipe"},
      {"ui.swipe", R"({"x1":1.5,"y1":0,"x2":0,"y2":0})", missing + "ui.swipe"},
      {"wait.any", R"({"selectors":[{"text":"A"}]})", missing + "wait.any"},
      {"assert.noneVisible", R"({"selectors":{"text":"A"}})", missing + "assert.noneVisible"},
      {"app.openLink", R"({"status":"ok"})", missing + "app.openLink"},
      {"ui.eraseText", R"({"maxChars":"5"})", missing + "ui.eraseText"},
      {"app.stop", R"({"status":"ok"})", "unsupported trace action was skipped: app.stop"},
      {"ui.scroll", R"({"direction":"down","x":1,"y1":2,"y2":3})", "unsupported trace action was skipped: ui.scroll"},
  };
  for (const Case& c : cases) {
    Replayed r = replayOf(event(c.kind, c.payload));
    EXPECT_TRUE(r.steps.empty()) << c.kind << " " << c.payload;
    EXPECT_EQ(r.stats.eventCount, 1u);
    EXPECT_EQ(r.stats.skippedEventCount, 1u);
    if (c.warning.empty()) {
      EXPECT_TRUE(r.warnings.empty()) << c.payload;
    } else {
      EXPECT_EQ(r.warnings, std::vector<std::string>{c.warning}) << c.payload;
    }
  }
}

TEST(Replay, LinesThatAreNotActionEvents) {
  std::string log;
  log += event("scenario.start", R"({"value":"smoke"})");
  log += event("observe.snapshot", R"({"value":"artifacts/snapshot-1.json"})");
  log += "[1,2]\n";
  log += R"({"kind":"ui.tap"})" "\n";
  log += R"({"kind":"","payload":{}})" "\n";
  log += R"({"kind":7,"payload":{}})" "\n";
  log += R"({"kind":"ui.tap","payload":[1]})" "\n";
  log += "not json\n";
  log += R"({"seq":9,"kind":"ui.tap","payload":{"selector":{"text":"tru)" "\n";  // cut short
  log += "\n   \t\n";
  Replayed r = replayOf(log);
  EXPECT_TRUE(r.steps.empty());
  EXPECT_EQ(r.stats.eventCount, 0u);
  EXPECT_EQ(r.stats.skippedEventCount, 0u);
  EXPECT_TRUE(r.stats.enabled);
  EXPECT_EQ(r.warnings, std::vector<std::string>{"invalid trace event was skipped"});
}

TEST(Replay, CrLfLinesLastLineWithoutNewlineAndOneWarningPerKind) {
  std::string log = R"({"kind":"app.launch","payload":{}})" "\r\n";
  log += R"({"kind":"app.stop","payload":{"status":"ok"}})" "\r\n";
  log += R"({"kind":"app.stop","payload":{"status":"ok"}})" "\r\n";
  log += R"(  {"kind":"ui.pressBack","payload":{}})";
  Replayed r = replayOf(log);
  EXPECT_EQ(r.steps, (std::vector<std::string>{R"({"action":"launch"})", R"({"action":"pressBack"})"}));
  EXPECT_EQ(r.stats.eventCount, 4u);
  EXPECT_EQ(r.stats.stepCount, 2u);
  EXPECT_EQ(r.stats.skippedEventCount, 2u);
  EXPECT_EQ(r.warnings, std::vector<std::string>{"unsupported trace action was skipped: app.stop"});
}

TEST(Replay, WritesRecordedValuesBackExactly) {
  // Floats, numbers beyond 64 bits and escapes in a selector come back as
  // the trace holds them; such a selector is still a valid one.
  Replayed r = replayOf(event("assert.noneVisible",
                              R"({"selectors":[{"text":"a\u0001\\b","extra":-0.125,"big":123456789012345678901234}]})"));
  ASSERT_EQ(r.steps.size(), 1u);
  EXPECT_EQ(r.steps[0],
            R"({"action":"assertNoneVisible","selectors":[{"text":"a\u0001\\b","extra":-0.125,"big":123456789012345678901234}]})");
}

TEST(Replay, MissingLogAndReadFailures) {
  vyx::test::TempDir dir;
  rp::Warnings warnings;
  auto missing = rp::replayEventFile(dir.file("events.jsonl"), warnings);
  ASSERT_TRUE(missing);
  EXPECT_TRUE(missing->stats.enabled);
  EXPECT_EQ(missing->stats.eventCount, 0u);
  EXPECT_TRUE(missing->steps.empty());
  EXPECT_EQ(warnings.list(), std::vector<std::string>{"trace events were not found; action replay was skipped"});

  // A directory in the log's place is a read failure, not a missing log.
  auto dirInstead = rp::replayEventFile(dir.path(), warnings);
  ASSERT_FALSE(dirInstead);
  EXPECT_EQ(dirInstead.error(), vyx::Error::IsDir);
}

TEST(Replay, ReplayJsonFragment) {
  vyx::StringWriter w;
  ASSERT_TRUE(rp::writeReplayJson(w, {}));
  EXPECT_EQ(w.str(), R"(,"replay":{"enabled":false,"eventCount":0,"stepCount":0,"skippedEventCount":0})");
  w.clear();
  ASSERT_TRUE(rp::writeReplayJson(w, {true, 5, 3, 2}));
  EXPECT_EQ(w.str(), R"(,"replay":{"enabled":true,"eventCount":5,"stepCount":3,"skippedEventCount":2})");
}
