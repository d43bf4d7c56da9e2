// `vyx run` driving every step kind through the real binary, on the fake
// Android device (with and without the fake Android shim) and on the fake iOS
// tools (simulator and physical device, with and without the fake iOS shim).
// Each case checks the exact event lines of the trace (kinds and payloads in
// key order), the manifest and the summary, and the device commands the
// fakes received, with every snapshot's commands folded into one "snapshot".
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

#include "core/json.hpp"
#include "fake_log.hpp"
#include "vyx_test.hpp"

using vyx::test::ProcResult;
using vyx::test::readFile;
using vyx::test::writeFile;
using vyx::test::TempDir;
using Lines = std::vector<std::string>;

namespace {


enum class Target { AndroidShim, AndroidAdb, IosSimulator, IosPhysical, IosNoShim };

// A 390 by 844 PNG header (enough for its size to be read) and its Base64.
const std::string kPng("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x01\x86\0\0\x03\x4c\x08\x06\0\0\0\x01\x02\x03\x04", 33);
const char* kPngBase64 = "iVBORw0KGgoAAAANSUhEUgAAAYYAAANMCAYAAAABAgME";

const char* kUiXml =
    R"(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation="0">)"
    R"(<node index="0" text="" resource-id="" class="android.widget.FrameLayout" package="com.example.app" )"
    R"(content-desc="" enabled="true" selected="false" bounds="[0,0][1080,2400]">)"
    R"(<node index="0" text="Sign in" resource-id="com.example.app:id/sign_in" class="android.widget.Button" )"
    R"(package="com.example.app" content-desc="" enabled="true" selected="false" bounds="[40,200][1040,320]" />)"
    R"(</node></hierarchy>)";

// The shim's screen: an e-mail field (n1) and a "Sign in" button (n2).
std::string shimScreen(const std::string& viewport, const std::string& extraNode = "") {
  return R"({"status":"ok","viewport":)" + viewport + R"(,"nodes":[)"
         R"({"id":"n1","type":"android.widget.EditText","identifier":"email","bounds":{"x":40,"y":100,"width":1000,"height":100}},)"
         R"({"id":"n2","type":"android.widget.Button","label":"Sign in","bounds":{"x":40,"y":200,"width":1000,"height":120}})" +
         extraNode + "]}";
}
const std::string kWelcomeNode =
    R"(,{"id":"n3","type":"android.widget.TextView","label":"Welcome","bounds":{"x":40,"y":400,"width":1000,"height":120}})";
// The Android driver ignores the shim's viewport (the screen size comes
// from "wm size"); a small one here shows when it is wrongly used.
const std::string kAndroidShimScreen = shimScreen(R"({"width":100,"height":200})");
const std::string kIosShimScreen = shimScreen(R"({"width":1080,"height":2400})");

// The tail of a diagnostics payload over the shim's screen, for a selector
// whose text is 7 letters and shares no first letter with the labels.
std::string diagTail(const std::string& activity, const std::string& extraText = "",
                     const std::string& extraNearest = "") {
  return R"(,"activePackage":"com.example.app","activeActivity":)" + activity +
         R"(,"visibleTexts":["email","Sign in")" + extraText +
         R"(],"hiddenCandidates":[],"disabledCandidates":[],"offscreenCandidates":[],"nearestTextMatches":[)"
         R"({"stableId":"n1","text":"email","score":7,"enabled":true,"visible":true},)"
         R"({"stableId":"n2","text":"Sign in","score":7,"enabled":true,"visible":true})" +
         extraNearest + "]}";
}
const std::string kAndroidActivity = R"("com.example.app.MainActivity")";

// The snapshot JSON of the first observation of the shim's screen.
std::string shimSnapshotJson(const std::string& fields) {
  return R"({"id":"snapshot-1","timestampMs":<n>,"viewport":{"width":1080,"height":2400},)" + fields +
         R"(,"nodes":[{"stableId":"n1","className":"android.widget.EditText","resourceId":"email","text":null,)"
         R"("contentDesc":"email","bounds":{"x":40,"y":100,"width":1000,"height":100},"enabled":true,"visible":true,)"
         R"("selected":false},{"stableId":"n2","className":"android.widget.Button","resourceId":null,"text":"Sign in",)"
         R"("contentDesc":null,"bounds":{"x":40,"y":200,"width":1000,"height":120},"enabled":true,"visible":true,)"
         R"("selected":false}]})";
}

const std::string kOverlaySelectors =
    R"([{"textContains":"Uncaught Error"},{"textContains":"Application has crashed"},)"
    R"({"textContains":"This development build encountered the following error"},)"
    R"({"textContains":"There was a problem loading the project"},{"textContains":"Failed to connect"},)"
    R"({"textContains":"Could not connect to development server"},{"textContains":"Unable to load script"},)"
    R"({"textContains":"Invariant Violation"},{"textContains":"ReferenceError"},{"textContains":"TypeError"},)"
    R"({"textContains":"SyntaxError"}])";

// One scenario run: the steps (a JSON array's members), fixture files added
// to the fake device, and what must come out.
struct Case {
  std::string name;
  std::string steps;
  std::map<std::string, std::string> files;
  Lines calls;   // device commands; "snapshot" for one observation, "snapshot+" for one or more
  Lines events;  // between "scenario.start" and "scenario.end"
  std::optional<size_t> failedIndex = std::nullopt;
  std::string error = "";   // the run's error name when it fails
  std::string stderrLine = "";
  Lines artifacts = {};      // when not empty: the artifacts directory, sorted
  std::map<std::string, std::string> artifactContents = {};  // name: content ("<n>" for digits)
};

std::string quoteArg(const std::string& a) {
  if (!a.empty() && a.find(' ') == std::string::npos) return a;
  return "'" + a + "'";
}

// "<n>" in a pattern stands for one or more digits.
bool matches(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0;
  while (p < pattern.size()) {
    if (pattern.substr(p, 3) == "<n>") {
      size_t start = t;
      while (t < text.size() && text[t] >= '0' && text[t] <= '9') ++t;
      if (t == start) return false;
      p += 3;
      continue;
    }
    if (t >= text.size() || pattern[p] != text[t]) return false;
    ++p;
    ++t;
  }
  return t == text.size();
}

bool sequenceMatches(const Lines& expected, const Lines& actual) {
  size_t a = 0;
  for (const std::string& e : expected) {
    if (e == "snapshot+") {
      if (a >= actual.size() || actual[a] != "snapshot") return false;
      while (a < actual.size() && actual[a] == "snapshot") ++a;
      continue;
    }
    if (a >= actual.size() || !matches(e, actual[a])) return false;
    ++a;
  }
  return a == actual.size();
}

// The finished manifest of a run.
std::string manifestPattern(const std::string& name, const std::string& status, std::optional<size_t> failedIndex,
                            const std::string& error, size_t events, size_t snapshots, size_t partialFailures) {
  return R"({"schemaVersion":1,"runnerVersion":"0.2.9","protocolVersion":"2026-04-28","scenarioName":")" + name +
         R"(","appId":"com.example.app","status":")" + status +
         R"(","startedAtMs":<n>,"endedAtMs":<n>,"durationMs":<n>,"failedStepIndex":)" +
         (failedIndex ? std::to_string(*failedIndex) : "null") + R"(,"error":)" +
         (error.empty() ? "null" : "\"" + error + "\"") +
         R"(,"eventsPath":"events.jsonl","artifactsDir":"artifacts","eventCount":)" + std::to_string(events) +
         R"(,"snapshotCount":)" + std::to_string(snapshots) + R"(,"partialFailureCount":)" +
         std::to_string(partialFailures) + R"(,"reportPath":null})" + "\n";
}

