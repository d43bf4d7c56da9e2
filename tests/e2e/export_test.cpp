// `vyx export` through the real binary: argument rules, what it prints, and
// bundles that GNU tar and Python's tarfile read back with the fixed modes,
// owners, times and entry order, identical from one export to the next.
#include <gtest/gtest.h>

#include "programs.hpp"
#include "vyx_test.hpp"

using vyx::test::findProgram;
using vyx::test::readFile;
using vyx::test::runProgram;
using vyx::test::runVyx;
using vyx::test::TempDir;
using vyx::test::writeFile;

namespace {

const std::string kUnknownFlag =
    "error[cli.unknown_flag]: unknown flag\nhint: run `vyx help` for each command's flags and arguments.\n";

const std::string kLongDir = "artifacts/" + std::string(70, 'd');
const std::string kLongName = kLongDir + "/" + std::string(60, 'f') + ".xml";

void writeTrace(const std::string& t) {
  writeFile(t + "/trace.json", R"({"scenarioName":"smoke","status":"passed","token":"abc"})" "\n");
  writeFile(t + "/events.jsonl", R"({"seq":1,"kind":"scenario.end","payload":{"status":"passed"}})" "\n");
  writeFile(t + "/report.html", "<!doctype html>");
  writeFile(t + "/artifacts/snapshot-2.json", "{}");
  writeFile(t + "/artifacts/snapshot-10.json", "{}");
  writeFile(t + "/artifacts/snapshot-1.png", std::string(700, 'p'));
  writeFile(t + "/" + kLongName, "<hierarchy/>");
}

const std::vector<std::string> kOrder = {"trace.json",
                                         "events.jsonl",
                                         "report.html",
                                         kLongName,
                                         "artifacts/snapshot-1.png",
                                         "artifacts/snapshot-10.json",
                                         "artifacts/snapshot-2.json"};

}  // namespace

TEST(Export, WritesAndPrints) {
  TempDir dir;
  writeTrace(dir.file("t"));
  vyx::test::RunOptions in;
  in.cwd = dir.path();
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"export", "t", "--out", "a.vyxtrace"}, "a.vyxtrace"},
      {{"export", "--out", "x", "t", "--out", "b.vyxtrace"}, "b.vyxtrace"},
      {{"export", "--omit-screenshots", "t", "--out", "c.vyxtrace"}, "c.vyxtrace"},
      {{"export", "--out", "d.vyxtrace", "--redact", "t"}, "d.vyxtrace"},
  };
  for (const Case& c : cases) {
    auto r = runVyx(c.args, in);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wrote " + c.out + "\n");
    EXPECT_EQ(r.err, "");
  }
  EXPECT_FALSE(vyx::test::fileExists(dir.file("x")));
  EXPECT_EQ(readFile(dir.file("a.vyxtrace")), readFile(dir.file("b.vyxtrace"))) << "two exports are identical";
  std::string omitted = readFile(dir.file("c.vyxtrace"));
  EXPECT_EQ(omitted.find("snapshot-1.png"), std::string::npos);
  EXPECT_NE(omitted.find(R"("screenshots":"omitted")"), std::string::npos);
  std::string redacted = readFile(dir.file("d.vyxtrace"));
  EXPECT_NE(redacted.find("snapshot-1.png"), std::string::npos);
  EXPECT_NE(redacted.find(R"("token":"[REDACTED:secret]")"), std::string::npos);
}

