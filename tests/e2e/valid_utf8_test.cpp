// Bytes that are not UTF-8 in what vyx reads (a device's screen and log, a
// scenario, a server request, a trace from elsewhere) leave every JSON that
// vyx writes as valid UTF-8, each ill-formed subpart as U+FFFD. Python's
// strict UTF-8 decoder and its JSON reader judge the output.
#include <gtest/gtest.h>

#include <filesystem>

#include "vyx_test.hpp"

using vyx::test::ProcResult;
using vyx::test::readFile;
using vyx::test::runProgram;
using vyx::test::runVyx;
using vyx::test::TempDir;
using vyx::test::writeFile;

namespace {

#define R3 "\xef\xbf\xbd"  // U+FFFD

// Reads each file (or each .json / .jsonl member of a .vyxtrace archive) as
// strict UTF-8 and parses it as JSON, a .jsonl file line by line; prints one
// line per failure.
const char* kJudge = R"(
import json, sys, tarfile
def judge(name, data, lines):
    try:
        text = data.decode('utf-8')
        for doc in (text.splitlines() if lines else [text]):
            if doc.strip():
                json.loads(doc)
    except Exception as e:
        print(name + ': ' + str(e))
for path in sys.argv[1:]:
    if path.endswith('.vyxtrace'):
        with tarfile.open(path, 'r:') as t:
            for m in t.getmembers():
                if m.name.endswith('.json') or m.name.endswith('.jsonl'):
                    judge(path + ':' + m.name, t.extractfile(m).read(), m.name.endswith('.jsonl'))
    else:
        judge(path, open(path, 'rb').read(), path.endswith('.jsonl') or path.endswith('.out'))
)";

// A screen whose one label holds "Café", a stray FF and an overlong C0 AF.
const std::string kScreen =
    "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation=\"0\">"
    "<node index=\"0\" text=\"Caf\xc3\xa9 \xff\xc0\xaf\" resource-id=\"com.example.app:id/title\" "
    "class=\"android.widget.TextView\" package=\"com.example.app\" content-desc=\"\" enabled=\"true\" "
    "selected=\"false\" bounds=\"[0,0][1080,2400]\" /></hierarchy>";
const std::string kScreenText = "Caf\xc3\xa9 " R3 R3 R3;

class ValidUtf8 : public ::testing::Test {
 protected:
  std::string file(const std::string& name) const { return dir.file(name); }

  // Judges the files; the failures, empty when all are valid.
  std::string judge(const std::vector<std::string>& paths) const {
    std::vector<std::string> argv = {"/usr/bin/env", "python3", "-c", kJudge};
    for (const std::string& p : paths) argv.push_back(file(p));
    ProcResult r = runProgram(argv);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }

  // Standard output kept in a file for the judge.
  std::string saveOutput(const std::string& name, const ProcResult& r) const {
    writeFile(file(name + ".out"), r.out);
    return name + ".out";
  }

  TempDir dir;
};

TEST_F(ValidUtf8, RunTraceAndSummaryOfADeviceWithStrayBytes) {
  writeFile(file("device/ui.xml"), kScreen);
  writeFile(file("device/window.txt"), "  mCurrentFocus=Window{42 u0 com.example.app/com.example.app.Main}\n");
  writeFile(file("device/wm-size.txt"), "Physical size: 1080x2400\n");
  writeFile(file("device/logcat.txt"), "I/app: cut short \xe2\x82\n" "E/app: surrogate \xed\xa0\x80 end\n");
  // The scenario's name carries a stray byte too; the wait for a missing
  // label fails, so the diagnostics list the screen's texts.
  writeFile(file("s.json"), "{\"name\":\"smoke \xfe\",\"appId\":\"com.example.app\",\"steps\":["
                            "{\"action\":\"snapshot\"},"
                            "{\"action\":\"waitVisible\",\"selector\":{\"text\":\"Welcome\"},\"timeoutMs\":0}]}");
  vyx::test::RunOptions o;
  o.cwd = dir.path();
  o.env["VYX_FAKE_ANDROID_DIR"] = file("device");
  ProcResult r = runVyx({"run", "s.json", "--adb", vyx::test::fakesDir() + "/adb", "--device", "emulator-5554",
                         "--trace-dir", "t", "--json"},
                        o);
  ASSERT_EQ(r.status, 1) << r.err;

  std::vector<std::string> outputs = {saveOutput("run", r), "t/trace.json", "t/events.jsonl"};
  for (const auto& entry : std::filesystem::directory_iterator(file("t/artifacts"))) {
    if (entry.path().extension() == ".json") outputs.push_back("t/artifacts/" + entry.path().filename().string());
  }
  ASSERT_GE(outputs.size(), 4u) << "no snapshot JSON";
  EXPECT_EQ(judge(outputs), "");

  EXPECT_NE(r.out.find("\"scenario\":\"smoke " R3 "\""), std::string::npos) << r.out;
  EXPECT_NE(readFile(file("t/trace.json")).find("\"scenarioName\":\"smoke " R3 "\""), std::string::npos);
  std::string events = readFile(file("t/events.jsonl"));
  EXPECT_NE(events.find("\"" + kScreenText + "\""), std::string::npos) << events;
  std::string snapshot = readFile(file(outputs[3]));
  EXPECT_NE(snapshot.find("\"text\":\"" + kScreenText + "\""), std::string::npos) << snapshot;
  EXPECT_NE(snapshot.find("cut short " R3 "\\nE/app: surrogate " R3 R3 R3 " end"), std::string::npos) << snapshot;
}

