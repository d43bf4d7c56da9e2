// The `adb devices` listing.
#include "devices/android_devices.hpp"

#include <gtest/gtest.h>

#include "fake_process_runner.hpp"

using vyx::DeviceInfo;
using vyx::test::FakeProcessRunner;
namespace android_devices = vyx::android_devices;

TEST(AndroidDevices, ParsesListing) {
  struct Case {
    const char* name;
    std::string out;
    std::vector<DeviceInfo> devices;
  };
  const Case cases[] = {
      {"one device", "List of devices attached\nemulator-5554\tdevice\n\n", {{"emulator-5554", "device"}}},
      {"any state, extra tokens, CRLF",
       "List of devices attached\r\n  R5CT  \t unauthorized usb:1-1 model:x\r\nabc offline\r\n",
       {{"R5CT", "unauthorized"}, {"abc", "offline"}}},
      {"serial alone and blank lines skipped", "header\nlonely\n\n \t \nx device", {{"x", "device"}}},
      {"header only", "List of devices attached\n", {}},
      {"no line feed", "emulator-5554\tdevice", {}},
      {"empty", "", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(android_devices::parseDevicesOutput(c.out), c.devices) << c.name;
}

TEST(AndroidDevices, RunsAdbDevicesAndJudges) {
  FakeProcessRunner runner;
  runner.push(FakeProcessRunner::exited(0, "List of devices attached\nS1\tdevice\n"));
  runner.push(FakeProcessRunner::timedOut());
  runner.push(FakeProcessRunner::exited(1));
  runner.push(vyx::fail(vyx::Error::FileNotFound));
  auto ok = android_devices::listDevices(runner, "/opt/adb");
  ASSERT_TRUE(ok.has_value());
  EXPECT_EQ(*ok, (std::vector<DeviceInfo>{{"S1", "device"}}));
  ASSERT_EQ(runner.calls.size(), 1u);
  EXPECT_EQ(runner.calls[0].entry, FakeProcessRunner::Entry::RunWithTimeout);
  EXPECT_EQ(runner.calls[0].argv, (std::vector<std::string>{"/opt/adb", "devices"}));
  EXPECT_EQ(runner.calls[0].maxBytes, 1048576u);
  EXPECT_EQ(runner.calls[0].timeoutMs, 15000u);
  for (vyx::Error e : {vyx::Error::CommandTimedOut, vyx::Error::CommandFailed, vyx::Error::FileNotFound}) {
    auto r = android_devices::listDevices(runner, "adb");
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), e);
  }
}
