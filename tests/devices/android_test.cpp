// The Android driver end to end: the real child-process runner against the
// fake adb and fake Android shim under tests/fakes/, checking the exact
// argument vectors and request lines; plus the caps, time-outs and time-out
// outcomes through a fake process runner.

#include "devices/android.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/clock.hpp"
#include "core/command.hpp"
#include "core/trace.hpp"
#include "fake_log.hpp"
#include "fake_process_runner.hpp"
#include "vyx_test.hpp"
#include "fake_clock.hpp"

namespace vyx {
namespace {

using Argv = std::vector<std::string>;
using test::FakeProcessRunner;

constexpr int64_t kNow = 1700000000000;
const std::string kApp = "com.example.app";

const std::string kWindow =
    "WINDOW MANAGER WINDOWS (dumpsys window windows)\n"
    "  mCurrentFocus=Window{4f2 u0 com.example.app/com.example.app.MainActivity}\n"
    "  mFocusedApp=ActivityRecord{1 u0 com.example.app/.MainActivity t5}\n";

const std::string kDump =
    R"(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation="0">)"
    R"(<node index="0" text="Sign in" resource-id="" class="android.widget.TextView" content-desc="" )"
    R"(enabled="true" selected="false" bounds="[0,0][1080,200]">)"
    R"(<node index="1" text="" resource-id="ok_button" class="android.widget.Button" content-desc="" )"
    R"(enabled="true" selected="false" bounds="[100,300][500,400]" /></node></hierarchy>)"
    "\nUI hierchary dumped to: /dev/tty\n";

// A PNG-looking blob with a NUL byte and a line feed in it.
const std::string kPng = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + "pixels";

class AndroidDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir());
    ::setenv("VYX_FAKE_ANDROID_DIR", dir().c_str(), 1);
    ::setenv("VYX_FAKE_LOG", tmp.file("calls.log").c_str(), 1);
    put("ui.xml", kDump);
    put("window.txt", kWindow);
    put("wm-size.txt", "Physical size: 1080x2400\n");
    put("wm-density.txt", "Physical density: 420\n");
    put("logcat.txt", "12-10 09:00:00.000 I/App: started\n");
    put("screencap.png", kPng);
  }
  void TearDown() override {
    ::unsetenv("VYX_FAKE_ANDROID_DIR");
    ::unsetenv("VYX_FAKE_LOG");
  }

  std::string dir() const { return tmp.file("device"); }
  void put(const std::string& name, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(dir() + "/" + name).parent_path());
    test::writeFile(dir() + "/" + name, content);
  }

  AndroidDevice device(std::optional<std::string> serial = std::nullopt, bool shim = false,
                       std::string appId = kApp) {
    std::optional<std::string> shimPath;
    if (shim) shimPath = test::fakesDir() + "/android-shim";
    return AndroidDevice(test::fakesDir() + "/adb", std::move(serial), std::move(appId), std::move(shimPath),
                         command::realProcessRunner(), clock);
  }

  // Recorded calls, and then the log is emptied for the next step.
  std::vector<test::FakeCall> takeCalls() {
    auto calls = test::readFakeCalls(tmp.file("calls.log"));
    std::filesystem::remove(tmp.file("calls.log"));
    return calls;
  }
  std::vector<Argv> takeArgv() {
    std::vector<Argv> out;
    for (auto& c : takeCalls()) out.push_back(std::move(c.argv));
    return out;
  }
  // The request lines the shim received.
  std::vector<std::string> takeRequests() {
    std::vector<std::string> out;
    for (auto& c : takeCalls()) {
      EXPECT_EQ(c.argv, Argv{"android-shim"});
      out.push_back(c.input.value_or("<no input>"));
    }
    return out;
  }

  static TraceOptions options(bool screenshots, bool hierarchy, bool logs) {
    TraceOptions o;
    o.screenshots = screenshots;
    o.hierarchy = hierarchy;
    o.logs = logs;
    return o;
  }
  TraceWriter trace(TraceOptions options = {}) {
    auto w = TraceWriter::create(tmp.file("trace"), std::move(options), clock);
    EXPECT_TRUE(w.has_value());
    return std::move(*w);
  }

  test::TempDir tmp;
  FakeClock clock{kNow};
};