// A trace from elsewhere with stray bytes: the explanation and the redacted
// bundle's rewritten JSON (parsed documents, and an event log, which is
// scrubbed as text) come out valid.
TEST_F(ValidUtf8, ExplanationAndRedactedBundleOfAForeignTrace) {
  writeFile(file("t/trace.json"), "{\"schemaVersion\":1,\"scenarioName\":\"s\xff\",\"status\":\"failed\","
                                  "\"error\":\"Wait\xc0Timeout\",\"eventsPath\":\"events.jsonl\","
                                  "\"artifactsDir\":\"artifacts\",\"failedStepIndex\":0}\n");
  writeFile(file("t/events.jsonl"),
            "{\"seq\":1,\"timestampMs\":1,\"kind\":\"scenario.start\",\"payload\":{\"name\":\"s\xff\"}}\n"
            "{\"seq\":2,\"timestampMs\":2,\"kind\":\"scenario.end\",\"payload\":{\"status\":\"failed\","
            "\"error\":\"Wait\xc0Timeout\",\"failedStepIndex\":0}}\n");
  writeFile(file("t/artifacts/snapshot-1.json"), "{\"nodes\":[{\"text\":\"x\xf4\x90\x80\x80y\"}]}");

  ProcResult explained = runVyx({"explain", file("t"), "--json"});
  ASSERT_EQ(explained.status, 0) << explained.err;
  EXPECT_NE(explained.out.find("s" R3), std::string::npos) << explained.out;

  ProcResult exported = runVyx({"export", file("t"), "--out", file("b.vyxtrace"), "--redact"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(judge({saveOutput("explain", explained), "b.vyxtrace"}), "");
  ProcResult listed = runProgram({"/usr/bin/env", "tar", "-xOf", file("b.vyxtrace"), "events.jsonl",
                                  "artifacts/snapshot-1.json"});
  EXPECT_NE(listed.out.find("\"name\":\"s" R3 "\""), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("\"text\":\"x" R3 R3 R3 R3 "y\""), std::string::npos) << listed.out;
}

// Both servers echo a request's string id; a method or tool name with stray
// bytes reaches the live trace.
TEST_F(ValidUtf8, ServerRepliesEchoStrayBytesAsReplacements) {
  vyx::test::RunOptions o;
  o.cwd = dir.path();
  o.stdinData = "{\"jsonrpc\":\"2.0\",\"id\":\"r\xff\",\"method\":\"no.such\xc0\"}\n"
                "{\"jsonrpc\":\"2.0\",\"id\":2,\"method\":\"session.close\"}\n";
  ProcResult serve = runVyx({"serve", "--trace-dir", "tr"}, o);
  ASSERT_EQ(serve.status, 0) << serve.err;
  EXPECT_NE(serve.out.find("\"id\":\"r" R3 "\""), std::string::npos) << serve.out;

  o.stdinData = "{\"jsonrpc\":\"2.0\",\"id\":\"m\xe0\x80\",\"method\":\"tools/call\","
                "\"params\":{\"name\":\"tap\xff\",\"arguments\":{}}}\n";
  ProcResult mcp = runVyx({"mcp"}, o);
  ASSERT_EQ(mcp.status, 0) << mcp.err;
  EXPECT_NE(mcp.out.find("\"id\":\"m" R3 R3 "\""), std::string::npos) << mcp.out;

  EXPECT_EQ(judge({saveOutput("serve", serve), saveOutput("mcp", mcp), "tr/events.jsonl", "tr/trace.json"}), "");
  EXPECT_NE(readFile(file("tr/events.jsonl")).find("no.such" R3), std::string::npos);
}

#undef R3

}  // namespace
