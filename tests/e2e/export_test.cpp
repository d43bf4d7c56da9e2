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

// One set of secrets in every kind of text file a trace holds: an event log
// of one line and one of several, JSON artifacts on one line and spread over
// several, a text log and a UI dump. No copy of any secret leaves in the
// bundle, every JSON text reads back with no key twice in an object, and an
// event line is scrubbed the same way in a log of one line as among others.
TEST(Export, RedactionScrubsEveryFileAlike) {
  std::string python = findProgram("python3");
  if (python.empty()) GTEST_SKIP() << "python3 is not installed (scripts/setup.sh installs it)";
  const std::string secretLine =
      R"({"seq":2,"kind":"ui.text","payload":{"owner@example.com":1,"ann@example.org":2,)"
      R"("text":"Signed in as sam@example.com today","header":"Authorization: Bearer tok3nValue99",)"
      R"("password":"hunter2","xml":"<node resource-id=\"password_field\" text=\"hunter2\"/>"}})";
  const std::string prettyJson =
      "{\n  \"owner@example.com\": 1,\n  \"ann@example.org\": 2,\n"
      "  \"text\": \"Signed in as sam@example.com today\",\n"
      "  \"header\": \"Authorization: Bearer tok3nValue99\",\n  \"password\": \"hunter2\"\n}\n";
  const std::string text =
      "owner@example.com ann@example.org\nSigned in as sam@example.com today\n"
      "Authorization: Bearer tok3nValue99\n<node resource-id=\"password_field\" text=\"hunter2\"/>\n";
  const std::string xml =
      "<hierarchy><node resource-id=\"password_field\" text=\"hunter2\" content-desc=\"owner@example.com\"/>"
      "<node text=\"Signed in as sam@example.com today\" content-desc=\"ann@example.org\"/>"
      "<node text=\"Authorization: Bearer tok3nValue99\"/></hierarchy>\n";

  // Only the string rule and a tag inside a string find the secret here.
  const std::string quietLine =
      R"({"seq":4,"kind":"input","payload":{"password":"hunter2","note":"<node password=\"1\" text=\"hunter2\"/>"}})";

  TempDir dir;
  const std::string logs[] = {
      secretLine + "\n",
      quietLine,
      R"({"seq":1,"kind":"scenario.start","payload":{"name":"s"}})" "\n" + secretLine + "\n" + quietLine + "\n" +
          secretLine + "\n" R"({"seq":3,"kind":"scenario.end","payload":{"status":"passed"}})" "\n",
  };
  std::vector<std::string> bundles;
  for (const std::string& log : logs) {
    std::string t = dir.file("t" + std::to_string(bundles.size()));
    writeFile(t + "/trace.json", R"({"status":"failed","error":"expected \"Signed in as sam@example.com today\""})");
    writeFile(t + "/events.jsonl", log);
    writeFile(t + "/artifacts/one-line.json", secretLine);
    writeFile(t + "/artifacts/pretty.json", prettyJson);
    writeFile(t + "/artifacts/notes.txt", text);
    writeFile(t + "/artifacts/snapshot-1.xml", xml);
    bundles.push_back(t + ".vyxtrace");
    auto r = runVyx({"export", t, "--out", bundles.back(), "--redact"});
    ASSERT_EQ(r.status, 0) << r.err;
  }

  const char* script = R"PY(
import json, sys, tarfile
secrets = ["owner@example.com", "ann@example.org", "sam@example.com", "tok3nValue99", "hunter2"]
def once(pairs):
    keys = [k for k, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError("a key twice: %r" % keys)
    return dict(pairs)
lines = {}
for path in sys.argv[1:]:
    with tarfile.open(path, "r:") as t:
        for m in t.getmembers():
            data = t.extractfile(m).read()
            where = "%s %s" % (path.rsplit("/", 1)[-1], m.name)
            for s in secrets:
                if s.encode() in data:
                    print("%s: %s left" % (where, s))
            if m.name == "events.jsonl":
                docs = [l for l in data.decode().split("\n") if l]
                for l in docs:
                    for seq in ('"seq":2', '"seq":4'):
                        if seq in l:
                            lines.setdefault(seq, []).append(l)
            elif m.name.endswith(".json"):
                docs = [data.decode()]
            else:
                continue
            for doc in docs:
                try:
                    json.loads(doc, object_pairs_hook=once)
                except ValueError as e:
                    print("%s: %s in %r" % (where, e, doc))
for seq, copies in sorted(lines.items()):
    if len(copies) != (3 if seq == '"seq":2' else 2) or len(set(copies)) != 1:
        print("the line %s comes out differently: %r" % (seq, copies))
)PY";
  std::vector<std::string> argv = {python, "-c", script};
  argv.insert(argv.end(), bundles.begin(), bundles.end());
  auto checked = runProgram(argv);
  EXPECT_EQ(checked.status, 0) << checked.err;
  EXPECT_EQ(checked.out, "");
}
