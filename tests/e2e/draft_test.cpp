// `vyx draft`, `vyx discover` and `vyx explore` through the real binary:
// flag errors, text and JSON output, the silent exit 1 after a failed
// validation, drafting errors, and recording a test from a traced run on
// the fake Android device that then passes again.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/json.hpp"
#include "vyx_test.hpp"

using vyx::test::ProcResult;
using vyx::test::readFile;
using vyx::test::runVyx;
using vyx::test::TempDir;
using vyx::test::writeFile;
using Argv = std::vector<std::string>;

namespace {

const std::string kSnapshot =
    R"({"id":"snapshot-1","nodes":[{"resourceId":"com.example.app:id/title","text":"Welcome","visible":true,"enabled":true}]})";

class Authoring : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir.file("t/trace.json"), R"({"scenarioName":"smoke","appId":"com.example.app","snapshotCount":1})");
    writeFile(dir.file("t/artifacts/snapshot-1.json"), kSnapshot);
    writeFile(dir.file("t/events.jsonl"), R"({"seq":1,"kind":"app.launch","payload":{"status":"ok"}})" "\n");
  }

  ProcResult vyx(const Argv& args) {
    vyx::test::RunOptions o;
    o.cwd = dir.path();
    return runVyx(args, o);
  }

  TempDir dir;
};

const std::string kHead = R"("schemaVersion":1,"runnerVersion":"0.2.9","protocolVersion":"2026-04-28",)";

const std::string kMembers =
    R"("out":"s.json","traceDir":"t","sourceSnapshot":"t/artifacts/snapshot-1.json","name":"draft from smoke",)"
    R"("appId":"com.example.app","selectorCount":1,"stepCount":3,)"
    R"("replay":{"enabled":true,"eventCount":1,"stepCount":1,"skippedEventCount":0},)"
    R"("warnings":["draft requires human review before commit"],)";

const std::string kNext = R"("nextCommands":["vyx validate --json s.json","vyx run s.json --json --trace-dir t"]})" "\n";

}  // namespace