std::string joined(const Lines& lines) {
  std::string out;
  for (const std::string& l : lines) out += "  " + l + "\n";
  return out;
}

#define EXPECT_LINES(expected, actual, what)                                                             \
  EXPECT_TRUE(sequenceMatches(expected, actual)) << what << "\nexpected:\n"                             \
                                                 << joined(expected) << "actual:\n"                      \
                                                 << joined(actual)

class RunSteps : public ::testing::Test {
 protected:
  std::string device() const { return dir.file("device"); }
  std::string log() const { return dir.file("calls.log"); }
  static std::string fake(const std::string& name) { return vyx::test::fakesDir() + "/" + name; }

  void prepare(Target target) {
    target_ = target;
    vyx::test::runProgram({"/bin/rm", "-rf", device(), log(), dir.file("t")});
    std::filesystem::create_directories(device());
    const bool android = target == Target::AndroidShim || target == Target::AndroidAdb;
    if (android) {
      writeFile(device() + "/ui.xml", kUiXml);
      writeFile(device() + "/window.txt",
                "  mCurrentFocus=Window{42 u0 com.example.app/com.example.app.MainActivity}\n");
      writeFile(device() + "/wm-size.txt", "Physical size: 1080x2400\n");
      writeFile(device() + "/wm-density.txt", "Physical density: 420\n");
      writeFile(device() + "/screencap.png", kPng);
      writeFile(device() + "/shim-snapshot.json", kAndroidShimScreen);
    } else {
      writeFile(device() + "/shim-snapshot.out", kIosShimScreen);
      writeFile(device() + "/simctl-io.png", kPng);
      writeFile(device() + "/shim-screenshot.out",
                std::string(R"({"status":"ok","format":"png","base64":")") + kPngBase64 + "\"}");
    }
  }

  Lines args() const {
    switch (target_) {
      case Target::AndroidShim:
        return {"--adb", fake("adb"), "--android-shim", fake("android-shim")};
      case Target::AndroidAdb:
        return {"--adb", fake("adb"), "--device", "emulator-5554"};
      case Target::IosSimulator:
        return {"--platform", "ios", "--xcrun", fake("xcrun"), "--ios-shim", fake("ios-shim"), "--device", "SIM-1"};
      case Target::IosPhysical:
        return {"--platform", "ios", "--ios-device-type", "physical", "--xcrun", fake("xcrun"), "--ios-shim",
                fake("ios-shim"), "--device", "DEV-1"};
      case Target::IosNoShim:
        return {"--platform", "ios", "--xcrun", fake("xcrun"), "--device", "SIM-1"};
    }
    return {};
  }

  // The commands of one observation on this target, with a trace whose
  // switches are all on.
  Lines snapshotCalls() const {
    const std::string adb = target_ == Target::AndroidAdb ? "adb -s emulator-5554 " : "adb ";
    const Lines androidTail = {adb + "exec-out screencap -p", adb + "shell dumpsys window", adb + "shell wm size",
                               adb + "shell wm density", adb + "logcat -d -t 80"};
    const Lines simulator = {"xcrun simctl io SIM-1 screenshot /tmp/vyx-ios-screenshot-<n>.png",
                             "xcrun simctl spawn SIM-1 log show --style compact --last 30s"};
    Lines out;
    switch (target_) {
      case Target::AndroidShim:
        out = {R"(android-shim {"cmd":"snapshot"})"};
        out.insert(out.end(), androidTail.begin(), androidTail.end());
        return out;
      case Target::AndroidAdb:
        out = {adb + "exec-out uiautomator dump /dev/tty"};
        out.insert(out.end(), androidTail.begin(), androidTail.end());
        return out;
      case Target::IosSimulator:
        out = simulator;
        out.push_back(R"(ios-shim {"cmd":"snapshot"})");
        return out;
      case Target::IosPhysical:
        return {R"(ios-shim {"cmd":"screenshot"})", R"(ios-shim {"cmd":"snapshot"})"};
      case Target::IosNoShim:
        return simulator;
    }
    return out;
  }

  // Every recorded call as one line; a shim call shows its request line.
  Lines renderedCalls() const {
    Lines out;
    for (const vyx::test::FakeCall& call : vyx::test::readFakeCalls(log())) {
      std::string line = call.argv[0];
      for (size_t i = 1; i < call.argv.size(); ++i) {
        line += ' ';
        line += quoteArg(call.argv[i]);
      }
      if (call.input) {
        EXPECT_TRUE(call.input->ends_with("\n")) << *call.input;
        line += ' ';
        line.append(*call.input, 0, call.input->size() - (call.input->ends_with("\n") ? 1 : 0));
      }
      out.push_back(line);
    }
    return out;
  }

  // The calls with each complete observation folded into "snapshot"; also
  // counts the observations begun (complete or not).
  Lines foldedCalls(size_t& begun) const {
    const Lines all = renderedCalls();
    const Lines snap = snapshotCalls();
    Lines out;
    begun = 0;
    for (size_t i = 0; i < all.size();) {
      bool whole = i + snap.size() <= all.size();
      for (size_t k = 0; whole && k < snap.size(); ++k) whole = matches(snap[k], all[i + k]);
      if (matches(snap[0], all[i])) ++begun;
      if (whole) {
        out.push_back("snapshot");
        i += snap.size();
      } else {
        out.push_back(all[i]);
        ++i;
      }
    }
    return out;
  }

