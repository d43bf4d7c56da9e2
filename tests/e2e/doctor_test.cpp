// `vyx doctor` through the real binary against the fake zig, adb and xcrun
// (first on PATH), Debian's real adb, and a tool that never answers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "core/json.hpp"
#include "fake_log.hpp"
#include "vyx_test.hpp"

using vyx::test::ProcResult;
using vyx::test::TempDir;
using vyx::test::writeFile;
using Argv = std::vector<std::string>;

namespace {

const std::string kSimctlBooted =
    R"({"devices":{"com.apple.CoreSimulator.SimRuntime.iOS-18-0":[{"udid":"SIM-1","state":"Booted","isAvailable":true}]}})";

std::string physicalList(const std::vector<std::string>& tunnelStates) {
  std::string out = R"({"result":{"devices":[)";
  for (size_t i = 0; i < tunnelStates.size(); ++i) {
    if (i > 0) out += ",";
    out += R"({"identifier":"PHY-)" + std::to_string(i) +
           R"(","hardwareProperties":{"platform":"iOS","reality":"physical"},"connectionProperties":{"tunnelState":")" +
           tunnelStates[i] + R"("}})";
  }
  return out + "]}}";
}

const std::string kAdbVersion = "Android Debug Bridge version 1.0.41\nVersion 35.0.2-12147458\n";

// An app directory, fixture directories for the fake adb and xcrun, and the
// fakes first on PATH so that the default tool names find them.
class Doctor : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.file("android/cmd"));
    std::filesystem::create_directories(dir.file("ios"));
    std::filesystem::create_directories(dir.file("app"));
    options.cwd = dir.file("app");
    options.env["PATH"] = vyx::test::fakesDir() + ":" + std::string(::getenv("PATH"));
    options.env["VYX_FAKE_ANDROID_DIR"] = dir.file("android");
    options.env["VYX_FAKE_IOS_DIR"] = dir.file("ios");
    options.env["VYX_FAKE_LOG"] = dir.file("calls.log");
    android("cmd/version", kAdbVersion);
    android("cmd/devices", "List of devices attached\nemulator-5554\tdevice\nR5CT20\tunauthorized\n\n");
    ios("simctl-list.out", kSimctlBooted);
    ios("devicectl-list-devices.json", physicalList({"connected", "paired", "tunnelling"}));
  }
  void android(const std::string& name, const std::string& content) { writeFile(dir.file("android/" + name), content); }
  void ios(const std::string& name, const std::string& content) { writeFile(dir.file("ios/" + name), content); }
  void app(const std::string& name, const std::string& content) { writeFile(dir.file("app/" + name), content); }
  ProcResult vyx(Argv args) {
    args.insert(args.begin(), "doctor");
    return vyx::test::runVyx(args, options);
  }
  std::vector<Argv> calls() const { return vyx::test::readFakeLog(dir.file("calls.log")); }
  std::vector<Argv> callsOf(const std::string& tool) const {
    std::vector<Argv> out;
    for (const Argv& c : calls()) {
      if (!c.empty() && c[0] == tool) out.push_back(c);
    }
    return out;
  }

  TempDir dir;
  vyx::test::RunOptions options;
};

