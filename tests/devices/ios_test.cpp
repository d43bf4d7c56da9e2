// The iOS driver end to end: the real child-process runner against the fake
// `xcrun` and the fake iOS shim, with a FakeClock for every pause.
#include "devices/ios.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "core/trace.hpp"
#include "fake_log.hpp"
#include "fake_process_runner.hpp"
#include "vyx_test.hpp"
#include "fake_clock.hpp"

using vyx::Error;
using vyx::FakeClock;
using vyx::IosDevice;
using vyx::Selector;
using vyx::shim_protocol::ShimCmd;
using vyx::test::FakeProcessRunner;
using Argv = std::vector<std::string>;

namespace {

constexpr const char* kApp = "com.example.shop";

std::string pngBytes(uint32_t width, uint32_t height) {
  std::string bytes("\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR", 16);
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>((v >> shift) & 0xFF));
  }
  return bytes + std::string("\x08\x06\x00\x00\x00rest-of-image", 18);
}

std::string base64(const std::string& in) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t n = static_cast<uint8_t>(in[i]) << 16;
    if (i + 1 < in.size()) n |= static_cast<uint8_t>(in[i + 1]) << 8;
    if (i + 2 < in.size()) n |= static_cast<uint8_t>(in[i + 2]);
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += i + 1 < in.size() ? alphabet[(n >> 6) & 63] : '=';
    out += i + 2 < in.size() ? alphabet[n & 63] : '=';
  }
  return out;
}

// A fixture directory for the fakes, a call log, and drivers over them.
struct Fixture {
  vyx::test::TempDir dir;
  FakeClock clock;
  std::string xcrun = vyx::test::fakesDir() + "/xcrun";
  std::string shim = vyx::test::fakesDir() + "/ios-shim";

  Fixture() {
    setenv("VYX_FAKE_IOS_DIR", dir.path().c_str(), 1);
    setenv("VYX_FAKE_LOG", dir.file("calls.log").c_str(), 1);
    unsetenv("VYX_IOS_SHIM_TIMEOUT_MS");
  }
  ~Fixture() {
    unsetenv("VYX_FAKE_IOS_DIR");
    unsetenv("VYX_FAKE_LOG");
  }
  IosDevice simulator(bool withShim = true, std::optional<std::string> id = "SIM-1") {
    return IosDevice(xcrun, std::move(id), kApp, false, withShim ? std::optional(shim) : std::nullopt,
                     vyx::command::realProcessRunner(), clock);
  }
  IosDevice physical(bool withShim = true, std::optional<std::string> id = "DEV-9") {
    return IosDevice(xcrun, std::move(id), kApp, true, withShim ? std::optional(shim) : std::nullopt,
                     vyx::command::realProcessRunner(), clock);
  }
  void answer(const std::string& name, const std::string& content) { vyx::test::writeFile(dir.file(name), content); }
  void reset() {
    // Forgets every answer file, call counter and logged call.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      if (entry.is_regular_file()) std::filesystem::remove(entry.path());
    }
  }
  std::vector<vyx::test::FakeCall> calls() const { return vyx::test::readFakeCalls(dir.file("calls.log")); }
  std::vector<Argv> argvs() const { return vyx::test::readFakeLog(dir.file("calls.log")); }
  // The request lines the fake shim received, in order.
  std::vector<std::string> shimRequests() const {
    std::vector<std::string> out;
    for (const auto& call : calls()) {
      if (call.argv[0] == "ios-shim") out.push_back(call.input.value_or("<none>"));
    }
    return out;
  }
  std::vector<Argv> xcrunCalls() const {
    std::vector<Argv> out;
    for (const auto& argv : argvs()) {
      if (argv[0] == "xcrun") out.push_back(argv);
    }
    return out;
  }
};

#define EXPECT_OK(expr)                                                      \
  do {                                                                       \
    auto status_ = (expr);                                                   \
    EXPECT_TRUE(status_.has_value()) << vyx::errorName(status_.error());     \
  } while (0)

#define EXPECT_ERR(expr, err)                         \
  do {                                                \
    auto status_ = (expr);                            \
    ASSERT_FALSE(status_.has_value());                \
    EXPECT_EQ(status_.error(), err) << #expr;         \
  } while (0)

}  // namespace

TEST(IosDriver, SimulatorLifeCycleCommandLines) {
  Fixture fx;
  auto device = fx.simulator(false);
  EXPECT_OK(device.launch());
  EXPECT_OK(device.openLink("myapp://item?id=1&x=a b"));
  EXPECT_OK(device.stop());
  EXPECT_OK(device.clearState());
  EXPECT_OK(device.install("/builds/My App.app"));
  auto booted = fx.simulator(false, std::nullopt);
  EXPECT_OK(booted.launch());
  EXPECT_EQ(fx.xcrunCalls(), (std::vector<Argv>{
                                 {"xcrun", "simctl", "launch", "SIM-1", kApp},
                                 {"xcrun", "simctl", "openurl", "SIM-1", "myapp://item?id=1&x=a b"},
                                 {"xcrun", "simctl", "terminate", "SIM-1", kApp},
                                 {"xcrun", "simctl", "uninstall", "SIM-1", kApp},
                                 {"xcrun", "simctl", "install", "SIM-1", "/builds/My App.app"},
                                 {"xcrun", "simctl", "launch", "booted", kApp},
                             }));
}

