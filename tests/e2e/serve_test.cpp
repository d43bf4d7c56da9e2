// `vyx serve` and `vyx mcp` through the real binary against the fake Android
// device: a session driven by a Python JSON-RPC client over standard input
// and output and over TCP, flag errors and their exit statuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "vyx_test.hpp"

using vyx::test::ProcResult;
using vyx::test::readFile;
using vyx::test::runProgram;
using vyx::test::runVyx;
using vyx::test::TempDir;
using vyx::test::writeFile;

namespace {

const std::string kScreen =
    R"(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation="0">)"
    R"(<node index="0" text="" resource-id="" class="android.widget.FrameLayout" package="com.example.app" )"
    R"(content-desc="" enabled="true" selected="false" bounds="[0,0][1080,2400]">)"
    R"(<node index="0" text="" resource-id="com.example.app:id/email" class="android.widget.EditText" )"
    R"(package="com.example.app" content-desc="Email" enabled="true" selected="false" bounds="[40,80][1040,180]" />)"
    R"(<node index="1" text="Sign in" resource-id="com.example.app:id/sign_in" class="android.widget.Button" )"
    R"(package="com.example.app" content-desc="" enabled="true" selected="false" bounds="[40,200][1040,320]" />)"
    R"(</node></hierarchy>)";

class Serve : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(device() + "/ui.xml", kScreen);
    writeFile(device() + "/window.txt",
              "  mCurrentFocus=Window{42 u0 com.example.app/com.example.app.MainActivity}\n");
    writeFile(device() + "/wm-size.txt", "Physical size: 1080x2400\n");
    writeFile(device() + "/wm-density.txt", "Physical density: 420\n");
  }
  std::string device() const { return dir.file("device"); }
  std::string adb() const { return vyx::test::fakesDir() + "/adb"; }

  vyx::test::RunOptions options(std::string input = {}) const {
    vyx::test::RunOptions o;
    o.cwd = dir.path();
    o.stdinData = std::move(input);
    o.env["VYX_FAKE_ANDROID_DIR"] = device();
    return o;
  }

  ProcResult client(const std::string& transport, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> argv = {"/usr/bin/env", "python3", vyx::test::sourceDir() + "/tests/e2e/serve_client.py", "--vyx",
                                     vyx::test::vyxBinary(), "--adb", adb(), "--work", dir.path(),
                                     "--transport", transport};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return runProgram(argv, options());
  }

  TempDir dir;
};