  // "kind payload" for each line of the event log, checking the line's frame.
  Lines eventLines() const {
    Lines out;
    int64_t seq = 0;
    for (const std::string& line : vyx::test::splitLines(readFile(dir.file("t/events.jsonl")))) {
      ++seq;
      const std::string head = "{\"seq\":" + std::to_string(seq) + ",\"timestampMs\":";
      const size_t kind = line.find(",\"kind\":\"");
      const size_t payload = line.find("\",\"payload\":");
      if (!line.starts_with(head) || kind == std::string::npos || payload == std::string::npos ||
          !line.ends_with("}")) {
        ADD_FAILURE() << "event line: " << line;
        continue;
      }
      out.push_back(line.substr(kind + 9, payload - kind - 9) + " " +
                    line.substr(payload + 12, line.size() - payload - 13));
    }
    return out;
  }

  Lines artifacts() const {
    Lines out;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("t/artifacts"))) {
      out.push_back(e.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  // Runs s.json, a scenario of these steps, on the prepared target.
  ProcResult run(const std::string& name, const std::string& steps, bool traced) {
    writeFile(dir.file("s.json"), R"({"name":")" + name + R"(","appId":"com.example.app","steps":[)" + steps + "]}");
    vyx::test::RunOptions o;
    o.cwd = dir.path();
    o.env = {{"VYX_FAKE_ANDROID_DIR", device()}, {"VYX_FAKE_IOS_DIR", device()}, {"VYX_FAKE_LOG", log()}};
    Lines argv = {"run", "s.json", "--json"};
    if (traced) argv.insert(argv.end(), {"--trace-dir", "t"});
    for (const std::string& a : args()) argv.push_back(a);
    return vyx::test::runVyx(argv, o);
  }

  void check(const Case& c) {
    SCOPED_TRACE(c.name);
    for (const auto& [path, content] : c.files) writeFile(device() + "/" + path, content);
    ProcResult r = run(c.name, c.steps, true);

    const bool failed = c.failedIndex.has_value();
    EXPECT_EQ(r.status, failed ? 1 : 0) << r.err;
    EXPECT_EQ(r.err, c.stderrLine);

    size_t snapshots = 0;
    EXPECT_LINES(c.calls, foldedCalls(snapshots), "calls");
    // The iOS driver's temporary files live only while their tool runs.
    for (const vyx::test::FakeCall& call : vyx::test::readFakeCalls(log())) {
      for (const std::string& a : call.argv) {
        if (a.starts_with("/tmp/vyx-")) {
          EXPECT_FALSE(vyx::test::fileExists(a)) << a;
        }
      }
    }

    Lines events = {R"(scenario.start {"value":")" + c.name + R"("})"};
    events.insert(events.end(), c.events.begin(), c.events.end());
    if (failed) {
      events.push_back(R"(scenario.end {"value":")" + c.name + R"(","status":"failed","failedStepIndex":)" +
                       std::to_string(*c.failedIndex) + R"(,"error":")" + c.error + R"("})");
    } else {
      events.push_back(R"(scenario.end {"value":")" + c.name + R"(","status":"passed"})");
    }
    const Lines actual = eventLines();
    EXPECT_LINES(events, actual, "events");

    const std::string status = failed ? "failed" : "passed";
    const std::string manifest = readFile(dir.file("t/trace.json"));
    EXPECT_TRUE(matches(manifestPattern(c.name, status, c.failedIndex, c.error, actual.size(), snapshots, 0), manifest))
        << manifest;

    auto summary = vyx::json::parseValue(r.out);
    ASSERT_TRUE(summary && summary->isObject()) << r.out;
    EXPECT_EQ(summary->get("ok")->boolean, !failed);
    EXPECT_EQ(summary->get("status")->string, status);
    EXPECT_EQ(summary->get("eventCount")->integer, static_cast<int64_t>(actual.size()));
    EXPECT_EQ(summary->get("snapshotCount")->integer, static_cast<int64_t>(snapshots));
    if (failed) {
      EXPECT_EQ(summary->get("failedStepIndex")->integer, static_cast<int64_t>(*c.failedIndex));
      EXPECT_EQ(summary->get("error")->string, c.error);
    }
    if (!c.artifacts.empty()) {
      EXPECT_EQ(artifacts(), c.artifacts);
    }
    for (const auto& [name, pattern] : c.artifactContents) {
      const std::string content = readFile(dir.file("t/artifacts/" + name));
      EXPECT_TRUE(matches(pattern, content)) << name << "\nexpected: " << pattern << "\nactual:   " << content;
    }
  }

  TempDir dir;
  Target target_ = Target::AndroidShim;
};

const char* kSettle = R"({"cmd":"settle","durationMs":500})";

std::string shim(Target t, const std::string& request) {
  return (t == Target::AndroidShim ? "android-shim " : "ios-shim ") + request;
}

// The families that both shims serve alike: the app's life cycle and the
// snapshot step, input without a selector.
Case lifecycle(Lines appCalls, const std::string& snapshotFields) {
  return {"lifecycle",
          R"({"action":"launch"},{"action":"stop"},{"action":"clearState"},)"
          R"({"action":"openLink","url":"myapp://home"},{"action":"snapshot"})",
          {},
          appCalls,
          {R"(app.launch {"status":"ok"})", R"(step.done {"index":0})", R"(step.done {"index":1})",
           R"(step.done {"index":2})", R"(app.openLink {"status":"ok","url":"myapp://home"})",
           R"(step.done {"index":3})", R"(observe.snapshot {"value":"t/artifacts/snapshot-1.json"})",
           R"(step.done {"index":4})"},
          std::nullopt,
          "",
          "",
          {"snapshot-1.json", "snapshot-1.png"},
          {{"snapshot-1.json", shimSnapshotJson(snapshotFields)}, {"snapshot-1.png", kPng}}};
}

std::string snapshotFields(const std::string& density, const std::string& activity, const std::string& log) {
  return R"("displayDensityDpi":)" + density + R"(,"activePackage":"com.example.app","activeActivity":)" + activity +
         R"(,"screenshotArtifact":"t/artifacts/snapshot-1.png","treeArtifact":null,"focusedNodeId":null,"logDelta":)" +
         log;
}

Case input(Target t) {
  const std::string settle = shim(t, kSettle);
  return {"input",
          R"({"action":"typeText","text":"a b"},{"action":"pressBack"},{"action":"hideKeyboard"},)"
          R"({"action":"swipe","x1":1,"y1":2,"x2":3,"y2":-4,"durationMs":100},{"action":"eraseText","maxChars":5})",
          {},
          {shim(t, R"({"cmd":"type","text":"a b"})"), settle, shim(t, R"({"cmd":"pressBack"})"), settle,
           shim(t, R"({"cmd":"hideKeyboard"})"), settle,
           shim(t, R"({"cmd":"swipe","x1":1,"y1":2,"x2":3,"y2":-4,"durationMs":100})"), settle,
           shim(t, R"({"cmd":"eraseText","maxChars":5})"), settle},
          {R"(step.done {"index":0})", R"(ui.pressBack {"status":"ok"})", R"(step.done {"index":1})",
           R"(ui.hideKeyboard {"status":"ok"})", R"(step.done {"index":2})",
           R"(ui.swipe {"status":"ok","x1":1,"y1":2,"x2":3,"y2":-4,"durationMs":100})", R"(step.done {"index":3})",
           R"(ui.eraseText {"maxChars":5})", R"(step.done {"index":4})"}};
}

}  // namespace

