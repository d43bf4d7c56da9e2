#include "core/cli_output.hpp"

#include <gtest/gtest.h>

#include "core/json.hpp"
#include "core/validation.hpp"

namespace vyx::cli_output {
namespace {

template <class F>
std::string capture(F&& write) {
  StringWriter w;
  EXPECT_TRUE(write(w));
  return w.take();
}

TEST(CliOutput, ShellSafeSet) {
  EXPECT_TRUE(isShellSafe("azAZ09%+,-./:=@_"));
  for (std::string_view unsafe : {"", " ", "a b", "it's", "\"", "$HOME", "a*", "~", "\xc3\xa9", "a\n", "!", "#"}) {
    EXPECT_FALSE(isShellSafe(unsafe)) << testing::PrintToString(std::string(unsafe));
  }
}

TEST(CliOutput, ShellForms) {
  struct Case {
    std::string_view arg;
    std::string_view shell;  // writeShellArg
    std::string_view json;   // writeShellArgJsonContent
  };
  const Case cases[] = {
      {"flows/smoke.json", "flows/smoke.json", "flows/smoke.json"},
      {"", "''", "''"},
      {"my flow.json", "'my flow.json'", "'my flow.json'"},
      {"it's", R"('it'\''s')", R"('it'\\''s')"},
      {"''", R"(''\'''\''')", R"(''\\'''\\''')"},
      {R"(a"b\c)", R"('a"b\c')", R"('a\"b\\c')"},
      {"tab\there", "'tab\there'", R"('tab\there')"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.arg));
    EXPECT_EQ(capture([&](Writer& w) { return writeShellArg(w, c.arg); }), c.shell);
    EXPECT_EQ(capture([&](Writer& w) { return writeShellArgJsonContent(w, c.arg); }), c.json);
  }
  EXPECT_EQ(capture([](Writer& w) { return writeJsonStringContent(w, "a\"\x08"); }), R"(a\"\u0008)");
}

TEST(CliOutput, JoinedPathAndSuffix) {
  const std::tuple<std::string_view, std::string_view, std::string_view> joined[] = {
      {"traces/run", "report.html", "traces/run/report.html"},
      {"traces/run/", "junit.xml", "traces/run/junit.xml"},
      {"", "report.html", "'report.html'"},
      {"my traces", "report.html", "'my traces/report.html'"},
      {"my traces/", "report.html", "'my traces/report.html'"},
      {"bob's", "junit.xml", R"('bob'\\''s/junit.xml')"},
      {R"(a"b)", "junit.xml", R"('a\"b/junit.xml')"},
  };
  for (const auto& [dir, file, expected] : joined) {
    EXPECT_EQ(capture([&](Writer& w) { return writeJoinedPathShellArgJsonContent(w, dir, file); }), expected) << dir;
  }
  const std::pair<std::string_view, std::string_view> suffixed[] = {
      {"traces/run", "traces/run.vyxtrace"},
      {"", "'.vyxtrace'"},
      {"my run", "'my run.vyxtrace'"},
      {"it's", R"('it'\\''s.vyxtrace')"},
  };
  for (const auto& [path, expected] : suffixed) {
    EXPECT_EQ(capture([&](Writer& w) { return writePathWithSuffixShellArgJsonContent(w, path); }), expected) << path;
  }
}

TEST(CliOutput, ValidationDocument) {
  validation::Result ok;
  ok.ok = true;
  ok.name = "Login \"flow\"";
  ok.appId = "com.example.app";
  ok.stepCount = 4;
  EXPECT_EQ(capture([&](Writer& w) { return writeValidationJson(w, "flows/smoke.json", ok); }),
            R"({"ok":true,"path":"flows/smoke.json","name":"Login \"flow\"","appId":"com.example.app","stepCount":4,)"
            R"("nextCommands":["vyx run flows/smoke.json --json --trace-dir traces/vyx-run"]})"
            "\n");
  ok.appId.reset();
  std::string noApp = capture([&](Writer& w) { return writeValidationJson(w, "my smoke.json", ok); });
  EXPECT_EQ(noApp,
            R"({"ok":true,"path":"my smoke.json","name":"Login \"flow\"","stepCount":4,)"
            R"("nextCommands":["vyx run 'my smoke.json' --json --trace-dir traces/vyx-run"]})"
            "\n");
  EXPECT_TRUE(json::parse(noApp).has_value());

  validation::Result bad;
  bad.code = "scenario.invalid";
  bad.message = "malformed scenario json";
  bad.line = 3;
  bad.column = 7;
  EXPECT_EQ(capture([&](Writer& w) { return writeValidationJson(w, "a.json", bad); }),
            R"({"ok":false,"path":"a.json","errorCode":"scenario.invalid","message":"malformed scenario json",)"
            R"("line":3,"column":7})"
            "\n");
  bad.path = "$.steps[].url";
  bad.line.reset();
  bad.column.reset();
  EXPECT_EQ(capture([&](Writer& w) { return writeValidationJson(w, "a.json", bad); }),
            R"({"ok":false,"path":"a.json","errorCode":"scenario.invalid","message":"malformed scenario json",)"
            R"("fieldPath":"$.steps[].url"})"
            "\n");
}

}  // namespace
}  // namespace vyx::cli_output
