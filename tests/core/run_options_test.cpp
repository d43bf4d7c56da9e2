// The settings of `run` and of the servers: command line, then
// configuration (paths joined onto the app root), then defaults, and the
// loading of the configuration file.
#include "core/run_options.hpp"

#include <gtest/gtest.h>

#include "vyx_test.hpp"

namespace vyx {
namespace {

const char* kConfig = R"({"schemaVersion":1,"appId":"com.cfg",
    "android":{"defaultDevice":"emulator-5554","smokeScenario":"a.json","traceDir":"t",
               "waitReady":true,"resetBeforeRun":true,"avdName":"Pixel"},
    "tools":{"androidShimPath":"shim/a","iosShimPath":"/abs/shim-i","adbPath":"sdk/adb","xcrunPath":"xcrun-13",
             "emulatorPath":"./emu"},
    "artifacts":{"screenshots":false,"screenRecording":true},
    "redaction":{"denylistText":["secret words"]}})";

// The configuration above, as loaded from "app/.vyx/config.json".
LoadedConfig loaded() {
  auto config = config::parseSlice(kConfig);
  EXPECT_TRUE(config.has_value());
  return LoadedConfig{std::move(*config), std::string("app")};
}

TEST(RunOptions, ParsePlatformAndDeviceType) {
  EXPECT_EQ(parsePlatform("android"), Platform::android);
  EXPECT_EQ(parsePlatform("ios"), Platform::ios);
  EXPECT_EQ(parsePlatform("Android").error(), Error::UnsupportedPlatform);
  EXPECT_EQ(parsePlatform("").error(), Error::UnsupportedPlatform);
  EXPECT_EQ(parseIosDeviceType("physical"), IosDeviceType::physical);
  EXPECT_EQ(parseIosDeviceType("simulator"), IosDeviceType::simulator);
  EXPECT_EQ(parseIosDeviceType("all").error(), Error::UnsupportedIosDeviceType);
}

TEST(RunOptions, RunWithoutConfiguration) {
  RunSettings bare = run_options::resolveRun({}, {});
  EXPECT_EQ(bare.appId, kPlaceholderAppId);
  EXPECT_FALSE(bare.device || bare.scenarioPath || bare.traceDir || bare.androidShimPath || bare.iosShimPath);
  EXPECT_EQ(bare.adbPath, "adb");
  EXPECT_EQ(bare.emulatorPath, "emulator");
  EXPECT_EQ(bare.avdmanagerPath, "avdmanager");
  EXPECT_EQ(bare.xcrunPath, "xcrun");
  EXPECT_FALSE(bare.waitReady);
  EXPECT_TRUE(bare.traceOptions.screenshots && bare.traceOptions.hierarchy && bare.traceOptions.logs);
  EXPECT_FALSE(bare.traceOptions.screenRecording);
  EXPECT_EQ(bare.appIdWith(std::string("com.scenario")), "com.scenario");
  EXPECT_EQ(bare.appIdWith(std::nullopt), kPlaceholderAppId);
}

TEST(RunOptions, RunTakesTheCommandLineThenTheConfiguration) {
  RunCliOptions cli;
  cli.device = "cli-device";
  cli.waitEmulator = false;  // a given false wins over the section's true
  cli.traceDir = "cli/trace";
  cli.xcrunPath = "my-xcrun";
  cli.screenRecord = false;
  RunSettings run = run_options::resolveRun(cli, loaded());
  EXPECT_EQ(run.device, "cli-device");
  EXPECT_EQ(run.scenarioPath, "app/a.json");
  EXPECT_EQ(run.traceDir, "cli/trace");  // as given, relative to the working directory
  EXPECT_EQ(run.androidShimPath, "app/shim/a");
  EXPECT_EQ(run.iosShimPath, "/abs/shim-i");
  EXPECT_EQ(run.adbPath, "app/sdk/adb");
  EXPECT_EQ(run.emulatorPath, "app/./emu");
  EXPECT_EQ(run.avdmanagerPath, "avdmanager");
  EXPECT_EQ(run.xcrunPath, "my-xcrun");
  EXPECT_EQ(run.avdName, "Pixel");
  EXPECT_FALSE(run.waitReady);
  EXPECT_TRUE(run.resetBeforeRun);
  EXPECT_FALSE(run.createAvdIfMissing);
  EXPECT_FALSE(run.traceOptions.screenshots);
  EXPECT_FALSE(run.traceOptions.screenRecording);
  EXPECT_EQ(run.traceOptions.denylistText, std::vector<std::string>{"secret words"});
  // The configuration's app id comes after the scenario's own.
  EXPECT_EQ(run.appId, "com.cfg");
  EXPECT_EQ(run.appIdWith(std::string("com.scenario")), "com.scenario");
  EXPECT_EQ(run.appIdWith(std::nullopt), "com.cfg");
  EXPECT_EQ(run_options::resolveRun({}, loaded()).traceOptions.screenRecording, true);

  // iOS takes the absent "ios" section, not the Android one; a given app id
  // comes before the scenario's.
  RunCliOptions ios;
  ios.platform = Platform::ios;
  ios.iosDeviceType = IosDeviceType::physical;
  ios.appId = "com.cli";
  ios.adbPath = "adb";
  RunSettings onIos = run_options::resolveRun(ios, loaded());
  EXPECT_FALSE(onIos.device || onIos.scenarioPath || onIos.traceDir);
  EXPECT_FALSE(onIos.resetBeforeRun);
  EXPECT_EQ(onIos.adbPath, "adb");  // given, so the configuration's is not used
  EXPECT_EQ(onIos.xcrunPath, "xcrun-13");
  EXPECT_EQ(onIos.appIdWith(std::string("com.scenario")), "com.cli");
  EXPECT_EQ(onIos.iosDeviceType, IosDeviceType::physical);
}

