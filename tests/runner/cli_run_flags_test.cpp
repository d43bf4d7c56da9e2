// The command line of `vyx run`: every flag, the missing-value errors, the
// positional scenario path and the shared screen-recording switch.
#include <gtest/gtest.h>

#include "runner/cli_run.hpp"

using vyx::Error;
using vyx::cli_run::RunFlags;

namespace {

vyx::Expected<RunFlags> parse(std::vector<std::string_view> args) {
  vyx::ArgIterator it(std::move(args));
  return vyx::cli_run::parseFlags(it);
}

}  // namespace

TEST(CliRunFlags, EveryFlagTakesItsValue) {
  auto f = parse({"s.json", "--device", "emulator-5554", "--trace-dir", "--json", "--app-id", "com.a",
                  "--adb", "a", "--emulator", "e", "--avdmanager", "m", "--android-shim", "as", "--xcrun", "x",
                  "--ios-shim", "is", "--platform", "ios", "--ios-device-type", "physical", "--config", "c.json",
                  "--discover-out", "d.json", "--android-avd", "Pixel", "--restore-snapshot", "snap",
                  "--create-avd-if-missing", "--avd-system-image", "img", "--avd-device", "pixel_7",
                  "--reset-emulator", "--wait-emulator", "--screen-record", "--json"});
  ASSERT_TRUE(f) << vyx::errorName(f.error());
  const auto& o = f->options;
  EXPECT_EQ(o.scenarioPath, "s.json");
  EXPECT_EQ(o.device, "emulator-5554");
  EXPECT_EQ(o.traceDir, "--json");  // a value is taken whatever it looks like
  EXPECT_EQ(o.appId, "com.a");
  EXPECT_EQ(o.adbPath, "a");
  EXPECT_EQ(o.emulatorPath, "e");
  EXPECT_EQ(o.avdmanagerPath, "m");
  EXPECT_EQ(o.xcrunPath, "x");
  EXPECT_EQ(o.androidShimPath, "as");
  EXPECT_EQ(o.iosShimPath, "is");
  EXPECT_EQ(o.platform, vyx::Platform::ios);
  EXPECT_EQ(o.iosDeviceType, vyx::IosDeviceType::physical);
  EXPECT_EQ(f->configPath, "c.json");
  EXPECT_EQ(f->discoverOut, "d.json");
  EXPECT_EQ(o.avdName, "Pixel");
  EXPECT_EQ(o.snapshotName, "snap");
  EXPECT_EQ(o.createAvdIfMissing, true);
  EXPECT_EQ(o.avdSystemImage, "img");
  EXPECT_EQ(o.avdDeviceProfile, "pixel_7");
  EXPECT_EQ(o.resetEmulator, true);
  EXPECT_EQ(o.waitEmulator, true);
  EXPECT_EQ(o.screenRecord, true);
  EXPECT_TRUE(f->json);
}

TEST(CliRunFlags, DefaultsLeaveEverythingAbsent) {
  auto f = parse({});
  ASSERT_TRUE(f);
  EXPECT_FALSE(f->options.scenarioPath || f->options.screenRecord || f->options.createAvdIfMissing ||
               f->options.resetEmulator || f->options.waitEmulator);
  EXPECT_FALSE(f->options.adbPath || f->options.emulatorPath || f->options.avdmanagerPath ||
               f->options.xcrunPath || f->json);
  EXPECT_EQ(f->options.platform, vyx::Platform::android);
  EXPECT_EQ(f->options.iosDeviceType, vyx::IosDeviceType::simulator);
}

TEST(CliRunFlags, Errors) {
  const std::pair<std::vector<std::string_view>, Error> cases[] = {
      {{"--device"}, Error::MissingDeviceSerial},
      {{"--trace-dir"}, Error::MissingTraceDir},
      {{"--app-id"}, Error::MissingAppId},
      {{"--adb"}, Error::MissingAdbPath},
      {{"--emulator"}, Error::MissingEmulatorPath},
      {{"--avdmanager"}, Error::MissingAvdmanagerPath},
      {{"--android-shim"}, Error::MissingAndroidShimPath},
      {{"--xcrun"}, Error::MissingXcrunPath},
      {{"--ios-shim"}, Error::MissingIosShimPath},
      {{"--platform"}, Error::MissingPlatform},
      {{"--ios-device-type"}, Error::MissingIosDeviceType},
      {{"--config"}, Error::MissingConfigPath},
      {{"--discover-out"}, Error::MissingDiscoverOut},
      {{"--android-avd"}, Error::MissingAndroidAvdName},
      {{"--restore-snapshot"}, Error::MissingAndroidSnapshotName},
      {{"--avd-system-image"}, Error::MissingAndroidAvdSystemImage},
      {{"--avd-device"}, Error::MissingAndroidAvdDeviceProfile},
      {{"--platform", "Android"}, Error::UnsupportedPlatform},
      {{"--platform", ""}, Error::UnsupportedPlatform},
      {{"--ios-device-type", "all"}, Error::UnsupportedIosDeviceType},
      {{"a.json", "b.json"}, Error::unknownFlag},
      {{"--verbose"}, Error::unknownFlag},
      {{"--"}, Error::unknownFlag},
      {{"--JSON"}, Error::unknownFlag},
      // The first fault wins.
      {{"--platform", "web", "--device"}, Error::UnsupportedPlatform},
      {{"--nope", "--platform"}, Error::unknownFlag},
  };
  for (const auto& [args, expected] : cases) {
    auto f = parse(args);
    ASSERT_FALSE(f) << args[0];
    EXPECT_EQ(f.error(), expected) << args[0] << " -> " << vyx::errorName(f.error());
  }
}

TEST(CliRunFlags, PositionalPathsAndRepeats) {
  for (std::string_view path : {"-x", "", "-"}) {
    auto f = parse({path});
    ASSERT_TRUE(f);
    EXPECT_EQ(f->options.scenarioPath, path);
  }
  auto off = parse({"--screen-record", "--no-screen-record"});
  EXPECT_EQ(off->options.screenRecord, false);
  auto on = parse({"--no-screen-record", "--screen-record"});
  EXPECT_EQ(on->options.screenRecord, true);
  auto repeated = parse({"--device", "a", "--device", "b", "--platform", "ios", "--platform", "android"});
  EXPECT_EQ(repeated->options.device, "b");
  EXPECT_EQ(repeated->options.platform, vyx::Platform::android);
}