TEST(IosDriver, SimulatorFailuresAndToleratedTexts) {
  Fixture fx;
  auto device = fx.simulator(false);
  fx.answer("simctl-terminate.1.exit", "1");
  fx.answer("simctl-terminate.1.err", "An error was encountered: found nothing to terminate\n");
  fx.answer("simctl-terminate.2.exit", "1");
  fx.answer("simctl-terminate.2.err", "Found nothing to terminate\n");
  fx.answer("simctl-uninstall.1.exit", "2");
  fx.answer("simctl-uninstall.1.err", "No installed application with bundle identifier com.example.shop");
  fx.answer("simctl-uninstall.2.exit", "2");
  fx.answer("simctl-install.exit", "1");
  fx.answer("simctl-install.err", "found nothing to terminate");  // only stop tolerates it
  EXPECT_OK(device.stop());
  EXPECT_ERR(device.stop(), Error::CommandFailed);
  EXPECT_OK(device.clearState());
  EXPECT_ERR(device.clearState(), Error::CommandFailed);
  EXPECT_ERR(device.install("/a.app"), Error::CommandFailed);
  // A transient simulator-service failure is retried by the simctl runner.
  fx.answer("simctl-launch.1.exit", "1");
  fx.answer("simctl-launch.1.err", "CoreSimulatorService connection became invalid");
  EXPECT_OK(device.launch());
  EXPECT_EQ(fx.clock.sleptMs(), 500u);
  // A tool that cannot be started is returned as such.
  IosDevice missing("/nonexistent/xcrun", std::nullopt, kApp, false, fx.shim, vyx::command::realProcessRunner(),
                    fx.clock);
  EXPECT_ERR(missing.launch(), Error::FileNotFound);
  EXPECT_TRUE(fx.shimRequests().empty());
}

TEST(IosDriver, SimulatorLaunchAppStateFallback) {
  struct Case {
    std::string reply;
    bool running;
  };
  const Case cases[] = {
      {R"({"status":"ok","state":3})", true},
      {R"({"status":"ok","state":4})", true},
      {R"({"status":"ok","state":"running"})", true},
      {R"({"status":"ok","state":"runningForeground"})", true},
      {R"({"status":"ok","state":"runningBackground"})", true},
      {R"({"status":"ok","state":2})", false},
      {R"({"status":"ok","state":3.0})", false},
      {R"({"status":"ok","state":"Running"})", false},
      {R"({"status":"ok","state":true})", false},
      {R"({"status":"ok"})", false},
      {R"({"status":"error","state":4})", false},
      {R"([{"status":"ok","state":4}])", false},
      {"not json", false},
  };
  Fixture fx;
  fx.answer("simctl-launch.exit", "1");
  auto device = fx.simulator();
  for (size_t i = 0; i < std::size(cases); ++i) {
    fx.answer("shim-appState." + std::to_string(i + 1) + ".out", cases[i].reply);
    auto s = device.launch();
    EXPECT_EQ(s.has_value(), cases[i].running) << cases[i].reply;
    if (!s) {
      EXPECT_EQ(s.error(), Error::CommandFailed);
    }
  }
  auto requests = fx.shimRequests();
  ASSERT_EQ(requests.size(), std::size(cases));
  EXPECT_EQ(requests[0], "{\"cmd\":\"appState\"}\n");

  // A failing shim, or none, leaves the tool's error.
  fx.answer("shim-appState.14.exit", "1");
  EXPECT_ERR(device.launch(), Error::CommandFailed);
  EXPECT_ERR(fx.simulator(false).launch(), Error::CommandFailed);
  EXPECT_EQ(fx.shimRequests().size(), std::size(cases) + 1);
}

TEST(IosDriver, SimulatorOpenLinkAlertLoop) {
  Fixture fx;
  auto device = fx.simulator();
  // Replies that never say "accepted": true: 8 requests, 7 pauses of 1000 ms.
  fx.answer("shim-acceptSystemAlert.3.out", R"({"status":"ok","accepted":"true"})");
  fx.answer("shim-acceptSystemAlert.out", R"({"status":"ok","accepted":false})");
  EXPECT_OK(device.openLink("https://x"));
  auto requests = fx.shimRequests();
  ASSERT_EQ(requests.size(), 8u);
  for (const auto& r : requests) EXPECT_EQ(r, "{\"cmd\":\"acceptSystemAlert\",\"text\":\"Open\"}\n");
  EXPECT_EQ(fx.clock.sleeps(), 7u);
  EXPECT_EQ(fx.clock.sleptMs(), 7000u);

  struct Case {
    std::string file, content;
  };
  // Each of these ends the loop after the first request.
  const Case stoppers[] = {
      {"out", R"({"status":"ok","accepted":true})"},
      {"out", R"({"status":"failed","accepted":false})"},
      {"out", R"({"accepted":false})"},
      {"out", "garbage"},
      {"exit", "1"},
  };
  for (const auto& c : stoppers) {
    fx.reset();
    FakeClock clock;
    IosDevice d(fx.xcrun, "SIM-1", kApp, false, fx.shim, vyx::command::realProcessRunner(), clock);
    fx.answer("shim-acceptSystemAlert." + c.file, c.content);
    EXPECT_OK(d.openLink("https://x"));
    EXPECT_EQ(fx.shimRequests().size(), 1u) << c.content;
    EXPECT_EQ(clock.sleeps(), 0u);
  }
  // The openurl failure ends the operation before any alert request.
  fx.reset();
  fx.answer("simctl-openurl.exit", "3");
  EXPECT_ERR(device.openLink("https://x"), Error::CommandFailed);
  EXPECT_TRUE(fx.shimRequests().empty());
}

