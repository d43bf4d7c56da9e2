// `vyx validate` through the real binary: output forms, exit statuses, and
// nothing on standard error for an invalid scenario.
#include <gtest/gtest.h>

#include "vyx_test.hpp"

using vyx::test::runVyx;
using vyx::test::TempDir;
using vyx::test::writeFile;

TEST(Validate, ValidScenarioTextAndJson) {
  TempDir dir;
  writeFile(dir.file("smoke.json"), R"({"name":"Login","steps":[{"action":"launch"}]})");
  vyx::test::RunOptions in;
  in.cwd = dir.path();

  auto text = runVyx({"validate", "smoke.json"}, in);
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out, "smoke.json: ok (Login, 1 steps)\n");
  EXPECT_EQ(text.err, "");

  auto json = runVyx({"validate", "--json", "smoke.json", "--json"}, in);
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.out,
            R"({"ok":true,"path":"smoke.json","name":"Login","stepCount":1,)"
            R"("nextCommands":["vyx run smoke.json --json --trace-dir traces/vyx-run"]})"
            "\n");
  EXPECT_EQ(json.err, "");
}

TEST(Validate, InvalidScenarioExitsOneSilently) {
  TempDir dir;
  writeFile(dir.file("bad.json"), "{\"name\":\"n\",\n\"steps\":[{\"action\":\"openLink\",\"url\":5}]}");
  writeFile(dir.file("nourl.json"), "{\"name\":\"n\",\n  \"steps\":[{\"action\":\"openLink\"}]}");
  writeFile(dir.file("broken.json"), "{\"name\":\n");
  vyx::test::RunOptions in;
  in.cwd = dir.path();

  auto typed = runVyx({"validate", "bad.json"}, in);
  EXPECT_EQ(typed.status, 1);
  EXPECT_EQ(typed.out, "bad.json: invalid [internal.error] RequiredFieldMustBeString\n");
  EXPECT_EQ(typed.err, "");

  auto noUrl = runVyx({"validate", "nourl.json"}, in);
  EXPECT_EQ(noUrl.status, 1);
  EXPECT_EQ(noUrl.out, "nourl.json: invalid [scenario.invalid] scenario is invalid at $.steps[].url\n");

  auto malformed = runVyx({"validate", "broken.json", "--json"}, in);
  EXPECT_EQ(malformed.status, 1);
  EXPECT_EQ(malformed.out,
            R"({"ok":false,"path":"broken.json","errorCode":"scenario.invalid",)"
            R"("message":"malformed scenario json","line":2,"column":1})"
            "\n");
  EXPECT_EQ(malformed.err, "");

  auto missing = runVyx({"validate", "absent.json"}, in);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "absent.json: invalid [scenario.file_not_found] scenario file was not found\n");
  EXPECT_EQ(missing.err, "");
}

TEST(Validate, ArgumentErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::string unknownFlag =
      "error[cli.unknown_flag]: unknown flag\nhint: run `vyx help` for each command's flags and arguments.\n";
  const Case cases[] = {
      {{"validate"}, "error[cli.missing_scenario]: missing scenario path\n"},
      {{"validate", "--json"}, "error[cli.missing_scenario]: missing scenario path\n"},
      {{"validate", "a.json", "b.json"}, unknownFlag},
      {{"validate", "--", "a.json"}, unknownFlag},
      {{"validate", "a.json", "--strict"}, unknownFlag},
  };
  for (const Case& c : cases) {
    auto r = runVyx(c.args);
    EXPECT_EQ(r.status, 2) << c.args.back();
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(Validate, ClosedStdoutIsReportedAsBrokenPipe) {
  TempDir dir;
  writeFile(dir.file("bad.json"), "[]");
  vyx::test::RunOptions in;
  in.cwd = dir.path();
  in.closeStdoutEarly = true;
  auto r = runVyx({"validate", "bad.json"}, in);
  EXPECT_EQ(r.status, 141);
  EXPECT_EQ(r.err, "");
}

TEST(Validate, ShippedExample) {
  auto r = runVyx({"validate", vyx::test::sourceDir() + "/examples/smoke.json"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.err, "");
}