TEST_F(AndroidDeviceTest, AppLifecycleCommandsTargetTheSerial) {
  auto d = device("emulator-5554");
  ASSERT_TRUE(d.launch().has_value());
  ASSERT_TRUE(d.stop().has_value());
  ASSERT_TRUE(d.clearState().has_value());
  ASSERT_TRUE(d.install("/builds/my app.apk").has_value());
  const Argv s = {"adb", "-s", "emulator-5554"};
  auto with = [&](Argv rest) {
    Argv all = s;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
  };
  EXPECT_EQ(takeArgv(), (std::vector<Argv>{
                            with({"shell", "monkey", "-p", kApp, "-c", "android.intent.category.LAUNCHER", "1"}),
                            with({"shell", "am", "force-stop", kApp}),
                            with({"shell", "pm", "clear", kApp}),
                            with({"install", "-r", "/builds/my app.apk"}),
                        }));

  // An app id the device shell would read as commands is single-quoted.
  auto odd = device(std::nullopt, false, "com.x;reboot");
  ASSERT_TRUE(odd.launch().has_value());
  ASSERT_TRUE(odd.stop().has_value());
  ASSERT_TRUE(odd.clearState().has_value());
  EXPECT_EQ(takeArgv(),
            (std::vector<Argv>{{"adb", "shell", "monkey", "-p", "'com.x;reboot'", "-c",
                                "android.intent.category.LAUNCHER", "1"},
                               {"adb", "shell", "am", "force-stop", "'com.x;reboot'"},
                               {"adb", "shell", "pm", "clear", "'com.x;reboot'"}}));
}

TEST_F(AndroidDeviceTest, FailuresOfAdbCommands) {
  put("exit-codes", "3 shell monkey\n1 install\n");
  auto d = device();
  EXPECT_EQ(d.launch().error(), Error::CommandFailed);
  EXPECT_EQ(d.install("a.apk").error(), Error::CommandFailed);
  EXPECT_TRUE(d.stop().has_value());  // the driver is usable after a failure

  AndroidDevice missing("/nonexistent/adb", std::nullopt, kApp, std::nullopt, command::realProcessRunner(), clock);
  EXPECT_EQ(missing.launch().error(), Error::FileNotFound);
}

TEST_F(AndroidDeviceTest, InputCommandsWithoutShim) {
  auto d = device();
  ASSERT_TRUE(d.typeText("it's $5 off").has_value());
  ASSERT_TRUE(d.typeText("").has_value());
  ASSERT_TRUE(d.eraseText(0).has_value());
  ASSERT_TRUE(d.pressBack().has_value());
  ASSERT_TRUE(d.hideKeyboard().has_value());
  ASSERT_TRUE(d.swipe(-10, 20, 30, -2147483647 - 1, 300).has_value());
  ASSERT_TRUE(d.tapPoint(60, 45).has_value());
  EXPECT_EQ(takeArgv(),
            (std::vector<Argv>{
                {"adb", "shell", "input", "text", "it\\'s%s\\$5%soff"},
                {"adb", "shell", "input", "text", ""},
                {"adb", "shell", "sh", "-c",
                 "'input keyevent KEYCODE_MOVE_END; i=0; while [ $i -lt 0 ]; do input keyevent KEYCODE_DEL; "
                 "i=$((i+1)); done'"},
                {"adb", "shell", "input", "keyevent", "BACK"},
                {"adb", "shell", "input", "keyevent", "BACK"},
                {"adb", "shell", "input", "swipe", "-10", "20", "30", "-2147483648", "300"},
                {"adb", "shell", "input", "tap", "60", "45"},
            }));

  // settle without a shim only pauses.
  ASSERT_TRUE(d.settle().has_value());
  EXPECT_TRUE(takeArgv().empty());
  EXPECT_EQ(clock.sleeps(), 1u);
  EXPECT_EQ(clock.sleptMs(), 500u);

  EXPECT_EQ(d.runShim(shim_protocol::request(shim_protocol::ShimCmd::snapshot)).error(), Error::AndroidShimRequired);
}

TEST_F(AndroidDeviceTest, NoNativeSelectorRoad) {
  // Even with a shim, Android finds elements through snapshots only.
  auto d = device("emulator-5554", true);
  EXPECT_FALSE(d.waitsNatively());
  EXPECT_EQ(d.nativeVisible(Selector{.text = "Go"}, 1000), Expected<std::optional<bool>>(std::nullopt));
  EXPECT_EQ(d.nativeSelectorAction(SelectorAction{}, Selector{.text = "Go"}), NativeAction::unavailable);
  EXPECT_TRUE(takeArgv().empty());
}