TEST_F(RunSteps, AndroidWithShim) {
  const Target t = Target::AndroidShim;
  const std::string settle = shim(t, kSettle);
  const std::string welcomeDiag0 =
      R"({"status":"timeout","timeoutMs":0,"snapshotId":"snapshot-1","selectors":[{"text":"Welcome"}])" +
      diagTail(kAndroidActivity);
  const Case cases[] = {
      lifecycle({"adb shell monkey -p com.example.app -c android.intent.category.LAUNCHER 1", settle,
                    "adb shell am force-stop com.example.app", "adb shell pm clear com.example.app",
                    "adb shell am start -a android.intent.action.VIEW -d 'myapp://home' com.example.app",
                    "adb shell dumpsys window", settle, "snapshot"},
                snapshotFields("420", kAndroidActivity, R"("")")),
      input(t),
      {"selector actions",
       R"({"action":"tap","selector":{"id":"email"}},{"action":"typeText","selector":{"text":"Sign in"},"text":"x"},)"
       R"({"action":"eraseText","selector":{"id":"email"},"maxChars":3})",
       {},
       {"snapshot", shim(t, R"({"cmd":"tap","x":540,"y":150})"), settle, "snapshot",
        shim(t, R"({"cmd":"tap","x":540,"y":260})"), settle, shim(t, R"({"cmd":"type","text":"x"})"), settle,
        "snapshot", shim(t, R"({"cmd":"tap","x":540,"y":150})"), settle, shim(t, R"({"cmd":"eraseText","maxChars":3})"),
        settle},
       {R"(ui.tap {"snapshotId":"snapshot-1","target":"n1","x":540,"y":150,"attempts":1,"selector":{"id":"email"}})",
        R"(step.done {"index":0})",
        R"(ui.tap {"snapshotId":"snapshot-2","target":"n2","x":540,"y":260,"attempts":1,"selector":{"text":"Sign in"}})",
        R"(ui.type {"status":"ok","selector":{"text":"Sign in"},"text":"x"})", R"(step.done {"index":1})",
        R"(ui.tap {"snapshotId":"snapshot-3","target":"n1","x":540,"y":150,"attempts":1,"selector":{"id":"email"}})",
        R"(ui.eraseText {"maxChars":3})", R"(step.done {"index":2})"}},
      {"waits",
       R"({"action":"waitVisible","selector":{"text":"Sign in"},"timeoutMs":0},)"
       R"({"action":"waitNotVisible","selector":{"text":"Welcome"},"timeoutMs":0},)"
       R"({"action":"waitAny","selectors":[{"text":"Welcome"},{"id":"email"}],"timeoutMs":0},)"
       R"({"action":"waitAny","selectors":[{"text":"Welcome"},{"id":"gone"}],"timeoutMs":0})",
       {},
       {"snapshot", "snapshot", "snapshot", "snapshot"},
       {R"(wait.visible {"status":"ok","target":"n2","selector":{"text":"Sign in"},"timeoutMs":0})",
        R"(step.done {"index":0})", R"(wait.notVisible {"status":"ok","selector":{"text":"Welcome"},"timeoutMs":0})",
        R"(step.done {"index":1})",
        R"(wait.any {"status":"ok","matchedIndex":1,"target":"n1","selector":{"id":"email"},"timeoutMs":0})",
        R"(step.done {"index":2})",
        R"(wait.any {"status":"timeout","snapshotId":"snapshot-4","selectors":[{"text":"Welcome"},{"id":"gone"}])" +
            diagTail(kAndroidActivity),
        R"(step.error {"index":3,"error":"WaitTimeout"})"},
       3,
       "WaitTimeout",
       "error[runner.wait_timeout]: wait timed out\n"},
      {"assertions",
       R"({"action":"assertVisible","selector":{"text":"Sign in"}},)"
       R"({"action":"assertNotVisible","selector":{"text":"Welcome"},"timeoutMs":10},)"
       R"({"action":"assertNoneVisible","selectors":[{"text":"Welcome"}]},{"action":"assertHealthy"},)"
       R"({"action":"assertVisible","selector":{"text":"Welcome"},"timeoutMs":0})",
       {},
       {"snapshot", "snapshot", "snapshot", "snapshot", "snapshot"},
       {R"(assert.visible {"status":"ok","target":"n2","selector":{"text":"Sign in"},"timeoutMs":5000})",
        R"(step.done {"index":0})",
        R"(assert.notVisible {"status":"ok","selector":{"text":"Welcome"},"timeoutMs":10})",
        R"(step.done {"index":1})", R"(assert.noneVisible {"status":"ok","selectors":[{"text":"Welcome"}],"timeoutMs":0})",
        R"(step.done {"index":2})", R"(assert.healthy {"status":"ok","timeoutMs":0})", R"(step.done {"index":3})",
        R"(assert.visible {"status":"timeout","timeoutMs":0,"snapshotId":"snapshot-5","selectors":[{"text":"Welcome"}])" +
            diagTail(kAndroidActivity),
        R"(step.error {"index":4,"error":"AssertionFailed"})"},
       4,
       "AssertionFailed",
       "error[runner.assertion_failed]: assertion failed\n"},
      {"control",
       R"({"action":"optional","step":{"action":"waitVisible","selector":{"text":"Welcome"},"timeoutMs":0}},)"
       R"({"action":"whenVisible","selector":{"text":"Welcome"},"timeoutMs":0,"steps":[{"action":"pressBack"}]},)"
       R"({"action":"whenVisible","selector":{"text":"Welcome"},"timeoutMs":1,"steps":[{"action":"pressBack"}]},)"
       R"({"action":"whenVisible","selector":{"text":"Sign in"},"steps":[{"action":"pressBack"}]},)"
       R"({"action":"repeat","times":2,"steps":[{"action":"sleep","ms":1},{"action":"hideKeyboard"}]},)"
       R"({"action":"repeat","times":0,"steps":[{"action":"pressBack"}]},{"action":"sleep","ms":1})",
       {},
       {"snapshot", "snapshot", "snapshot", "snapshot", shim(t, R"({"cmd":"pressBack"})"), settle,
        shim(t, R"({"cmd":"hideKeyboard"})"), settle, shim(t, R"({"cmd":"hideKeyboard"})"), settle},
       {"wait.visible " + welcomeDiag0, R"(step.optional {"status":"skipped","error":"WaitTimeout"})",
        R"(step.done {"index":0})", R"(step.whenVisible.skipped {"selector":{"text":"Welcome"}})",
        R"(step.done {"index":1})",
        R"(wait.visible {"status":"timeout","timeoutMs":1,"snapshotId":"snapshot-3","selectors":[{"text":"Welcome"}])" +
            diagTail(kAndroidActivity),
        R"(step.whenVisible.skipped {"selector":{"text":"Welcome"}})", R"(step.done {"index":2})",
        R"(ui.pressBack {"status":"ok"})", R"(step.done {"index":3})",
        R"(step.repeat.iteration {"iteration":1,"times":2})", R"(ui.hideKeyboard {"status":"ok"})",
        R"(step.repeat.iteration {"iteration":2,"times":2})", R"(ui.hideKeyboard {"status":"ok"})",
        R"(step.done {"index":4})", R"(step.done {"index":5})", R"(step.done {"index":6})"}},
      {"scroll",
       R"({"action":"scrollUntilVisible","selector":{"text":"Sign in"}},)"
       R"({"action":"scrollUntilVisible","selector":{"text":"Welcome"},"direction":"up"},)"
       R"({"action":"scrollUntilVisible","selector":{"text":"Goodbye"},"timeoutMs":0})",
       {{"screens", "a\nb\n"},
        {"a/shim-snapshot.json", kAndroidShimScreen},
        {"b/shim-snapshot.json", shimScreen(R"({"width":100,"height":200})", kWelcomeNode)}},
       {"snapshot", "snapshot", shim(t, R"({"cmd":"swipe","x1":540,"y1":720,"x2":540,"y2":1920,"durationMs":350})"),
        settle, "snapshot", "snapshot"},
       {R"(ui.scrollUntilVisible {"status":"ok","target":"n2","selector":{"text":"Sign in"},"direction":"down","timeoutMs":5000})",
        R"(step.done {"index":0})", R"(ui.scroll {"direction":"up","x":540,"y1":720,"y2":1920})",
        R"(ui.scrollUntilVisible {"status":"ok","target":"n3","selector":{"text":"Welcome"},"direction":"up","timeoutMs":5000})",
        R"(step.done {"index":1})",
        R"(ui.scrollUntilVisible {"status":"timeout","snapshotId":"snapshot-4","selectors":[{"text":"Goodbye"}])" +
            diagTail(kAndroidActivity, R"(,"Welcome")",
                     R"(,{"stableId":"n3","text":"Welcome","score":7,"enabled":true,"visible":true})"),
        R"(step.error {"index":2,"error":"WaitTimeout"})"},
       2,
       "WaitTimeout",
       "error[runner.wait_timeout]: wait timed out\n"},
      {"failing device",
       R"({"action":"whenVisible","selector":{"text":"Welcome"},"steps":[{"action":"pressBack"}]},)"
       R"({"action":"optional","step":{"action":"tap","selector":{"id":"email"}}},)"
       R"({"action":"launch","optional":true},{"action":"waitVisible","selector":{"text":"Sign in"},"timeoutMs":0})",
       {{"exit-codes", "1 shim snapshot\n1 shell monkey\n"}},
       {shim(t, R"({"cmd":"snapshot"})"), shim(t, R"({"cmd":"snapshot"})"),
        "adb shell monkey -p com.example.app -c android.intent.category.LAUNCHER 1", shim(t, R"({"cmd":"snapshot"})")},
       {R"(step.whenVisible.skipped {"selector":{"text":"Welcome"},"error":"CommandFailed"})",
        R"(step.done {"index":0})", R"(step.optional {"status":"skipped","error":"CommandFailed"})",
        R"(step.done {"index":1})", R"(app.launch {"status":"failed","error":"CommandFailed"})",
        R"(step.optional {"status":"skipped","error":"CommandFailed"})", R"(step.done {"index":2})",
        R"(step.error {"index":3,"error":"CommandFailed"})"},
       3,
       "CommandFailed",
       "error[device.command_failed]: device command failed\nhint: run `vyx doctor --json` for setup diagnostics.\n"},
  };
  for (const Case& c : cases) {
    prepare(t);
    check(c);
  }
}

