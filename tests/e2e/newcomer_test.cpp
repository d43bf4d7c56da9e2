// A newcomer's first steps, as the README shows them: `vyx init --app`, the
// doctor command that init suggests, then `vyx validate` and `vyx run` of the
// generated Android smoke scenario against the fake device (the demo app's
// fixture) with the fake tools first on PATH.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "core/json.hpp"
#include "vyx_test.hpp"

using vyx::test::TempDir;

TEST(Newcomer, InitDoctorValidateAndRunTheAndroidSmoke) {
  TempDir dir;
  std::filesystem::copy(vyx::test::sourceDir() + "/examples/demo/device", dir.file("device"),
                        std::filesystem::copy_options::recursive);
  std::filesystem::create_directories(dir.file("shop"));
  vyx::test::writeFile(dir.file("ios/simctl-list.out"),
                       R"({"devices":{"iOS-18":[{"udid":"SIM-1","state":"Booted","isAvailable":true}]}})");
  vyx::test::writeFile(dir.file("ios/devicectl-list-devices.json"),
                       R"({"result":{"devices":[{"identifier":"PHY-1","hardwareProperties":{"platform":"iOS","reality":"physical"},"connectionProperties":{"tunnelState":"connected"}}]}})");
  vyx::test::RunOptions o;
  o.cwd = dir.file("shop");
  o.env["PATH"] = vyx::test::fakesDir() + ":" + std::string(::getenv("PATH"));
  o.env["VYX_FAKE_ANDROID_DIR"] = dir.file("device");
  o.env["VYX_FAKE_IOS_DIR"] = dir.file("ios");

  auto init = vyx::test::runVyx({"init", "--app", "--app-id", "com.example.shop"}, o);
  ASSERT_EQ(init.status, 0) << init.err;
  auto lines = vyx::test::splitLines(init.out);
  ASSERT_EQ(lines.size(), 6u) << init.out;
  const std::string next = "next: vyx doctor --strict --json --config ./.vyx/config.json";
  ASSERT_EQ(lines[5], next);

  auto doctor = vyx::test::runVyx({"doctor", "--strict", "--json", "--config", "./.vyx/config.json"}, o);
  EXPECT_EQ(doctor.status, 0) << doctor.out;
  auto report = vyx::json::parseValue(doctor.out);
  ASSERT_TRUE(report) << doctor.out;
  EXPECT_TRUE(report->get("ok")->boolean) << doctor.out;
  EXPECT_EQ(report->get("checks")->array.size(), 9u);  // config, six checks, two smoke scenarios

  auto validate = vyx::test::runVyx({"validate", ".vyx/android-smoke.json"}, o);
  EXPECT_EQ(validate.status, 0);
  EXPECT_EQ(validate.out, ".vyx/android-smoke.json: ok (Android smoke, 3 steps)\n");

  auto run = vyx::test::runVyx(
      {"run", ".vyx/android-smoke.json", "--device", "emulator-5554", "--trace-dir", "traces/vyx-android", "--json"},
      o);
  EXPECT_EQ(run.status, 0) << run.err;
  auto summary = vyx::json::parseValue(run.out);
  ASSERT_TRUE(summary) << run.out;
  EXPECT_EQ(summary->get("status")->string, "passed");
  EXPECT_EQ(summary->get("appId")->string, "com.example.shop");
  auto manifest = vyx::json::parseValue(vyx::test::readFile(dir.file("shop/traces/vyx-android/trace.json")));
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->get("status")->string, "passed");
  EXPECT_EQ(manifest->get("scenarioName")->string, "Android smoke");
  // The trace directory is what the scaffolded .gitignore keeps out.
  EXPECT_EQ(vyx::test::readFile(dir.file("shop/.gitignore")), "# VYX local run artifacts\ntraces/\n");
}