TEST(IosDriver, PhysicalLifeCycleCommandLines) {
  Fixture fx;
  auto device = fx.physical(false);
  fx.answer("devicectl-device-info-processes.json",
            R"({"result":{"runningProcesses":[{"executable":"file:///x/Other.app","processIdentifier":7},
               {"bundleIdentifier":"com.example.shop","processIdentifier":4242}]}})");
  fx.answer("devicectl-device-uninstall-app.exit", "1");
  fx.answer("devicectl-device-uninstall-app.err", "No installed application with bundle identifier x");
  EXPECT_OK(device.launch());
  EXPECT_OK(device.openLink("myapp://deep"));
  EXPECT_OK(device.stop());
  EXPECT_OK(device.clearState());
  EXPECT_OK(device.install("/b/App.ipa"));
  EXPECT_OK(fx.physical(false, std::nullopt).launch());
  auto calls = fx.xcrunCalls();
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_EQ(calls[0], (Argv{"xcrun", "devicectl", "device", "process", "launch", "--device", "DEV-9",
                            "--terminate-existing", kApp}));
  EXPECT_EQ(calls[1], (Argv{"xcrun", "devicectl", "device", "process", "launch", "--device", "DEV-9",
                            "--terminate-existing", "--payload-url", "myapp://deep", kApp}));
  ASSERT_EQ(calls[2].size(), 10u);
  EXPECT_EQ(calls[2], (Argv{"xcrun", "devicectl", "device", "info", "processes", "--device", "DEV-9",
                            "--json-output", calls[2][8], "--quiet"}));
  EXPECT_FALSE(vyx::test::fileExists(calls[2][8]));
  EXPECT_EQ(calls[3], (Argv{"xcrun", "devicectl", "device", "process", "terminate", "--device", "DEV-9", "--pid",
                            "4242"}));
  EXPECT_EQ(calls[4], (Argv{"xcrun", "devicectl", "device", "uninstall", "app", "--device", "DEV-9", kApp}));
  EXPECT_EQ(calls[5], (Argv{"xcrun", "devicectl", "device", "install", "app", "--device", "DEV-9", "/b/App.ipa"}));
  EXPECT_EQ(calls[6], (Argv{"xcrun", "devicectl", "device", "process", "launch", "--device", "booted",
                            "--terminate-existing", kApp}));
  // devicectl never retries and has no app-state fallback.
  fx.answer("devicectl-device-process-launch.exit", "1");
  fx.answer("devicectl-device-process-launch.err", "Connection refused");
  EXPECT_ERR(fx.physical().launch(), Error::CommandFailed);
  EXPECT_TRUE(fx.shimRequests().empty());
}

TEST(IosDriver, PhysicalStopWithoutAppProcessTerminatesNothing) {
  struct Case {
    const char* name;
    std::string file, content;
  };
  const Case cases[] = {
      {"no process of the app", "json", R"({"result":{"runningProcesses":[{"bundleIdentifier":"other","pid":1}]}})"},
      {"app named without pid", "json", R"([{"bundleIdentifier":"com.example.shop"}])"},
      {"listing not JSON", "json", "{\"result\":"},
      {"empty listing file", "json", ""},
      {"listing fails", "exit", "1"},
      {"no listing file", "none", ""},
  };
  for (const auto& c : cases) {
    Fixture fx;
    fx.answer("devicectl-device-info-processes." + c.file, c.content);
    EXPECT_OK(fx.physical().stop());
    auto calls = fx.xcrunCalls();
    ASSERT_EQ(calls.size(), 1u) << c.name;
    EXPECT_EQ(calls[0][4], "processes");
    EXPECT_FALSE(vyx::test::fileExists(calls[0][8])) << c.name;
  }
  // A terminate that fails is the operation's outcome.
  Fixture fx;
  fx.answer("devicectl-device-info-processes.json", R"([{"id":"com.example.shop","pid":-3}])");
  fx.answer("devicectl-device-process-terminate.exit", "1");
  EXPECT_ERR(fx.physical().stop(), Error::CommandFailed);
  EXPECT_EQ(fx.xcrunCalls().back().back(), "-3");
}

