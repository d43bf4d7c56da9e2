// `vyx devices` through the real binary, against the fake adb and xcrun.
#include <gtest/gtest.h>

#include <filesystem>

#include "fake_log.hpp"
#include "vyx_test.hpp"

using Argv = std::vector<std::string>;

namespace {

constexpr const char* kSimctlList = R"({"devices":{
  "com.apple.CoreSimulator.SimRuntime.iOS-17-0":[
    {"udid":"SIM-A","state":"Booted","name":"iPhone 15"},
    {"udid":"SIM-B","state":"Shutdown"}],
  "com.apple.CoreSimulator.SimRuntime.iOS-18-0":[
    {"udid":"SIM-C","state":"Booted","isAvailable":true}]}})";

constexpr const char* kDevicectlList = R"({"result":{"devices":[
  {"identifier":"PHY-1","hardwareProperties":{"platform":"iOS","reality":"physical"},
   "connectionProperties":{"tunnelState":"connected"}},
  {"identifier":"PHY-2","hardwareProperties":{"platform":"iOS","reality":"physical"},
   "connectionProperties":{"pairingState":"paired"}},
  {"identifier":"PHY-3","hardwareProperties":{"platform":"iOS","reality":"physical"}}]}})";

// Fixture directories for the fake adb and xcrun, and a shared call log.
struct Fakes {
  vyx::test::TempDir dir;
  std::string adb = vyx::test::fakesDir() + "/adb";
  std::string xcrun = vyx::test::fakesDir() + "/xcrun";
  vyx::test::RunOptions options;

  Fakes() {
    std::filesystem::create_directories(dir.file("android/cmd"));
    std::filesystem::create_directories(dir.file("ios"));
    options.env["VYX_FAKE_ANDROID_DIR"] = dir.file("android");
    options.env["VYX_FAKE_IOS_DIR"] = dir.file("ios");
    options.env["VYX_FAKE_LOG"] = dir.file("calls.log");
  }
  void android(const std::string& name, const std::string& content) {
    vyx::test::writeFile(dir.file("android/" + name), content);
  }
  void ios(const std::string& name, const std::string& content) {
    vyx::test::writeFile(dir.file("ios/" + name), content);
  }
  std::vector<Argv> calls() const { return vyx::test::readFakeLog(dir.file("calls.log")); }
  vyx::test::ProcResult run(const Argv& args) const { return vyx::test::runVyx(args, options); }
};

}  // namespace

TEST(DevicesCommand, AndroidTextAndJson) {
  Fakes fx;
  fx.android("cmd/devices", "List of devices attached\nemulator-5554\tdevice\nR5CT20\tunauthorized\n\n");
  auto text = fx.run({"devices", "--adb", fx.adb});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.out, "emulator-5554\tdevice\nR5CT20\tunauthorized\n");
  EXPECT_EQ(text.err, "");
  // The iOS device type is ignored for android; a repeated flag overrides.
  auto json = fx.run({"devices", "--platform", "ios", "--json", "--ios-device-type", "physical", "--platform",
                      "android", "--adb", "/nowhere/adb", "--adb", fx.adb});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out,
            R"({"platform":"android","count":2,"devices":[{"serial":"emulator-5554","state":"device","ready":true},)"
            R"({"serial":"R5CT20","state":"unauthorized","ready":false}]})"
            "\n");
  EXPECT_EQ(fx.calls(), (std::vector<Argv>{{"adb", "devices"}, {"adb", "devices"}}));
}

TEST(DevicesCommand, EmptyListings) {
  Fakes fx;
  fx.android("cmd/devices", "List of devices attached\n\n");
  fx.ios("simctl-list.out", R"({"devices":{}})");
  struct Case {
    Argv args;
    std::string out;
  };
  const Case cases[] = {
      {{"devices", "--adb", fx.adb}, "No android devices found.\n"},
      {{"devices", "--adb", fx.adb, "--json"}, "{\"platform\":\"android\",\"count\":0,\"devices\":[]}\n"},
      {{"devices", "--platform", "ios", "--xcrun", fx.xcrun}, "No ios devices found.\n"},
      {{"devices", "--platform", "ios", "--xcrun", fx.xcrun, "--json"},
       "{\"platform\":\"ios\",\"count\":0,\"devices\":[]}\n"},
  };
  for (const auto& c : cases) {
    auto r = fx.run(c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
  }
}

TEST(DevicesCommand, IosSimulatorsPhysicalAndAll) {
  Fakes fx;
  fx.ios("simctl-list.out", kSimctlList);
  fx.ios("devicectl-list-devices.json", kDevicectlList);
  auto sims = fx.run({"devices", "--platform", "ios", "--xcrun", fx.xcrun});
  EXPECT_EQ(sims.status, 0) << sims.err;
  EXPECT_EQ(sims.out, "SIM-A\tBooted\nSIM-C\tBooted\n");
  auto phys = fx.run({"devices", "--platform", "ios", "--ios-device-type", "physical", "--xcrun", fx.xcrun, "--json"});
  EXPECT_EQ(phys.status, 0) << phys.err;
  EXPECT_EQ(phys.out,
            R"({"platform":"ios","count":3,"devices":[{"serial":"PHY-1","state":"connected","ready":true},)"
            R"({"serial":"PHY-2","state":"paired","ready":false},{"serial":"PHY-3","state":"available","ready":true}]})"
            "\n");
  auto all = fx.run({"devices", "--ios-device-type", "all", "--platform", "ios", "--xcrun", fx.xcrun});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.out, "SIM-A\tBooted\nSIM-C\tBooted\nPHY-1\tconnected\nPHY-2\tpaired\nPHY-3\tavailable\n");

  auto calls = fx.calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0], (Argv{"xcrun", "simctl", "list", "devices", "--json"}));
  EXPECT_EQ(calls[1], (Argv{"xcrun", "devicectl", "list", "devices", "--json-output", calls[1][5], "--quiet"}));
  EXPECT_EQ(calls[2][1], "simctl");
  EXPECT_EQ(calls[3][1], "devicectl");
  for (size_t i : {1u, 3u}) {
    EXPECT_TRUE(calls[i][5].starts_with("/tmp/vyx-devicectl-")) << calls[i][5];
    EXPECT_FALSE(vyx::test::fileExists(calls[i][5]));
  }
}