TEST_F(Doctor, ReadyMachineWithoutConfiguration) {
  auto r = vyx({});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "zig\tok\t0.16.0\n"
            "adb\tok\tAndroid Debug Bridge version 1.0.41\n"
            "android-devices\tok\t2 Android device(s)\n"
            "xcrun\tok\txcrun version 70.\n"
            "ios-simulators\tok\t1 booted iOS simulator(s)\n"
            "ios-physical-devices\tok\t1 ready physical iOS device(s); 3 listed (paired=1, other=1)\n"
            "status\tok\n");
  EXPECT_EQ(callsOf("zig"), (std::vector<Argv>{{"zig", "version"}}));
  EXPECT_EQ(callsOf("adb"), (std::vector<Argv>{{"adb", "version"}, {"adb", "devices"}}));

  auto json = vyx({"--json", "--strict"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out,
            R"({"ok":true,"checks":[{"name":"zig","status":"ok","detail":"0.16.0"},)"
            R"({"name":"adb","status":"ok","detail":"Android Debug Bridge version 1.0.41"},)"
            R"J({"name":"android-devices","status":"ok","detail":"2 Android device(s)","count":2,"readyCount":2},)J"
            R"({"name":"xcrun","status":"ok","detail":"xcrun version 70."},)"
            R"J({"name":"ios-simulators","status":"ok","detail":"1 booted iOS simulator(s)","count":1,"readyCount":1},)J"
            R"J({"name":"ios-physical-devices","status":"ok","detail":"1 ready physical iOS device(s); 3 listed (paired=1, other=1)","count":3,"readyCount":1}]})J"
            "\n");
}

TEST_F(Doctor, ProblemsAreRecordsAndStrictEndsWithStatusOne) {
  android("cmd/devices", "List of devices attached\n\n");
  ios("simctl-list.out", R"({"devices":{}})");
  ios("devicectl-list-devices.json", physicalList({"disconnected", "disconnected"}));
  options.env["VYX_FAKE_ZIG_EXIT"] = "2";
  options.env["VYX_FAKE_ZIG_ERR"] = "zig: broken install\n";
  auto r = vyx({"--strict", "--xcrun", "/nowhere/xcrun"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "zig\twarning\texit 2: zig: broken install\n"
            "zig-hint\tInstall Zig 0.16.0 or newer, ensure it is on PATH, then run vyx doctor again.\n"
            "adb\tok\tAndroid Debug Bridge version 1.0.41\n"
            "android-devices\twarning\t0 Android device(s)\n"
            "android-devices-hint\tStart an emulator or connect a device, confirm adb devices shows it, then pass "
            "--device when running scenarios.\n"
            "xcrun\tmissing\t/nowhere/xcrun: FileNotFound\n"
            "xcrun-hint\tInstall Xcode command line tools, run xcode-select --install if needed, then run xcrun "
            "--version.\n"
            "ios-simulators\tmissing\t/nowhere/xcrun: FileNotFound\n"
            "ios-simulators-hint\tBoot an iOS simulator with Xcode or xcrun simctl boot, then run xcrun simctl list "
            "devices booted.\n"
            "ios-physical-devices\tmissing\t/nowhere/xcrun: FileNotFound\n"
            "ios-physical-devices-hint\tConnect and trust an iPhone, enable Developer Mode, confirm vyx devices "
            "--json --platform ios --ios-device-type physical reports ready:true, then pass --ios-device-type "
            "physical --device <physical-device-id>.\n"
            "status\tneeds-attention\n");

  // Without --strict the same findings exit 0.
  auto json = vyx({"--json"});
  EXPECT_EQ(json.status, 0);
  auto doc = vyx::json::parseValue(json.out);
  ASSERT_TRUE(doc) << json.out;
  EXPECT_FALSE(doc->get("ok")->boolean);
  const auto& checks = doc->get("checks")->array;
  ASSERT_EQ(checks.size(), 6u);
  EXPECT_EQ(checks[0].get("errorCode")->string, "setup.zig.command_failed");
  EXPECT_EQ(checks[2].get("errorCode")->string, "setup.android.no_devices");
  EXPECT_EQ(checks[2].get("count")->integer, 0);
  EXPECT_EQ(checks[4].get("errorCode")->string, "setup.ios.no_booted_simulators");
  EXPECT_EQ(checks[5].get("errorCode")->string, "setup.ios.no_ready_physical_devices");
  EXPECT_EQ(checks[5].get("detail")->string, "0 ready physical iOS device(s); 2 listed (disconnected=2)");
  EXPECT_EQ(checks[5].get("readyCount")->integer, 0);
  EXPECT_EQ(checks[5].get("count")->integer, 2);
}

// The project below app/: a configured adb (a wrapper around the fake that
// leaves a mark of its own), an Android shim, smoke scenarios and scripts.
// The iOS tools are left out (--xcrun names no program) to keep runs short.
class DoctorProject : public Doctor {
 protected:
  void SetUp() override {
    Doctor::SetUp();
    app("tools/adb", "#!/bin/sh\necho \"$*\" >>\"" + dir.file("configured.log") + "\"\nexec \"" +
                         vyx::test::fakesDir() + "/adb\" \"$@\"\n");
    std::filesystem::permissions(dir.file("app/tools/adb"), std::filesystem::perms::owner_all);
    app("shims/android", "");
    app(".vyx/android-smoke.json", R"({"name":"Android smoke","steps":[{"action":"launch"}]})");
    app(".vyx/config.json", R"({"schemaVersion":1,
      "android":{"smokeScenario":".vyx/android-smoke.json"},
      "ios":{"enabled":false,"smokeScenario":"/nowhere/ios.json"},
      "tools":{"adbPath":"tools/adb","androidShimPath":"shims/android","iosShimPath":"shims/ios","zigPath":"zig"},
      "scripts":{"smoke":"vyx run","b":"x"}})");
  }
  std::vector<std::string> configuredCalls() const {
    return vyx::test::splitLines(vyx::test::readFile(dir.file("configured.log")));
  }
  // The checks of a JSON report by name.
  std::map<std::string, vyx::json::Value> checks(const ProcResult& r) {
    std::map<std::string, vyx::json::Value> out;
    auto doc = vyx::json::parseValue(r.out);
    EXPECT_TRUE(doc) << r.out;
    if (!doc) return out;
    for (const auto& c : doc->get("checks")->array) out[c.get("name")->string] = c;
    return out;
  }
  static std::string detail(std::map<std::string, vyx::json::Value>& checks, const std::string& name) {
    auto it = checks.find(name);
    return it == checks.end() ? "<absent>" : it->second.get("detail")->string;
  }
};