TEST_F(Authoring, FlagErrors) {
  struct Case {
    Argv args;
    int status;
    std::string err;
  };
  const std::string unknown = "error[cli.unknown_flag]: unknown flag\nhint: run `vyx help` for each command's flags and arguments.\n";
  const std::string noTrace = "error[cli.missing_trace_dir]: missing trace directory\n";
  const std::string noOut = "error[cli.missing_draft_out]: missing draft output path\n";
  const std::string noParam = "error[cli.missing_param]: missing parameter\n";
  const Case cases[] = {
      {{"discover"}, 2, noTrace},
      {{"draft"}, 2, noTrace},
      {{"explore", "--json"}, 2, noTrace},
      {{"draft", "--out", "s.json", "--from-trace"}, 2, noTrace},
      {{"discover", "--from-trace", "t"}, 2, noOut},
      {{"explore", "--from-trace", "t", "--out"}, 2, noOut},
      {{"draft", "--from-trace", "t", "--out", "s.json", "--name"}, 2, noParam},
      {{"explore", "--from-trace", "t", "--out", "s.json", "--goal"}, 2, noParam},
      {{"discover", "--from-trace", "t", "--out", "s.json", "--app-id"}, 2,
       "error[cli.missing_app_id]: missing app id\n"},
      {{"draft", "t", "--out", "s.json"}, 2, unknown},
      {{"draft", "--from-trace", "t", "--out", "s.json", "--validate"}, 2, unknown},
      {{"draft", "--from-trace", "t", "--out", "s.json", "--goal", "g"}, 2, unknown},
      {{"discover", "--from-trace", "t", "--out", "s.json", "--goal", "g"}, 2, unknown},
      {{"explore", "--from-trace", "t", "--out", "s.json", "-v"}, 2, unknown},
  };
  for (const Case& c : cases) {
    ProcResult r = vyx(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.size();
    EXPECT_EQ(r.err, c.err) << c.args[0] << " " << c.args.size();
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(vyx::test::fileExists(dir.file("s.json")));
}

TEST_F(Authoring, TextOutput) {
  ProcResult d = vyx({"draft", "--from-trace", "t", "--out", "drafts/one.json"});
  EXPECT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.out, "wrote drafts/one.json\nnext: vyx validate --json drafts/one.json\n");
  EXPECT_EQ(d.err, "");

  ProcResult v = vyx({"discover", "--from-trace", "t", "--out", "my draft.json", "--validate"});
  EXPECT_EQ(v.status, 0) << v.err;
  EXPECT_EQ(v.out, "wrote my draft.json\nvalidated my draft.json\nnext: vyx validate --json 'my draft.json'\n");

  ProcResult e = vyx({"explore", "--from-trace", "t", "--out", "e.json", "--goal", "sign in", "--validate"});
  EXPECT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(e.out, "wrote e.json\ngoal: sign in\nreview required: true\nnext: vyx validate --json e.json\n");

  ProcResult plain = vyx({"explore", "--from-trace", "t", "--out", "f.json"});
  EXPECT_EQ(plain.out, "wrote f.json\nreview required: true\nnext: vyx validate --json f.json\n");

  // A value flag takes the next argument whatever it looks like.
  ProcResult odd = vyx({"discover", "--from-trace", "t", "--out", "--json"});
  EXPECT_EQ(odd.status, 0) << odd.err;
  EXPECT_EQ(odd.out, "wrote --json\nnext: vyx validate --json --json\n");
  EXPECT_TRUE(vyx::test::fileExists(dir.file("--json")));
}

TEST_F(Authoring, JsonOutput) {
  ProcResult d = vyx({"draft", "--from-trace", "t", "--out", "s.json", "--include-actions", "--json"});
  EXPECT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.out, R"({"ok":true,"mode":"draft",)" + kHead + kMembers + kNext);
  EXPECT_EQ(readFile(dir.file("s.json")),
            R"({"name":"draft from smoke","appId":"com.example.app","steps":[{"action":"launch"},{"action":"snapshot"},)"
            R"({"action":"assertVisible","selector":{"resourceId":"com.example.app:id/title"}}]})"
            "\n");

  ProcResult again = vyx({"discover", "--from-trace", "t", "--out", "s.json", "--include-actions", "--json"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "error[internal.error]: PathAlreadyExists\n");
  EXPECT_EQ(again.out, "");

  ProcResult v = vyx({"discover", "--from-trace", "t", "--out", "s.json", "--include-actions", "--validate", "--force",
                      "--json"});
  EXPECT_EQ(v.status, 0) << v.err;
  EXPECT_EQ(v.out, R"({"ok":true,"mode":"discover",)" + kHead + kMembers +
                       R"("validated":true,"validation":{"ok":true,"path":"s.json","name":"draft from smoke",)"
                       R"("appId":"com.example.app","stepCount":3},)" +
                       kNext);

  ProcResult e = vyx({"explore", "--from-trace", "t", "--out", "s.json", "--include-actions", "--force", "--json",
                      "--goal", "a", "--goal", "check \"welcome\""});
  EXPECT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(e.out, R"({"ok":true,"mode":"explore",)" + kHead +
                       R"("goal":"check \"welcome\"","autonomous":false,"reviewRequired":true,)"
                       R"("guardrails":["writes from existing trace evidence only","does not crawl the app",)"
                       R"("does not discover credentials or secrets","requires human review before commit"],)" +
                       kMembers + R"("validated":false,"validation":null,)" + kNext);
}