TEST(DevicesCommand, ListingFailuresPrintNothing) {
  const std::string commandFailed =
      "error[device.command_failed]: device command failed\nhint: run `vyx doctor --json` for setup diagnostics.\n";
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> iosFiles;
    Argv flags;
    std::string err;
  };
  const Case cases[] = {
      {"simctl fails", {{"simctl-list.exit", "1"}}, {}, commandFailed},
      {"simctl not JSON", {{"simctl-list.out", "Booted"}}, {}, "error[internal.error]: SyntaxError\n"},
      {"simctl wrong shape", {{"simctl-list.out", R"({"devices":[]})"}}, {},
       "error[internal.error]: SimctlDevicesMustBeObject\n"},
      {"devicectl writes no file", {}, {"--ios-device-type", "physical"},
       "error[internal.error]: UnexpectedEndOfInput\n"},
      {"devicectl empty file", {{"devicectl-list-devices.json", ""}}, {"--ios-device-type", "physical"},
       "error[internal.error]: UnexpectedEndOfInput\n"},
      {"devicectl wrong shape", {{"devicectl-list-devices.json", R"({"result":{"devices":{}}})"}},
       {"--ios-device-type", "physical"}, "error[internal.error]: DevicectlDevicesMustBeArray\n"},
      {"all: physical fails after simulators",
       {{"simctl-list.out", kSimctlList}, {"devicectl-list-devices.exit", "1"}, {"devicectl-list-devices.json", "{}"}},
       {"--ios-device-type", "all"}, commandFailed},
  };
  for (const auto& c : cases) {
    Fakes fx;
    for (const auto& [name, content] : c.iosFiles) fx.ios(name, content);
    Argv args = {"devices", "--platform", "ios", "--xcrun", fx.xcrun, "--json"};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    auto r = fx.run(args);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    for (const auto& call : fx.calls()) {
      if (call.size() > 5 && call[1] == "devicectl") {
        EXPECT_FALSE(vyx::test::fileExists(call[5])) << c.name;
      }
    }
  }

  Fakes fx;
  fx.android("exit-codes", "1 devices\n");
  auto adbFails = fx.run({"devices", "--adb", fx.adb});
  EXPECT_EQ(adbFails.status, 1);
  EXPECT_EQ(adbFails.out, "");
  EXPECT_EQ(adbFails.err, commandFailed);
  auto missing = fx.run({"devices", "--adb", fx.dir.file("no-such-adb")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
}

TEST(DevicesCommand, ArgumentErrorsExit2BeforeListing) {
  struct Case {
    Argv args;
    std::string err;  // empty: only the status is checked
  };
  const Case cases[] = {
      {{"--platform"}, "error[cli.missing_platform]: missing platform\n"},
      {{"--platform", "windows"}, "error[cli.unsupported_platform]: unsupported platform\n"},
      {{"--platform", ""}, "error[cli.unsupported_platform]: unsupported platform\n"},
      {{"--platform", "iOS"}, "error[cli.unsupported_platform]: unsupported platform\n"},
      {{"--ios-device-type"}, ""},
      {{"--ios-device-type", "All"}, ""},
      {{"--adb"}, "error[cli.missing_adb_path]: missing adb path\n"},
      {{"--xcrun"}, "error[cli.missing_xcrun_path]: missing xcrun path\n"},
      {{"-json"}, "error[cli.unknown_flag]: unknown flag\nhint: run `vyx help` for each command's flags and arguments.\n"},
      {{"--json", "ios"}, ""},
      {{"--platform", "ios", "--adb"}, "error[cli.missing_adb_path]: missing adb path\n"},
  };
  Fakes fx;
  fx.android("cmd/devices", "List of devices attached\nS\tdevice\n");
  for (const auto& c : cases) {
    Argv args = {"devices", "--adb", fx.adb, "--xcrun", fx.xcrun};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto r = fx.run(args);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_EQ(r.out, "");
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err);
    } else {
      EXPECT_TRUE(r.err.starts_with("error[")) << r.err;
    }
  }
  EXPECT_TRUE(fx.calls().empty());
  // An empty value is still a value: "--adb" "" is taken as the adb command.
  auto empty = fx.run({"devices", "--adb", ""});
  EXPECT_EQ(empty.status, 1);
}
