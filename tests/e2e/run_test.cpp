// `vyx run` through the real binary against the fake Android device (fake
// adb and Android shim), the fake emulator tools and the fake xcrun/iOS shim:
// early errors and their order, configuration precedence, the summaries,
// traces, screen recording and emulator preparation.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/json.hpp"
#include "fake_log.hpp"
#include "vyx_test.hpp"

using vyx::test::FakeCall;
using vyx::test::ProcResult;
using vyx::test::readFile;
using vyx::test::writeFile;
using vyx::test::runVyx;
using vyx::test::TempDir;
using Argv = std::vector<std::string>;

namespace {


const std::string kSignInScreen =
    R"(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation="0">)"
    R"(<node index="0" text="" resource-id="" class="android.widget.FrameLayout" package="com.example.app" )"
    R"(content-desc="" enabled="true" selected="false" bounds="[0,0][1080,2400]">)"
    R"(<node index="0" text="Sign in" resource-id="com.example.app:id/sign_in" class="android.widget.Button" )"
    R"(package="com.example.app" content-desc="" enabled="true" selected="false" bounds="[40,200][1040,320]" />)"
    R"(</node></hierarchy>)";

const std::string kShimSnapshot =
    R"({"status":"ok","viewport":{"width":1080,"height":2400},"nodes":[)"
    R"({"id":"n1","type":"android.widget.EditText","identifier":"email","bounds":{"x":40,"y":100,"width":1000,"height":100}},)"
    R"({"id":"n2","type":"android.widget.Button","label":"Sign in","bounds":{"x":40,"y":200,"width":1000,"height":120}}]})";

// One temporary app directory with a fake Android device fixture, the fake
// tools' call log and helpers to run vyx inside it.
class Run : public ::testing::Test {
 protected:
  void SetUp() override {
    vyx::test::runProgram({"/bin/mkdir", "-p", device()});
    writeFile(device() + "/ui.xml", kSignInScreen);
    writeFile(device() + "/window.txt", "  mCurrentFocus=Window{42 u0 com.example.app/com.example.app.MainActivity}\n");
    writeFile(device() + "/wm-size.txt", "Physical size: 1080x2400\n");
    writeFile(device() + "/wm-density.txt", "Physical density: 420\n");
    writeFile(device() + "/shim-snapshot.json", kShimSnapshot);
  }

  std::string device() const { return dir.file("device"); }
  std::string log() const { return dir.file("calls.log"); }
  std::string fake(const std::string& name) const { return vyx::test::fakesDir() + "/" + name; }

  void scenario(const std::string& name, const std::string& json) { writeFile(dir.file(name), json); }

  // A vyx that blocks is ended after `timeoutMs` (ProcResult::timedOut).
  ProcResult vyx(Argv args, std::map<std::string, std::string> env = {}, int timeoutMs = 0) {
    vyx::test::RunOptions o;
    o.cwd = dir.path();
    o.timeoutMs = timeoutMs;
    o.env = std::move(env);
    o.env["VYX_FAKE_ANDROID_DIR"] = device();
    o.env["VYX_FAKE_IOS_DIR"] = device();
    o.env["VYX_FAKE_LOG"] = log();
    args.insert(args.begin(), "run");
    return runVyx(args, o);
  }

  std::vector<Argv> calls() const { return vyx::test::readFakeLog(log()); }

  // The calls of one tool, without the tool's name.
  std::vector<Argv> callsOf(const std::string& tool) const {
    std::vector<Argv> out;
    for (const Argv& c : calls()) {
      if (!c.empty() && c[0] == tool) out.emplace_back(c.begin() + 1, c.end());
    }
    return out;
  }

  std::vector<vyx::json::Value> events(const std::string& traceDir) const {
    std::vector<vyx::json::Value> out;
    for (const std::string& line : vyx::test::splitLines(readFile(dir.file(traceDir + "/events.jsonl")))) {
      if (line.empty()) continue;
      auto v = vyx::json::parseValue(line);
      EXPECT_TRUE(v) << line;
      if (v) out.push_back(std::move(*v));
    }
    return out;
  }

  static std::vector<std::string> kinds(const std::vector<vyx::json::Value>& events) {
    std::vector<std::string> out;
    for (const auto& e : events) out.push_back(e.get("kind")->string);
    return out;
  }

