// The xcrun runners and the iOS device listings: document shapes, the simctl
// retry, the devicectl result file, and the process search of a listing.
#include "devices/ios_devices.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "core/clock.hpp"
#include "core/json.hpp"
#include "fake_log.hpp"
#include "fake_process_runner.hpp"
#include "vyx_test.hpp"
#include "fake_clock.hpp"

using vyx::DeviceInfo;
using vyx::Error;
using vyx::FakeClock;
using vyx::test::FakeProcessRunner;
namespace ios_devices = vyx::ios_devices;

namespace {

// Points the fake xcrun at a fresh fixture directory and call log.
struct XcrunFixture {
  vyx::test::TempDir dir;
  std::string xcrun = vyx::test::fakesDir() + "/xcrun";
  XcrunFixture() {
    setenv("VYX_FAKE_IOS_DIR", dir.path().c_str(), 1);
    setenv("VYX_FAKE_LOG", dir.file("calls.log").c_str(), 1);
  }
  ~XcrunFixture() {
    unsetenv("VYX_FAKE_IOS_DIR");
    unsetenv("VYX_FAKE_LOG");
  }
  void answer(const std::string& name, const std::string& content) { vyx::test::writeFile(dir.file(name), content); }
  std::vector<std::vector<std::string>> calls() const { return vyx::test::readFakeLog(dir.file("calls.log")); }
};

std::vector<std::string> list(std::initializer_list<std::string> items) { return items; }

}  // namespace

TEST(IosDevicesParse, SimulatorListShapesAndFilters) {
  auto ok = ios_devices::parseSimulatorList(R"({"devices":{
      "runtime-a":[
        {"udid":"A","state":"Booted","isAvailable":true},
        {"udid":"B","state":"Shutdown"},
        {"udid":"C","state":"Booted","isAvailable":false},
        {"udid":"D","state":"Booted","isAvailable":"no"},
        {"udid":"E","state":"booted"},
        {"state":"Booted"},
        {"udid":7,"state":"Booted"},
        "junk"],
      "runtime-b":{"udid":"X","state":"Booted"},
      "runtime-c":[{"udid":"F","state":"Booted"}]}})");
  ASSERT_TRUE(ok.has_value());
  EXPECT_EQ(*ok, (std::vector<DeviceInfo>{{"A", "Booted"}, {"D", "Booted"}, {"F", "Booted"}}));

  struct Case {
    const char* json;
    Error error;
  };
  const Case errors[] = {
      {R"({"devices":[]})", Error::SimctlDevicesMustBeObject},
      {R"({})", Error::SimctlDevicesMissingDevices},
      {R"([])", Error::SimctlDevicesMustBeObject},
      {R"({"devices":{},"devices":{}})", Error::DuplicateField},
      {R"({"devices":)", Error::UnexpectedEndOfInput},
      {"", Error::UnexpectedEndOfInput},
      {"not json", Error::SyntaxError},
  };
  for (const auto& c : errors) {
    auto r = ios_devices::parseSimulatorList(c.json);
    ASSERT_FALSE(r.has_value()) << c.json;
    EXPECT_EQ(r.error(), c.error) << c.json;
  }
}

TEST(IosDevicesParse, PhysicalListShapesAndStates) {
  auto ok = ios_devices::parsePhysicalList(R"({"result":{"devices":[
      {"identifier":"id-1","hardwareProperties":{"platform":"iOS","reality":"physical","udid":"u-1"},
       "connectionProperties":{"tunnelState":"connected","pairingState":"paired"}},
      {"hardwareProperties":{"platform":"iOS","reality":"physical","udid":"u-2"},
       "connectionProperties":{"pairingState":"paired"}},
      {"identifier":"id-3","hardwareProperties":{"platform":"iOS","reality":"physical"}},
      {"identifier":"id-4","hardwareProperties":{"platform":"iOS","reality":"physical"},"connectionProperties":"x"},
      {"identifier":"sim","hardwareProperties":{"platform":"iOS","reality":"virtual"}},
      {"identifier":"watch","hardwareProperties":{"platform":"watchOS","reality":"physical"}},
      {"hardwareProperties":{"platform":"iOS","reality":"physical"}},
      {"identifier":"no-hw"},
      42]}})");
  ASSERT_TRUE(ok.has_value());
  EXPECT_EQ(*ok, (std::vector<DeviceInfo>{
                     {"id-1", "connected"}, {"u-2", "paired"}, {"id-3", "available"}, {"id-4", "available"}}));

  struct Case {
    const char* json;
    Error error;
  };
  const Case errors[] = {
      {R"({"result":{"devices":{}}})", Error::DevicectlDevicesMustBeArray},
      {R"({"result":[]})", Error::DevicectlDevicesMustBeObject},
      {R"([])", Error::DevicectlDevicesMustBeObject},
      {R"({})", Error::DevicectlDevicesMissingResult},
      {R"({"result":{}})", Error::DevicectlDevicesMissingDevices},
      {"", Error::UnexpectedEndOfInput},
  };
  for (const auto& c : errors) {
    auto r = ios_devices::parsePhysicalList(c.json);
    ASSERT_FALSE(r.has_value()) << c.json;
    EXPECT_EQ(r.error(), c.error) << c.json;
  }
}