TEST_F(Authoring, DraftingErrorsPrintNothingAndWriteNothing) {
  std::filesystem::remove(dir.file("t/artifacts/snapshot-1.json"));
  writeFile(dir.file("t/artifacts/snapshot-x.json"), kSnapshot);
  writeFile(dir.file("t/artifacts/snapshot-.json"), kSnapshot);
  writeFile(dir.file("t/artifacts/snapshot-99999999999999999999.json"), kSnapshot);
  ProcResult r = vyx({"discover", "--from-trace", "t", "--out", "new/dir/s.json", "--validate", "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error[draft.no_snapshot]: no semantic snapshot was found in the trace\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(vyx::test::fileExists(dir.file("new")));

  ProcResult missing = vyx({"draft", "--from-trace", "nowhere", "--out", "s.json"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "error[scenario.file_not_found]: scenario file was not found\n");

  writeFile(dir.file("t/trace.json"), "[]");
  ProcResult array = vyx({"explore", "--from-trace", "t", "--out", "s.json"});
  EXPECT_EQ(array.status, 1);
  EXPECT_EQ(array.err, "error[trace.invalid_manifest]: trace manifest is invalid\n");
  EXPECT_FALSE(vyx::test::fileExists(dir.file("s.json")));
}

// A draft too large for the scenario reader: discover --validate writes it,
// reports the failed validation and exits 1 without a word on standard
// error; draft refuses to write it.
TEST_F(Authoring, FailedValidationExitsOneSilently) {
  std::string log;
  const std::string typed(256 * 1024, 'x');
  for (int i = 0; i < 65; ++i) {
    log += R"({"kind":"ui.type","payload":{"status":"ok","text":")" + typed + std::to_string(i) + "\"}}\n";
  }
  writeFile(dir.file("t/events.jsonl"), log);

  ProcResult text = vyx({"discover", "--from-trace", "t", "--out", "big.json", "--include-actions", "--validate"});
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(text.err, "");
  EXPECT_EQ(text.out, "wrote big.json\nvalidation failed big.json\nnext: vyx validate --json big.json\n");

  ProcResult j = vyx({"explore", "--from-trace", "t", "--out", "big.json", "--include-actions", "--validate", "--force",
                      "--json"});
  EXPECT_EQ(j.status, 1);
  EXPECT_EQ(j.err, "");
  auto doc = vyx::json::parseValue(j.out);
  ASSERT_TRUE(doc) << j.out.substr(0, 200);
  EXPECT_FALSE(doc->get("ok")->boolean);
  EXPECT_EQ(doc->get("mode")->string, "explore");
  EXPECT_TRUE(doc->get("validated")->boolean);
  EXPECT_FALSE(doc->get("validation")->get("ok")->boolean);
  EXPECT_EQ(doc->get("validation")->get("errorCode")->string, "internal.error");

  ProcResult d = vyx({"draft", "--from-trace", "t", "--out", "refused.json", "--include-actions"});
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.err, "error[internal.error]: StreamTooLong\n");
  EXPECT_FALSE(vyx::test::fileExists(dir.file("refused.json")));
}

// Bad event lines never stop a draft, and a recorded step is kept as it was
// recorded even where the scenario reader refuses it: the validation tells.
TEST_F(Authoring, RecordedStepsAreKeptAndValidationTells) {
  writeFile(dir.file("t/events.jsonl"),
            R"({"seq":1,"kind":"app.launch","payload":{"status":"ok"}})" "\n"
            "garbage\n"
            R"({"seq":2,"kind":"ui.tap","payload":{"selector":{"text":7}}})" "\n"
            R"({"seq":3,"kind":"ui.eraseText","payload":{"maxChars":99999999999}})" "\n"
            R"({"seq":4,"kind":"ui.tap","payload":{"selector":{"text":"Go"}}})" "\n"
            R"({"seq":5,"kind":"ui.tap","payload":{"sel)");
  ProcResult r = vyx({"discover", "--from-trace", "t", "--out", "s.json", "--include-actions", "--validate", "--json"});
  ASSERT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  auto doc = vyx::json::parseValue(r.out);
  ASSERT_TRUE(doc);
  EXPECT_FALSE(doc->get("ok")->boolean);
  EXPECT_FALSE(doc->get("validation")->get("ok")->boolean);
  EXPECT_EQ(doc->get("replay")->get("stepCount")->integer, 4);
  std::vector<std::string> warnings;
  for (const auto& w : doc->get("warnings")->array) warnings.push_back(w.string);
  EXPECT_EQ(warnings, (std::vector<std::string>{"invalid trace event was skipped",
                                                "draft requires human review before commit"}));
  const std::string written = readFile(dir.file("s.json"));
  EXPECT_NE(written.find(R"({"action":"tap","selector":{"text":7}})"), std::string::npos) << written;
  EXPECT_NE(written.find(R"({"action":"eraseText","maxChars":99999999999})"), std::string::npos) << written;
  EXPECT_EQ(vyx({"validate", "s.json"}).status, 1);

  // An assertion on no selectors at all is recorded as it is, and fails
  // the validation of the draft in text form too.
  writeFile(dir.file("t/events.jsonl"), R"({"kind":"assert.noneVisible","payload":{"selectors":[],"timeoutMs":0}})" "\n");
  ProcResult none = vyx({"discover", "--from-trace", "t", "--out", "d.json", "--include-actions", "--validate"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "");
  EXPECT_EQ(none.out, "wrote d.json\nvalidation failed d.json\nnext: vyx validate --json d.json\n");
  EXPECT_NE(readFile(dir.file("d.json")).find(R"({"action":"assertNoneVisible","selectors":[],"timeoutMs":0})"),
            std::string::npos);
}

namespace {

const std::string kScreen =
    R"(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation="0">)"
    R"(<node index="0" text="" resource-id="" class="android.widget.FrameLayout" package="com.example.app" )"
    R"(content-desc="" enabled="true" selected="false" bounds="[0,0][1080,2400]">)"
    R"(<node index="0" text="" resource-id="com.example.app:id/email" class="android.widget.EditText" )"
    R"(package="com.example.app" content-desc="E-mail" enabled="true" selected="false" bounds="[40,60][1040,180]" />)"
    R"(<node index="1" text="Sign in" resource-id="com.example.app:id/sign_in" class="android.widget.Button" )"
    R"(package="com.example.app" content-desc="" enabled="true" selected="false" bounds="[40,200][1040,320]" />)"
    R"(</node></hierarchy>)";

const std::string kRecorded = R"({"name":"smoke","appId":"com.example.app","steps":[
  {"action":"launch"},
  {"action":"typeText","selector":{"id":"com.example.app:id/email"},"text":"hello"},
  {"action":"swipe","x1":500,"y1":1500,"x2":500,"y2":600,"durationMs":200},
  {"action":"tap","selector":{"textContains":"Sign"}},
  {"action":"snapshot"}]})";

}  // namespace