// A selector that never shows: the tap polls for its 5000 ms and gives up.
TEST_F(RunSteps, AndroidTapNotFoundInsideOptional) {
  const Target t = Target::AndroidShim;
  prepare(t);
  check({"not found",
         R"({"action":"optional","step":{"action":"tap","selector":{"text":"Welcome"}}},)"
         R"({"action":"tap","selector":{"text":"Sign in"}})",
         {},
         {"snapshot+", shim(t, R"({"cmd":"tap","x":540,"y":260})"), shim(t, kSettle)},
         {R"(ui.tap.notFound {"status":"not_found","snapshotId":"snapshot-<n>","selectors":[{"text":"Welcome"}])" +
              diagTail(kAndroidActivity),
          R"(step.optional {"status":"skipped","error":"SelectorNotFound"})", R"(step.done {"index":0})",
          R"(ui.tap {"snapshotId":"snapshot-<n>","target":"n2","x":540,"y":260,"attempts":1,"selector":{"text":"Sign in"}})",
          R"(step.done {"index":1})"}});
}

// Without a shim every input is an adb command and every settle a pause.
TEST_F(RunSteps, AndroidWithoutShim) {
  const Target t = Target::AndroidAdb;
  const std::string adb = "adb -s emulator-5554 ";
  const std::string button = "rid:com.example.app:id/sign_in:1";
  const Case cases[] = {
      {"input",
       R"({"action":"typeText","text":"a b'$%"},{"action":"hideKeyboard"},)"
       R"({"action":"swipe","x1":-1,"y1":2,"x2":3,"y2":4},{"action":"eraseText","maxChars":2})",
       {},
       // The device shell parses these arguments again, so the text and the
       // script reach it quoted.
       {adb + "shell input text a%sb\\'\\$%", adb + "shell input keyevent BACK",
        adb + "shell input swipe -1 2 3 4 300",
        adb + "shell sh -c ''input keyevent KEYCODE_MOVE_END; i=0; while [ $i -lt 2 ]; do input keyevent "
              "KEYCODE_DEL; i=$((i+1)); done''"},
       {R"(step.done {"index":0})", R"(ui.hideKeyboard {"status":"ok"})", R"(step.done {"index":1})",
        R"(ui.swipe {"status":"ok","x1":-1,"y1":2,"x2":3,"y2":4,"durationMs":300})", R"(step.done {"index":2})",
        R"(ui.eraseText {"maxChars":2})", R"(step.done {"index":3})"}},
      {"observation",
       R"({"action":"tap","selector":{"text":"Sign in"}},)"
       R"({"action":"waitVisible","selector":{"text":"Sign in"},"timeoutMs":0},{"action":"snapshot"})",
       {},
       {"snapshot", adb + "shell input tap 540 260", "snapshot", "snapshot"},
       {R"(ui.tap {"snapshotId":"snapshot-1","target":")" + button +
            R"(","x":540,"y":260,"attempts":1,"selector":{"text":"Sign in"}})",
        R"(step.done {"index":0})",
        R"(wait.visible {"status":"ok","target":")" + button + R"(","selector":{"text":"Sign in"},"timeoutMs":0})",
        R"(step.done {"index":1})", R"(observe.snapshot {"value":"t/artifacts/snapshot-3.json"})",
        R"(step.done {"index":2})"},
       std::nullopt,
       "",
       "",
       {"snapshot-1.png", "snapshot-1.xml", "snapshot-2.png", "snapshot-2.xml", "snapshot-3.json", "snapshot-3.png",
        "snapshot-3.xml"},
       {{"snapshot-3.xml", kUiXml},
        {"snapshot-3.png", kPng},
        {"snapshot-3.json",
         R"({"id":"snapshot-3","timestampMs":<n>,"viewport":{"width":1080,"height":2400},"displayDensityDpi":420,)"
         R"("activePackage":"com.example.app","activeActivity":"com.example.app.MainActivity",)"
         R"("screenshotArtifact":"t/artifacts/snapshot-3.png","treeArtifact":"t/artifacts/snapshot-3.xml",)"
         R"("focusedNodeId":null,"logDelta":"","nodes":[{"stableId":"node:android.widget.FrameLayout:0:0:1080:2400:0",)"
         R"("className":"android.widget.FrameLayout","resourceId":"","text":null,"contentDesc":null,)"
         R"("bounds":{"x":0,"y":0,"width":1080,"height":2400},"enabled":true,"visible":true,"selected":false},)"
         R"({"stableId":")" + button + R"(","className":"android.widget.Button","resourceId":"com.example.app:id/sign_in",)"
         R"("text":"Sign in","contentDesc":null,"bounds":{"x":40,"y":200,"width":1000,"height":120},"enabled":true,)"
         R"("visible":true,"selected":false}]})"}}},
  };
  for (const Case& c : cases) {
    prepare(t);
    check(c);
  }
}