TEST(IosDriver, PlainShimOperations) {
  Fixture fx;
  auto device = fx.simulator();
  EXPECT_OK(device.typeText("h\u00e9llo \"q\"\n"));
  EXPECT_OK(device.eraseText(12));
  EXPECT_OK(device.pressBack());
  EXPECT_OK(device.hideKeyboard());
  EXPECT_OK(device.swipe(10, -20, 30, 4000, 300));
  EXPECT_OK(device.settle());
  EXPECT_OK(device.tapPoint(5, 6));
  EXPECT_EQ(fx.shimRequests(), (std::vector<std::string>{
                                   "{\"cmd\":\"type\",\"text\":\"h\u00e9llo \\\"q\\\"\\n\"}\n",
                                   "{\"cmd\":\"eraseText\",\"maxChars\":12}\n",
                                   "{\"cmd\":\"pressBack\"}\n",
                                   "{\"cmd\":\"hideKeyboard\"}\n",
                                   "{\"cmd\":\"swipe\",\"x1\":10,\"y1\":-20,\"x2\":30,\"y2\":4000,\"durationMs\":300}\n",
                                   "{\"cmd\":\"settle\",\"durationMs\":500}\n",
                                   "{\"cmd\":\"tap\",\"x\":5,\"y\":6}\n",
                               }));
  for (const auto& argv : fx.argvs()) EXPECT_EQ(argv.size(), 1u);  // the shim gets no arguments
  EXPECT_EQ(fx.clock.sleeps(), 0u);
  EXPECT_TRUE(fx.xcrunCalls().empty());

  struct Case {
    std::string file, content;
    Error error;
  };
  const Case failures[] = {
      {"out", R"({"status":"OK"})", Error::IosShimResponseNotOk},
      {"out", R"(["ok"])", Error::IosShimResponseMustBeObject},
      {"out", R"({"state":"ok"})", Error::IosShimMissingStatus},
      {"out", "", Error::UnexpectedEndOfInput},
      {"exit", "2", Error::CommandFailed},
  };
  for (const auto& c : failures) {
    fx.reset();
    fx.answer("shim-pressBack." + c.file, c.content);
    EXPECT_ERR(device.pressBack(), c.error);
  }
}

TEST(IosDriver, WithoutShim) {
  Fixture fx;
  auto device = fx.simulator(false);
  EXPECT_ERR(device.typeText("x"), Error::IosXCTestShimRequired);
  EXPECT_ERR(device.eraseText(1), Error::IosXCTestShimRequired);
  EXPECT_ERR(device.pressBack(), Error::IosXCTestShimRequired);
  EXPECT_ERR(device.hideKeyboard(), Error::IosXCTestShimRequired);
  EXPECT_ERR(device.swipe(1, 2, 3, 4, 5), Error::IosXCTestShimRequired);
  EXPECT_ERR(device.tapPoint(1, 2), Error::IosXCTestShimRequired);
  EXPECT_OK(device.settle());
  EXPECT_EQ(fx.clock.sleeps(), 1u);
  EXPECT_EQ(fx.clock.sleptMs(), 500u);
  EXPECT_EQ(device.nativeSelectorAction(vyx::SelectorAction{}, Selector{.text = "Buy"}),
            vyx::NativeAction::unavailable);
  EXPECT_EQ(device.nativeVisible(Selector{.text = "Buy"}, 100), vyx::Expected<std::optional<bool>>(std::nullopt));
  EXPECT_TRUE(fx.argvs().empty());
}

TEST(IosDriver, ShimRetriesOnceWhenNotReady) {
  for (std::string text : {"iOS shim server exited before it became ready", "Early unexpected exit",
                           "operation never finished bootstrapping"}) {
    Fixture fx;
    fx.answer("shim-hideKeyboard.1.exit", "1");
    fx.answer("shim-hideKeyboard.1.err", "xcodebuild: " + text + " (code 65)\n");
    fx.answer("shim-hideKeyboard.2.out", R"({"status":"ok","second":true})");
    auto device = fx.simulator();
    auto reply = device.runShimWithTimeout(vyx::shim_protocol::request(ShimCmd::hideKeyboard), 5000);
    ASSERT_TRUE(reply.has_value()) << text;
    EXPECT_EQ(*reply, R"({"status":"ok","second":true})");
    EXPECT_EQ(fx.shimRequests().size(), 2u);
    EXPECT_EQ(fx.clock.sleptMs(), 500u);
  }
  {
    Fixture fx;  // not ready twice: no third run
    fx.answer("shim-pressBack.exit", "1");
    fx.answer("shim-pressBack.err", "Early unexpected exit");
    EXPECT_ERR(fx.simulator().pressBack(), Error::CommandFailed);
    EXPECT_EQ(fx.shimRequests().size(), 2u);
  }
  {
    Fixture fx;  // any other failure: no retry
    fx.answer("shim-pressBack.exit", "1");
    fx.answer("shim-pressBack.err", "early unexpected exit");
    EXPECT_ERR(fx.simulator().pressBack(), Error::CommandFailed);
    EXPECT_EQ(fx.shimRequests().size(), 1u);
    EXPECT_EQ(fx.clock.sleeps(), 0u);
  }
}

TEST(IosDriver, ShimThatNeverAnswersTimesOut) {
  Fixture fx;
  fx.answer("shim-snapshot.hang", "");
  auto device = fx.simulator();
  auto reply = device.runShimWithTimeout(vyx::shim_protocol::request(ShimCmd::snapshot), 200);
  ASSERT_FALSE(reply.has_value());
  EXPECT_EQ(reply.error(), Error::CommandTimedOut);
  // Not retried. (On a busy machine the shim may be ended before it could
  // log its request, so the count can be 0.)
  EXPECT_LE(fx.shimRequests().size(), 1u);
}