TEST(IosDevicesParse, FindPidInValue) {
  struct Case {
    const char* json;
    std::optional<int64_t> pid;
  };
  const Case cases[] = {
      {R"([{"bundleIdentifier":"com.app","processIdentifier":42}])", 42},
      {R"({"result":{"runningProcesses":[{"executable":"other","pid":1},{"name":"com.app","pid":-7}]}})", -7},
      {R"([{"bundleIdentifier":"com.app","name":"x"}])", std::nullopt},          // names the app, no pid
      {R"([{"bundleIdentifier":"com.app","pid":1.5}])", std::nullopt},          // float not taken
      {R"([{"bundleIdentifier":"com.app","pid":"12"}])", std::nullopt},         // string not taken
      {R"([{"bundleIdentifier":"com.App","pid":12}])", std::nullopt},           // exact match only
      {R"([{"id":"com.app","PID":12}])", std::nullopt},                         // key match is case-sensitive
      {R"([{"id":"com.app","parentpid":3,"pid":4}])", 4},                       // later member wins
      {R"([{"id":"a","pid":1},{"id":"com.app","pid":2},{"id":"com.app","pid":3}])", 2},  // first sibling
      {R"({"id":"com.app","pid":1,"child":{"id":"com.app","pid":2}})", 2},     // nested match preferred
      {R"({"pid":9,"child":{"id":"com.app"}})", std::nullopt},                  // nested names app, no pid
      {R"("com.app")", std::nullopt},
  };
  for (const auto& c : cases) {
    auto doc = vyx::json::parseValue(c.json);
    ASSERT_TRUE(doc.has_value()) << c.json;
    EXPECT_EQ(ios_devices::findPidInValue(*doc, "com.app"), c.pid) << c.json;
  }
}

TEST(IosDevicesRunners, SimctlRetriesTransientFailures) {
  {
    FakeProcessRunner runner;
    FakeClock clock;
    runner.fallback = FakeProcessRunner::exited(1, "", "error: Connection refused\n");
    auto r = ios_devices::runSimctlCommand(runner, clock, "xcrun", {"list"}, 123);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(vyx::command::checkResult(r).error(), Error::CommandFailed);
    ASSERT_EQ(runner.calls.size(), 6u);
    EXPECT_EQ(runner.calls[0].argv, list({"xcrun", "simctl", "list"}));
    EXPECT_EQ(runner.calls[0].entry, FakeProcessRunner::Entry::Run);
    EXPECT_EQ(runner.calls[0].maxBytes, 123u);
    EXPECT_EQ(clock.sleeps(), 5u);
    EXPECT_EQ(clock.sleptMs(), 2500u);
  }
  for (std::string text : {"CoreSimulatorService connection became invalid", "Failed to initialize simulator device set",
                           "simdiskimaged"}) {
    FakeProcessRunner runner;
    FakeClock clock;
    runner.push(FakeProcessRunner::exited(3, "", "xx " + text + " yy"));
    runner.push(FakeProcessRunner::exited(0, "done"));
    auto r = ios_devices::runSimctlCommand(runner, clock, "xcrun", {"a"}, 10);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->stdoutBytes, "done");
    EXPECT_EQ(runner.calls.size(), 2u) << text;
  }
  {
    // Exit 0 is never repeated; other failures, time-outs and runner errors neither.
    FakeProcessRunner runner;
    FakeClock clock;
    runner.push(FakeProcessRunner::exited(0, "", "Connection refused"));
    runner.push(FakeProcessRunner::exited(1, "", "connection refused"));
    runner.push(FakeProcessRunner::timedOut());
    runner.push(vyx::fail(Error::StreamTooLong));
    for (int i = 0; i < 4; ++i) (void)ios_devices::runSimctlCommand(runner, clock, "xcrun", {"a"}, 10);
    EXPECT_EQ(runner.calls.size(), 4u);
    EXPECT_EQ(clock.sleeps(), 0u);
  }
  {
    FakeProcessRunner runner;
    FakeClock clock;
    runner.push(FakeProcessRunner::exited(1, "", "Connection refused"));
    runner.push(vyx::fail(Error::FileNotFound));
    auto r = ios_devices::runSimctlCommand(runner, clock, "xcrun", {"a"}, 10);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), Error::FileNotFound);
  }
}