// A traced run on the fake device becomes a scenario that validates and
// passes again on the same device.
TEST(RecordFromTrace, RunDiscoverValidateRunAgain) {
  TempDir dir;
  writeFile(dir.file("device/ui.xml"), kScreen);
  writeFile(dir.file("device/window.txt"), "  mCurrentFocus=Window{42 u0 com.example.app/com.example.app.MainActivity}\n");
  writeFile(dir.file("device/wm-size.txt"), "Physical size: 1080x2400\n");
  writeFile(dir.file("recorded.json"), kRecorded);
  // Fewer device calls per snapshot: the test is about the steps.
  writeFile(dir.file(".vyx/config.json"), R"({"schemaVersion":1,"artifacts":{"screenshots":false,"logs":false}})");
  vyx::test::RunOptions o;
  o.cwd = dir.path();
  o.env["VYX_FAKE_ANDROID_DIR"] = dir.file("device");
  const std::string adb = vyx::test::fakesDir() + "/adb";

  ProcResult first = runVyx({"run", "recorded.json", "--adb", adb, "--trace-dir", "traces/first"}, o);
  ASSERT_EQ(first.status, 0) << first.err;
  ProcResult drafted = runVyx({"discover", "--from-trace", "traces/first", "--out", "drafted/smoke.json",
                               "--include-actions", "--validate", "--name", "smoke again", "--json"},
                              o);
  ASSERT_EQ(drafted.status, 0) << drafted.out << drafted.err;
  auto doc = vyx::json::parseValue(drafted.out);
  ASSERT_TRUE(doc);
  EXPECT_TRUE(doc->get("ok")->boolean);
  EXPECT_EQ(doc->get("replay")->get("skippedEventCount")->integer, 0) << drafted.out;

  const std::string scenario = readFile(dir.file("drafted/smoke.json"));
  // Typing into an element taps it first, and the trace records that tap.
  EXPECT_EQ(scenario,
            R"({"name":"smoke again","appId":"com.example.app","steps":[{"action":"launch"},)"
            R"({"action":"tap","selector":{"id":"com.example.app:id/email"}},)"
            R"({"action":"typeText","selector":{"id":"com.example.app:id/email"},"text":"hello"},)"
            R"({"action":"swipe","x1":500,"y1":1500,"x2":500,"y2":600,"durationMs":200},)"
            R"({"action":"tap","selector":{"textContains":"Sign"}},{"action":"snapshot"},)"
            R"({"action":"assertVisible","selector":{"resourceId":"com.example.app:id/email"}},)"
            R"({"action":"assertVisible","selector":{"resourceId":"com.example.app:id/sign_in"}}]})"
            "\n");
  EXPECT_EQ(runVyx({"validate", "drafted/smoke.json"}, o).status, 0);

  ProcResult again = runVyx({"run", "drafted/smoke.json", "--adb", adb, "--trace-dir", "traces/second", "--json"}, o);
  ASSERT_EQ(again.status, 0) << again.out << again.err;
  auto summary = vyx::json::parseValue(again.out);
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->get("status")->string, "passed");
}