TEST(AndroidDevice, ListDevicesThroughAdb) {
  FakeProcessRunner runner;
  FakeClock clock;
  runner.push(FakeProcessRunner::exited(0, "List of devices attached\nemulator-5554\tdevice\n\n"));
  AndroidDevice d("/sdk/adb", std::string("other"), kApp, std::nullopt, runner, clock);
  EXPECT_EQ(d.listDevices(), (Expected<std::vector<DeviceInfo>>(std::vector<DeviceInfo>{{"emulator-5554", "device"}})));
  ASSERT_EQ(runner.calls.size(), 1u);
  EXPECT_EQ(runner.calls[0].argv, (Argv{"/sdk/adb", "devices"}));  // every device, whatever the serial
}

TEST_F(AndroidDeviceTest, InputCommandsThroughTheShim) {
  auto d = device("emulator-5554", true);
  ASSERT_TRUE(d.typeText("a \"b\"").has_value());
  ASSERT_TRUE(d.eraseText(0).has_value());
  ASSERT_TRUE(d.pressBack().has_value());
  ASSERT_TRUE(d.hideKeyboard().has_value());
  ASSERT_TRUE(d.swipe(1, -2, 3, 4, 250).has_value());
  ASSERT_TRUE(d.settle().has_value());
  ASSERT_TRUE(d.tapPoint(60, 45).has_value());
  EXPECT_EQ(takeRequests(), (std::vector<std::string>{
                                "{\"cmd\":\"type\",\"text\":\"a \\\"b\\\"\"}\n",
                                "{\"cmd\":\"eraseText\",\"maxChars\":0}\n",
                                "{\"cmd\":\"pressBack\"}\n",
                                "{\"cmd\":\"hideKeyboard\"}\n",
                                "{\"cmd\":\"swipe\",\"x1\":1,\"y1\":-2,\"x2\":3,\"y2\":4,\"durationMs\":250}\n",
                                "{\"cmd\":\"settle\",\"durationMs\":500}\n",
                                "{\"cmd\":\"tap\",\"x\":60,\"y\":45}\n",
                            }));
  EXPECT_EQ(clock.sleeps(), 0u);

  // The app life cycle always goes to adb.
  ASSERT_TRUE(d.launch().has_value());
  EXPECT_EQ(takeArgv()[0][0], "adb");

  // Replies that are not ok, and a shim that fails: no fallback to adb.
  put("shim-pressBack.json", R"({"status":"error"})");
  put("shim-hideKeyboard.json", "not json");
  put("shim-settle.json", R"({"state":"ok"})");
  put("exit-codes", "2 shim type\n");
  EXPECT_EQ(d.pressBack().error(), Error::IosShimResponseNotOk);
  EXPECT_EQ(d.hideKeyboard().error(), Error::SyntaxError);
  EXPECT_EQ(d.settle().error(), Error::IosShimMissingStatus);
  EXPECT_EQ(d.typeText("x").error(), Error::CommandFailed);
  for (const auto& call : takeCalls()) EXPECT_EQ(call.argv[0], "android-shim");
}

TEST_F(AndroidDeviceTest, OpenLinkChecksTheForegroundApp) {
  const Argv amStart = {"adb", "shell", "am", "start", "-a", "android.intent.action.VIEW", "-d",
                        "'https://x.test/it'\\''s?a=1&b=2'", kApp};
  const Argv dumpsys = {"adb", "shell", "dumpsys", "window"};
  auto d = device();

  // In front at once: one intent, one check, no pause.
  ASSERT_TRUE(d.openLink("https://x.test/it's?a=1&b=2").has_value());
  EXPECT_EQ(takeArgv(), (std::vector<Argv>{amStart, dumpsys}));
  EXPECT_EQ(clock.sleeps(), 0u);

  // A package that only begins with the app id never counts.
  put("window.txt", "mCurrentFocus=Window{1 u0 com.example.app2/.Main}\n");
  EXPECT_EQ(d.openLink("https://x.test/it's?a=1&b=2").error(), Error::AppDidNotOpen);
  EXPECT_EQ(takeArgv(), (std::vector<Argv>{amStart, dumpsys, amStart, dumpsys, amStart, dumpsys}));
  EXPECT_EQ(clock.sleeps(), 2u);
  EXPECT_EQ(clock.sleptMs(), 1000u);

  // A failing window check counts as not open; the app comes up on the third try.
  put("screens", "s0\ns1\ns2\ns3\n");
  put("advance-on", "shell am start\n");
  put("s1/window.txt", "mCurrentFocus=null\n");
  put("s2/exit-codes", "1 shell dumpsys\n");
  put("s3/window.txt", kWindow);
  put("window.txt", "");
  ASSERT_TRUE(d.openLink("app://x").has_value());
  EXPECT_EQ(takeArgv().size(), 6u);
  EXPECT_EQ(clock.sleeps(), 4u);

  // A failing intent ends at once, without a window check.
  put("exit-codes", "1 shell am start\n");
  EXPECT_EQ(d.openLink("app://x").error(), Error::CommandFailed);
  EXPECT_EQ(takeArgv().size(), 1u);
}