TEST_F(DoctorProject, FoundConfigurationSuppliesPathsWithoutARecord) {
  auto r = vyx({"--json", "--xcrun", "/nowhere/xcrun"});
  EXPECT_EQ(r.status, 0) << r.err;
  auto found = checks(r);
  EXPECT_EQ(found.count("config"), 0u);
  EXPECT_EQ(detail(found, "zig"), "0.16.0");
  EXPECT_EQ(detail(found, "android-shim"), "./shims/android");
  EXPECT_EQ(detail(found, "android-smoke-scenario"), "./.vyx/android-smoke.json: ok (Android smoke, 1 steps)");
  EXPECT_EQ(detail(found, "ios-shim"), "./shims/ios: FileNotFound");
  // A disabled platform's smoke scenario is checked all the same.
  EXPECT_EQ(detail(found, "ios-smoke-scenario"),
            "/nowhere/ios.json: invalid [scenario.file_not_found] scenario file was not found");
  EXPECT_EQ(found["ios-smoke-scenario"].get("hint")->string,
            "Run npx vyx-wizard, create the iOS smoke scenario, or update ios.smokeScenario in .vyx/config.json.");
  EXPECT_EQ(configuredCalls(), (std::vector<std::string>{"version", "devices"}));

  // An explicit --adb beats the configuration.
  auto flag = vyx({"--adb", vyx::test::fakesDir() + "/adb", "--xcrun", "/nowhere/xcrun"});
  EXPECT_EQ(flag.status, 0);
  EXPECT_EQ(configuredCalls().size(), 2u);
}

