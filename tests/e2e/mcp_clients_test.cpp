// `vyx mcp` judged by real MCP clients against the fake Android device: the
// official TypeScript SDK client (connect, list tools, call snapshot, tap,
// scenario_validate and trace_explain) and the MCP inspector's command line.
// Both are installed into tests/mcp_client by scripts/setup.sh.
#include <gtest/gtest.h>

#include "vyx_test.hpp"

using vyx::test::ProcResult;
using vyx::test::runProgram;
using vyx::test::TempDir;
using vyx::test::writeFile;

namespace {

const std::string kScreen =
    R"(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation="0">)"
    R"(<node index="0" text="Sign in" resource-id="com.example.app:id/sign_in" class="android.widget.Button" )"
    R"(package="com.example.app" content-desc="" enabled="true" selected="false" bounds="[40,200][1040,320]" />)"
    R"(</hierarchy>)";

class McpClients : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!vyx::test::fileExists(clients() + "/node_modules/@modelcontextprotocol/sdk/package.json")) {
      GTEST_SKIP() << "the MCP clients are not installed in tests/mcp_client (scripts/setup.sh installs them)";
    }
    writeFile(dir.file("device/ui.xml"), kScreen);
    writeFile(dir.file("device/wm-size.txt"), "Physical size: 1080x2400\n");
    writeFile(dir.file("scenario.json"), R"({"name":"smoke","steps":[{"action":"launch"}]})");
  }
  static std::string clients() { return vyx::test::sourceDir() + "/tests/mcp_client"; }
  vyx::test::RunOptions options() const {
    vyx::test::RunOptions o;
    o.cwd = clients();
    o.env["VYX_FAKE_ANDROID_DIR"] = dir.file("device");
    return o;
  }
  ProcResult inspector(std::vector<std::string> args) const {
    std::vector<std::string> argv = {"/usr/bin/env", "node", clients() + "/node_modules/.bin/mcp-inspector", "--cli",
                                     vyx::test::vyxBinary(), "mcp", "--adb", vyx::test::fakesDir() + "/adb"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, options());
  }

  TempDir dir;
};

TEST_F(McpClients, TypeScriptSdkClient) {
  ProcResult r = runProgram({"/usr/bin/env", "node", clients() + "/sdk_client.mjs", vyx::test::vyxBinary(),
                             vyx::test::fakesDir() + "/adb", dir.file("trace"), dir.file("scenario.json")},
                            options());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ok trace_explain\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("client errors: none\n"), std::string::npos) << r.out;
}

TEST_F(McpClients, InspectorCommandLine) {
  if (!vyx::test::fileExists(clients() + "/node_modules/.bin/mcp-inspector")) {
    GTEST_SKIP() << "the MCP inspector is not installed in tests/mcp_client (scripts/setup.sh installs it)";
  }
  ProcResult list = inspector({"--method", "tools/list"});
  EXPECT_EQ(list.status, 0) << list.out << list.err;
  EXPECT_NE(list.out.find("\"name\": \"trace_export\""), std::string::npos) << list.out;

  ProcResult call = inspector({"--method", "tools/call", "--tool-name", "scenario_validate", "--tool-arg",
                               "path=" + dir.file("scenario.json")});
  EXPECT_EQ(call.status, 0) << call.out << call.err;
  EXPECT_NE(call.out.find(R"(\"ok\":true)"), std::string::npos) << call.out;
}

}  // namespace