TEST(IosDriver, ShimTimeoutsAndTransportShape) {
  struct Case {
    const char* value;
    uint64_t timeout;
  };
  const Case cases[] = {
      {nullptr, 5400000}, {"", 5400000},      {"0", 5400000},       {"abc", 5400000},
      {"2500", 2500},     {"+2500", 2500},    {"2_500", 2500},      {"1__0", 10},
      {"_25", 5400000},   {"25_", 5400000},   {"+", 5400000},       {"-5", 5400000},
      {" 25", 5400000},   {"18446744073709551615", 18446744073709551615ull},
      {"18446744073709551616", 5400000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(vyx::ios::shimTimeoutFromEnv(c.value), c.timeout) << (c.value ? c.value : "<unset>");
  }

  FakeProcessRunner runner;
  FakeClock clock;
  runner.fallback = FakeProcessRunner::exited(0, R"({"status":"ok","accepted":true})");
  IosDevice device("xcrun", std::nullopt, kApp, false, "/opt/shim", runner, clock);
  setenv("VYX_IOS_SHIM_TIMEOUT_MS", "2500", 1);
  EXPECT_OK(device.pressBack());
  unsetenv("VYX_IOS_SHIM_TIMEOUT_MS");
  EXPECT_OK(device.pressBack());
  runner.answers.push_back(FakeProcessRunner::exited(1));  // launch fails: appState follows
  EXPECT_ERR(device.launch(), Error::CommandFailed);
  EXPECT_OK(device.openLink("u"));
  ASSERT_EQ(runner.calls.size(), 6u);
  EXPECT_EQ(runner.calls[0].entry, FakeProcessRunner::Entry::RunWithInputTimeout);
  EXPECT_EQ(runner.calls[0].argv, (Argv{"/opt/shim"}));
  EXPECT_EQ(runner.calls[0].maxBytes, 4194304u);
  EXPECT_EQ(runner.calls[0].timeoutMs, 2500u);
  EXPECT_EQ(runner.calls[1].timeoutMs, 5400000u);
  EXPECT_EQ(runner.calls[2].entry, FakeProcessRunner::Entry::Run);  // simctl: no time-out
  EXPECT_EQ(runner.calls[2].maxBytes, 33554432u);
  EXPECT_EQ(runner.calls[3].input, "{\"cmd\":\"appState\"}\n");
  EXPECT_EQ(runner.calls[3].timeoutMs, 10000u);
  EXPECT_EQ(runner.calls[4].argv, (Argv{"xcrun", "simctl", "openurl", "booted", "u"}));
  EXPECT_EQ(runner.calls[5].input, "{\"cmd\":\"acceptSystemAlert\",\"text\":\"Open\"}\n");
  EXPECT_EQ(runner.calls[5].timeoutMs, 10000u);
}

TEST(IosDriver, NativeSelectorAction) {
  using vyx::NativeAction;
  using vyx::SelectorAction;
  struct Case {
    const char* name;
    std::string reply;  // empty: default ok
    std::string exit;
    std::optional<NativeAction> result;
    Error error;
  };
  const Case cases[] = {
      {"ok", R"({"status":"ok"})", "", NativeAction::performed, Error::Unexpected},
      {"not found", R"({"status":"error","code":"selector.not_found"})", "", NativeAction::unavailable,
       Error::Unexpected},
      {"not hittable", R"({"status":"failed","code":"selector.not_hittable"})", "", NativeAction::unavailable,
       Error::Unexpected},
      {"other code", R"({"status":"error","code":"timeout"})", "", std::nullopt, Error::IosShimResponseNotOk},
      {"code not a string", R"({"status":"error","code":1})", "", std::nullopt, Error::IosShimResponseNotOk},
      {"no code", R"({"status":"error"})", "", std::nullopt, Error::IosShimResponseNotOk},
      {"no status", R"({"code":"selector.not_found"})", "", std::nullopt, Error::IosShimMissingStatus},
      {"status not a string", R"({"status":true})", "", std::nullopt, Error::IosShimMissingStatus},
      {"not an object", R"("ok")", "", std::nullopt, Error::IosShimResponseMustBeObject},
      {"not JSON", R"({"status":)", "", std::nullopt, Error::UnexpectedEndOfInput},
      {"transport", R"({"status":"ok"})", "1", std::nullopt, Error::CommandFailed},
  };
  for (const auto& c : cases) {
    Fixture fx;
    fx.answer("shim-tap.out", c.reply);
    if (!c.exit.empty()) fx.answer("shim-tap.exit", c.exit);
    auto r = fx.simulator().nativeSelectorAction(SelectorAction{}, Selector{.text = "Buy now"});
    if (c.result) {
      ASSERT_TRUE(r.has_value()) << c.name;
      EXPECT_EQ(*r, *c.result) << c.name;
    } else {
      ASSERT_FALSE(r.has_value()) << c.name;
      EXPECT_EQ(r.error(), c.error) << c.name;
    }
    EXPECT_EQ(fx.shimRequests(), (std::vector<std::string>{"{\"cmd\":\"tap\",\"selector\":\"text=Buy now\"}\n"}));
  }

  Fixture fx;
  auto device = fx.simulator();
  const SelectorAction type{.kind = SelectorAction::Kind::typeText, .text = "a@b.c"};
  EXPECT_EQ(device.nativeSelectorAction(type, Selector{.contentDesc = "email"}), NativeAction::performed);
  const SelectorAction erase{.kind = SelectorAction::Kind::eraseText, .maxChars = 40};
  EXPECT_EQ(device.nativeSelectorAction(erase, Selector{.resourceId = "field"}), NativeAction::performed);
  // Two fields, or none: not expressible, nothing sent.
  EXPECT_EQ(device.nativeSelectorAction(type, Selector{.text = "a", .className = "b"}), NativeAction::unavailable);
  EXPECT_EQ(device.nativeSelectorAction(type, Selector{}), NativeAction::unavailable);
  EXPECT_EQ(fx.shimRequests(), (std::vector<std::string>{
                                   "{\"cmd\":\"type\",\"selector\":\"identifier=email\",\"text\":\"a@b.c\"}\n",
                                   "{\"cmd\":\"eraseText\",\"selector\":\"resourceId=field\",\"maxChars\":40}\n",
                               }));
}

TEST(IosDriver, NativeVisible) {
  struct Case {
    std::string reply;
    vyx::Expected<std::optional<bool>> result;
  };
  const Case cases[] = {
      {R"({"status":"ok","exists":true})", std::optional<bool>(true)},
      {R"({"status":"ok","exists":false})", std::optional<bool>(false)},
      {"[]", vyx::fail(Error::IosShimResponseMustBeObject)},
      {R"({"exists":true})", vyx::fail(Error::IosShimMissingStatus)},
      {R"({"status":"error","exists":true})", vyx::fail(Error::IosShimResponseNotOk)},
      {R"({"status":"ok"})", vyx::fail(Error::IosShimMissingExists)},
      {R"({"status":"ok","exists":"yes"})", vyx::fail(Error::IosShimExistsMustBeBool)},
      {"not json", vyx::fail(Error::SyntaxError)},
  };
  for (const Case& c : cases) {
    FakeProcessRunner runner;
    FakeClock clock;
    runner.fallback = FakeProcessRunner::exited(0, c.reply);
    IosDevice device("xcrun", std::nullopt, kApp, false, "/opt/shim", runner, clock);
    EXPECT_EQ(device.nativeVisible(Selector{.text = "Go"}, 0), c.result) << c.reply;
    ASSERT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(runner.calls[0].input, "{\"cmd\":\"query\",\"selector\":\"text=Go\"}\n");
    EXPECT_EQ(runner.calls[0].timeoutMs, 1u);  // at least 1 ms
  }
  // A selector of two fields cannot be asked: nothing is sent.
  FakeProcessRunner runner;
  FakeClock clock;
  IosDevice device("xcrun", std::nullopt, kApp, false, "/opt/shim", runner, clock);
  EXPECT_EQ(device.nativeVisible(Selector{.text = "Go", .className = "Button"}, 100),
            vyx::Expected<std::optional<bool>>(std::nullopt));
  EXPECT_TRUE(runner.calls.empty());
  EXPECT_TRUE(device.waitsNatively());
}

TEST(IosDriver, ListDevicesOfItsKind) {
  FakeProcessRunner runner;
  FakeClock clock;
  runner.fallback = FakeProcessRunner::exited(
      0, R"({"devices":{"iOS 17":[{"udid":"S1","state":"Booted","isAvailable":true}]}})");
  IosDevice simulator("xcrun", std::nullopt, kApp, false, std::nullopt, runner, clock);
  EXPECT_EQ(simulator.listDevices(), (vyx::Expected<std::vector<vyx::DeviceInfo>>(std::vector<vyx::DeviceInfo>{
                                         {"S1", "Booted"}})));
  IosDevice physical("xcrun", std::nullopt, kApp, true, std::nullopt, runner, clock);
  (void)physical.listDevices();  // the fake runner writes no result file
  ASSERT_EQ(runner.calls.size(), 2u);
  EXPECT_EQ(runner.calls[0].argv, (Argv{"xcrun", "simctl", "list", "devices", "--json"}));
  EXPECT_EQ(runner.calls[1].argv.at(1), "devicectl");
}

// ---- observation ----

namespace {

constexpr const char* kTreeReply =
    R"({"status":"ok","viewport":{"width":0,"height":844},"nodes":[
        {"id":"n1","type":"XCUIElementTypeButton","label":"Buy","identifier":"buy",
         "bounds":{"x":10,"y":20,"width":100,"height":40}}]})";