TEST_F(DoctorProject, ExplicitConfigurationGetsARecordWithItsScripts) {
  // "--adb adb" gives way to the configuration; --android-shim does not.
  auto r = vyx({"--json", "--config", ".vyx/config.json", "--android-shim", "other", "--adb", "adb", "--xcrun",
                "/nowhere/xcrun"});
  auto doc = vyx::json::parseValue(r.out);
  ASSERT_TRUE(doc) << r.out;
  const auto& first = doc->get("checks")->array[0];
  EXPECT_EQ(first.get("name")->string, "config");
  EXPECT_EQ(first.get("status")->string, "ok");
  EXPECT_EQ(first.get("detail")->string, ".vyx/config.json");
  EXPECT_EQ(first.get("scriptCount")->integer, 2);
  EXPECT_EQ(first.get("scriptNames")->array[1].string, "b");
  auto all = checks(r);
  EXPECT_EQ(detail(all, "android-shim"), "other: FileNotFound");
  EXPECT_EQ(configuredCalls(), (std::vector<std::string>{"version", "devices"}));

  // A configuration without scripts still lists an empty set.
  app("plain.json", R"({"schemaVersion":1})");
  auto plain = vyx({"--json", "--config", "plain.json", "--xcrun", "/nowhere/xcrun"});
  EXPECT_TRUE(plain.out.starts_with(
      R"({"ok":false,"checks":[{"name":"config","status":"ok","detail":"plain.json","scriptCount":0,"scriptNames":[]},)"))
      << plain.out;
}

TEST_F(Doctor, BrokenConfigurationIsAFindingAndTheChecksStillRun) {
  auto missing = vyx({"--config", "none.json", "--xcrun", "/nowhere/xcrun"});
  EXPECT_EQ(missing.status, 0);
  auto lines = vyx::test::splitLines(missing.out);
  EXPECT_EQ(lines[0], "config\tmissing\tnone.json: FileNotFound");
  EXPECT_EQ(lines[1],
            "config-hint\tFix the config file or regenerate it with npx vyx-wizard, then run vyx doctor --strict "
            "--json --config .vyx/config.json.");
  EXPECT_EQ(lines[2], "zig\tok\t0.16.0");
  EXPECT_EQ(lines.back(), "status\tneeds-attention");

  // Found as .vyx/config.json: its paths are not used.
  app(".vyx/config.json", R"({"schemaVersion":1,"android":{"smokeScenario":"s.json"},"tools":{"adbPath":7}})");
  auto json = vyx({"--json", "--strict", "--xcrun", "/nowhere/xcrun"});
  EXPECT_EQ(json.status, 1);
  EXPECT_TRUE(json.out.starts_with(
      R"({"ok":false,"checks":[{"name":"config","status":"warning","errorCode":"config.field_type",)"
      R"("detail":".vyx/config.json: ConfigFieldMustBeString","hint":"Fix the config file or regenerate it with npx )"
      R"(vyx-wizard, then run vyx doctor --strict --json --config .vyx/config.json.","fieldPath":"$.tools.adbPath"},)"
      R"({"name":"zig","status":"ok","detail":"0.16.0"},)"))
      << json.out;
  auto doc = vyx::json::parseValue(json.out);
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->get("checks")->array.size(), 7u);  // no smoke scenario from a broken file

  // A directory where the file is expected.
  std::filesystem::remove(dir.file("app/.vyx/config.json"));
  std::filesystem::create_directories(dir.file("app/.vyx/config.json"));
  auto folder = vyx({"--xcrun", "/nowhere/xcrun"});
  EXPECT_EQ(vyx::test::splitLines(folder.out)[0], "config\twarning\t.vyx/config.json: IsDir");
  // ".vyx" itself a plain file: the existence test fails.
  std::filesystem::remove_all(dir.file("app/.vyx"));
  app(".vyx", "not a directory");
  auto notDir = vyx({"--xcrun", "/nowhere/xcrun"});
  EXPECT_EQ(vyx::test::splitLines(notDir.out)[0], "config\twarning\t.vyx/config.json: NotDir");
}