// The whole road: a live session drafted into a scenario and exported as a
// bundle; the drafted scenario then passes `vyx run` on the same device.
TEST_F(Serve, PythonClientOverStandardStreams) {
  ProcResult r = client("stdio", {"--draft", dir.file("drafted.json"), "--bundle", dir.file("session.vyxtrace")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::string manifest = readFile(dir.file("trace-stdio/trace.json"));
  EXPECT_NE(manifest.find(R"("scenarioName":"json-rpc session")"), std::string::npos);
  EXPECT_NE(manifest.find(R"("status":"running")"), std::string::npos);

  ProcResult listing = runProgram({"/usr/bin/env", "tar", "-tf", dir.file("session.vyxtrace")});
  EXPECT_EQ(listing.status, 0) << listing.err;
  EXPECT_NE(listing.out.find("trace.json\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("events.jsonl\n"), std::string::npos) << listing.out;

  ProcResult run = runVyx({"run", dir.file("drafted.json"), "--adb", adb()}, options());
  EXPECT_EQ(run.status, 0) << readFile(dir.file("drafted.json")) << run.err;
}

TEST_F(Serve, PythonClientOverTcp) {
  ProcResult r = client("tcp");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
}

TEST_F(Serve, StartupErrorsAndQuietEnds) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err;
  };
  const Case cases[] = {
      {{"mcp", "--transport", "stdio"}, 2, "error[cli.unknown_flag]: unknown flag\n"},
      {{"serve", "--port"}, 1, "error[internal.error]: MissingPort\n"},
      {{"serve", "--port", "70000"}, 1, "error[internal.error]: Overflow\n"},
      {{"serve", "--port", "80x"}, 1, "error[internal.error]: InvalidCharacter\n"},
      {{"serve", "--transport", "http"}, 2, "error[cli.unsupported_transport]: unsupported transport\n"},
      {{"serve", "--platform", "web"}, 2, "error[cli.unsupported_platform]: unsupported platform\n"},
  };
  for (const Case& c : cases) {
    ProcResult r = runVyx(c.args, options());
    EXPECT_EQ(r.status, c.status) << c.args[1];
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  // Blank input: no output, status 0; the last line needs no line feed.
  for (const char* command : {"serve", "mcp"}) {
    ProcResult blank = runVyx({command}, options(" \n\t\r\n\n"));
    EXPECT_EQ(blank.status, 0);
    EXPECT_EQ(blank.out, "");
  }
  ProcResult last = runVyx({"serve", "--port", "1"}, options(R"({"id":1,"method":"session.close"})"));
  EXPECT_EQ(last.status, 0);
  EXPECT_EQ(last.out, R"({"jsonrpc":"2.0","id":1,"result":true})" "\n");
}

TEST_F(Serve, ClosedOutputEndsTheServer) {
  auto o = options(std::string(2000, '\n') + R"({"id":1,"method":"runner.capabilities"})" "\n");
  o.closeStdoutEarly = true;
  ProcResult r = runVyx({"serve"}, o);
  EXPECT_EQ(r.status, 141) << r.err;
  EXPECT_EQ(r.err, "");
}

}  // namespace

// A session that fills its event log: 40 requests with a 1 MB id leave well
// over 64 MiB of events. Every request is still answered as without a
// trace, the log stays below what its readers take, ends with the one
// "trace.events" event and counts one partial failure, and the readers
// (explain, report, the session's own trace.explain) read it whole.
TEST_F(Serve, TracedSessionOutlivesAFullEventLog) {
  const std::string bigId(1000000, 'i');
  std::string input;
  for (int i = 0; i < 40; ++i) {
    input += R"({"jsonrpc":"2.0","id":")" + bigId + std::to_string(i) + R"(","method":"runner.capabilities"})" "\n";
  }
  for (int i = 0; i < 3; ++i) input += R"({"jsonrpc":"2.0","id":7,"method":"runner.capabilities"})" "\n";

  ProcResult plain = runVyx({"serve", "--adb", adb()}, options(input));
  ASSERT_EQ(plain.status, 0) << plain.err;
  ProcResult traced = runVyx({"serve", "--adb", adb(), "--trace-dir", "t"},
                             options(input + R"({"jsonrpc":"2.0","id":8,"method":"trace.explain"})" "\n"));
  ASSERT_EQ(traced.status, 0) << traced.err;
  EXPECT_EQ(traced.err, "");
  ASSERT_GT(traced.out.size(), plain.out.size());
  EXPECT_EQ(traced.out.substr(0, plain.out.size()), plain.out);
  std::string explained = traced.out.substr(plain.out.size());
  EXPECT_EQ(explained.rfind(R"({"jsonrpc":"2.0","id":8,"result":)", 0), 0u) << explained.substr(0, 200);
  EXPECT_EQ(std::count(explained.begin(), explained.end(), '\n'), 1);

  std::string log = readFile(dir.file("t/events.jsonl"));
  EXPECT_GT(log.size(), 60u * 1024 * 1024);
  EXPECT_LT(log.size(), 64u * 1024 * 1024);
  size_t last = log.rfind('\n', log.size() - 2);
  EXPECT_NE(log.substr(last + 1).find(R"(,"kind":"trace.events","payload":{"status":"failed","error":"StreamTooLong"}})"
                                      "\n"),
            std::string::npos);
  std::string manifest = readFile(dir.file("t/trace.json"));
  EXPECT_NE(manifest.find(R"("status":"running")"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find(R"("partialFailureCount":1,)"), std::string::npos) << manifest;

  ProcResult explain = runVyx({"explain", "t"}, options());
  EXPECT_EQ(explain.status, 0) << explain.err;
  EXPECT_NE(explain.out.find("trace.events"), std::string::npos) << explain.out;
  ProcResult report = runVyx({"report", "t", "--out", "t/report.html"}, options());
  EXPECT_EQ(report.status, 0) << report.err;
  EXPECT_TRUE(vyx::test::fileExists(dir.file("t/report.html")));
}
