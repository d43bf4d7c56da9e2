// The doctor's checks over a fake process runner (tool outcomes), the file
// and scenario checks on real files, the physical-state breakdown, the hints
// and the JSON form of a record. Device listings are covered end to end in
// tests/e2e/doctor_test.cpp.
#include "authoring/doctor.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "authoring/doctor_hints.hpp"
#include "fake_process_runner.hpp"
#include "vyx_test.hpp"
#include "fake_clock.hpp"

using vyx::Error;
using vyx::command::ExecResult;
using vyx::command::Term;
using vyx::doctor::Check;
using vyx::doctor::CheckStatus;
using vyx::test::FakeProcessRunner;
using vyx::test::TempDir;
using vyx::test::writeFile;

namespace {

Check problem(std::string name, CheckStatus status, std::string code, std::string detail) {
  Check c;
  c.status = status;
  c.errorCode = std::move(code);
  c.detail = std::move(detail);
  c.hint = std::string(vyx::doctor_hints::hintForCheck(name, status));
  c.name = std::move(name);
  return c;
}

Check okCheck(std::string name, std::string detail) {
  Check c;
  c.name = std::move(name);
  c.detail = std::move(detail);
  return c;
}

TEST(DoctorCheckCommand, JudgesEveryOutcomeOfTheTool) {
  struct Case {
    vyx::Expected<ExecResult> result;
    Check expected;
  };
  const std::string zigHint(vyx::doctor_hints::hintForCheck("zig", CheckStatus::missing));
  const Case cases[] = {
      {FakeProcessRunner::exited(0, "0.16.0\n"), okCheck("zig", "0.16.0")},
      {FakeProcessRunner::exited(0, "\n  zig 0.16.0-dev\nbuilt today\n", "ignored"), okCheck("zig", "zig 0.16.0-dev")},
      {FakeProcessRunner::exited(0), okCheck("zig", "")},
      {FakeProcessRunner::exited(1), problem("zig", CheckStatus::warning, "setup.zig.command_failed", "exit 1: ")},
      {FakeProcessRunner::exited(3, "out", "\n bad thing\nsecond line \n"),
       problem("zig", CheckStatus::warning, "setup.zig.command_failed", "exit 3: bad thing\nsecond line")},
      {ExecResult{{}, "killed", Term{Term::Kind::Signal, 9}, false},
       problem("zig", CheckStatus::warning, "setup.zig.command_failed", "exit 255: killed")},
      {vyx::fail(Error::FileNotFound),
       problem("zig", CheckStatus::missing, "setup.zig.not_found", "/opt/zig: FileNotFound")},
      {vyx::fail(Error::StreamTooLong),
       problem("zig", CheckStatus::missing, "setup.zig.not_found", "/opt/zig: StreamTooLong")},
      {FakeProcessRunner::timedOut(),
       problem("zig", CheckStatus::missing, "setup.zig.not_found", "/opt/zig: CommandTimedOut")},
  };
  for (const Case& c : cases) {
    FakeProcessRunner runner;
    runner.push(c.result);
    Check got = vyx::doctor::checkCommand(runner, "zig", {"/opt/zig", "version"});
    EXPECT_EQ(got, c.expected) << c.expected.detail;
    ASSERT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(runner.calls[0].entry, FakeProcessRunner::Entry::RunWithTimeout);
    EXPECT_EQ(runner.calls[0].argv, (std::vector<std::string>{"/opt/zig", "version"}));
    EXPECT_EQ(runner.calls[0].maxBytes, 1024u * 1024u);
    EXPECT_EQ(runner.calls[0].timeoutMs, 15000u);
  }
}

TEST(DoctorCheckCommand, CodesFollowTheCheckName) {
  struct Case {
    std::string name;
    std::string notFound;
    std::string failed;
  };
  const Case cases[] = {
      {"adb", "setup.adb.not_found", "setup.adb.command_failed"},
      {"xcrun", "setup.xcrun.not_found", "setup.xcrun.command_failed"},
      {"android-shim", "setup.android_shim.not_found", "setup.android_shim.command_failed"},
      {"ios-shim", "setup.ios_shim.not_found", "setup.ios_shim.command_failed"},
      {"emulator", "setup.tool.not_found", "setup.tool.command_failed"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vyx::doctor::notFoundCode(c.name), c.notFound);
    EXPECT_EQ(vyx::doctor::commandFailedCode(c.name), c.failed);
  }
  FakeProcessRunner runner;
  runner.push(FakeProcessRunner::exited(2));
  Check other = vyx::doctor::checkCommand(runner, "emulator", {"emulator", "-version"});
  EXPECT_EQ(other.errorCode, "setup.tool.command_failed");
  EXPECT_EQ(other.hint, "Run the command manually, fix the reported setup issue, then run vyx doctor again.");
}

// A real child that never answers is ended at the time-out and reported as
// a tool that cannot run. Only the outcome is checked, never the timing.
TEST(DoctorCheckCommand, ATimedOutToolIsEndedAndReportedMissing) {
  const std::string zig = vyx::test::fakesDir() + "/zig";
  ::setenv("VYX_FAKE_ZIG_HANG", "1", 1);
  Check got = vyx::doctor::checkCommand(vyx::command::realProcessRunner(), "zig", {zig, "version"}, 200);
  ::unsetenv("VYX_FAKE_ZIG_HANG");
  EXPECT_EQ(got, problem("zig", CheckStatus::missing, "setup.zig.not_found", zig + ": CommandTimedOut"));
}

TEST(DoctorRun, ChecksRunInOrderAndOnlyWithTheirPaths) {
  auto names = [](const std::vector<Check>& checks) {
    std::vector<std::string> out;
    for (const Check& c : checks) out.push_back(c.name);
    return out;
  };
  FakeProcessRunner runner;
  runner.fallback = vyx::fail(Error::FileNotFound);
  vyx::FakeClock clock;
  auto minimal = vyx::doctor::run(runner, clock, {});
  EXPECT_EQ(names(minimal), (std::vector<std::string>{"zig", "adb", "android-devices", "xcrun", "ios-simulators",
                                                      "ios-physical-devices"}));
  // Every check ran although all failed.
  EXPECT_EQ(minimal[2], problem("android-devices", CheckStatus::missing, "setup.android.devices_unavailable",
                                "adb: FileNotFound"));
  EXPECT_EQ(minimal[4].detail, "xcrun: FileNotFound");
  EXPECT_EQ(minimal[5].errorCode, "setup.ios.physical_devices_unavailable");

  TempDir dir;
  vyx::doctor::DoctorOptions all;
  all.zigPath = "/z/zig";
  all.androidShimPath = dir.file("a-shim");
  all.androidSmokeScenario = dir.file("a.json");
  all.iosShimPath = dir.file("i-shim");
  all.iosSmokeScenario = dir.file("i.json");
  auto full = vyx::doctor::run(runner, clock, all);
  EXPECT_EQ(names(full), (std::vector<std::string>{"zig", "adb", "android-devices", "android-shim",
                                                   "android-smoke-scenario", "xcrun", "ios-simulators",
                                                   "ios-physical-devices", "ios-shim", "ios-smoke-scenario"}));
  EXPECT_EQ(runner.calls[6].argv, (std::vector<std::string>{"/z/zig", "version"}));
  EXPECT_EQ(runner.calls[7].argv, (std::vector<std::string>{"adb", "version"}));
  EXPECT_EQ(runner.calls[9].argv, (std::vector<std::string>{"xcrun", "--version"}));
}

TEST(DoctorFiles, ShimsMustBeReadableFiles) {
  TempDir dir;
  writeFile(dir.file("shim"), "#!/bin/sh\n");
  std::filesystem::create_directories(dir.file("folder"));
  EXPECT_EQ(vyx::doctor::checkPath("ios-shim", dir.file("shim")), okCheck("ios-shim", dir.file("shim")));
  struct Case {
    std::string path;
    std::string error;
  };
  const Case cases[] = {
      {dir.file("absent"), "FileNotFound"},
      {dir.file("shim/below"), "NotDir"},
      {dir.file("folder"), "IsDir"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vyx::doctor::checkPath("android-shim", c.path),
              problem("android-shim", CheckStatus::missing, "setup.android_shim.not_found", c.path + ": " + c.error));
  }
}

TEST(DoctorFiles, SmokeScenariosMustValidate) {
  TempDir dir;
  writeFile(dir.file("good.json"), R"({"name":"Smoke","steps":[{"action":"launch"},{"action":"snapshot"}]})");
  writeFile(dir.file("bad.json"), "{\"name\":\"Smoke\",\n \"steps\":[{\"action\":\"fly\"}]}");
  writeFile(dir.file("broken.json"), "{\"name\":");
  EXPECT_EQ(vyx::doctor::checkScenarioPath("android-smoke-scenario", dir.file("good.json")),
            okCheck("android-smoke-scenario", dir.file("good.json") + ": ok (Smoke, 2 steps)"));

  Check missing = vyx::doctor::checkScenarioPath("android-smoke-scenario", dir.file("none.json"));
  EXPECT_EQ(missing, problem("android-smoke-scenario", CheckStatus::missing, "scenario.file_not_found",
                             dir.file("none.json") + ": invalid [scenario.file_not_found] scenario file was not found"));
  EXPECT_EQ(missing.hint,
            "Run npx vyx-wizard, create the Android smoke scenario, or update android.smokeScenario in "
            ".vyx/config.json.");

  Check bad = vyx::doctor::checkScenarioPath("ios-smoke-scenario", dir.file("bad.json"));
  EXPECT_EQ(bad.status, CheckStatus::warning);
  EXPECT_EQ(bad.errorCode, "scenario.invalid");
  EXPECT_EQ(bad.detail,
            dir.file("bad.json") + ": invalid [scenario.invalid] scenario is invalid at $.steps[].action line 2 column 12");
  EXPECT_EQ(bad.hint,
            "Run vyx validate on the configured iOS smoke scenario, fix the reported issue, or update "
            "ios.smokeScenario in .vyx/config.json.");
  Check broken = vyx::doctor::checkScenarioPath("ios-smoke-scenario", dir.file("broken.json"));
  EXPECT_EQ(broken.status, CheckStatus::warning);
  EXPECT_TRUE(broken.detail.starts_with(dir.file("broken.json") + ": invalid [")) << broken.detail;
}

TEST(DoctorPhysicalDevices, BreakdownCountsNonReadyStates) {
  auto devices = [](std::vector<std::string> states) {
    std::vector<vyx::DeviceInfo> out;
    for (auto& s : states) out.push_back(vyx::DeviceInfo{"id", std::move(s)});
    return out;
  };
  struct Case {
    std::vector<std::string> states;
    std::string expected;
  };
  const Case cases[] = {
      {{}, ""},
      {{"connected", "available"}, ""},
      {{"connected", "paired", "weird", "Booted"}, " (paired=1, other=2)"},
      {{"disconnected", "disconnected"}, " (disconnected=2)"},
      {{"unavailable", "paired", "disconnected", "x"}, " (disconnected=1, paired=1, unavailable=1, other=1)"},
  };
  for (const Case& c : cases) EXPECT_EQ(vyx::doctor::physicalStateBreakdown(devices(c.states)), c.expected);
}

TEST(DoctorJson, RecordsAreCompactWithOptionalMembersInOrder) {
  Check full = problem("config", CheckStatus::warning, "config.field_type", "c.json: \"Bad\"\tthing");
  full.count = 3;
  full.readyCount = 1;
  full.scriptCount = 2;
  full.scriptNames = std::vector<std::string>{"doctor", "a\"b"};
  full.fieldPath = "$.tools";
  full.hint = "Fix it.";
  vyx::StringWriter w;
  ASSERT_TRUE(vyx::doctor::writeDoctorCheckJson(w, full));
  EXPECT_EQ(w.str(),
            R"({"name":"config","status":"warning","errorCode":"config.field_type","detail":"c.json: \"Bad\"\tthing",)"
            R"("count":3,"readyCount":1,"scriptCount":2,"scriptNames":["doctor","a\"b"],"hint":"Fix it.",)"
            R"("fieldPath":"$.tools"})");

  Check plain = okCheck("config", ".vyx/config.json");
  plain.scriptCount = 0;
  plain.scriptNames.emplace();
  w.clear();
  ASSERT_TRUE(vyx::doctor::writeDoctorCheckJson(w, plain));
  EXPECT_EQ(w.str(), R"({"name":"config","status":"ok","detail":".vyx/config.json","scriptCount":0,"scriptNames":[]})");
  w.clear();
  ASSERT_TRUE(vyx::doctor::writeDoctorCheckJson(w, okCheck("zig", "")));
  EXPECT_EQ(w.str(), R"({"name":"zig","status":"ok","detail":""})");
}

TEST(DoctorHints, SmokeScenarioHintsDependOnTheStatus) {
  using vyx::doctor_hints::hintForCheck;
  EXPECT_EQ(hintForCheck("android-smoke-scenario", CheckStatus::ok), hintForCheck("android-smoke-scenario", CheckStatus::missing));
  EXPECT_NE(hintForCheck("android-smoke-scenario", CheckStatus::warning),
            hintForCheck("android-smoke-scenario", CheckStatus::missing));
  EXPECT_EQ(hintForCheck("adb", CheckStatus::ok), hintForCheck("adb", CheckStatus::warning));
  EXPECT_EQ(hintForCheck("config", CheckStatus::missing),
            "Fix the config file or regenerate it with npx vyx-wizard, then run vyx doctor --strict --json --config "
            ".vyx/config.json.");
  EXPECT_EQ(hintForCheck("Zig", CheckStatus::missing), hintForCheck("unknown", CheckStatus::missing));
}

}  // namespace