TEST_F(AndroidDeviceTest, SnapshotWithoutTraceRunsFiveCommands) {
  auto d = device("emulator-5554");
  auto snap = d.snapshot(nullptr);
  ASSERT_TRUE(snap.has_value()) << errorName(snap.error());
  const Argv s = {"adb", "-s", "emulator-5554"};
  auto with = [&](Argv rest) {
    Argv all = s;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
  };
  EXPECT_EQ(takeArgv(), (std::vector<Argv>{
                            with({"exec-out", "uiautomator", "dump", "/dev/tty"}),
                            with({"shell", "dumpsys", "window"}),
                            with({"shell", "wm", "size"}),
                            with({"shell", "wm", "density"}),
                            with({"logcat", "-d", "-t", "80"}),
                        }));
  EXPECT_EQ(snap->id, "snapshot-" + std::to_string(kNow));
  EXPECT_EQ(snap->timestampMs, kNow);
  EXPECT_EQ(snap->activePackage, kApp);
  EXPECT_EQ(snap->activeActivity, "com.example.app.MainActivity");
  EXPECT_EQ(snap->viewport, (Viewport{1080, 2400}));
  EXPECT_EQ(snap->displayDensityDpi, 420u);
  EXPECT_EQ(snap->logDelta, "12-10 09:00:00.000 I/App: started\n");
  EXPECT_EQ(snap->screenshotArtifact, std::nullopt);
  EXPECT_EQ(snap->treeArtifact, std::nullopt);
  EXPECT_EQ(snap->focusedNodeId, std::nullopt);
  ASSERT_EQ(snap->nodes.size(), 2u);
  EXPECT_EQ(snap->nodes[0].stableId, "text:Sign in:0");
  EXPECT_EQ(snap->nodes[1].stableId, "rid:ok_button:1");
  EXPECT_EQ(snap->nodes[1].bounds, (Bounds{100, 300, 400, 100}));

  // A tap moves the fake device to its next screen.
  put("screens", "first\nsecond\n");
  put("second/ui.xml", R"(<node text="Welcome" bounds="[0,0][10,10]"/>)");
  ASSERT_TRUE(d.tapPoint(300, 350).has_value());
  auto next = d.snapshot(nullptr);
  ASSERT_TRUE(next.has_value());
  ASSERT_EQ(next->nodes.size(), 1u);
  EXPECT_EQ(next->nodes[0].text, "Welcome");
}

TEST_F(AndroidDeviceTest, SnapshotWithTraceWritesArtifacts) {
  auto w = trace();
  auto d = device();
  auto snap = d.snapshot(&w);
  ASSERT_TRUE(snap.has_value()) << errorName(snap.error());
  EXPECT_EQ(takeArgv(), (std::vector<Argv>{
                            {"adb", "exec-out", "uiautomator", "dump", "/dev/tty"},
                            {"adb", "exec-out", "screencap", "-p"},
                            {"adb", "shell", "dumpsys", "window"},
                            {"adb", "shell", "wm", "size"},
                            {"adb", "shell", "wm", "density"},
                            {"adb", "logcat", "-d", "-t", "80"},
                        }));
  EXPECT_EQ(snap->id, "snapshot-1");
  EXPECT_EQ(snap->screenshotArtifact, tmp.file("trace/artifacts/snapshot-1.png"));
  EXPECT_EQ(snap->treeArtifact, tmp.file("trace/artifacts/snapshot-1.xml"));
  EXPECT_EQ(test::readFile(*snap->screenshotArtifact), kPng);
  EXPECT_EQ(test::readFile(*snap->treeArtifact), kDump);

  // Switches off: no screenshot command, no tree, no log; an empty screenshot
  // is still stored.
  auto quiet = trace(options(false, false, false));
  auto q = d.snapshot(&quiet);
  ASSERT_TRUE(q.has_value());
  EXPECT_EQ(q->id, "snapshot-1");
  EXPECT_EQ(q->screenshotArtifact, std::nullopt);
  EXPECT_EQ(q->treeArtifact, std::nullopt);
  EXPECT_EQ(q->logDelta, std::nullopt);
  EXPECT_EQ(takeArgv().size(), 4u);

  put("screencap.png", "");
  auto shots = trace(options(true, false, false));
  auto e = d.snapshot(&shots);
  ASSERT_TRUE(e.has_value());
  ASSERT_TRUE(e->screenshotArtifact.has_value());
  EXPECT_TRUE(test::fileExists(*e->screenshotArtifact));
  EXPECT_EQ(test::readFile(*e->screenshotArtifact), "");
}

