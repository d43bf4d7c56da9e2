#include "core/trace.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/clock.hpp"
#include "core/json_writer.hpp"
#include "core/limits.hpp"
#include "core/writer.hpp"
#include "vyx_test.hpp"
#include "fake_clock.hpp"

namespace vyx {
namespace {

using test::readFile;
using test::TempDir;

constexpr int64_t kStart = 1700000000000;

std::vector<std::string> listDir(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

unsigned modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

void makeSizedFile(const std::string& path, off_t size) {
  test::writeFile(path, "");
  ASSERT_EQ(::truncate(path.c_str(), size), 0);
}

class TraceTest : public ::testing::Test {
 protected:
  TraceWriter make(TraceOptions options = {}) {
    auto w = TraceWriter::create(dir(), std::move(options), clock);
    EXPECT_TRUE(w.has_value());
    return std::move(*w);
  }
  std::string dir() const { return tmp.file("trace"); }
  std::string file(const std::string& name) const { return dir() + "/" + name; }

  TempDir tmp;
  FakeClock clock{kStart};
};

TEST_F(TraceTest, CreateRemovesThePreviousTraceAndKeepsOtherFiles) {
  std::filesystem::create_directories(file("artifacts/nested"));
  std::filesystem::create_directories(tmp.file("outside"));
  test::writeFile(tmp.file("outside/keep.txt"), "keep");
  test::writeFile(file("events.jsonl"), "old\n");
  test::writeFile(file("trace.json"), "{}\n");
  test::writeFile(file("report.html"), "<html>");
  test::writeFile(file("artifacts/snapshot-1.json"), "{}");
  test::writeFile(file("artifacts/nested/deep.png"), "png");
  std::filesystem::create_directory_symlink(tmp.file("outside"), file("artifacts/link"));
  test::writeFile(file("notes.txt"), "mine");

  TraceWriter w = make();
  EXPECT_EQ(listDir(dir()), (std::vector<std::string>{"artifacts", "notes.txt"}));
  EXPECT_TRUE(listDir(file("artifacts")).empty());
  EXPECT_EQ(readFile(tmp.file("outside/keep.txt")), "keep");  // a link is removed, not followed
  EXPECT_EQ(w.eventCount(), 0u);
  EXPECT_FALSE(w.manifest().has_value());

  // Missing parents are created.
  auto nested = TraceWriter::create(tmp.file("a/b/c"), {}, clock);
  ASSERT_TRUE(nested.has_value());
  EXPECT_TRUE(std::filesystem::is_directory(tmp.file("a/b/c/artifacts")));

  // A path that cannot be a directory is an error.
  test::writeFile(tmp.file("plain"), "x");
  EXPECT_FALSE(TraceWriter::create(tmp.file("plain"), {}, clock).has_value());

  // An empty path is refused before anything is removed or created.
  auto empty = TraceWriter::create("", {}, clock);
  ASSERT_FALSE(empty.has_value());
  EXPECT_EQ(empty.error(), Error::FileNotFound);
}

TEST_F(TraceTest, ManifestBytesThroughItsLifecycle) {
  TraceWriter w = make();
  // Nothing is written before the manifest starts.
  ASSERT_TRUE(w.finishManifest("passed", std::nullopt, std::nullopt, std::nullopt));
  ASSERT_TRUE(w.writeManifest());
  ASSERT_TRUE(w.recordEvent("run.started", "{}"));
  EXPECT_FALSE(test::fileExists(file("trace.json")));

  ASSERT_TRUE(w.startManifest("login \"flow\"", "com.example.app"));
  EXPECT_EQ(readFile(file("trace.json")),
            "{\"schemaVersion\":1,\"runnerVersion\":\"0.2.9\",\"protocolVersion\":\"2026-04-28\","
            "\"scenarioName\":\"login \\\"flow\\\"\",\"appId\":\"com.example.app\",\"status\":\"running\","
            "\"startedAtMs\":1700000000000,\"endedAtMs\":null,\"durationMs\":null,\"failedStepIndex\":null,"
            "\"error\":null,\"eventsPath\":\"events.jsonl\",\"artifactsDir\":\"artifacts\",\"eventCount\":1,"
            "\"snapshotCount\":0,\"partialFailureCount\":0,\"reportPath\":null}\n");

  clock.advance(250);
  (void)w.nextSnapshotId();
  ASSERT_TRUE(w.recordEvent("step.finished", "{}"));
  clock.advance(1000);
  ASSERT_TRUE(w.finishManifest("failed", 3, "WaitTimeout", "/tmp/report.html"));
  EXPECT_EQ(readFile(file("trace.json")),
            "{\"schemaVersion\":1,\"runnerVersion\":\"0.2.9\",\"protocolVersion\":\"2026-04-28\","
            "\"scenarioName\":\"login \\\"flow\\\"\",\"appId\":\"com.example.app\",\"status\":\"failed\","
            "\"startedAtMs\":1700000000000,\"endedAtMs\":1700000001250,\"durationMs\":1250,\"failedStepIndex\":3,"
            "\"error\":\"WaitTimeout\",\"eventsPath\":\"events.jsonl\",\"artifactsDir\":\"artifacts\","
            "\"eventCount\":2,\"snapshotCount\":1,\"partialFailureCount\":0,\"reportPath\":\"/tmp/report.html\"}\n");

  // A later finish without a report path keeps it and clears the failure;
  // "passed" with a failed semantic extraction is written "partial".
  ASSERT_TRUE(w.recordEvent("observe.snapshot.semanticExtraction",
                            "{\"status\":\"failed\",\"artifactStatus\":\"captured\",\"semanticStatus\":\"failed\"}"));
  ASSERT_TRUE(w.finishManifest("passed", std::nullopt, std::nullopt, std::nullopt));
  std::string text = readFile(file("trace.json"));
  EXPECT_NE(text.find("\"status\":\"partial\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"failedStepIndex\":null,\"error\":null"), std::string::npos) << text;
  EXPECT_NE(text.find("\"partialFailureCount\":1,\"reportPath\":\"/tmp/report.html\"}"), std::string::npos) << text;
  EXPECT_EQ(w.manifest()->status, "passed");

  // Starting over keeps the counts, drops the finish and the app id.
  ASSERT_TRUE(w.startManifest("mcp session", std::nullopt));
  text = readFile(file("trace.json"));
  EXPECT_NE(text.find("\"scenarioName\":\"mcp session\",\"appId\":null,\"status\":\"running\""), std::string::npos);
  EXPECT_NE(text.find("\"eventCount\":3,\"snapshotCount\":1,\"partialFailureCount\":1,\"reportPath\":null}"),
            std::string::npos)
      << text;

  // Replaced atomically: no temporary file is left behind.
  EXPECT_EQ(listDir(dir()), (std::vector<std::string>{"artifacts", "events.jsonl", "trace.json"}));
}

TEST_F(TraceTest, EventLinesAreAppendedInSeqOrderWithRedactedPayloads) {
  TraceOptions options;
  options.denylistText = {"hunter"};
  TraceWriter w = make(options);
  ASSERT_TRUE(w.startManifest("demo", std::nullopt));
  ASSERT_TRUE(w.recordEvent("action.tap",
                            "{\"selector\":{\"id\":\"login\"},\"Password\":\"x\",\"n\":-7,\"ok\":true,"
                            "\"list\":[1.5,null],\"note\":\"by hunter2\"}"));
  clock.advance(5);
  ASSERT_TRUE(w.recordEvent("action.typeText", "not json"));
  ASSERT_TRUE(w.recordEvent("action.typeText", "a@b.co"));
  EXPECT_EQ(readFile(file("events.jsonl")),
            "{\"seq\":1,\"timestampMs\":1700000000000,\"kind\":\"action.tap\",\"payload\":{\"selector\":"
            "{\"id\":\"login\"},\"Password\":\"[REDACTED:secret]\",\"n\":-7,\"ok\":true,\"list\":[1.5,null],"
            "\"note\":\"[REDACTED:custom]\"}}\n"
            "{\"seq\":2,\"timestampMs\":1700000000005,\"kind\":\"action.typeText\",\"payload\":\"not json\"}\n"
            "{\"seq\":3,\"timestampMs\":1700000000005,\"kind\":\"action.typeText\",\"payload\":\"[REDACTED:email]\"}\n");
  EXPECT_EQ(w.eventCount(), 3u);
  EXPECT_NE(readFile(file("trace.json")).find("\"eventCount\":3,"), std::string::npos);
}

TEST_F(TraceTest, CallbackPayloadsAreStoredLikeTheSameTextRedacted) {
  TraceOptions options;
  options.denylistText = {"hunter"};
  Selector selector;
  selector.text = "a@b.co";
  const std::pair<std::string_view, TraceWriter::EventPayload> events[] = {
      {"ui.type",
       [&](JsonObjectWriter& p) {
         p.str("status", "ok");
         trace::selectorMember(p, "selector", selector);
         p.str("text", "hunter2").str("password", "x").array("tokens", [](JsonArrayWriter& a) { a.str("t"); });
       }},
      {"observe.snapshot.semanticExtraction",
       [](JsonObjectWriter& p) {
         p.str("status", "failed").str("artifactStatus", "captured").str("semanticStatus", "failed");
       }},
      {"observe.snapshot.semanticExtraction",
       [](JsonObjectWriter& p) {
         p.object("inner", [](JsonObjectWriter& in) {
           in.str("artifactStatus", "captured").str("semanticStatus", "failed");
         });
       }},
      {"step.done", [](JsonObjectWriter&) {}},
  };

  TempDir other;
  auto byText = TraceWriter::create(other.file("trace"), options, clock);
  ASSERT_TRUE(byText.has_value());
  TraceWriter byCallback = make(options);
  ASSERT_TRUE(byText->startManifest("demo", std::nullopt));
  ASSERT_TRUE(byCallback.startManifest("demo", std::nullopt));
  for (const auto& [kind, fill] : events) {
    StringWriter text;
    JsonObjectWriter o(text);
    fill(o);
    ASSERT_TRUE(o.finish());
    ASSERT_TRUE(byText->recordEvent(kind, std::string_view(text.str())));
    ASSERT_TRUE(byCallback.recordEvent(kind, fill));
  }
  EXPECT_EQ(byCallback.partialFailureCount(), 1u);
  EXPECT_EQ(byText->partialFailureCount(), 1u);
  const std::string log = readFile(file("events.jsonl"));
  EXPECT_EQ(log, readFile(other.file("trace/events.jsonl")));
  EXPECT_EQ(readFile(file("trace.json")), readFile(other.file("trace/trace.json")));
  EXPECT_NE(log.find(R"("payload":{"status":"ok","selector":{"text":"[REDACTED:email]"},"text":"[REDACTED:custom]",)"
                     R"("password":"[REDACTED:secret]","tokens":["[REDACTED:secret]"]}})"),
            std::string::npos)
      << log;
}

TEST_F(TraceTest, PartialFailuresCountCapturedScreenshotsWithFailedExtraction) {
  struct Case {
    std::string_view kind;
    std::string_view payload;
    uint64_t counted;
  };
  const Case cases[] = {
      {"observe.snapshot.semanticExtraction",
       R"({"status":"failed","artifactStatus":"captured","semanticStatus":"failed","error":"X"})", 1},
      {"observe.snapshot.semanticExtraction", R"({ "artifactStatus": "captured", "semanticStatus": "failed" })", 1},
      // The old text mark alone, a nested pair, a screenshot that was not
      // captured, a non-string status, another kind, text that is not JSON.
      {"observe.snapshot.semanticExtraction", R"({"status":"failed","error":"X"})", 0},
      {"observe.snapshot.semanticExtraction", R"({"inner":{"artifactStatus":"captured","semanticStatus":"failed"}})", 0},
      {"observe.snapshot.semanticExtraction", R"({"artifactStatus":"failed","semanticStatus":"failed"})", 0},
      {"observe.snapshot.semanticExtraction", R"({"artifactStatus":"captured","semanticStatus":["failed"]})", 0},
      {"observe.snapshot", R"({"artifactStatus":"captured","semanticStatus":"failed"})", 0},
      {"observe.snapshot.semanticExtraction", R"("artifactStatus":"captured","semanticStatus":"failed")", 0},
  };
  TraceWriter w = make();
  uint64_t expected = 0;
  for (const Case& c : cases) {
    ASSERT_TRUE(w.recordEvent(c.kind, c.payload));
    expected += c.counted;
    EXPECT_EQ(w.partialFailureCount(), expected) << c.kind << " " << c.payload;
  }
}

// The line of an event {"seq":<seq>,...,"kind":"<kind>","payload":{}}.
std::string emptyEventLine(uint64_t seq, const std::string& kind) {
  return "{\"seq\":" + std::to_string(seq) + ",\"timestampMs\":1700000000000,\"kind\":\"" + kind +
         "\",\"payload\":{}}\n";
}

const std::string kLogFullLine =
    "{\"seq\":3,\"timestampMs\":1700000000000,\"kind\":\"trace.events\","
    "\"payload\":{\"status\":\"failed\",\"error\":\"StreamTooLong\"}}\n";

// The log never reaches the size its readers refuse: a line that would take
// it there closes the log, which then ends with one "trace.events" event
// when that fits and counts one partial failure, once.
TEST_F(TraceTest, EventLogStaysBelowTheReadersLimit) {
  EXPECT_EQ(limits::kEventLogBytes, 67108864u);
  const uint64_t limit = limits::kEventLogBytes;
  const std::string log = file("events.jsonl");
  const size_t lineBytes = emptyEventLine(1, "a").size();

  struct Case {
    const char* name;
    uint64_t logBytes;  // before the second event
    std::string secondPayload;
    bool secondFits;
    bool lastEventFits;
  };
  const Case cases[] = {
      {"ends one byte below the limit", limit - 1 - lineBytes, "{}", true, false},
      {"would end at the limit", limit - lineBytes, "{}", false, false},
      {"room for the last event only", limit - 1 - kLogFullLine.size(), "{\"pad\":\"" + std::string(200, 'x') + "\"}",
       false, true},
      {"already at the limit", limit, "{}", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TraceWriter w = make();
    ASSERT_TRUE(w.startManifest("demo", std::nullopt));
    ASSERT_TRUE(w.recordEvent("a", "{}"));
    makeSizedFile(log, static_cast<off_t>(c.logBytes));

    auto second = w.recordEvent("b", c.secondPayload);
    if (c.secondFits) {
      ASSERT_TRUE(second.has_value());
      EXPECT_EQ(std::filesystem::file_size(log), limit - 1);
      EXPECT_FALSE(w.logClosed());
      EXPECT_EQ(w.partialFailureCount(), 0u);
      continue;
    }
    ASSERT_FALSE(second.has_value());
    EXPECT_EQ(second.error(), Error::StreamTooLong);
    EXPECT_TRUE(w.logClosed());
    EXPECT_EQ(w.partialFailureCount(), 1u);
    std::string text = readFile(log);
    if (c.lastEventFits) {
      ASSERT_EQ(text.size(), c.logBytes + kLogFullLine.size());
      EXPECT_EQ(text.substr(c.logBytes), kLogFullLine);
      EXPECT_EQ(w.eventCount(), 3u);
    } else {
      EXPECT_EQ(text.size(), c.logBytes);
      EXPECT_EQ(w.eventCount(), 2u);
    }
    std::string manifest = readFile(file("trace.json"));
    EXPECT_NE(manifest.find("\"eventCount\":" + std::to_string(w.eventCount()) + ",\"snapshotCount\":0,"
                            "\"partialFailureCount\":1,"),
              std::string::npos)
        << manifest;

    // A closed log takes nothing more, however small, and counts no further
    // partial failure; the seq still advances.
    makeSizedFile(log, 0);
    auto third = w.recordEvent("c", "{}");
    ASSERT_FALSE(third.has_value());
    EXPECT_EQ(third.error(), Error::StreamTooLong);
    EXPECT_EQ(std::filesystem::file_size(log), 0u);
    EXPECT_EQ(w.partialFailureCount(), 1u);
    EXPECT_EQ(w.eventCount(), c.lastEventFits ? 4u : 3u);
    EXPECT_EQ(readFile(file("trace.json")), manifest);
  }
}

// A writer told to skip events once the log is full answers every event
// with success: seq, counts and trace.json go on, events.jsonl stays as it
// was closed. A "passed" run is then written "partial".
TEST_F(TraceTest, SkippingWriterGoesOnOnceTheLogIsFull) {
  TraceWriter w = make();
  w.setFullLog(FullLog::Skip);
  ASSERT_TRUE(w.startManifest("demo", std::nullopt));
  const std::string log = file("events.jsonl");
  makeSizedFile(log, static_cast<off_t>(limits::kEventLogBytes - 1 - kLogFullLine.size()));

  std::string big = "{\"id\":\"" + std::string(4096, 'x') + "\"}";
  ASSERT_TRUE(w.recordEvent("a", big));
  ASSERT_TRUE(w.recordEvent("b", "{}"));
  ASSERT_TRUE(w.recordEvent("c", [](JsonObjectWriter& p) { p.str("status", "ok"); }));
  std::string text = readFile(log);
  ASSERT_EQ(text.size(), limits::kEventLogBytes - 1);
  EXPECT_EQ(text.substr(text.size() - kLogFullLine.size()),
            "{\"seq\":2,\"timestampMs\":1700000000000,\"kind\":\"trace.events\","
            "\"payload\":{\"status\":\"failed\",\"error\":\"StreamTooLong\"}}\n");
  EXPECT_EQ(w.eventCount(), 4u);
  EXPECT_EQ(w.partialFailureCount(), 1u);
  ASSERT_TRUE(w.finishManifest("passed", std::nullopt, std::nullopt, std::nullopt));
  std::string manifest = readFile(file("trace.json"));
  EXPECT_NE(manifest.find(R"("status":"partial")"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find(R"("eventCount":4,"snapshotCount":0,"partialFailureCount":1,)"), std::string::npos)
      << manifest;
}

TEST_F(TraceTest, AFailedAppendLeavesTheEarlierEventsExactly) {
  TraceWriter w = make();
  ASSERT_TRUE(w.recordEvent("first", "{}"));
  const std::string log = file("events.jsonl");
  const std::string before = readFile(log);

  // Let the file grow by a few bytes only, so the next line is cut short.
  auto result = [&] {
    test::FileSizeLimit limit(before.size() + 5);
    return w.recordEvent("second", "{\"padding\":\"xxxxxxxxxxxxxxxxxxxxxxxx\"}");
  }();

  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(readFile(log), before);
  ASSERT_TRUE(w.recordEvent("third", "{}"));
  EXPECT_EQ(test::splitLines(readFile(log)).size(), 2u);
}

// The log is appended to only as its readers read it: a link or a FIFO put
// in its place during a session is refused at once, and what lies behind
// the link is left untouched.
TEST_F(TraceTest, EventLogSwappedForALinkOrAFifoIsNotWrittenThrough) {
  TraceWriter w = make();
  ASSERT_TRUE(w.recordEvent("first", "{}"));
  const std::string log = file("events.jsonl");
  const std::string outside = tmp.file("outside.jsonl");
  test::writeFile(outside, "kept\n");

  ASSERT_EQ(::unlink(log.c_str()), 0);
  ASSERT_EQ(::symlink(outside.c_str(), log.c_str()), 0);
  auto linked = w.recordEvent("second", "{}");
  ASSERT_FALSE(linked.has_value());
  EXPECT_EQ(linked.error(), Error::SymLinkLoop);
  EXPECT_EQ(readFile(outside), "kept\n");

  ASSERT_EQ(::unlink(log.c_str()), 0);
  ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
  auto fifo = w.recordEvent("third", "{}");
  ASSERT_FALSE(fifo.has_value());
  EXPECT_EQ(fifo.error(), Error::NotRegularFile);
}

ObservationSnapshot sampleSnapshot() {
  ObservationSnapshot s;
  s.id = "snapshot-1";
  s.timestampMs = -5;
  s.viewport = {1080, 2400};
  s.displayDensityDpi = 420;
  s.activePackage = "com.example.app";
  s.activeActivity = ".MainActivity";
  s.screenshotArtifact = "/t/artifacts/snapshot-1.png";
  s.treeArtifact = "/t/artifacts/snapshot-1.xml";
  s.focusedNodeId = "n1";
  s.logDelta = "Bearer abc.def";
  UiNode pass;
  pass.stableId = "n1";
  pass.className = "android.widget.EditText";
  pass.resourceId = "com.example:id/PassWord_field";
  pass.text = "hunter2";
  pass.contentDesc = "Password";
  pass.bounds = {-1, 2, 300, 40};
  pass.enabled = true;
  pass.visible = true;
  UiNode denied;
  denied.stableId = "n2";
  denied.className = "android.widget.TextView";
  denied.resourceId = "com.example:id/account_number";
  denied.text = "12345";
  denied.selected = true;
  UiNode allowed;
  allowed.stableId = "n3";
  allowed.className = "android.widget.TextView";
  allowed.resourceId = "com.example:id/token_hint";
  allowed.text = "Paste your code";
  allowed.visible = true;
  UiNode bare;
  bare.stableId = "n4";
  bare.className = "View";
  bare.text = "amy@example.org";
  s.nodes = {pass, denied, allowed, bare};
  return s;
}

TEST_F(TraceTest, SnapshotJsonPlainAndRedacted) {
  const ObservationSnapshot s = sampleSnapshot();
  StringWriter plain;
  ASSERT_TRUE(trace::writeSnapshotJson(plain, s));
  EXPECT_EQ(plain.str(),
            "{\"id\":\"snapshot-1\",\"timestampMs\":-5,\"viewport\":{\"width\":1080,\"height\":2400},"
            "\"displayDensityDpi\":420,\"activePackage\":\"com.example.app\",\"activeActivity\":\".MainActivity\","
            "\"screenshotArtifact\":\"/t/artifacts/snapshot-1.png\",\"treeArtifact\":\"/t/artifacts/snapshot-1.xml\","
            "\"focusedNodeId\":\"n1\",\"logDelta\":\"Bearer abc.def\",\"nodes\":["
            "{\"stableId\":\"n1\",\"className\":\"android.widget.EditText\",\"resourceId\":\"com.example:id/"
            "PassWord_field\",\"text\":\"hunter2\",\"contentDesc\":\"Password\",\"bounds\":{\"x\":-1,\"y\":2,"
            "\"width\":300,\"height\":40},\"enabled\":true,\"visible\":true,\"selected\":false},"
            "{\"stableId\":\"n2\",\"className\":\"android.widget.TextView\",\"resourceId\":\"com.example:id/"
            "account_number\",\"text\":\"12345\",\"contentDesc\":null,\"bounds\":{\"x\":0,\"y\":0,\"width\":0,"
            "\"height\":0},\"enabled\":false,\"visible\":false,\"selected\":true},"
            "{\"stableId\":\"n3\",\"className\":\"android.widget.TextView\",\"resourceId\":\"com.example:id/"
            "token_hint\",\"text\":\"Paste your code\",\"contentDesc\":null,\"bounds\":{\"x\":0,\"y\":0,\"width\":0,"
            "\"height\":0},\"enabled\":false,\"visible\":true,\"selected\":false},"
            "{\"stableId\":\"n4\",\"className\":\"View\",\"resourceId\":null,\"text\":\"amy@example.org\","
            "\"contentDesc\":null,\"bounds\":{\"x\":0,\"y\":0,\"width\":0,\"height\":0},\"enabled\":false,"
            "\"visible\":false,\"selected\":false}]}");

  TraceOptions options;
  options.denylistResourceIds = {"", "ACCOUNT", "a-resource-id-longer-than-any-of-the-ids-above"};
  options.allowlistResourceIds = {"_HINT"};
  TraceWriter w = make(options);
  auto path = w.writeSnapshot(s);
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(*path, file("artifacts/snapshot-1.json"));
  std::string redacted = plain.str();
  auto replace = [&](const std::string& from, const std::string& to) {
    size_t at = redacted.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    redacted.replace(at, from.size(), to);
  };
  // The log delta goes through the text rules (a bearer token here).
  replace("\"logDelta\":\"Bearer abc.def\"", "\"logDelta\":\"[REDACTED:token]\"");
  // A sensitive word in the id hides the texts but not the id.
  replace("\"text\":\"hunter2\",\"contentDesc\":\"Password\"",
          "\"text\":\"[REDACTED:secret]\",\"contentDesc\":\"[REDACTED:secret]\"");
  // A deny-listed id is hidden and makes the node sensitive.
  replace("\"resourceId\":\"com.example:id/account_number\",\"text\":\"12345\"",
          "\"resourceId\":\"[REDACTED:resourceId]\",\"text\":\"[REDACTED:secret]\"");
  // n3 is allow-listed despite "token"; n4 has no id, its text meets the e-mail rule.
  replace("\"text\":\"amy@example.org\"", "\"text\":\"[REDACTED:email]\"");
  EXPECT_EQ(readFile(*path), redacted);
}

TEST_F(TraceTest, SnapshotWithNothingOptional) {
  ObservationSnapshot s;
  s.id = "snapshot-9";
  s.timestampMs = 7;
  StringWriter out;
  ASSERT_TRUE(trace::writeSnapshotJson(out, s));
  const std::string expected =
      "{\"id\":\"snapshot-9\",\"timestampMs\":7,\"viewport\":{\"width\":0,\"height\":0},\"displayDensityDpi\":null,"
      "\"activePackage\":null,\"activeActivity\":null,\"screenshotArtifact\":null,\"treeArtifact\":null,"
      "\"focusedNodeId\":null,\"logDelta\":null,\"nodes\":[]}";
  EXPECT_EQ(out.str(), expected);
  TraceWriter w = make();
  auto path = w.writeSnapshot(s);
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(readFile(*path), expected);
}

TEST(TraceSelectorJson, WritesOnlyTheSetFieldsInOrder) {
  struct Case {
    Selector selector;
    std::string_view expected;
  };
  Selector all{"rid", "t", "tc", "cd", "cdc", "cls"};
  Selector some;
  some.textContains = "";
  some.className = "Button";
  Selector quoted;
  quoted.text = "say \"hi\"";
  const Case cases[] = {
      {Selector{}, "{}"},
      {all,
       "{\"id\":\"rid\",\"text\":\"t\",\"textContains\":\"tc\",\"contentDesc\":\"cd\",\"contentDescContains\":\"cdc\","
       "\"className\":\"cls\"}"},
      {some, "{\"textContains\":\"\",\"className\":\"Button\"}"},
      {quoted, "{\"text\":\"say \\\"hi\\\"\"}"},
  };
  for (const Case& c : cases) {
    StringWriter out;
    ASSERT_TRUE(trace::writeSelectorJson(out, c.selector));
    EXPECT_EQ(out.str(), c.expected);
  }
}

TEST_F(TraceTest, SnapshotIdsAndArtifacts) {
  TraceWriter w = make();
  EXPECT_EQ(w.nextSnapshotId(), "snapshot-1");
  EXPECT_EQ(w.nextSnapshotId(), "snapshot-2");
  EXPECT_EQ(w.snapshotCount(), 2u);

  std::string png("\x89PNG\r\n\x1a\n\0data", 13);
  auto path = w.writeArtifact("snapshot-2.png", png);
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(*path, file("artifacts/snapshot-2.png"));
  EXPECT_EQ(readFile(*path), png);
  // Writing the same name again truncates.
  ASSERT_TRUE(w.writeArtifact("snapshot-2.png", "x"));
  EXPECT_EQ(readFile(*path), "x");

  ASSERT_TRUE(w.startManifest("demo", std::nullopt));
  EXPECT_NE(readFile(file("trace.json")).find("\"snapshotCount\":2,"), std::string::npos);
}

// Every file the writer makes is read back whole by the trace readers:
// a snapshot or a manifest that would reach its reader's limit is refused
// and leaves nothing behind.
TEST_F(TraceTest, FilesReadBackUnderALimitAreWrittenBelowIt) {
  TraceWriter w = make();
  ObservationSnapshot s;
  s.id = "snapshot-1";
  std::string text(limits::kSnapshotReadBytes, 'x');
  UiNode node;
  node.stableId = "n1";
  node.text = text;
  s.nodes.push_back(node);
  auto snapshot = w.writeSnapshot(s);
  ASSERT_FALSE(snapshot.has_value());
  EXPECT_EQ(snapshot.error(), Error::StreamTooLong);
  EXPECT_EQ(listDir(file("artifacts")), std::vector<std::string>{});

  auto manifest = w.startManifest(std::string(limits::kManifestReadBytes, 'n'), std::nullopt);
  ASSERT_FALSE(manifest.has_value());
  EXPECT_EQ(manifest.error(), Error::StreamTooLong);
  EXPECT_EQ(listDir(dir()), (std::vector<std::string>{"artifacts"}));
}

// An artifact cut short (here by a file-size limit, as a full disk would)
// is removed, and the error names the cause.
TEST_F(TraceTest, ArtifactsThatCannotBeWrittenWholeAreRemoved) {
  TraceWriter w = make();
  ObservationSnapshot s = sampleSnapshot();
  for (int i = 0; i < 50; ++i) s.nodes.push_back(s.nodes.front());

  Expected<std::string> png = fail(Error::Unexpected);
  Expected<std::string> json = fail(Error::Unexpected);
  {
    test::FileSizeLimit limit(1000);
    png = w.writeArtifact("snapshot-1.png", std::string(5000, 'p'));
    json = w.writeSnapshot(s);
  }

  ASSERT_FALSE(png.has_value());
  EXPECT_EQ(png.error(), Error::FileTooBig);
  ASSERT_FALSE(json.has_value());
  EXPECT_EQ(json.error(), Error::FileTooBig);
  EXPECT_EQ(listDir(file("artifacts")), std::vector<std::string>{});
}

// Temporary manifests that a killed writer left are removed when a writer
// opens the directory; those of running processes and other names stay.
TEST_F(TraceTest, CreateRemovesTemporaryManifestsOfEndedWritersOnly) {
  pid_t ended = ::fork();
  ASSERT_GE(ended, 0);
  if (ended == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  pid_t running = ::fork();
  ASSERT_GE(running, 0);
  if (running == 0) {
    ::pause();
    ::_exit(0);
  }

  const std::string dead = std::to_string(ended);
  const std::vector<std::string> kept = {
      "events.jsonl.tmp-" + dead,
      "trace.json.tmp-",
      "trace.json.tmp-0",
      "trace.json.tmp-0" + dead,
      "trace.json.tmp-" + dead + "x",
      "trace.json.tmp--" + dead,
      "trace.json.tmp-" + std::to_string(running),
      "trace.json.tmp-" + std::to_string(::getpid()),
  };
  for (const std::string& name : kept) test::writeFile(file(name), "{}");
  test::writeFile(file("trace.json.tmp-" + dead), "{\"half\":");
  TraceWriter w = make();
  ::kill(running, SIGKILL);
  ::waitpid(running, nullptr, 0);

  std::vector<std::string> expected = kept;
  expected.push_back("artifacts");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listDir(dir()), expected);
}

TEST_F(TraceTest, FileAndDirectoryModesFollowTheUmask) {
  struct Case {
    mode_t umask;
    unsigned file;
    unsigned directory;
  };
  for (const Case& c : {Case{0, 0666, 0777}, Case{027, 0640, 0750}}) {
    std::filesystem::remove_all(dir());
    mode_t old = ::umask(c.umask);
    {
      TraceWriter w = make();
      ASSERT_TRUE(w.startManifest("demo", std::nullopt));
      ASSERT_TRUE(w.recordEvent("a", "{}"));
      ASSERT_TRUE(w.writeArtifact("a.xml", "<x/>"));
      ObservationSnapshot s;
      s.id = "snapshot-1";
      ASSERT_TRUE(w.writeSnapshot(s));
    }
    ::umask(old);
    EXPECT_EQ(modeOf(dir()), c.directory);
    EXPECT_EQ(modeOf(file("artifacts")), c.directory);
    for (const char* name : {"trace.json", "events.jsonl", "artifacts/a.xml", "artifacts/snapshot-1.json"}) {
      EXPECT_EQ(modeOf(file(name)), c.file) << name << " umask " << c.umask;
    }
  }
}

}  // namespace
}  // namespace vyx