struct TraceFixture : Fixture {
  std::string traceDir = dir.file("trace");
  vyx::TraceWriter trace;
  explicit TraceFixture(vyx::TraceOptions options = {})
      : trace(*vyx::TraceWriter::create(traceDir, std::move(options), clock)) {}
  std::string events() const { return vyx::test::readFile(traceDir + "/events.jsonl"); }
};

}  // namespace

TEST(IosSnapshot, WithoutTraceCapturesLogAndTreeOnly) {
  Fixture fx;
  fx.answer("shim-snapshot.out", kTreeReply);
  fx.answer("simctl-spawn.out", "12:00:01 app[1] line\n");
  auto snap = fx.simulator().snapshot(nullptr);
  ASSERT_TRUE(snap.has_value()) << vyx::errorName(snap.error());
  EXPECT_EQ(snap->id, "snapshot-" + std::to_string(fx.clock.wallClockMs()));
  EXPECT_EQ(snap->timestampMs, fx.clock.wallClockMs());
  EXPECT_EQ(snap->activePackage, kApp);
  EXPECT_FALSE(snap->screenshotArtifact.has_value());
  EXPECT_EQ(snap->logDelta, "12:00:01 app[1] line\n");
  ASSERT_EQ(snap->nodes.size(), 1u);
  EXPECT_EQ(snap->nodes[0].stableId, "n1");
  EXPECT_EQ(snap->nodes[0].text, "Buy");
  EXPECT_EQ(snap->viewport, (vyx::Viewport{0, 0}));  // a 0-wide shim viewport is not used
  EXPECT_FALSE(snap->activeActivity || snap->treeArtifact || snap->focusedNodeId || snap->displayDensityDpi);
  EXPECT_EQ(fx.xcrunCalls(), (std::vector<Argv>{{"xcrun", "simctl", "spawn", "SIM-1", "log", "show", "--style",
                                                 "compact", "--last", "30s"}}));
  EXPECT_EQ(fx.shimRequests(), (std::vector<std::string>{"{\"cmd\":\"snapshot\"}\n"}));

  // A failing log is passed over; a physical device never asks for one.
  fx.reset();
  fx.answer("shim-snapshot.out", kTreeReply);
  fx.answer("simctl-spawn.exit", "1");
  fx.answer("simctl-spawn.out", "partial");
  auto noLog = fx.simulator().snapshot(nullptr);
  ASSERT_TRUE(noLog.has_value());
  EXPECT_FALSE(noLog->logDelta.has_value());
  fx.reset();
  fx.answer("shim-snapshot.out", kTreeReply);
  ASSERT_TRUE(fx.physical().snapshot(nullptr).has_value());
  EXPECT_TRUE(fx.xcrunCalls().empty());
}