// `vyx run --discover-out`: the new trace becomes a validated draft whose
// result is the summary's "discovery"; a draft that fails is only named in
// "discoveryError" and leaves the run's outcome alone.
TEST(RunDiscoverOut, DraftsFromTheNewTrace) {
  TempDir dir;
  writeFile(dir.file("device/ui.xml"), kScreen);
  writeFile(dir.file(".vyx/config.json"), R"({"schemaVersion":1,"artifacts":{"screenshots":false,"logs":false}})");
  writeFile(dir.file("snap.json"), R"({"name":"snap","steps":[{"action":"launch"},{"action":"snapshot"}]})");
  writeFile(dir.file("nosnap.json"), R"({"name":"nosnap","steps":[{"action":"launch"}]})");
  vyx::test::RunOptions o;
  o.cwd = dir.path();
  o.env["VYX_FAKE_ANDROID_DIR"] = dir.file("device");
  const std::string adb = vyx::test::fakesDir() + "/adb";

  ProcResult r = runVyx({"run", "snap.json", "--adb", adb, "--trace-dir", "t", "--discover-out", "d/s.json", "--json"}, o);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
  auto summary = vyx::json::parseValue(r.out);
  ASSERT_TRUE(summary) << r.out;
  const vyx::json::Value* discovery = summary->get("discovery");
  ASSERT_NE(discovery, nullptr) << r.out;
  EXPECT_NE(r.out.find(R"("discovery":{"ok":true,"mode":"discover","schemaVersion":1,)"), std::string::npos) << r.out;
  EXPECT_EQ(discovery->get("out")->string, "d/s.json");
  EXPECT_EQ(discovery->get("traceDir")->string, "t");
  EXPECT_TRUE(discovery->get("replay")->get("enabled")->boolean);
  EXPECT_TRUE(discovery->get("validation")->get("ok")->boolean);
  EXPECT_EQ(summary->get("discoveryError"), nullptr);
  EXPECT_EQ(readFile(dir.file("d/s.json")),
            R"({"name":"draft from snap","steps":[{"action":"launch"},{"action":"snapshot"},)"
            R"({"action":"assertVisible","selector":{"resourceId":"com.example.app:id/email"}},)"
            R"({"action":"assertVisible","selector":{"resourceId":"com.example.app:id/sign_in"}}]})"
            "\n");

  // The run passes; the draft finds no snapshot in its trace.
  ProcResult none = runVyx({"run", "nosnap.json", "--adb", adb, "--trace-dir", "t", "--discover-out", "d/s.json", "--json"}, o);
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.err, "");
  auto failed = vyx::json::parseValue(none.out);
  ASSERT_TRUE(failed) << none.out;
  EXPECT_TRUE(failed->get("ok")->boolean);
  EXPECT_EQ(failed->get("discovery"), nullptr);
  ASSERT_NE(failed->get("discoveryError"), nullptr) << none.out;
  EXPECT_EQ(failed->get("discoveryError")->string, "SemanticSnapshotMissing");
}