TEST(IosDevicesRunners, DevicectlResultFileIsReadAndAlwaysRemoved) {
  XcrunFixture fx;
  fx.answer("devicectl-device-info-processes.1.json", R"({"ok":1})");
  fx.answer("devicectl-device-info-processes.2.json", R"({"ok":2})");
  fx.answer("devicectl-device-info-processes.2.exit", "1");
  auto& runner = vyx::command::realProcessRunner();
  auto first = ios_devices::runDevicectlJsonCommand(runner, fx.xcrun, {"device", "info", "processes"});
  ASSERT_TRUE(first.has_value()) << vyx::errorName(first.error());
  EXPECT_EQ(*first, R"({"ok":1})");
  auto second = ios_devices::runDevicectlJsonCommand(runner, fx.xcrun, {"device", "info", "processes"});
  ASSERT_FALSE(second.has_value());
  EXPECT_EQ(second.error(), Error::CommandFailed);
  // No .json answer: the tool succeeds but writes nothing into the file
  // claimed for it, so its result is empty.
  auto third = ios_devices::runDevicectlJsonCommand(runner, fx.xcrun, {"device", "info", "processes"});
  ASSERT_TRUE(third.has_value()) << vyx::errorName(third.error());
  EXPECT_EQ(*third, "");

  auto calls = fx.calls();
  ASSERT_EQ(calls.size(), 3u);
  for (const auto& call : calls) {
    ASSERT_EQ(call.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(call.begin(), call.begin() + 5),
              list({"xcrun", "devicectl", "device", "info", "processes"}));
    EXPECT_EQ(call[5], "--json-output");
    EXPECT_TRUE(call[6].starts_with("/tmp/vyx-devicectl-")) << call[6];
    EXPECT_TRUE(call[6].ends_with(".json")) << call[6];
    EXPECT_FALSE(vyx::test::fileExists(call[6])) << call[6];
    EXPECT_EQ(call[7], "--quiet");
  }
}

TEST(IosDevicesRunners, DevicectlCommandRunsOnceCapped32MiB) {
  FakeProcessRunner runner;
  runner.fallback = FakeProcessRunner::exited(1, "", "Connection refused");
  auto r = ios_devices::runDevicectlCommand(runner, "/x/xcrun", {"device", "process", "launch"});
  ASSERT_TRUE(r.has_value());
  ASSERT_EQ(runner.calls.size(), 1u);
  EXPECT_EQ(runner.calls[0].argv, list({"/x/xcrun", "devicectl", "device", "process", "launch"}));
  EXPECT_EQ(runner.calls[0].maxBytes, 33554432u);
  EXPECT_EQ(runner.calls[0].entry, FakeProcessRunner::Entry::Run);
}

TEST(IosDevicesListings, ThroughFakeXcrun) {
  XcrunFixture fx;
  auto& runner = vyx::command::realProcessRunner();
  FakeClock clock;
  fx.answer("simctl-list.out", R"({"devices":{"r":[{"udid":"S1","state":"Booted"},{"udid":"S2","state":"Shutdown"}]}})");
  fx.answer("devicectl-list-devices.json",
            R"({"result":{"devices":[{"identifier":"P1","hardwareProperties":{"platform":"iOS","reality":"physical"}}]}})");
  auto sims = ios_devices::listSimulators(runner, clock, fx.xcrun);
  ASSERT_TRUE(sims.has_value());
  EXPECT_EQ(*sims, (std::vector<DeviceInfo>{{"S1", "Booted"}}));
  auto phys = ios_devices::listPhysical(runner, fx.xcrun);
  ASSERT_TRUE(phys.has_value());
  EXPECT_EQ(*phys, (std::vector<DeviceInfo>{{"P1", "available"}}));

  auto calls = fx.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], list({"xcrun", "simctl", "list", "devices", "--json"}));
  ASSERT_EQ(calls[1].size(), 7u);
  EXPECT_EQ(calls[1], list({"xcrun", "devicectl", "list", "devices", "--json-output", calls[1][5], "--quiet"}));
  EXPECT_TRUE(calls[1][5].starts_with("/tmp/vyx-devicectl-"));

  // A failing tool, and an empty result file.
  fx.answer("simctl-list.2.exit", "4");
  fx.answer("devicectl-list-devices.2.json", "");
  auto failed = ios_devices::listSimulators(runner, clock, fx.xcrun);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error(), Error::CommandFailed);
  auto empty = ios_devices::listPhysical(runner, fx.xcrun);
  ASSERT_FALSE(empty.has_value());
  EXPECT_EQ(empty.error(), Error::UnexpectedEndOfInput);
}

namespace {

TEST(IosTempFile, ClaimsAFreshPathAndNeverTouchesAnExistingOne) {
  vyx::test::TempDir dir;
  std::string fresh = dir.file("fresh.json");
  {
    vyx::ios_devices::TempFile file(fresh);
    EXPECT_TRUE(file.claimed());
    EXPECT_TRUE(vyx::test::fileExists(fresh));
  }
  EXPECT_FALSE(vyx::test::fileExists(fresh));

  // A link planted at the path is neither followed nor removed.
  std::string target = dir.file("target");
  vyx::test::writeFile(target, "keep");
  std::string planted = dir.file("planted.json");
  ASSERT_EQ(symlink(target.c_str(), planted.c_str()), 0);
  {
    vyx::ios_devices::TempFile file(planted);
    EXPECT_FALSE(file.claimed());
  }
  EXPECT_EQ(vyx::test::readFile(target), "keep");
  EXPECT_TRUE(vyx::test::fileExists(planted));
}

}  // namespace