TEST_F(Doctor, FlagErrorsPrintNothing) {
  const std::string unknownFlag =
      "error[cli.unknown_flag]: unknown flag\nhint: run `vyx help` for each command's flags and arguments.\n";
  struct Case {
    Argv args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"--adb"}, 2, "error[cli.missing_adb_path]: missing adb path\n"},
      {{"--xcrun"}, 2, "error[cli.missing_xcrun_path]: missing xcrun path\n"},
      {{"--zig"}, 2, "error[cli.missing_zig_path]: missing zig path\n"},
      {{"--android-shim"}, 1, "error[internal.error]: MissingAndroidShimPath\n"},
      {{"--ios-shim"}, 1, "error[internal.error]: MissingIosShimPath\n"},
      {{"--json", "--config"}, 1, "error[internal.error]: MissingConfigPath\n"},
      {{"--verbose"}, 2, unknownFlag},
      {{"extra"}, 2, unknownFlag},
  };
  for (const Case& c : cases) {
    auto r = vyx(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.err, c.err) << c.args[0];
    EXPECT_EQ(r.out, "");
  }
  EXPECT_TRUE(calls().empty());
  // A value flag takes the next argument whatever it looks like.
  auto r = vyx({"--zig", "--json", "--xcrun", "/nowhere/xcrun"});
  EXPECT_EQ(vyx::test::splitLines(r.out)[0], "zig\tmissing\t--json: FileNotFound");
}

// A tool that never answers is ended after 15 seconds; the later checks run.
TEST_F(Doctor, HangingToolIsReportedMissing) {
  options.env["VYX_FAKE_ZIG_HANG"] = "1";
  auto r = vyx({"--xcrun", "/nowhere/xcrun"});
  EXPECT_EQ(r.status, 0) << r.err;
  auto lines = vyx::test::splitLines(r.out);
  ASSERT_GE(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0], "zig\tmissing\tzig: CommandTimedOut");
  EXPECT_EQ(lines[1], "zig-hint\tInstall Zig 0.16.0 or newer, ensure it is on PATH, then run vyx doctor again.");
  EXPECT_EQ(lines[2], "adb\tok\tAndroid Debug Bridge version 1.0.41");
}

// Debian's adb: the version line, and no devices on this machine. The test
// uses an adb server port of its own and stops the server it started.
TEST(DoctorRealAdb, ReportsVersionAndNoDevices) {
  auto found = vyx::test::runProgram({"/bin/sh", "-c", "command -v adb"});
  if (found.status != 0) GTEST_SKIP() << "adb is not installed (scripts/setup.sh installs it)";
  const std::string adb = vyx::test::splitLines(found.out)[0];
  auto version = vyx::test::runProgram({adb, "version"});
  ASSERT_EQ(version.status, 0) << version.err;

  TempDir dir;
  vyx::test::RunOptions options;
  options.cwd = dir.path();
  options.env["ANDROID_ADB_SERVER_PORT"] = std::to_string(20000 + ::getpid() % 20000);
  auto r = vyx::test::runVyx({"doctor", "--json", "--adb", adb, "--zig", vyx::test::fakesDir() + "/zig", "--xcrun",
                              vyx::test::fakesDir() + "/xcrun"},
                             options);
  auto stop = vyx::test::runProgram({adb, "kill-server"}, options);
  EXPECT_EQ(stop.status, 0) << stop.err;

  EXPECT_EQ(r.status, 0) << r.err;
  auto doc = vyx::json::parseValue(r.out);
  ASSERT_TRUE(doc) << r.out;
  const auto& checks = doc->get("checks")->array;
  ASSERT_GE(checks.size(), 3u);
  EXPECT_EQ(checks[1].get("name")->string, "adb");
  EXPECT_EQ(checks[1].get("status")->string, "ok");
  EXPECT_EQ(checks[1].get("detail")->string, vyx::test::splitLines(version.out)[0]);
  EXPECT_TRUE(checks[1].get("detail")->string.starts_with("Android Debug Bridge version ")) << r.out;
  EXPECT_EQ(checks[2].get("name")->string, "android-devices");
  EXPECT_EQ(checks[2].get("status")->string, "warning");
  EXPECT_EQ(checks[2].get("detail")->string, "0 Android device(s)");
  EXPECT_EQ(checks[2].get("count")->integer, 0);
}

}  // namespace
