#include "core/config.hpp"

#include <gtest/gtest.h>

#include "core/config_paths.hpp"
#include "vyx_test.hpp"

namespace vyx {
namespace {

TEST(ConfigParse, Errors) {
  struct Case {
    std::string_view text;
    Error error;
  };
  const Case cases[] = {
      {R"([])", Error::ConfigMustBeObject},
      {R"({"schemaVersion":1,)", Error::UnexpectedEndOfInput},
      {R"({"schemaVersion":1,"schemaVersion":1})", Error::DuplicateField},
      {R"({})", Error::MissingConfigSchemaVersion},
      {R"({"schemaVersion":2})", Error::UnsupportedConfigVersion},
      {R"({"schemaVersion":2,"other":1})", Error::ConfigUnknownField},
      // Keys are examined before any value.
      {R"({"appId":5,"nope":1})", Error::ConfigUnknownField},
      {R"({"schemaVersion":"1"})", Error::ConfigSchemaVersionMustBeInteger},
      {R"({"schemaVersion":-1})", Error::ConfigSchemaVersionMustBeInteger},
      {R"({"schemaVersion":1.0})", Error::ConfigSchemaVersionMustBeInteger},
      {R"({"schemaVersion":null})", Error::ConfigSchemaVersionMustBeInteger},
      {R"({"schemaVersion":4294967296})", Error::ConfigSchemaVersionMustBeInteger},
      {R"({"schemaVersion":4294967295})", Error::UnsupportedConfigVersion},
      // The version's value is compared last.
      {R"({"schemaVersion":2,"appId":""})", Error::ConfigFieldMustBeNonEmptyString},
      {R"({"schemaVersion":1,"appId":5})", Error::ConfigFieldMustBeString},
      {R"({"schemaVersion":1,"android":null})", Error::ConfigPlatformMustBeObject},
      {R"({"schemaVersion":1,"android":{"enabled":"yes"}})", Error::ConfigFieldMustBeBool},
      {R"({"schemaVersion":1,"android":{"enabled":"yes","avdName":5,"x":1}})", Error::ConfigUnknownField},
      {R"({"schemaVersion":1,"android":{"avdName":5,"enabled":"yes"}})", Error::ConfigFieldMustBeBool},
      {R"({"schemaVersion":1,"android":{"avdName":5},"ios":[]})", Error::ConfigFieldMustBeString},
      {R"({"schemaVersion":1,"ios":{"waitReady":null}})", Error::ConfigFieldMustBeBool},
      {R"({"schemaVersion":1,"tools":null})", Error::ConfigToolsMustBeObject},
      {R"({"schemaVersion":1,"tools":{"gitPath":"x"}})", Error::ConfigUnknownField},
      {R"({"schemaVersion":1,"tools":{"zigPath":""}})", Error::ConfigFieldMustBeNonEmptyString},
      {R"({"schemaVersion":1,"artifacts":[]})", Error::ConfigArtifactsMustBeObject},
      {R"({"schemaVersion":1,"artifacts":{"video":true}})", Error::ConfigUnknownField},
      {R"({"schemaVersion":1,"artifacts":{"logs":null}})", Error::ConfigFieldMustBeBool},
      {R"({"schemaVersion":1,"redaction":"x"})", Error::ConfigRedactionMustBeObject},
      {R"({"schemaVersion":1,"redaction":{"other":[]}})", Error::ConfigUnknownField},
      {R"({"schemaVersion":1,"redaction":{"denylistText":"a"}})", Error::ConfigFieldMustBeStringArray},
      {R"({"schemaVersion":1,"redaction":{"allowlistText":null}})", Error::ConfigFieldMustBeStringArray},
      {R"({"schemaVersion":1,"redaction":{"denylistText":["a",1]}})", Error::ConfigFieldMustBeStringArray},
      {R"({"schemaVersion":1,"redaction":{"denylistText":["a",""]}})", Error::ConfigFieldMustBeNonEmptyString},
      {R"({"schemaVersion":1,"scripts":[]})", Error::ConfigScriptsMustBeObject},
      {R"({"schemaVersion":1,"scripts":{"a":""}})", Error::ConfigFieldMustBeNonEmptyString},
      {R"({"schemaVersion":1,"scripts":{"a":1}})", Error::ConfigFieldMustBeString},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = config::parseSlice(c.text);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(errorName(r.error()), errorName(c.error));
  }
}

TEST(ConfigParse, MinimalAndFull) {
  auto minimal = config::parseSlice(R"({"schemaVersion":1})");
  ASSERT_TRUE(minimal.has_value());
  EXPECT_EQ(minimal->schemaVersion, 1u);
  EXPECT_FALSE(minimal->appId.has_value());
  EXPECT_FALSE(minimal->android.enabled || minimal->android.waitReady || minimal->ios.defaultDevice);
  EXPECT_FALSE(minimal->tools.adbPath.has_value());
  EXPECT_TRUE(minimal->artifacts.screenshots && minimal->artifacts.hierarchy && minimal->artifacts.logs);
  EXPECT_FALSE(minimal->artifacts.screenRecording);
  EXPECT_TRUE(minimal->redaction.denylistText.empty());
  EXPECT_TRUE(minimal->scripts.empty());

  auto full = config::parseSlice(R"({"schemaVersion":1,"appId":null,
    "android":{"enabled":true,"defaultDevice":null,"smokeScenario":"s.json","avdName":"Pixel","waitReady":true},
    "tools":{"adbPath":"adb","iosShimPath":"shims/ios"},
    "artifacts":{"logs":false},
    "redaction":{"denylistText":["b","a"],"allowlistResourceIds":["id"]},
    "scripts":{"smoke":"vyx run","":"x"}})");
  ASSERT_TRUE(full.has_value()) << errorName(full.error());
  EXPECT_FALSE(full->appId.has_value());
  EXPECT_TRUE(full->android.enabled);
  EXPECT_FALSE(full->android.defaultDevice.has_value());
  EXPECT_EQ(full->android.smokeScenario, "s.json");
  EXPECT_EQ(full->android.avdName, "Pixel");
  EXPECT_TRUE(full->android.waitReady);
  EXPECT_FALSE(full->android.resetBeforeRun);
  EXPECT_EQ(full->tools.iosShimPath, "shims/ios");
  EXPECT_TRUE(full->artifacts.screenshots);
  EXPECT_FALSE(full->artifacts.logs);
  EXPECT_EQ(full->redaction.denylistText, (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(full->redaction.allowlistResourceIds, (std::vector<std::string>{"id"}));
  ASSERT_EQ(full->scripts.size(), 2u);
  EXPECT_EQ(full->scripts[0].name, "smoke");
  EXPECT_EQ(full->scripts[1].name, "");
  EXPECT_EQ(full->scripts[1].command, "x");
}

TEST(ConfigParse, FileLimitAndErrors) {
  vyx::test::TempDir dir;
  EXPECT_EQ(config::parseFile(dir.file("missing.json")).error(), Error::FileNotFound);

  // Exactly 1 MiB fails; one byte less is read.
  std::string body = R"({"schemaVersion":1})";
  std::string atLimit = body + std::string(1048576 - body.size(), ' ');
  vyx::test::writeFile(dir.file("big.json"), atLimit);
  EXPECT_EQ(config::parseFile(dir.file("big.json")).error(), Error::StreamTooLong);
  atLimit.pop_back();
  vyx::test::writeFile(dir.file("big.json"), atLimit);
  EXPECT_TRUE(config::parseFile(dir.file("big.json")).has_value());
}

TEST(ConfigPaths, RootsAndJoins) {
  struct Root {
    std::string_view config;
    std::string_view root;
  };
  for (const Root& c : {Root{".vyx/config.json", "."}, Root{"app/.vyx/config.json", "app"},
                        Root{"/srv/app/.vyx/config.json", "/srv/app"}, Root{"conf/app.json", "conf"},
                        Root{"config.json", "."}, Root{"/.vyx/config.json", "/"},
                        Root{"x.vyx/config.json", "x.vyx"}}) {
    EXPECT_EQ(config_paths::rootForPath(c.config), c.root) << c.config;
  }
  EXPECT_EQ(config_paths::ownFilePath(".", "traces/run"), "./traces/run");
  EXPECT_EQ(config_paths::ownFilePath("/srv/app/", "s.json"), "/srv/app/s.json");
  EXPECT_EQ(config_paths::ownFilePath("/", "s.json"), "/s.json");
  EXPECT_EQ(config_paths::ownFilePath("app", "/abs/s.json"), "/abs/s.json");
  EXPECT_EQ(config_paths::ownFilePath("app", ""), "app");
  EXPECT_EQ(config_paths::ownFilePath("", "s.json"), "s.json");
  EXPECT_EQ(config_paths::ownCommandPath("app", "adb"), "adb");
  EXPECT_EQ(config_paths::ownCommandPath("app", "tools/adb"), "app/tools/adb");
  EXPECT_EQ(config_paths::ownCommandPath("app", "./adb"), "app/./adb");
  EXPECT_EQ(config_paths::ownCommandPath("app", ".adb"), "app/.adb");
  EXPECT_EQ(config_paths::ownCommandPath("app", "/opt/sdk/adb"), "/opt/sdk/adb");
}

}  // namespace
}  // namespace vyx