TEST_F(RunSteps, IosSimulator) {
  const Target t = Target::IosSimulator;
  const std::string settle = shim(t, kSettle);
  auto query = [&](const std::string& selector) {
    return shim(t, R"({"cmd":"query","selector":")" + selector + R"("})");
  };
  const std::string no = R"({"status":"ok","exists":false})";
  const std::string yes = R"({"status":"ok","exists":true})";
  Lines healthQueries;
  for (const char* text : {"Uncaught Error", "Application has crashed",
                           "This development build encountered the following error",
                           "There was a problem loading the project", "Failed to connect",
                           "Could not connect to development server", "Unable to load script", "Invariant Violation",
                           "ReferenceError", "TypeError", "SyntaxError"}) {
    healthQueries.push_back(query(std::string("textContains=") + text));
  }
  Lines assertionCalls = {query("text=Sign in"), query("text=Welcome"), "snapshot"};
  assertionCalls.insert(assertionCalls.end(), healthQueries.begin(), healthQueries.end());
  assertionCalls.insert(assertionCalls.end(), healthQueries.begin(), healthQueries.begin() + 3);

  Case life = lifecycle({"xcrun simctl launch SIM-1 com.example.app", settle,
                            "xcrun simctl terminate SIM-1 com.example.app", "xcrun simctl uninstall SIM-1 com.example.app",
                            "xcrun simctl openurl SIM-1 myapp://home",
                            shim(t, R"({"cmd":"acceptSystemAlert","text":"Open"})"), settle, "snapshot"},
                        snapshotFields("null", "null", R"("")"));
  // The app was not running: stop tolerates the tool's complaint.
  life.files = {{"shim-acceptSystemAlert.out", R"({"status":"ok","accepted":true})"},
                {"simctl-terminate.exit", "1"},
                {"simctl-terminate.err", "found nothing to terminate\n"}};

  const Case cases[] = {
      life,
      input(t),
      {"selector actions",
       R"({"action":"tap","selector":{"id":"email"}},{"action":"typeText","selector":{"text":"Sign in"},"text":"x"},)"
       R"({"action":"eraseText","selector":{"id":"email"},"maxChars":3},)"
       R"({"action":"tap","selector":{"text":"Sign in","className":"android.widget.Button"}},)"
       R"({"action":"tap","selector":{"id":"missing"},"optional":true})",
       {{"shim-type.1.out", R"({"status":"error","code":"selector.not_found"})"},
        {"shim-tap.4.out", R"({"status":"error","message":"boom"})"}},
       {shim(t, R"({"cmd":"tap","selector":"resourceId=email"})"), settle,
        shim(t, R"({"cmd":"type","selector":"text=Sign in","text":"x"})"),
        shim(t, R"({"cmd":"tap","selector":"text=Sign in"})"), settle, shim(t, R"({"cmd":"type","text":"x"})"), settle,
        shim(t, R"({"cmd":"eraseText","selector":"resourceId=email","maxChars":3})"), settle, "snapshot",
        shim(t, R"({"cmd":"tap","x":540,"y":260})"), settle, shim(t, R"({"cmd":"tap","selector":"resourceId=missing"})")},
       {R"(ui.tap {"status":"ok","strategy":"nativeSelector","selector":{"id":"email"}})", R"(step.done {"index":0})",
        R"(ui.tap {"status":"ok","strategy":"nativeSelector","selector":{"text":"Sign in"}})",
        R"(ui.type {"status":"ok","selector":{"text":"Sign in"},"text":"x"})", R"(step.done {"index":1})",
        R"(ui.eraseText {"status":"ok","strategy":"nativeSelector","selector":{"id":"email"},"maxChars":3})",
        R"(step.done {"index":2})",
        R"(ui.tap {"snapshotId":"snapshot-1","target":"n2","x":540,"y":260,"attempts":1,"selector":{"text":"Sign in","className":"android.widget.Button"}})",
        R"(step.done {"index":3})",
        R"(ui.tap {"status":"failed","strategy":"nativeSelector","error":"IosShimResponseNotOk","selector":{"id":"missing"}})",
        R"(step.optional {"status":"skipped","error":"IosShimResponseNotOk"})", R"(step.done {"index":4})"}},
      {"waits",
       R"({"action":"waitVisible","selector":{"text":"Sign in"},"timeoutMs":20000},)"
       R"({"action":"waitNotVisible","selector":{"text":"Welcome"},"timeoutMs":20000},)"
       R"({"action":"waitAny","selectors":[{"text":"Welcome"},{"id":"email"}],"timeoutMs":20000},)"
       R"({"action":"waitVisible","selector":{"text":"Sign in","className":"android.widget.Button"},"timeoutMs":20000},)"
       R"({"action":"optional","step":{"action":"waitVisible","selector":{"text":"Welcome"},"timeoutMs":300}},)"
       R"({"action":"waitVisible","selector":{"text":"Sign in"},"timeoutMs":20000})",
       {{"shim-query.out", no},
        {"shim-query.1.out", yes},
        {"shim-query.4.out", yes},
        {"shim-query.6.exit", "1"},
        {"shim-query.7.out", yes}},
       {query("text=Sign in"), query("text=Welcome"), query("text=Welcome"), query("resourceId=email"), "snapshot",
        query("text=Welcome"), "snapshot", query("text=Sign in"), query("text=Sign in")},
       {R"(wait.visible {"status":"ok","strategy":"nativeSelector","selector":{"text":"Sign in"},"timeoutMs":20000})",
        R"(step.done {"index":0})",
        R"(wait.notVisible {"status":"ok","strategy":"nativeSelector","selector":{"text":"Welcome"},"timeoutMs":20000})",
        R"(step.done {"index":1})",
        R"(wait.any {"status":"ok","strategy":"nativeSelector","matchedIndex":1,"selector":{"id":"email"},"timeoutMs":20000})",
        R"(step.done {"index":2})",
        R"(wait.visible {"status":"ok","target":"n2","selector":{"text":"Sign in","className":"android.widget.Button"},"timeoutMs":20000})",
        R"(step.done {"index":3})",
        R"(wait.visible {"status":"timeout","strategy":"nativeSelector","timeoutMs":300,"snapshotId":"snapshot-2","selectors":[{"text":"Welcome"}])" +
            diagTail("null"),
        R"(step.optional {"status":"skipped","error":"WaitTimeout"})", R"(step.done {"index":4})",
        R"(observe.retry {"status":"retry","kind":"wait.visible","error":"CommandFailed"})",
        R"(wait.visible {"status":"ok","strategy":"nativeSelector","selector":{"text":"Sign in"},"timeoutMs":20000})",
        R"(step.done {"index":5})"}},
      {"assertions",
       R"({"action":"assertVisible","selector":{"text":"Sign in"}},)"
       R"({"action":"assertNotVisible","selector":{"text":"Welcome"}},)"
       R"({"action":"assertNoneVisible","selectors":[{"text":"Welcome"}]},)"
       R"({"action":"assertHealthy","timeoutMs":20000},{"action":"assertHealthy","timeoutMs":20000})",
       {{"shim-query.out", no}, {"shim-query.1.out", yes}, {"shim-query.16.out", yes}},
       assertionCalls,
       {R"(assert.visible {"status":"ok","strategy":"nativeSelector","selector":{"text":"Sign in"},"timeoutMs":5000})",
        R"(step.done {"index":0})",
        R"(assert.notVisible {"status":"ok","strategy":"nativeSelector","selector":{"text":"Welcome"},"timeoutMs":5000})",
        R"(step.done {"index":1})",
        R"(assert.noneVisible {"status":"ok","selectors":[{"text":"Welcome"}],"timeoutMs":0})",
        R"(step.done {"index":2})",
        R"(assert.healthy {"status":"ok","strategy":"nativeSelector","selectors":)" + kOverlaySelectors +
            R"(,"timeoutMs":20000})",
        R"(step.done {"index":3})",
        R"(assert.healthy {"status":"unhealthy","strategy":"nativeSelector","matchedIndex":2,"selectors":)" +
            kOverlaySelectors + R"(,"timeoutMs":20000})",
        R"(step.error {"index":4,"error":"AssertionFailed"})"},
       4,
       "AssertionFailed",
       "error[runner.assertion_failed]: assertion failed\n"},
      {"control and scroll",
       R"({"action":"whenVisible","selector":{"text":"Welcome"},"steps":[{"action":"pressBack"}]},)"
       R"({"action":"whenVisible","selector":{"text":"Sign in"},"steps":[{"action":"pressBack"}]},)"
       R"({"action":"repeat","times":2,"steps":[{"action":"hideKeyboard"}]},)"
       R"({"action":"scrollUntilVisible","selector":{"text":"Welcome"}},{"action":"sleep","ms":1})",
       {{"shim-snapshot.4.out", shimScreen(R"({"width":1080,"height":2400})", kWelcomeNode)}},
       {"snapshot", "snapshot", shim(t, R"({"cmd":"pressBack"})"), settle, shim(t, R"({"cmd":"hideKeyboard"})"),
        settle, shim(t, R"({"cmd":"hideKeyboard"})"), settle, "snapshot",
        shim(t, R"({"cmd":"swipe","x1":540,"y1":1920,"x2":540,"y2":720,"durationMs":350})"), settle, "snapshot"},
       {R"(step.whenVisible.skipped {"selector":{"text":"Welcome"}})", R"(step.done {"index":0})",
        R"(ui.pressBack {"status":"ok"})", R"(step.done {"index":1})",
        R"(step.repeat.iteration {"iteration":1,"times":2})", R"(ui.hideKeyboard {"status":"ok"})",
        R"(step.repeat.iteration {"iteration":2,"times":2})", R"(ui.hideKeyboard {"status":"ok"})",
        R"(step.done {"index":2})", R"(ui.scroll {"direction":"down","x":540,"y1":1920,"y2":720})",
        R"(ui.scrollUntilVisible {"status":"ok","target":"n3","selector":{"text":"Welcome"},"direction":"down","timeoutMs":5000})",
        R"(step.done {"index":3})", R"(step.done {"index":4})"}},
  };
  for (const Case& c : cases) {
    prepare(t);
    check(c);
  }
}