TEST_F(AndroidDeviceTest, SnapshotGoesOnWithoutTheOptionalPieces) {
  put("exit-codes", "1 exec-out screencap\n4 shell wm density\n1 logcat\n");
  put("wm-size.txt", std::string(5000, ' ') + "Physical size: 1080x2400\n");  // over its 4096-byte cap
  auto w = trace();
  auto d = device();
  auto snap = d.snapshot(&w);
  ASSERT_TRUE(snap.has_value()) << errorName(snap.error());
  EXPECT_EQ(snap->screenshotArtifact, std::nullopt);
  EXPECT_TRUE(snap->treeArtifact.has_value());
  EXPECT_EQ(snap->viewport, (Viewport{0, 0}));
  EXPECT_EQ(snap->displayDensityDpi, std::nullopt);
  EXPECT_EQ(snap->logDelta, std::nullopt);
  EXPECT_EQ(snap->nodes.size(), 2u);

  // Unparsable answers, no window marker and no node at all.
  put("exit-codes", "");
  put("wm-size.txt", "Override size: 720x1280\n");
  put("wm-density.txt", "Physical density: high\n");
  put("window.txt", "mCurrentFocus=null\n");
  put("ui.xml", "<hierarchy/>");
  put("logcat.txt", "");
  auto bare = d.snapshot(nullptr);
  ASSERT_TRUE(bare.has_value());
  EXPECT_TRUE(bare->nodes.empty());
  EXPECT_EQ(bare->viewport, (Viewport{0, 0}));
  EXPECT_EQ(bare->displayDensityDpi, std::nullopt);
  EXPECT_EQ(bare->activePackage, std::nullopt);
  EXPECT_EQ(bare->activeActivity, std::nullopt);
  EXPECT_EQ(bare->logDelta, "");
}

TEST_F(AndroidDeviceTest, SnapshotFatalFailures) {
  auto d = device();
  {
    // A failed dump: the snapshot number is spent, nothing is written.
    put("exit-codes", "1 exec-out uiautomator\n");
    auto w = trace();
    EXPECT_EQ(d.snapshot(&w).error(), Error::CommandFailed);
    EXPECT_EQ(w.snapshotCount(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(tmp.file("trace/artifacts")));
    EXPECT_EQ(takeArgv().size(), 1u);
  }
  {
    // A failed window read ends it after the artifacts, which stay.
    put("exit-codes", "1 shell dumpsys window\n");
    auto w = trace();
    EXPECT_EQ(d.snapshot(&w).error(), Error::CommandFailed);
    EXPECT_TRUE(test::fileExists(tmp.file("trace/artifacts/snapshot-1.png")));
    EXPECT_TRUE(test::fileExists(tmp.file("trace/artifacts/snapshot-1.xml")));
    EXPECT_EQ(takeArgv().size(), 3u);
  }
  put("exit-codes", "");
  {
    put("ui.xml", R"(<node text="ok" bounds="[0,0][1,1]"/><node text="unterminated />)");
    EXPECT_EQ(d.snapshot(nullptr).error(), Error::MalformedAttribute);
    put("ui.xml", kDump);
  }
  {
    // The artifacts directory cannot be written.
    auto w = trace();
    std::filesystem::remove_all(tmp.file("trace/artifacts"));
    test::writeFile(tmp.file("trace/artifacts"), "");
    EXPECT_FALSE(d.snapshot(&w).has_value());
  }
}

TEST_F(AndroidDeviceTest, SnapshotThroughTheShim) {
  put("shim-snapshot.json",
      R"({"status":"ok","viewport":{"width":1,"height":2},"nodes":[{"id":"n1","type":"Button",)"
      R"("bounds":{"x":0,"y":0,"width":10,"height":10},"label":"Go"}]})");
  auto w = trace();
  auto d = device(std::nullopt, true);
  auto snap = d.snapshot(&w);
  ASSERT_TRUE(snap.has_value()) << errorName(snap.error());
  auto calls = takeCalls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0].argv, Argv{"android-shim"});
  EXPECT_EQ(calls[0].input, "{\"cmd\":\"snapshot\"}\n");
  EXPECT_EQ(calls[1].argv, (Argv{"adb", "exec-out", "screencap", "-p"}));
  EXPECT_EQ(calls[2].argv, (Argv{"adb", "shell", "dumpsys", "window"}));
  ASSERT_EQ(snap->nodes.size(), 1u);
  EXPECT_EQ(snap->nodes[0].stableId, "n1");
  EXPECT_EQ(snap->nodes[0].text, "Go");
  EXPECT_EQ(snap->viewport, (Viewport{1080, 2400}));  // from wm size, not the shim
  EXPECT_TRUE(snap->screenshotArtifact.has_value());
  EXPECT_EQ(snap->treeArtifact, std::nullopt);

  put("shim-snapshot.json", R"({"status":"ok"})");
  EXPECT_EQ(d.snapshot(&w).error(), Error::IosShimMissingNodes);
  put("exit-codes", "1 shim snapshot\n");
  EXPECT_EQ(d.snapshot(nullptr).error(), Error::CommandFailed);
}