TEST(IosSnapshot, SimulatorScreenshotIsStoredAndTempFileRemoved) {
  TraceFixture fx;
  std::string png = pngBytes(390, 844);
  fx.answer("simctl-io.png", png);
  fx.answer("shim-snapshot.out", kTreeReply);
  auto snap = fx.simulator().snapshot(&fx.trace);
  ASSERT_TRUE(snap.has_value()) << vyx::errorName(snap.error());
  EXPECT_EQ(snap->id, "snapshot-1");
  EXPECT_EQ(snap->screenshotArtifact, fx.traceDir + "/artifacts/snapshot-1.png");
  EXPECT_EQ(vyx::test::readFile(*snap->screenshotArtifact), png);
  EXPECT_EQ(snap->viewport, (vyx::Viewport{390, 844}));  // shim's 0 by 844 ignored
  EXPECT_EQ(snap->nodes.size(), 1u);
  auto calls = fx.xcrunCalls();
  ASSERT_EQ(calls.size(), 2u);
  ASSERT_EQ(calls[0].size(), 6u);
  EXPECT_EQ(calls[0], (Argv{"xcrun", "simctl", "io", "SIM-1", "screenshot", calls[0][5]}));
  EXPECT_TRUE(calls[0][5].starts_with("/tmp/vyx-ios-screenshot-") && calls[0][5].ends_with(".png"));
  EXPECT_FALSE(vyx::test::fileExists(calls[0][5]));
  EXPECT_EQ(calls[1][2], "spawn");
  EXPECT_EQ(fx.events(), "");

  // The shim's viewport wins when both sides are non-zero; a tool that fails
  // (even after writing the file) gives no screenshot, and the file is gone.
  fx.reset();
  fx.answer("simctl-io.png", png);
  fx.answer("simctl-io.exit", "1");
  fx.answer("shim-snapshot.out", R"({"status":"ok","viewport":{"width":1170,"height":2532},"nodes":[]})");
  auto second = fx.simulator().snapshot(&fx.trace);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->id, "snapshot-2");
  EXPECT_FALSE(second->screenshotArtifact.has_value());
  EXPECT_EQ(second->viewport, (vyx::Viewport{1170, 2532}));
  EXPECT_FALSE(vyx::test::fileExists(fx.xcrunCalls()[0][5]));
  EXPECT_FALSE(vyx::test::fileExists(fx.traceDir + "/artifacts/snapshot-2.png"));

  // A tool that exits 0 without writing the file captured nothing, so a lost
  // tree is the snapshot's error rather than a partial observation.
  fx.reset();
  fx.answer("shim-snapshot.exit", "1");
  auto third = fx.simulator().snapshot(&fx.trace);
  ASSERT_FALSE(third.has_value());
  EXPECT_EQ(third.error(), vyx::Error::CommandFailed);
  EXPECT_FALSE(vyx::test::fileExists(fx.xcrunCalls()[0][5]));
  EXPECT_FALSE(vyx::test::fileExists(fx.traceDir + "/artifacts/snapshot-3.png"));
  EXPECT_EQ(fx.events(), "");
}

