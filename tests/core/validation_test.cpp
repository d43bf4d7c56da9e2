#include "core/validation.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/cli_validate.hpp"
#include "core/writer.hpp"
#include "vyx_test.hpp"

namespace vyx::validation {
namespace {

struct Want {
  std::string code;
  std::string message;
  std::optional<std::string> path;
  std::optional<size_t> line;
  std::optional<size_t> column;
};

const std::string kInvalid = "scenario.invalid";
const std::string kScenarioIsInvalid = "scenario is invalid";
const std::string kMalformed = "malformed scenario json";

TEST(ValidateFile, FailureForms) {
  struct Case {
    const char* label;
    std::string text;
    Want want;
  };
  const Case cases[] = {
      {"root array", "\n\n  [1]", {kInvalid, kScenarioIsInvalid, "$", 3, 3}},
      {"empty file", "", {kInvalid, kMalformed, {}, 1, 1}},
      {"only blanks", "  \n   ", {kInvalid, kMalformed, {}, 2, 4}},
      {"syntax error", "{\"name\": \"x\",\n  \"steps\": [,]}", {kInvalid, kMalformed, {}, 2, 13}},
      {"duplicate key", "{\"name\":\"a\",\n\"name\":\"b\",\"steps\":[]}", {kInvalid, kMalformed, {}, 2, 1}},
      {"no name", R"({"steps":[]})", {"internal.error", "RequiredStringMissing", {}, {}, {}}},
      {"no steps, key nowhere", R"({"name":"n"})", {kInvalid, kScenarioIsInvalid, "$.steps", {}, {}}},
      {"steps not array", "{\"name\":\"n\",\n \"steps\":{}}", {kInvalid, kScenarioIsInvalid, "$.steps", 2, 2}},
      {"url found in an earlier step",
       "{\"name\":\"n\",\"steps\":[\n  {\"action\":\"snapshot\",\"url\":\"x\"},\n  {\"action\":\"openLink\"}]}",
       {kInvalid, kScenarioIsInvalid, "$.steps[].url", 2, 24}},
      {"url nowhere", R"({"name":"n","steps":[{"action":"openLink"}]})",
       {kInvalid, kScenarioIsInvalid, "$.steps[].url", {}, {}}},
      {"unknown action", "{\"name\":\"n\",\"steps\":[\n{\"action\":\"Tap\"}]}",
       {kInvalid, kScenarioIsInvalid, "$.steps[].action", 2, 2}},
      {"missing selector", R"({"name":"n","steps":[{"action":"tap"}]})",
       {"selector.invalid", "selector is invalid", "$.steps[].selector", {}, {}}},
      {"empty selectors", "{\"name\":\"n\",\"steps\":[{\"action\":\"waitAny\",\n\"selectors\":[]}]}",
       {"selector.invalid", "selector is invalid", "$.steps[].selectors", 2, 1}},
      {"missing y1", R"({"name":"n","steps":[{"action":"swipe","x1":1}]})",
       {kInvalid, kScenarioIsInvalid, "$.steps[].y1", {}, {}}},
      {"bad direction", R"({"name":"n","steps":[{"action":"scrollUntilVisible","selector":{},"direction":"left"}]})",
       {kInvalid, kScenarioIsInvalid, "$.steps[].direction", 1, 67}},
      {"non-integer duration", R"({"name":"n","steps":[{"action":"swipe","x1":0,"y1":0,"x2":0,"y2":0,"durationMs":5.0}]})",
       {"internal.error", "OptionalFieldMustBeInteger", {}, {}, {}}},
      {"selector field type", R"({"name":"n","steps":[{"action":"tap","selector":{"text":3}}]})",
       {"internal.error", "SelectorFieldMustBeString", {}, {}, {}}},
  };
  vyx::test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string path = dir.file("s.json");
    vyx::test::writeFile(path, c.text);
    Result r = validateFile(path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, c.want.code);
    EXPECT_EQ(r.message, c.want.message);
    EXPECT_EQ(r.path, c.want.path);
    EXPECT_EQ(r.line, c.want.line);
    EXPECT_EQ(r.column, c.want.column);
    EXPECT_FALSE(r.name.has_value());
    EXPECT_EQ(r.stepCount, 0u);
  }
}

TEST(ValidateFile, ReadFailures) {
  vyx::test::TempDir dir;
  Result missing = validateFile(dir.file("absent.json"));
  EXPECT_EQ(missing.code, "scenario.file_not_found");
  EXPECT_EQ(missing.message, "scenario file was not found");
  EXPECT_FALSE(missing.path || missing.line || missing.column);

  Result isDir = validateFile(dir.path());
  EXPECT_FALSE(isDir.ok);
  EXPECT_EQ(isDir.code, "internal.error");
  EXPECT_EQ(isDir.message, "IsDir");

  // A file of exactly 16 MiB already fails.
  std::string big(16u * 1024 * 1024, ' ');
  vyx::test::writeFile(dir.file("big.json"), big);
  Result tooLong = validateFile(dir.file("big.json"));
  EXPECT_EQ(tooLong.code, "internal.error");
  EXPECT_EQ(tooLong.message, "StreamTooLong");
  EXPECT_FALSE(tooLong.line.has_value());
}

TEST(ValidateFile, ValidCountsTopLevelSteps) {
  vyx::test::TempDir dir;
  vyx::test::writeFile(dir.file("ok.json"),
                       R"({"name":"Login","appId":"com.x","steps":[{"action":"launch"},)"
                       R"({"action":"repeat","times":3,"steps":[{"action":"pressBack"},{"action":"sleep"}]}]})");
  Result r = validateFile(dir.file("ok.json"));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.name, "Login");
  EXPECT_EQ(r.appId, "com.x");
  EXPECT_EQ(r.stepCount, 2u);
  EXPECT_TRUE(r.code.empty());
  EXPECT_FALSE(r.path || r.line || r.column);

  vyx::test::writeFile(dir.file("noapp.json"), R"({"name":"n","steps":[]})");
  Result noApp = validateFile(dir.file("noapp.json"));
  EXPECT_TRUE(noApp.ok);
  EXPECT_FALSE(noApp.appId.has_value());
}

TEST(ValidateFile, ShippedExampleIsValid) {
  Result r = validateFile(vyx::test::sourceDir() + "/examples/smoke.json");
  EXPECT_TRUE(r.ok) << r.code << " " << r.message;
}

TEST(ValidateText, Forms) {
  auto text = [](const Result& r) {
    StringWriter w;
    EXPECT_TRUE(cli_validate::writeText(w, "smoke.json", r).has_value());
    return w.str();
  };
  Result ok{.ok = true, .name = "Login", .stepCount = 1};
  EXPECT_EQ(text(ok), "smoke.json: ok (Login, 1 steps)\n");

  Result full{.code = "scenario.invalid", .message = "scenario is invalid", .path = "$.steps[].url",
              .line = 4, .column = 7};
  EXPECT_EQ(text(full), "smoke.json: invalid [scenario.invalid] scenario is invalid at $.steps[].url line 4 column 7\n");

  Result pathOnly{.code = "scenario.invalid", .message = "scenario is invalid", .path = "$.steps"};
  EXPECT_EQ(text(pathOnly), "smoke.json: invalid [scenario.invalid] scenario is invalid at $.steps\n");

  Result lineOnly{.code = "scenario.invalid", .message = "malformed scenario json", .line = 2, .column = 1};
  EXPECT_EQ(text(lineOnly), "smoke.json: invalid [scenario.invalid] malformed scenario json line 2 column 1\n");
}

}  // namespace
}  // namespace vyx::validation