  TempDir dir;
};

vyx::json::Value parseSummary(const std::string& out) {
  EXPECT_TRUE(out.ends_with("}\n")) << out;
  EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line: " << out;
  auto v = vyx::json::parseValue(out);
  EXPECT_TRUE(v && v->isObject()) << out;
  return v ? *v : vyx::json::Value{};
}

std::vector<std::string> keysOf(const vyx::json::Value& object) {
  std::vector<std::string> keys;
  for (const auto& m : object.object) keys.push_back(m.key);
  return keys;
}

Argv launchCall(const std::string& appId) {
  return {"shell", "monkey", "-p", appId, "-c", "android.intent.category.LAUNCHER", "1"};
}

bool contains(const std::vector<Argv>& calls, const Argv& call) {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

const char* kPassing = R"({"name":"smoke","appId":"com.example.app","steps":[
  {"action":"launch"},
  {"action":"waitVisible","selector":{"text":"Sign in"},"timeoutMs":0},
  {"action":"tap","selector":{"id":"email"}},
  {"action":"typeText","text":"user@example.com"},
  {"action":"assertVisible","selector":{"text":"Sign in"}},
  {"action":"snapshot"}]})";

const char* kFailingWait = R"({"name":"missing","steps":[
  {"action":"waitVisible","selector":{"text":"Sign in"},"timeoutMs":0},
  {"action":"waitVisible","selector":{"text":"Welcome"},"timeoutMs":0},
  {"action":"snapshot"}]})";

const char* kWaitOnly = R"({"name":"wait","steps":[{"action":"waitVisible","selector":{"text":"Sign in"},"timeoutMs":0}]})";

}  // namespace

TEST_F(Run, EarlyErrorsPrintNothingAndExitWithTheirStatus) {
  scenario("s.json", kWaitOnly);
  writeFile(dir.file("bad.json"), "{\"schemaVersion\":1,");
  struct Case {
    Argv args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"--json"}, 2, "error[cli.missing_scenario]: missing scenario path\n"},
      {{"s.json", "--json", "--platform"}, 2, "error[cli.missing_platform]: missing platform\n"},
      {{"s.json", "--platform", "Android"}, 2, "error[cli.unsupported_platform]: unsupported platform\n"},
      {{"s.json", "--ios-device-type", "tv"}, 2, "error[internal.error]: UnsupportedIosDeviceType\n"},
      {{"s.json", "extra.json"}, 2,
       "error[cli.unknown_flag]: unknown flag\nhint: run `vyx help` for each command's flags and arguments.\n"},
      {{"s.json", "--config"}, 1, "error[internal.error]: MissingConfigPath\n"},
      {{"s.json", "--android-avd"}, 1, "error[internal.error]: MissingAndroidAvdName\n"},
      // The configuration is read before the scenario: a missing --config file fails first.
      {{"nope.json", "--config", "missing.json", "--json"}, 1,
       "error[scenario.file_not_found]: scenario file was not found\n"},
      {{"s.json", "--config", "bad.json", "--json"}, 1, "error[internal.error]: UnexpectedEndOfInput\n"},
      // --discover-out without a trace directory fails before the scenario is read.
      {{"nope.json", "--discover-out", "d.json", "--json"}, 2, "error[cli.missing_trace_dir]: missing trace directory\n"},
      {{"nope.json", "--json"}, 1, "error[scenario.file_not_found]: scenario file was not found\n"},
      {{"bad.json", "--json"}, 1, "error[internal.error]: UnexpectedEndOfInput\n"},
      {{".", "--json"}, 1, "error[internal.error]: IsDir\n"},
  };
  for (const Case& c : cases) {
    ProcResult r = vyx(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << r.err;
    EXPECT_EQ(r.err, c.err) << c.args[0];
    EXPECT_EQ(r.out, "") << c.args[0];
  }
  EXPECT_TRUE(calls().empty());  // no tool ran
}