// A shim that cannot report the UI tree after a screenshot was stored: the
// observation goes on without nodes and the passing run is "partial".
TEST_F(RunSteps, IosSimulatorPartialObservation) {
  prepare(Target::IosSimulator);
  writeFile(device() + "/shim-snapshot.exit", "1");
  ProcResult r = run("partial", R"({"action":"snapshot"})", true);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_LINES((Lines{"scenario.start {\"value\":\"partial\"}",
                      R"(observe.snapshot.semanticExtraction {"status":"failed","artifactStatus":"captured","semanticStatus":"failed","error":"CommandFailed","screenshotArtifact":"t/artifacts/snapshot-1.png","source":"ios-xctest-shim"})",
                      R"(observe.snapshot {"value":"t/artifacts/snapshot-1.json"})", R"(step.done {"index":0})",
                      R"(scenario.end {"value":"partial","status":"passed"})"}),
               eventLines(), "events");
  // Without the tree the viewport is the screenshot's size.
  EXPECT_NE(readFile(dir.file("t/artifacts/snapshot-1.json")).find(R"("viewport":{"width":390,"height":844})"),
            std::string::npos);
  EXPECT_EQ(readFile(dir.file("t/artifacts/snapshot-1.png")), kPng);
  const std::string manifest = readFile(dir.file("t/trace.json"));
  EXPECT_TRUE(matches(manifestPattern("partial", "partial", std::nullopt, "", 5, 1, 1), manifest)) << manifest;
  auto summary = vyx::json::parseValue(r.out);
  ASSERT_TRUE(summary && summary->isObject()) << r.out;
  EXPECT_FALSE(summary->get("ok")->boolean);
  EXPECT_EQ(summary->get("status")->string, "partial");
  EXPECT_EQ(summary->get("partialFailureCount")->integer, 1);
  const vyx::json::Value* partial = summary->get("partialFailure");
  ASSERT_NE(partial, nullptr) << r.out;
  EXPECT_EQ(partial->get("kind")->string, "observe.snapshot.semanticExtraction");
  EXPECT_EQ(partial->get("error")->string, "CommandFailed");
  EXPECT_EQ(partial->get("screenshotArtifact")->string, "t/artifacts/snapshot-1.png");
}