TEST(RunOptions, ServeSettings) {
  ServeSettings bare = run_options::resolveServe({}, {});
  EXPECT_EQ(bare.appId, kPlaceholderAppId);
  EXPECT_FALSE(bare.device || bare.traceDir || bare.androidShimPath || bare.iosShimPath);
  EXPECT_EQ(bare.adbPath, "adb");
  EXPECT_EQ(bare.xcrunPath, "xcrun");
  EXPECT_TRUE(bare.traceOptions.screenshots && bare.traceOptions.hierarchy && bare.traceOptions.logs);
  EXPECT_FALSE(bare.traceOptions.screenRecording);
  EXPECT_EQ(bare.platform, Platform::android);

  // Without command-line values: the configuration, its paths joined onto
  // the app root; the default tool names give way to the configured tools.
  ServeSettings fromConfig = run_options::resolveServe({}, loaded());
  EXPECT_EQ(fromConfig.device, "emulator-5554");
  EXPECT_EQ(fromConfig.appId, "com.cfg");
  EXPECT_EQ(fromConfig.traceDir, "app/t");
  EXPECT_EQ(fromConfig.androidShimPath, "app/shim/a");
  EXPECT_EQ(fromConfig.iosShimPath, "/abs/shim-i");
  EXPECT_EQ(fromConfig.adbPath, "app/sdk/adb");
  EXPECT_EQ(fromConfig.xcrunPath, "xcrun-13");
  EXPECT_FALSE(fromConfig.traceOptions.screenshots);
  EXPECT_TRUE(fromConfig.traceOptions.screenRecording);
  EXPECT_EQ(fromConfig.traceOptions.denylistText, std::vector<std::string>{"secret words"});

  // Command-line values as given; "adb" given explicitly still gives way.
  ServeCliOptions cli;
  cli.device = "D";
  cli.appId = "com.cli";
  cli.traceDir = "t";
  cli.androidShim = "a-shim";
  cli.iosShim = "i-shim";
  cli.adbPath = "adb";
  cli.xcrunPath = "/usr/bin/xcrun";
  cli.platform = Platform::ios;
  cli.iosDeviceType = IosDeviceType::physical;
  ServeSettings given = run_options::resolveServe(cli, loaded());
  EXPECT_EQ(given.device, "D");
  EXPECT_EQ(given.appId, "com.cli");
  EXPECT_EQ(given.traceDir, "t");
  EXPECT_EQ(given.androidShimPath, "a-shim");
  EXPECT_EQ(given.iosShimPath, "i-shim");
  EXPECT_EQ(given.adbPath, "app/sdk/adb");
  EXPECT_EQ(given.xcrunPath, "/usr/bin/xcrun");
  EXPECT_EQ(given.platform, Platform::ios);
  EXPECT_EQ(given.iosDeviceType, IosDeviceType::physical);

  // iOS takes the absent "ios" section.
  ServeCliOptions ios;
  ios.platform = Platform::ios;
  ServeSettings onIos = run_options::resolveServe(ios, loaded());
  EXPECT_FALSE(onIos.device || onIos.traceDir);
  EXPECT_EQ(onIos.iosShimPath, "/abs/shim-i");
}

TEST(RunOptions, LoadConfig) {
  test::TempDir dir;
  test::writeFile(dir.file(".vyx/config.json"), R"({"schemaVersion":1,"appId":"com.file"})");
  auto found = run_options::loadConfig(dir.file(".vyx/config.json"));
  ASSERT_TRUE(found.has_value());
  ASSERT_NE(found->get(), nullptr);
  EXPECT_EQ(found->get()->appId, "com.file");
  EXPECT_EQ(found->appRoot, dir.path());

  // A named file must exist; without a name a missing default is no configuration.
  EXPECT_EQ(run_options::loadConfig(dir.file("missing.json")).error(), Error::FileNotFound);
  test::writeFile(dir.file("bad.json"), "{");
  EXPECT_EQ(run_options::loadConfig(dir.file("bad.json")).error(), Error::UnexpectedEndOfInput);
  auto none = run_options::loadConfig(std::nullopt);  // the test's working directory holds no .vyx
  ASSERT_TRUE(none.has_value());
  EXPECT_EQ(none->get(), nullptr);
  EXPECT_FALSE(none->appRoot.has_value());
}

}  // namespace
}  // namespace vyx
