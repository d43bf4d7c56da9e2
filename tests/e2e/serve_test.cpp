// `vyx serve` and `vyx mcp` through the real binary against the fake Android
// device: a session driven by a Python JSON-RPC client over standard input
// and output and over TCP, flag errors and their exit statuses.
#include <gtest/gtest.h>

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