TEST(Export, Failures) {
  TempDir dir;
  writeTrace(dir.file("t"));
  writeFile(dir.file("nolog/trace.json"), "{}");
  vyx::test::RunOptions in;
  in.cwd = dir.path();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::string noDir = "error[cli.missing_trace_dir]: missing trace directory\n";
  const std::string noOut = "error[cli.missing_trace_bundle_output]: missing trace bundle output path\n";
  const Case cases[] = {
      {{"export"}, 2, noDir},
      {{"export", "--out", "b.vyxtrace"}, 2, noDir},
      {{"export", "t"}, 2, noOut},
      {{"export", "t", "--out"}, 2, noOut},
      {{"export", "t", "--redact", "--out"}, 2, noOut},
      {{"export", "--x", "--out", "b.vyxtrace"}, 2, kUnknownFlag},
      {{"export", "t", "--", "--out", "b.vyxtrace"}, 2, kUnknownFlag},
      {{"export", "t", "u", "--out", "b.vyxtrace"}, 2, kUnknownFlag},
      {{"export", "missing", "--out", "b.vyxtrace"}, 1, "error[internal.error]: MissingTraceManifest\n"},
      {{"export", "nolog", "--out", "b.vyxtrace"}, 1, "error[internal.error]: MissingTraceEvents\n"},
      {{"export", "t", "--out", "no/such/dir/b.vyxtrace"}, 1,
       "error[scenario.file_not_found]: scenario file was not found\n"},
  };
  for (const Case& c : cases) {
    auto r = runVyx(c.args, in);
    EXPECT_EQ(r.status, c.status) << c.args.back();
    EXPECT_EQ(r.out, "") << c.args.back();
    EXPECT_EQ(r.err, c.err) << c.args.back();
  }
  EXPECT_FALSE(vyx::test::fileExists(dir.file("b.vyxtrace")));
}

TEST(Export, GnuTarListsTheBundle) {
  std::string tar = findProgram("tar");
  if (tar.empty()) GTEST_SKIP() << "GNU tar is not installed (scripts/setup.sh installs it)";
  TempDir dir;
  writeTrace(dir.file("t"));
  ASSERT_EQ(runVyx({"export", dir.file("t"), "--out", dir.file("b.vyxtrace")}).status, 0);

  auto list = runProgram({tar, "--numeric-owner", "--full-time", "-tvf", dir.file("b.vyxtrace")});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.err, "");
  auto lines = vyx::test::splitLines(list.out);
  ASSERT_EQ(lines.size(), kOrder.size()) << list.out;
  for (size_t i = 0; i < kOrder.size(); ++i) {
    EXPECT_EQ(lines[i].rfind("-rw-r--r-- 0/0 ", 0), 0u) << lines[i];
    EXPECT_NE(lines[i].find(" 1970-01-01 00:00:00 " + kOrder[i]), std::string::npos) << lines[i];
    EXPECT_EQ(lines[i].substr(lines[i].size() - kOrder[i].size()), kOrder[i]);
  }
  auto extract = runProgram({tar, "-xOf", dir.file("b.vyxtrace"), kLongName});
  EXPECT_EQ(extract.out, "<hierarchy/>");
}

TEST(Export, PythonTarfileReadsTheBundle) {
  std::string python = findProgram("python3");
  if (python.empty()) GTEST_SKIP() << "python3 is not installed (scripts/setup.sh installs it)";
  TempDir dir;
  writeTrace(dir.file("t"));
  ASSERT_EQ(runVyx({"export", dir.file("t"), "--out", dir.file("b.vyxtrace"), "--redact"}).status, 0);
  const char* script =
      "import sys, tarfile\n"
      "with tarfile.open(sys.argv[1], 'r:') as t:\n"
      "    for m in t.getmembers():\n"
      "        data = t.extractfile(m).read()\n"
      "        print(m.name, oct(m.mode), m.uid, m.gid, m.mtime, m.type.decode(), m.size == len(data))\n";
  auto r = runProgram({python, "-c", script, dir.file("b.vyxtrace")});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = vyx::test::splitLines(r.out);
  ASSERT_EQ(lines.size(), kOrder.size()) << r.out;
  for (size_t i = 0; i < kOrder.size(); ++i) {
    EXPECT_EQ(lines[i], kOrder[i] + " 0o644 0 0 0 0 True") << lines[i];
  }
}