TEST_F(Run, InvalidScenarioAndOversizedScenario) {
  scenario("steps.json", R"({"name":"x","steps":[{"action":"fly"}]})");
  ProcResult r = vyx({"steps.json", "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error[scenario.invalid]: scenario is invalid\n");
  writeFile(dir.file("big.json"), std::string(16 * 1024 * 1024, ' '));
  r = vyx({"big.json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error[internal.error]: StreamTooLong\n");
}

TEST_F(Run, DefaultConfigurationThatCannotBeReadFails) {
  scenario("s.json", kWaitOnly);
  vyx::test::runProgram({"/bin/mkdir", "-p", dir.file(".vyx/config.json")});
  ProcResult r = vyx({"s.json", "--adb", fake("adb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error[internal.error]: IsDir\n");
  vyx::test::runProgram({"/bin/rm", "-r", dir.file(".vyx")});
  writeFile(dir.file(".vyx/config.json"), R"({"schemaVersion":1,"colour":"red"})");
  r = vyx({"s.json", "--adb", fake("adb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error[internal.error]: ConfigUnknownField\n");
}

TEST_F(Run, PassingScenarioWithoutTracePrintsTheShortSummary) {
  scenario("s.json", kPassing);
  ProcResult r = vyx({"s.json", "--adb", fake("adb"), "--android-shim", fake("android-shim"), "--json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, R"({"ok":true,"status":"passed","scenario":"smoke","appId":"com.example.app"})"
                   "\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(contains(callsOf("adb"), launchCall("com.example.app")));
  // Without --json nothing is printed.
  r = vyx({"s.json", "--adb", fake("adb"), "--android-shim", fake("android-shim")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(Run, PassingScenarioWithTracePrintsTheLongSummary) {
  scenario("s.json", kPassing);
  ProcResult r = vyx({"s.json", "--adb", fake("adb"), "--android-shim", fake("android-shim"), "--device",
                      "emulator-5554", "--trace-dir", "traces/smoke", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  vyx::json::Value s = parseSummary(r.out);
  EXPECT_EQ(keysOf(s), (std::vector<std::string>{"ok", "status", "scenario", "appId", "traceDir", "eventsPath",
                                                 "artifactsDir", "durationMs", "eventCount", "snapshotCount",
                                                 "partialFailureCount", "nextCommands"}));
  EXPECT_TRUE(s.get("ok")->boolean);
  EXPECT_EQ(s.get("status")->string, "passed");
  EXPECT_EQ(s.get("traceDir")->string, "traces/smoke");
  auto evs = events("traces/smoke");
  EXPECT_EQ(s.get("eventCount")->integer, static_cast<int64_t>(evs.size()));
  ASSERT_EQ(s.get("nextCommands")->array.size(), 4u);
  EXPECT_EQ(s.get("nextCommands")->array[1].string, "vyx explain traces/smoke --json");
  ASSERT_FALSE(evs.empty());
  EXPECT_EQ(kinds(evs).front(), "scenario.start");
  EXPECT_EQ(kinds(evs).back(), "scenario.end");
  EXPECT_TRUE(vyx::test::fileExists(dir.file("traces/smoke/trace.json")));
  // Every adb call names the device.
  for (const Argv& c : callsOf("adb")) {
    ASSERT_GE(c.size(), 2u);
    EXPECT_EQ((Argv{c[0], c[1]}), (Argv{"-s", "emulator-5554"}));
  }
}

TEST_F(Run, FailingWaitRecordsItsDiagnosticsAndFails) {
  scenario("s.json", kFailingWait);
  ProcResult r = vyx({"s.json", "--adb", fake("adb"), "--trace-dir", "t", "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error[runner.wait_timeout]: wait timed out\n");
  vyx::json::Value s = parseSummary(r.out);
  EXPECT_FALSE(s.get("ok")->boolean);
  EXPECT_EQ(s.get("status")->string, "failed");
  EXPECT_EQ(s.get("failedStepIndex")->integer, 1);
  EXPECT_EQ(s.get("error")->string, "WaitTimeout");
  EXPECT_EQ(s.get("appId"), nullptr);  // the scenario file names none
  auto evs = events("t");
  std::vector<std::string> k = kinds(evs);
  ASSERT_GE(k.size(), 4u);
  EXPECT_EQ((std::vector<std::string>(k.end() - 2, k.end())), (std::vector<std::string>{"step.error", "scenario.end"}));
  // The failing wait's diagnostics name the snapshot and what was on screen.
  const vyx::json::Value* diag = nullptr;
  for (const auto& e : evs) {
    if (e.get("kind")->string == "wait.visible" && e.get("payload")->get("snapshotId") != nullptr) diag = &e;
  }
  ASSERT_NE(diag, nullptr) << readFile(dir.file("t/events.jsonl"));
  EXPECT_EQ(diag->get("payload")->get("status")->string, "timeout");
  EXPECT_NE(readFile(dir.file("t/events.jsonl")).find("Sign in"), std::string::npos);

  // Without a trace directory the short summary carries the error.
  r = vyx({"s.json", "--adb", fake("adb"), "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, R"({"ok":false,"status":"failed","scenario":"missing","appId":"com.example.app","error":"WaitTimeout"})"
                   "\n");
}

TEST_F(Run, AppIdPrecedence) {
  scenario("own.json", R"({"name":"a","appId":"com.scenario","steps":[{"action":"launch"}]})");
  scenario("none.json", R"({"name":"b","steps":[{"action":"launch"}]})");
  Argv base{"--android-shim", fake("android-shim"), "--json"};
  auto launched = [&](Argv args) {
    vyx::test::runProgram({"/bin/rm", "-f", log()});
    args.insert(args.end(), base.begin(), base.end());
    ProcResult r = vyx(args);
    EXPECT_EQ(r.status, 0) << r.err;
    for (const Argv& c : callsOf("adb")) {
      if (c.size() > 3 && c[1] == "monkey") return c[3];
    }
    return std::string("<none>");
  };
  // No configuration: the placeholder.
  EXPECT_EQ(launched({"none.json", "--adb", fake("adb")}), "com.example.app");
  writeFile(dir.file(".vyx/config.json"),
            R"({"schemaVersion":1,"appId":"com.config","tools":{"adbPath":")" + fake("adb") + R"("}})");
  EXPECT_EQ(launched({"none.json"}), "com.config");
  EXPECT_EQ(launched({"own.json"}), "com.scenario");
  EXPECT_EQ(launched({"own.json", "--app-id", "com.flag"}), "com.flag");
  // Tools and shims given on the command line win over the configuration's.
  writeFile(dir.file(".vyx/config.json"),
            R"({"schemaVersion":1,"tools":{"adbPath":"no-such/adb","androidShimPath":"no-such/shim"}})");
  EXPECT_EQ(launched({"none.json", "--adb", fake("adb")}), "com.example.app");
}

TEST_F(Run, ConfigDrivenRunWithScreenRecording) {
  // The configuration lives in app/.vyx; its relative paths resolve against app/.
  writeFile(dir.file("app/.vyx/config.json"), R"({"schemaVersion":1,"appId":"com.config",
    "android":{"defaultDevice":"emulator-5556","smokeScenario":"scenarios/smoke.json","traceDir":"traces/smoke"},
    "tools":{"adbPath":"tools/adb","androidShimPath":"tools/android-shim"},
    "artifacts":{"screenRecording":true}})");
  writeFile(dir.file("app/scenarios/smoke.json"), kPassing);
  for (const std::string tool : {"adb", "android-shim"}) {
    writeFile(dir.file("app/tools/" + tool), "#!/bin/sh\nexec '" + fake(tool) + "' \"$@\"\n");
    vyx::test::runProgram({"/bin/chmod", "+x", dir.file("app/tools/" + tool)});
  }
  writeFile(device() + "/screenrecord.mp4", "MP4 bytes");

  ProcResult r = vyx({"--config", "app/.vyx/config.json", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  vyx::json::Value s = parseSummary(r.out);
  EXPECT_EQ(s.get("traceDir")->string, "app/traces/smoke");
  EXPECT_EQ(readFile(dir.file("app/traces/smoke/artifacts/screenrecord.mp4")), "MP4 bytes");
  std::vector<std::string> k = kinds(events("app/traces/smoke"));
  ASSERT_GE(k.size(), 2u);
  EXPECT_EQ(k[k.size() - 2], "scenario.end");
  EXPECT_EQ(k.back(), "trace.screenRecording");
  EXPECT_NE(readFile(dir.file("app/traces/smoke/events.jsonl"))
                .find(R"("kind":"trace.screenRecording","payload":{"artifact":"artifacts/screenrecord.mp4"}})"),
            std::string::npos);

  std::vector<Argv> adb = callsOf("adb");
  const std::string remote = "/sdcard/vyx-trace-screenrecord.mp4";
  Argv rm{"-s", "emulator-5556", "shell", "rm", "-f", remote};
  ASSERT_GE(adb.size(), 4u);
  EXPECT_EQ(adb.front(), rm);
  // The recorder runs beside the scenario, so its call can be logged after
  // the scenario's first commands.
  EXPECT_TRUE(contains(adb, Argv{"-s", "emulator-5556", "shell", "screenrecord", remote}));
  EXPECT_EQ(adb[adb.size() - 2], (Argv{"-s", "emulator-5556", "pull", remote, "app/traces/smoke/artifacts/screenrecord.mp4"}));
  EXPECT_EQ(adb.back(), rm);
  EXPECT_TRUE(contains(adb, Argv{"-s", "emulator-5556", "shell", "monkey", "-p", "com.example.app", "-c",
                                 "android.intent.category.LAUNCHER", "1"}));

  // --no-screen-record turns the configured recording off.
  vyx::test::runProgram({"/bin/rm", "-f", log()});
  r = vyx({"--config", "app/.vyx/config.json", "--no-screen-record"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const Argv& c : callsOf("adb")) EXPECT_NE(c[3], "screenrecord");
  EXPECT_FALSE(vyx::test::fileExists(dir.file("app/traces/smoke/artifacts/screenrecord.mp4")));
}

TEST_F(Run, RecordingSurvivesAFailingScenarioAndAFailedPullLeavesNoEvent) {
  scenario("s.json", kFailingWait);
  Argv args{"s.json", "--adb", fake("adb"), "--trace-dir", "t", "--screen-record", "--json"};
  ProcResult r = vyx(args);
  EXPECT_EQ(r.status, 1);
  std::vector<std::string> k = kinds(events("t"));
  EXPECT_EQ(k.back(), "trace.screenRecording");
  EXPECT_EQ(readFile(dir.file("t/artifacts/screenrecord.mp4")), "fake screen recording\n");
  EXPECT_FALSE(parseSummary(r.out).get("ok")->boolean);

  // A recorder that cannot record and a pull that fails: no event, the run still passes.
  scenario("s.json", kWaitOnly);
  writeFile(device() + "/exit-codes", "1 shell screenrecord\n");
  r = vyx(args);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(kinds(events("t")).back(), "scenario.end");
  EXPECT_FALSE(vyx::test::fileExists(dir.file("t/artifacts/screenrecord.mp4")));
  EXPECT_TRUE(parseSummary(r.out).get("ok")->boolean);
}

TEST_F(Run, RecorderIgnoringSigintIsKilledAndTheRunCompletes) {
  scenario("s.json", kWaitOnly);
  const std::string pidFile = device() + "/screenrecord-ignores-sigint";
  writeFile(pidFile, "");
  // The recorder gets ten seconds to answer SIGINT, then SIGKILL.
  ProcResult r = vyx({"s.json", "--adb", fake("adb"), "--trace-dir", "t", "--screen-record", "--json"}, {}, 60000);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(parseSummary(r.out).get("ok")->boolean);
  // The trace is finished; the killed recorder left no video to announce.
  EXPECT_EQ(kinds(events("t")).back(), "scenario.end");
  EXPECT_NE(readFile(dir.file("t/trace.json")).find(R"("status":"passed")"), std::string::npos);
  EXPECT_FALSE(vyx::test::fileExists(dir.file("t/artifacts/screenrecord.mp4")));
  // It ignored SIGINT (the fake device answers only once it does), and it
  // is gone.
  std::string pid = readFile(pidFile);
  ASSERT_FALSE(pid.empty());
  EXPECT_TRUE(::kill(std::stoi(pid), 0) != 0 && errno == ESRCH) << pid;
  Argv pull{"pull", "/sdcard/vyx-trace-screenrecord.mp4", "t/artifacts/screenrecord.mp4"};
  EXPECT_TRUE(contains(callsOf("adb"), pull));
}

TEST_F(Run, MissingAdbFailsTheRunAndKeepsTheTrace) {
  scenario("s.json", kPassing);
  // The recorder cannot start either: the scenario runs without it.
  ProcResult r = vyx({"s.json", "--adb", dir.file("no-such-adb"), "--trace-dir", "t", "--screen-record", "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error[scenario.file_not_found]: scenario file was not found\n");
  vyx::json::Value s = parseSummary(r.out);
  EXPECT_EQ(s.get("status")->string, "failed");
  EXPECT_EQ(s.get("error")->string, "FileNotFound");
  EXPECT_EQ(s.get("failedStepIndex")->integer, 0);
  std::vector<std::string> k = kinds(events("t"));
  EXPECT_EQ(k, (std::vector<std::string>{"scenario.start", "app.launch", "step.error", "scenario.end"}));
}

TEST_F(Run, AStaleTraceIsNeverReportedAsThisRunsResult) {
  scenario("s.json", kWaitOnly);
  // An old passing trace whose event log cannot be removed (a non-empty directory).
  writeFile(dir.file("t/trace.json"), R"({"scenarioName":"old","status":"passed","eventsPath":"log.jsonl"})");
  writeFile(dir.file("t/events.jsonl/keep"), "x");
  ProcResult r = vyx({"s.json", "--adb", fake("adb"), "--trace-dir", "t", "--json"});
  EXPECT_EQ(r.status, 1);
  vyx::json::Value s = parseSummary(r.out);
  EXPECT_EQ(keysOf(s), (std::vector<std::string>{"ok", "status", "scenario", "appId", "error"}));
  EXPECT_FALSE(s.get("ok")->boolean);
  EXPECT_EQ(s.get("scenario")->string, "wait");
  EXPECT_TRUE(vyx::test::fileExists(dir.file("t/trace.json")));  // left alone
}

TEST_F(Run, EmulatorPreparationWithFakeTools) {
  scenario("s.json", kWaitOnly);
  writeFile(dir.file("avds.txt"), "Other_AVD\n");
  writeFile(device() + "/cmd/shell_getprop_sys.boot_completed", "1\n");
  Argv args{"s.json", "--adb", fake("adb"), "--emulator", fake("emulator"), "--avdmanager", fake("avdmanager"),
            "--android-avd", "Pixel_7", "--create-avd-if-missing", "--avd-system-image",
            "system-images;android-34;google_apis;x86_64", "--avd-device", "pixel_7", "--restore-snapshot", "clean",
            "--reset-emulator", "--wait-emulator", "--device", "emulator-5554", "--json"};
  ProcResult r = vyx(args, {{"VYX_FAKE_EMULATOR_AVDS", dir.file("avds.txt")}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, R"({"ok":true,"status":"passed","scenario":"wait","appId":"com.example.app"})"
                   "\n");

  Argv start{"-avd", "Pixel_7", "-snapshot", "clean", "-netdelay", "none", "-netspeed", "full"};
  // The emulator is started detached and never waited for: its record may come late.
  for (int i = 0; i < 100 && !contains(callsOf("emulator"), start); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(callsOf("emulator"), (std::vector<Argv>{{"-list-avds"}, start}));
  auto all = vyx::test::readFakeCalls(log());
  const FakeCall* create = nullptr;
  for (const auto& c : all) {
    if (c.argv[0] == "avdmanager") create = &c;
  }
  ASSERT_NE(create, nullptr);
  EXPECT_EQ(create->argv, (Argv{"avdmanager", "create", "avd", "--name", "Pixel_7", "--package",
                                "system-images;android-34;google_apis;x86_64", "--device", "pixel_7", "--force"}));
  EXPECT_EQ(create->input, "no\n");
  std::vector<Argv> adb = callsOf("adb");
  ASSERT_GE(adb.size(), 3u);
  EXPECT_EQ(adb[0], (Argv{"-s", "emulator-5554", "emu", "kill"}));
  EXPECT_EQ(adb[1], (Argv{"-s", "emulator-5554", "wait-for-device"}));
  EXPECT_EQ(adb[2], (Argv{"-s", "emulator-5554", "shell", "getprop", "sys.boot_completed"}));

  // An AVD already listed (blanks and a carriage return around it) is not created again.
  vyx::test::runProgram({"/bin/rm", "-f", log()});
  writeFile(dir.file("avds.txt"), "  Pixel_7 \r\n");
  r = vyx(args, {{"VYX_FAKE_EMULATOR_AVDS", dir.file("avds.txt")}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(callsOf("avdmanager").empty());
}

TEST_F(Run, EmulatorPreparationFailuresEndTheRunBeforeTheDevice) {
  scenario("s.json", kWaitOnly);
  struct Case {
    Argv args;
    std::map<std::string, std::string> env;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"--reset-emulator"}, {}, 1, "error[internal.error]: MissingAndroidAvdName\n"},
      {{"--create-avd-if-missing", "--android-avd", "A"}, {}, 1, "error[internal.error]: MissingAndroidAvdSystemImage\n"},
      {{"--create-avd-if-missing", "--android-avd", "A", "--avd-system-image", "img"},
       {{"VYX_FAKE_AVDMANAGER_EXIT", "1"}}, 1,
       "error[device.command_failed]: device command failed\nhint: run `vyx doctor --json` for setup diagnostics.\n"},
      {{"--android-avd", "A", "--emulator", "/no/such/emulator"}, {}, 1,
       "error[scenario.file_not_found]: scenario file was not found\n"},
  };
  for (const Case& c : cases) {
    vyx::test::runProgram({"/bin/rm", "-f", log()});
    Argv args{"s.json", "--adb", fake("adb"), "--emulator", fake("emulator"), "--avdmanager", fake("avdmanager"),
              "--trace-dir", "t", "--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ProcResult r = vyx(args, c.env);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.err, c.err) << c.args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(callsOf("adb").empty()) << c.args[0];  // no device was created
    EXPECT_FALSE(vyx::test::fileExists(dir.file("t"))) << c.args[0];
  }
}

TEST_F(Run, IosRunThroughFakeXcrunAndShim) {
  scenario("s.json", R"({"name":"ios smoke","steps":[{"action":"launch"},{"action":"snapshot"}]})");
  writeFile(device() + "/shim-snapshot.out", kShimSnapshot);
  ProcResult r = vyx({"s.json", "--platform", "ios", "--xcrun", fake("xcrun"), "--ios-shim", fake("ios-shim"),
                      "--device", "SIM-1", "--app-id", "com.example.ios", "--trace-dir", "t", "--json"});
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  vyx::json::Value s = parseSummary(r.out);
  EXPECT_EQ(s.get("status")->string, "passed");
  std::vector<Argv> xcrun = callsOf("xcrun");
  ASSERT_FALSE(xcrun.empty());
  EXPECT_EQ(xcrun[0][0], "simctl");
  bool launched = false;
  for (const Argv& c : xcrun) {
    if (c.size() >= 4 && c[1] == "launch" && c[2] == "SIM-1" && c[3] == "com.example.ios") launched = true;
  }
  EXPECT_TRUE(launched);
  EXPECT_TRUE(callsOf("adb").empty());
}

// The README's main job: the demo app's scenario against the fake device,
// as scripts/demo.sh runs it.
TEST_F(Run, DemoRunsEndToEnd) {
  const std::string demo = vyx::test::sourceDir() + "/examples/demo";
  vyx::test::runProgram({"/bin/cp", "-R", demo + "/device/.", device()});
  ProcResult r = vyx({"--config", demo + "/.vyx/config.json", "--adb", fake("adb"), "--trace-dir", "traces/demo",
                      "--json"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  vyx::json::Value s = parseSummary(r.out);
  EXPECT_TRUE(s.get("ok")->boolean);
  EXPECT_EQ(s.get("status")->string, "passed");
  std::vector<std::string> k = kinds(events("traces/demo"));
  ASSERT_FALSE(k.empty());
  EXPECT_EQ(k.front(), "scenario.start");
  EXPECT_EQ(k.back(), "trace.screenRecording");
  EXPECT_TRUE(vyx::test::fileExists(dir.file("traces/demo/artifacts/screenrecord.mp4")));
  // The configured deny list keeps the typed e-mail address out of the trace.
  EXPECT_EQ(readFile(dir.file("traces/demo/events.jsonl")).find("user@example.com"), std::string::npos);
}

TEST_F(Run, DemoExampleLoads) {
  const std::string demo = vyx::test::sourceDir() + "/examples/demo";
  ProcResult v = runVyx({"validate", demo + "/scenarios/smoke.json"});
  EXPECT_EQ(v.status, 0) << v.out << v.err;
  // The configuration names the scenario relative to the app root; without
  // an adb the run gets as far as launching the app.
  ProcResult r = vyx({"--config", demo + "/.vyx/config.json", "--adb", dir.file("no-adb"), "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, R"({"ok":false,"status":"failed","scenario":"Demo sign-in","appId":"com.example.app","error":"FileNotFound"})"
                   "\n");
}

namespace {

// Runs the shell script with a fresh tmpfs of `size` mounted at "$1" in a
// mount namespace of its own (so nothing is left mounted); false when this
// machine does not allow that (not root, no unshare), and the test is then
// skipped. The script copies what it wants to keep out of the tmpfs.
bool withSmallFilesystem(const std::string& mountPoint, const std::string& size, const std::string& script,
                         const vyx::test::RunOptions& options) {
  ProcResult r = vyx::test::runProgram(
      {"/usr/bin/env", "unshare", "-m", "sh", "-c",
       "mount -t tmpfs -o size=" + size + " vyx-full \"$1\" 2>/dev/null || exit 97\n" + script, "sh", mountPoint},
      options);
  EXPECT_TRUE(r.status == 0 || r.status == 97) << r.status << r.out << r.err;
  return r.status == 0;
}

}  // namespace

// A run on a file system that fills: every artifact that could not be
// written whole is removed (screenshots, UI trees and the screen recording
// alike), the manifest stays valid JSON and the errors name the cause, also
// when a drafted scenario cannot be written.
TEST_F(Run, AFullDiskLeavesNoCutShortArtifacts) {
  scenario("s.json", R"({"name":"full","appId":"com.example.app","steps":[{"action":"launch"},)"
                     R"({"action":"snapshot"},{"action":"snapshot"},{"action":"snapshot"},{"action":"snapshot"}]})");
  writeFile(device() + "/screencap.png", std::string(96 * 1024, 'p'));
  writeFile(device() + "/screenrecord.mp4", std::string(512 * 1024, 'm'));
  ProcResult first = vyx({"s.json", "--adb", fake("adb"), "--trace-dir", "whole"});
  ASSERT_EQ(first.status, 0) << first.err;
  vyx::test::runProgram({"/bin/mkdir", "-p", dir.file("full"), dir.file("kept")});

  vyx::test::RunOptions o;
  o.cwd = dir.path();
  o.env["VYX_FAKE_ANDROID_DIR"] = device();
  const std::string vyxBin = vyx::test::vyxBinary();
  const std::string script =
      "'" + vyxBin + "' run s.json --adb '" + fake("adb") + "' --trace-dir \"$1/t\" --screen-record" +
      " >kept/run.out 2>kept/run.err; echo $? >kept/run.status\n"
      "dd if=/dev/zero of=\"$1/fill\" bs=4096 count=10000 2>/dev/null\n"
      "'" + vyxBin + "' draft --from-trace whole --out \"$1/d.json\" >kept/draft.out 2>kept/draft.err;"
      " echo $? >kept/draft.status\n"
      "rm -f \"$1/fill\"; cp -a \"$1/.\" kept/\n";
  if (!withSmallFilesystem(dir.file("full"), "256k", script, o)) GTEST_SKIP() << "cannot mount a tmpfs here";

  EXPECT_EQ(readFile(dir.file("kept/run.status")), "1\n");
  EXPECT_EQ(readFile(dir.file("kept/run.err")), "error[internal.error]: NoSpaceLeft\n");
  size_t artifacts = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("kept/t/artifacts"))) {
    const std::string name = entry.path().filename().string();
    const std::string whole = name.ends_with(".png")   ? std::string(96 * 1024, 'p')
                              : name.ends_with(".mp4") ? std::string(512 * 1024, 'm')
                                                       : readFile(entry.path().string());
    EXPECT_EQ(readFile(entry.path().string()), whole) << name;
    EXPECT_FALSE(whole.empty()) << name;
    ++artifacts;
  }
  EXPECT_GT(artifacts, 0u);
  EXPECT_FALSE(vyx::test::fileExists(dir.file("kept/t/artifacts/screenrecord.mp4")));
  auto manifest = vyx::json::parseValue(readFile(dir.file("kept/t/trace.json")));
  ASSERT_TRUE(manifest && manifest->isObject());

  EXPECT_EQ(readFile(dir.file("kept/draft.status")), "1\n");
  EXPECT_EQ(readFile(dir.file("kept/draft.err")), "error[internal.error]: NoSpaceLeft\n");
  EXPECT_FALSE(vyx::test::fileExists(dir.file("kept/d.json")));
}
