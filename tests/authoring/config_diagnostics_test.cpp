// The JSON path searches behind configuration load errors, and the doctor's
// "config" record for every kind of broken configuration file.
#include "authoring/config_diagnostics.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "authoring/cli_doctor.hpp"
#include "core/config.hpp"
#include "core/limits.hpp"
#include "vyx_test.hpp"

namespace cd = vyx::config_diagnostics;
using vyx::Error;

namespace {

enum class Search { Unknown, String, NonEmpty, Platform, Bool, StringArray, Tools, Scripts };

cd::Path search(Search s, const vyx::json::Value& root) {
  switch (s) {
    case Search::Unknown: return cd::findUnknownFieldPath(root);
    case Search::String: return cd::findStringFieldPath(root);
    case Search::NonEmpty: return cd::findNonEmptyStringFieldPath(root);
    case Search::Platform: return cd::firstObjectTypeFieldPath(root);
    case Search::Bool: return cd::findBoolFieldPath(root);
    case Search::StringArray: return cd::findStringArrayFieldPath(root);
    case Search::Tools: return cd::objectTypeFieldPath(root, "tools", "$.tools");
    case Search::Scripts: return cd::objectTypeFieldPath(root, "scripts", "$.scripts");
  }
  return std::nullopt;
}

TEST(ConfigDiagnostics, SearchesFindTheFirstOffendingField) {
  struct Case {
    Search search;
    std::string json;
    cd::Path expected;
  };
  const Case cases[] = {
      {Search::Unknown, R"({"schemaVersion":1,"appId":"a","colour":"red","android":{"x":1}})", "$.colour"},
      {Search::Unknown, R"({"android":{"enabled":true,"avdNam":"x"}})", "$.android.avdNam"},
      {Search::Unknown, R"({"ios":{"avdName":"x"},"tools":{"adb":"adb"}})", "$.tools.adb"},
      {Search::Unknown, R"({"artifacts":{"video":true}})", "$.artifacts.video"},
      {Search::Unknown, R"({"redaction":{"denylist":[]}})", "$.redaction.denylist"},
      {Search::Unknown, R"({"scripts":{"anything":1},"android":[],"tools":{"zigPath":"z"}})", std::nullopt},
      {Search::String, R"({"appId":5,"scripts":{"ok":"x","smoke":3}})", "$.scripts.smoke"},
      {Search::String, R"({"appId":5,"android":{"traceDir":1}})", "$.appId"},
      {Search::String, R"({"appId":null,"android":{"traceDir":null,"avdName":false}})", "$.android.avdName"},
      {Search::String, R"({"ios":{"defaultDevice":1.5},"tools":{"adbPath":2}})", "$.ios.defaultDevice"},
      {Search::String, R"({"tools":{"zigPath":"z","xcrunPath":[]}})", "$.tools.xcrunPath"},
      {Search::NonEmpty, R"({"appId":"","scripts":{"a":"x","b":""}})", "$.scripts.b"},
      {Search::NonEmpty, R"({"appId":"","android":{"traceDir":""}})", "$.appId"},
      {Search::NonEmpty, R"({"tools":{"adbPath":""}})", "$.tools.adbPath"},
      {Search::NonEmpty, R"({"redaction":{"denylistText":"x","allowlistText":["a","","b"]}})",
       "$.redaction.allowlistText[1]"},
      {Search::NonEmpty, R"({"appId":null,"android":{"traceDir":null}})", std::nullopt},
      {Search::Platform, R"({"ios":[],"android":"x"})", "$.android"},
      {Search::Platform, R"({"android":{},"ios":null})", "$.ios"},
      {Search::Bool, R"({"android":{"enabled":null}})", "$.android.enabled"},
      {Search::Bool, R"({"android":{"enabled":true,"waitReady":"yes","resetBeforeRun":1}})",
       "$.android.resetBeforeRun"},
      {Search::Bool, R"({"ios":{"createAvdIfMissing":0},"artifacts":{"logs":"on"}})", "$.ios.createAvdIfMissing"},
      {Search::Bool, R"({"artifacts":{"logs":true,"hierarchy":1}})", "$.artifacts.hierarchy"},
      {Search::StringArray, R"({"redaction":{"denylistResourceIds":"id"}})", "$.redaction.denylistResourceIds"},
      {Search::StringArray, R"({"redaction":{"allowlistResourceIds":[1]}})", "$.redaction.allowlistResourceIds[0]"},
      {Search::StringArray, R"({"redaction":{"denylistText":["a",null]}})", "$.redaction.denylistText[1]"},
      {Search::Tools, R"({"tools":"adb"})", "$.tools"},
      {Search::Tools, R"({"tools":{}})", std::nullopt},
      {Search::Scripts, R"({"scripts":null})", "$.scripts"},
      {Search::Bool, R"({})", std::nullopt},
  };
  for (const Case& c : cases) {
    auto root = vyx::json::parseValue(c.json);
    ASSERT_TRUE(root) << c.json;
    EXPECT_EQ(search(c.search, *root), c.expected) << c.json;
  }
}

// Every configuration that the loader refuses gets the record its error
// calls for, with the field path where one can be found.
TEST(ConfigDiagnostics, DoctorRecordForEveryBrokenConfiguration) {
  struct Case {
    std::string content;
    std::string error;
    std::string code;
    cd::Path fieldPath;
  };
  const Case cases[] = {
      {R"([1,2])", "ConfigMustBeObject", "config.must_be_object", "$"},
      {R"({"schemaVersion":1,"appId":"a","colour":"red"})", "ConfigUnknownField", "config.unknown_field", "$.colour"},
      {R"({"appId":"a"})", "MissingConfigSchemaVersion", "config.missing_schema_version", "$.schemaVersion"},
      {R"({"schemaVersion":"1"})", "ConfigSchemaVersionMustBeInteger", "config.schema_version_type",
       "$.schemaVersion"},
      {R"({"schemaVersion":2})", "UnsupportedConfigVersion", "config.unsupported_version", "$.schemaVersion"},
      {R"({"schemaVersion":1,"android":{"avdName":7}})", "ConfigFieldMustBeString", "config.field_type",
       "$.android.avdName"},
      {R"({"schemaVersion":1,"scripts":{"smoke":""}})", "ConfigFieldMustBeNonEmptyString", "config.empty_string",
       "$.scripts.smoke"},
      {R"({"schemaVersion":1,"ios":true})", "ConfigPlatformMustBeObject", "config.field_type", "$.ios"},
      {R"({"schemaVersion":1,"ios":{"waitReady":"no"}})", "ConfigFieldMustBeBool", "config.field_type",
       "$.ios.waitReady"},
      {R"({"schemaVersion":1,"tools":[]})", "ConfigToolsMustBeObject", "config.field_type", "$.tools"},
      {R"({"schemaVersion":1,"artifacts":1})", "ConfigArtifactsMustBeObject", "config.field_type", "$.artifacts"},
      {R"({"schemaVersion":1,"redaction":"all"})", "ConfigRedactionMustBeObject", "config.field_type",
       "$.redaction"},
      {R"({"schemaVersion":1,"redaction":{"denylistText":["a",["b"]]}})", "ConfigFieldMustBeStringArray",
       "config.field_type", "$.redaction.denylistText[1]"},
      {R"({"schemaVersion":1,"scripts":["a"]})", "ConfigScriptsMustBeObject", "config.field_type", "$.scripts"},
      {R"({"schemaVersion":1,)", "UnexpectedEndOfInput", "config.invalid", std::nullopt},
      {R"({"schemaVersion":1,"schemaVersion":1})", "DuplicateField", "config.invalid", std::nullopt},
      {"", "UnexpectedEndOfInput", "config.invalid", std::nullopt},
      {std::string(vyx::limits::kConfigBytes, ' '), "StreamTooLong", "config.invalid", std::nullopt},
  };
  vyx::test::TempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.file("config.json");
    vyx::test::writeFile(path, c.content);
    auto loaded = vyx::config::parseFile(path);
    ASSERT_FALSE(loaded) << c.content;
    auto record = vyx::cli_doctor::diagnoseConfig(path, loaded.error());
    EXPECT_EQ(record.name, "config");
    EXPECT_EQ(record.status, vyx::doctor::CheckStatus::warning);
    EXPECT_EQ(record.detail, path + ": " + c.error) << c.content.substr(0, 80);
    EXPECT_EQ(record.errorCode, c.code) << c.content.substr(0, 80);
    EXPECT_EQ(record.fieldPath, c.fieldPath) << c.content.substr(0, 80);
    EXPECT_EQ(record.hint,
              "Fix the config file or regenerate it with npx vyx-wizard, then run vyx doctor --strict --json "
              "--config .vyx/config.json.");
  }

  // Files that cannot be read: absent, a directory, below a plain file.
  struct FileCase {
    std::string path;
    vyx::doctor::CheckStatus status;
    std::string error;
  };
  std::filesystem::create_directories(dir.file("folder.json"));
  const FileCase files[] = {
      {dir.file("absent.json"), vyx::doctor::CheckStatus::missing, "FileNotFound"},
      {dir.file("folder.json"), vyx::doctor::CheckStatus::warning, "IsDir"},
      {dir.file("config.json/x"), vyx::doctor::CheckStatus::warning, "NotDir"},
  };
  for (const FileCase& f : files) {
    auto loaded = vyx::config::parseFile(f.path);
    ASSERT_FALSE(loaded);
    auto record = vyx::cli_doctor::diagnoseConfig(f.path, loaded.error());
    EXPECT_EQ(record.status, f.status);
    EXPECT_EQ(record.detail, f.path + ": " + f.error);
    EXPECT_EQ(record.errorCode, f.error == "FileNotFound" ? "config.file_not_found" : "config.invalid");
    EXPECT_FALSE(record.fieldPath);
  }
}

}  // namespace