TEST(IosSnapshot, TraceSwitchesChooseTheSources) {
  vyx::TraceOptions options;
  options.screenshots = false;
  options.logs = false;
  TraceFixture fx(options);
  auto snap = fx.simulator(false).snapshot(&fx.trace);
  ASSERT_TRUE(snap.has_value());
  EXPECT_TRUE(fx.argvs().empty());  // no screenshot, no log, no shim
  EXPECT_TRUE(snap->nodes.empty());
  EXPECT_FALSE(snap->logDelta.has_value());
  EXPECT_EQ(snap->viewport, (vyx::Viewport{0, 0}));

  // Screenshots off and a failing shim: the shim's error.
  fx.answer("shim-snapshot.out", R"({"status":"ok"})");
  EXPECT_ERR(fx.simulator().snapshot(&fx.trace), Error::IosShimMissingNodes);
  fx.answer("shim-snapshot.exit", "1");
  EXPECT_ERR(fx.simulator().snapshot(&fx.trace), Error::CommandFailed);
  EXPECT_EQ(fx.events(), "");
}

TEST(IosSnapshot, LostTreeWithScreenshotIsPartialFailure) {
  struct Case {
    std::string file, content;
    std::string error;
  };
  const Case cases[] = {
      {"exit", "1", "CommandFailed"},
      {"out", R"({"status":"ok","nodes":{}})", "IosShimNodesMustBeArray"},
  };
  for (const auto& c : cases) {
    TraceFixture fx;
    fx.answer("simctl-io.png", pngBytes(100, 200));
    fx.answer("shim-snapshot." + c.file, c.content);
    auto snap = fx.simulator().snapshot(&fx.trace);
    ASSERT_TRUE(snap.has_value()) << vyx::errorName(snap.error());
    EXPECT_TRUE(snap->nodes.empty());
    EXPECT_EQ(snap->viewport, (vyx::Viewport{100, 200}));
    std::string path = fx.traceDir + "/artifacts/snapshot-1.png";
    EXPECT_EQ(snap->screenshotArtifact, path);
    auto lines = vyx::test::splitLines(fx.events());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(
                  R"("kind":"observe.snapshot.semanticExtraction","payload":{"status":"failed","artifactStatus":"captured","semanticStatus":"failed","error":")" +
                  c.error + R"(","screenshotArtifact":")" + path + R"(","source":"ios-xctest-shim"})"),
              std::string::npos)
        << lines[0];
    EXPECT_EQ(fx.trace.partialFailureCount(), 1u);
  }
}

TEST(IosSnapshot, PhysicalScreenshotFromShim) {
  std::string png = pngBytes(828, 1792);
  struct Case {
    const char* name;
    std::string reply;
    bool stored;
  };
  const Case cases[] = {
      {"valid", R"({"status":"ok","format":"png","base64":")" + base64(png) + R"("})", true},
      {"not a PNG still stored", R"({"status":"ok","format":"png","base64":"aGVsbG8="})", true},
      {"format jpeg", R"({"status":"ok","format":"jpeg","base64":")" + base64(png) + R"("})", false},
      {"five characters", R"({"status":"ok","format":"png","base64":"aGVsb"})", false},
      {"URL-safe alphabet", R"({"status":"ok","format":"png","base64":"-_-_"})", false},
      {"leftover bits", R"({"status":"ok","format":"png","base64":"aGVsbG9="})", false},
      {"status not ok", R"({"status":"error","format":"png","base64":"aGVsbG8="})", false},
      {"base64 not a string", R"({"status":"ok","format":"png","base64":7})", false},
      {"not JSON", "png", false},
  };
  for (const auto& c : cases) {
    TraceFixture fx;
    fx.answer("shim-screenshot.out", c.reply);
    fx.answer("shim-snapshot.out", R"({"status":"ok","nodes":[]})");
    auto snap = fx.physical().snapshot(&fx.trace);
    ASSERT_TRUE(snap.has_value()) << c.name;
    EXPECT_EQ(snap->screenshotArtifact.has_value(), c.stored) << c.name;
    EXPECT_FALSE(snap->logDelta.has_value());
    EXPECT_TRUE(fx.xcrunCalls().empty());
    EXPECT_EQ(fx.shimRequests(),
              (std::vector<std::string>{"{\"cmd\":\"screenshot\"}\n", "{\"cmd\":\"snapshot\"}\n"}));
    if (std::string(c.name) == "valid") {
      EXPECT_EQ(vyx::test::readFile(*snap->screenshotArtifact), png);
      EXPECT_EQ(snap->viewport, (vyx::Viewport{828, 1792}));
    }
    if (std::string(c.name) == "not a PNG still stored") {
      EXPECT_EQ(vyx::test::readFile(*snap->screenshotArtifact), "hello");
      EXPECT_EQ(snap->viewport, (vyx::Viewport{0, 0}));
    }
  }
  // Without a shim: no screenshot, no nodes, no failure.
  TraceFixture fx;
  auto snap = fx.physical(false).snapshot(&fx.trace);
  ASSERT_TRUE(snap.has_value());
  EXPECT_FALSE(snap->screenshotArtifact.has_value());
  EXPECT_TRUE(snap->nodes.empty());
  EXPECT_TRUE(fx.argvs().empty());
}