TEST(AndroidDeviceRunnerTest, CapsTimeoutsAndTimedOutChildren) {
  FakeProcessRunner runner;
  FakeClock clock(kNow);
  AndroidDevice d("adb", std::nullopt, kApp, "/opt/shim", runner, clock);

  ASSERT_TRUE(d.install("a.apk").has_value());
  EXPECT_EQ(d.pressBack().error(), Error::UnexpectedEndOfInput);  // an empty reply is not JSON
  EXPECT_EQ(runner.calls[0].maxBytes, AndroidDevice::kOutputCap);
  EXPECT_EQ(runner.calls[0].timeoutMs, 120000u);
  EXPECT_EQ(runner.calls[1].entry, FakeProcessRunner::Entry::RunWithInputTimeout);
  EXPECT_EQ(runner.calls[1].argv, Argv{"/opt/shim"});
  EXPECT_EQ(runner.calls[1].input, "{\"cmd\":\"pressBack\"}\n");
  EXPECT_EQ(runner.calls[1].maxBytes, 4u * 1024 * 1024);
  EXPECT_EQ(runner.calls[1].timeoutMs, 5000u);

  runner.push(FakeProcessRunner::timedOut());
  EXPECT_EQ(d.launch().error(), Error::CommandTimedOut);
  runner.push(FakeProcessRunner::timedOut());
  EXPECT_EQ(d.settle().error(), Error::CommandTimedOut);
  runner.push(fail(Error::StreamTooLong));
  EXPECT_EQ(d.typeText("x").error(), Error::StreamTooLong);

  // Snapshot without a shim: a timed-out dump is fatal, the rest silent.
  AndroidDevice plain("adb", std::nullopt, kApp, std::nullopt, runner, clock);
  runner.calls.clear();
  runner.push(FakeProcessRunner::timedOut());
  EXPECT_EQ(plain.snapshot(nullptr).error(), Error::CommandTimedOut);
  runner.calls.clear();
  runner.push(FakeProcessRunner::exited(0, "<node text=\"a\" bounds=\"[0,0][2,2]\"/>"));
  runner.push(FakeProcessRunner::exited(0, kWindow));
  runner.push(FakeProcessRunner::timedOut());
  runner.push(FakeProcessRunner::timedOut());
  runner.push(FakeProcessRunner::timedOut());
  auto snap = plain.snapshot(nullptr);
  ASSERT_TRUE(snap.has_value());
  EXPECT_EQ(snap->nodes.size(), 1u);
  EXPECT_EQ(snap->viewport, (Viewport{0, 0}));
  EXPECT_EQ(snap->logDelta, std::nullopt);
  ASSERT_EQ(runner.calls.size(), 5u);
  const size_t caps[] = {AndroidDevice::kOutputCap, AndroidDevice::kOutputCap, 4096, 4096, 1024 * 1024};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(runner.calls[i].maxBytes, caps[i]) << i;
    EXPECT_EQ(runner.calls[i].timeoutMs, 15000u) << i;
  }
  runner.push(FakeProcessRunner::exited(0, "<hierarchy/>"));
  runner.push(FakeProcessRunner::timedOut());
  EXPECT_EQ(plain.snapshot(nullptr).error(), Error::CommandTimedOut);
}

}  // namespace
}  // namespace vyx