TEST_F(RunSteps, IosPhysical) {
  const Target t = Target::IosPhysical;
  prepare(t);
  const std::string settle = shim(t, kSettle);
  Case life = lifecycle(
      {"xcrun devicectl device process launch --device DEV-1 --terminate-existing com.example.app", settle,
          "xcrun devicectl device info processes --device DEV-1 --json-output /tmp/vyx-devicectl-<n>.json --quiet",
          "xcrun devicectl device process terminate --device DEV-1 --pid 4242",
          "xcrun devicectl device uninstall app --device DEV-1 com.example.app",
          "xcrun devicectl device process launch --device DEV-1 --terminate-existing --payload-url myapp://home "
          "com.example.app",
          settle, "snapshot"},
      snapshotFields("null", "null", "null"));
  life.files = {{"devicectl-device-info-processes.json",
                 R"({"result":{"runningProcesses":[{"executable":"file:///x/App","bundleIdentifier":"com.example.app","processIdentifier":4242}]}})"}};
  check(life);
}

// Without the iOS shim only the app's life cycle and observation work:
// input and scrolling fail, and settling is a pause.
TEST_F(RunSteps, IosWithoutShim) {
  const Target t = Target::IosNoShim;
  prepare(t);
  check({"no shim",
         R"({"action":"launch"},{"action":"typeText","text":"x","optional":true},)"
         R"({"action":"optional","step":{"action":"pressBack"}},{"action":"snapshot"},)"
         R"({"action":"scrollUntilVisible","selector":{"text":"Welcome"},"optional":true},)"
         R"({"action":"hideKeyboard"})",
         {},
         {"xcrun simctl launch SIM-1 com.example.app", "snapshot", "snapshot"},
         {R"(app.launch {"status":"ok"})", R"(step.done {"index":0})",
          R"(step.optional {"status":"skipped","error":"IosXCTestShimRequired"})", R"(step.done {"index":1})",
          R"(step.optional {"status":"skipped","error":"IosXCTestShimRequired"})", R"(step.done {"index":2})",
          R"(observe.snapshot {"value":"t/artifacts/snapshot-1.json"})", R"(step.done {"index":3})",
          R"(step.optional {"status":"skipped","error":"IosXCTestShimRequired"})", R"(step.done {"index":4})",
          R"(step.error {"index":5,"error":"IosXCTestShimRequired"})"},
         5,
         "IosXCTestShimRequired",
         "error[ios.xctest_shim_required]: iOS selector interaction requires the XCTest shim\n"});
}

// Without a trace directory a snapshot writes no artifact and always takes
// the device log; nothing but the summary comes out.
TEST_F(RunSteps, ObservationsWithoutTrace) {
  struct Row {
    Target target;
    Lines observation;
  };
  const Row rows[] = {
      {Target::AndroidAdb,
       {"adb -s emulator-5554 exec-out uiautomator dump /dev/tty", "adb -s emulator-5554 shell dumpsys window",
        "adb -s emulator-5554 shell wm size", "adb -s emulator-5554 shell wm density",
        "adb -s emulator-5554 logcat -d -t 80"}},
      {Target::AndroidShim,
       {R"(android-shim {"cmd":"snapshot"})", "adb shell dumpsys window", "adb shell wm size", "adb shell wm density",
        "adb logcat -d -t 80"}},
      {Target::IosSimulator,
       {"xcrun simctl spawn SIM-1 log show --style compact --last 30s", R"(ios-shim {"cmd":"snapshot"})"}},
      {Target::IosPhysical, {R"(ios-shim {"cmd":"snapshot"})"}},
  };
  for (const Row& row : rows) {
    prepare(row.target);
    ProcResult r =
        run("plain", R"({"action":"snapshot"},{"action":"waitVisible","selector":{"text":"Sign in"},"timeoutMs":0})",
            false);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, R"({"ok":true,"status":"passed","scenario":"plain","appId":"com.example.app"})"
                     "\n");
    Lines twice = row.observation;
    twice.insert(twice.end(), row.observation.begin(), row.observation.end());
    EXPECT_LINES(twice, renderedCalls(), row.observation[0]);
    EXPECT_FALSE(vyx::test::fileExists(dir.file("t")));
  }
}
