// `vyx explain` through the real binary: argument rules (a leading "--x" is
// a directory), both output forms, and the exit statuses of its failures.
#include <gtest/gtest.h>

#include "vyx_test.hpp"

using vyx::test::runVyx;
using vyx::test::TempDir;
using vyx::test::writeFile;

namespace {

const std::string kUnknownFlag =
    "error[cli.unknown_flag]: unknown flag\nhint: run `vyx help` for each command's flags and arguments.\n";

void writeTrace(const std::string& dir) {
  writeFile(dir + "/trace.json", R"({"scenarioName":"smoke","appId":"a.b","status":"passed","eventCount":1})");
  writeFile(dir + "/events.jsonl", R"({"seq":1,"kind":"scenario.end","payload":{"status":"passed"}})" "\n");
}

}  // namespace

TEST(Explain, TextAndJsonForms) {
  TempDir dir;
  writeTrace(dir.file("t"));
  vyx::test::RunOptions in;
  in.cwd = dir.path();

  auto text = runVyx({"explain", "t"}, in);
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out, "VYX trace explanation\nscenario: smoke\nappId: a.b\nstatus: passed\nevents: 1\n"
                      "lastEvent: scenario.end\n");
  EXPECT_EQ(text.err, "");

  const std::string json =
      R"({"ok":true,"traceDir":"t","scenario":"smoke","status":"passed","appId":"a.b","eventCount":1,)"
      R"("lastEvent":"scenario.end","nextCommands":["vyx report t --out t/report.html --junit t/junit.xml",)"
      R"("vyx export t --out t.vyxtrace --redact"]})"
      "\n";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"explain", "t", "--json"}, {"explain", "--json", "t"}, {"explain", "--json", "t", "--json"}}) {
    auto r = runVyx(args, in);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, json);
  }
}

TEST(Explain, LeadingDoubleDashWordIsTheDirectory) {
  TempDir dir;
  writeTrace(dir.file("--x"));
  vyx::test::RunOptions in;
  in.cwd = dir.path();
  auto r = runVyx({"explain", "--json", "--x"}, in);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind(R"({"ok":true,"traceDir":"--x",)", 0), 0u) << r.out;
}

TEST(Explain, Failures) {
  TempDir dir;
  writeTrace(dir.file("t"));
  writeFile(dir.file("bad/trace.json"), "\"text\"");
  vyx::test::RunOptions in;
  in.cwd = dir.path();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"explain"}, 2, "error[cli.missing_trace_dir]: missing trace directory\n"},
      {{"explain", "--json"}, 2, "error[cli.missing_trace_dir]: missing trace directory\n"},
      {{"explain", "t", "u"}, 2, kUnknownFlag},
      {{"explain", "t", "--x"}, 2, kUnknownFlag},
      {{"explain", "missing"}, 1, "error[scenario.file_not_found]: scenario file was not found\n"},
      {{"explain", "bad", "--json"}, 1, "error[trace.invalid_manifest]: trace manifest is invalid\n"},
  };
  for (const Case& c : cases) {
    auto r = runVyx(c.args, in);
    EXPECT_EQ(r.status, c.status) << c.args.back();
    EXPECT_EQ(r.out, "") << c.args.back();
    EXPECT_EQ(r.err, c.err) << c.args.back();
  }
}
