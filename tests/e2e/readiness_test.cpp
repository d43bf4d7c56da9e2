// The checkout readiness command through the real binary: readiness of an app checkout, its
// platform sections and the recommended commands.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/json.hpp"
#include "vyx_test.hpp"

using vyx::test::ProcResult;
using vyx::test::TempDir;
using vyx::test::writeFile;
using Argv = std::vector<std::string>;

namespace {

const std::string kTail =
    R"("claimsPolicy":["verify runs with trace evidence before making readiness claims",)"
    R"("do not claim Flutter widget-tree inspection"],)"
    R"("limitations":["inspect is read-only and does not launch devices",)"
    R"("autonomous crawling is not shipped; generate or edit scenarios for human review"]})"
    "\n";

class CheckoutReadiness : public ::testing::Test {
 protected:
  ProcResult vyx(Argv args) {
    args.insert(args.begin(), "inspect");
    vyx::test::RunOptions o;
    o.cwd = dir.path();
    return vyx::test::runVyx(args, o);
  }
  TempDir dir;
};

TEST_F(CheckoutReadiness, EmptyDirectoryNeedsSetup) {
  auto json = vyx({"--json"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out,
            R"({"ok":false,"status":"needs-setup","schemaVersion":1,"runnerVersion":"0.2.9",)"
            R"("protocolVersion":"2026-04-28","dir":".","configPath":"./.vyx/config.json","configExists":false,)"
            R"("agentInstructionsPath":"./.vyx/AGENTS.md","agentInstructionsExists":false,"platforms":[],)"
            R"("recommendedCommands":["vyx init --app --dir ."],)" +
                kTail);
  auto text = vyx({});
  EXPECT_EQ(text.out, "status\tneeds-setup\nconfig\tmissing\t./.vyx/config.json\n"
                      "agentInstructions\tmissing\t./.vyx/AGENTS.md\n");
  // Directories that need quoting in the init command.
  auto spaced = vyx({"--json", "--dir", "my app"});
  EXPECT_NE(spaced.out.find(R"("recommendedCommands":["vyx init --app --dir 'my app'"])"), std::string::npos)
      << spaced.out;
  auto quoted = vyx({"--json", "--dir", "it's"});
  EXPECT_NE(quoted.out.find(R"("recommendedCommands":["vyx init --app --dir 'it'\"'\"'s'"])"), std::string::npos)
      << quoted.out;
  auto empty = vyx({"--json", "--dir", ""});
  EXPECT_NE(empty.out.find(R"("configPath":".vyx/config.json")"), std::string::npos) << empty.out;
  EXPECT_NE(empty.out.find(R"("recommendedCommands":["vyx init --app --dir ''"])"), std::string::npos) << empty.out;
}

TEST_F(CheckoutReadiness, ScaffoldedProjectIsReady) {
  ASSERT_EQ(vyx::test::runVyx({"init", "--app", "--dir", dir.path()}).status, 0);
  auto json = vyx({"--json"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out,
            R"({"ok":true,"status":"ready","schemaVersion":1,"runnerVersion":"0.2.9",)"
            R"("protocolVersion":"2026-04-28","dir":".","configPath":"./.vyx/config.json","configExists":true,)"
            R"("agentInstructionsPath":"./.vyx/AGENTS.md","agentInstructionsExists":true,"platforms":[)"
            R"({"name":"android","enabled":true,"defaultDevice":"emulator-5554",)"
            R"("smokeScenario":"./.vyx/android-smoke.json","smokeScenarioExists":true,"traceDir":"traces/vyx-android"},)"
            R"({"name":"ios","enabled":true,"defaultDevice":"booted","smokeScenario":"./.vyx/ios-smoke.json",)"
            R"("smokeScenarioExists":true,"traceDir":"traces/vyx-ios"}],)"
            R"("recommendedCommands":["vyx doctor --strict --json --config ./.vyx/config.json","vyx schemas --json",)"
            R"("vyx validate --json ./.vyx/android-smoke.json","vyx validate --json ./.vyx/ios-smoke.json",)"
            R"("vyx serve --transport stdio --config ./.vyx/config.json --trace-dir traces/vyx-agent",)"
            R"("vyx mcp --config ./.vyx/config.json --trace-dir traces/vyx-agent"],)" +
                kTail);
  auto text = vyx({});
  EXPECT_EQ(text.out,
            "status\tready\nconfig\tok\t./.vyx/config.json\nagentInstructions\tok\t./.vyx/AGENTS.md\n"
            "android\tenabled\t./.vyx/android-smoke.json\nios\tenabled\t./.vyx/ios-smoke.json\n");
}

TEST_F(CheckoutReadiness, PlatformSectionsAsConfigured) {
  // No AGENTS.md; android disabled; ios without a smoke scenario; a second
  // configuration elsewhere with an absolute smoke scenario.
  writeFile(dir.file("app/.vyx/config.json"),
            R"({"schemaVersion":1,"android":{"enabled":false,"smokeScenario":"smoke/a.json","traceDir":"t/a"},)"
            R"("ios":{"enabled":true,"defaultDevice":"booted"}})");
  auto r = vyx({"--json", "--dir", "app"});
  auto doc = vyx::json::parseValue(r.out);
  ASSERT_TRUE(doc) << r.out;
  EXPECT_TRUE(doc->get("ok")->boolean);
  EXPECT_FALSE(doc->get("agentInstructionsExists")->boolean);
  const auto& platforms = doc->get("platforms")->array;
  ASSERT_EQ(platforms.size(), 2u);
  EXPECT_FALSE(platforms[0].get("enabled")->boolean);
  EXPECT_EQ(platforms[0].get("smokeScenario")->string, "app/smoke/a.json");
  EXPECT_FALSE(platforms[0].get("smokeScenarioExists")->boolean);
  EXPECT_TRUE(platforms[0].get("defaultDevice")->isNull());
  EXPECT_EQ(platforms[0].get("traceDir")->string, "t/a");
  EXPECT_TRUE(platforms[1].get("smokeScenario")->isNull());
  EXPECT_TRUE(platforms[1].get("traceDir")->isNull());
  // Neither platform gets a validate command.
  EXPECT_EQ(doc->get("recommendedCommands")->array.size(), 4u);
  EXPECT_EQ(vyx({"--dir", "app"}).out,
            "status\tready\nconfig\tok\tapp/.vyx/config.json\nagentInstructions\tmissing\tapp/.vyx/AGENTS.md\n"
            "android\tdisabled\tapp/smoke/a.json\nios\tenabled\n");

  writeFile(dir.file("conf/other.json"),
            R"({"schemaVersion":1,"android":{"enabled":true,"smokeScenario":"/abs/a.json"},)"
            R"("ios":{"enabled":true,"smokeScenario":"rel/i.json"}})");
  auto other = vyx({"--json", "--config", "conf/other.json", "--dir", "app/"});
  auto od = vyx::json::parseValue(other.out);
  ASSERT_TRUE(od) << other.out;
  EXPECT_EQ(od->get("configPath")->string, "conf/other.json");
  EXPECT_EQ(od->get("agentInstructionsPath")->string, "app/.vyx/AGENTS.md");
  EXPECT_EQ(od->get("platforms")->array[0].get("smokeScenario")->string, "/abs/a.json");
  // Relative smoke scenarios follow --dir, not the configuration's place.
  EXPECT_EQ(od->get("platforms")->array[1].get("smokeScenario")->string, "app/rel/i.json");
  const auto& commands = od->get("recommendedCommands")->array;
  ASSERT_EQ(commands.size(), 6u);
  EXPECT_EQ(commands[0].string, "vyx doctor --strict --json --config conf/other.json");
  EXPECT_EQ(commands[2].string, "vyx validate --json /abs/a.json");
  EXPECT_EQ(commands[3].string, "vyx validate --json app/rel/i.json");
}

TEST_F(CheckoutReadiness, FailuresPrintNothing) {
  const std::string unknownFlag =
      "error[cli.unknown_flag]: unknown flag\nhint: run `vyx help` for each command's flags and arguments.\n";
  writeFile(dir.file("bad/.vyx/config.json"), "{\"schemaVersion\":1,");
  writeFile(dir.file("typed/.vyx/config.json"), R"({"schemaVersion":1,"tools":{"adbPath":false}})");
  std::filesystem::create_directories(dir.file("folder/.vyx/config.json"));
  struct Case {
    Argv args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"--verbose"}, 2, unknownFlag},
      {{"app"}, 2, unknownFlag},
      {{"--dir"}, 2, "error[cli.missing_param]: missing parameter\n"},
      {{"--json", "--config"}, 2, "error[cli.missing_param]: missing parameter\n"},
      {{"--dir", "bad"}, 1, "error[internal.error]: UnexpectedEndOfInput\n"},
      {{"--json", "--dir", "typed"}, 1, "error[internal.error]: ConfigFieldMustBeString\n"},
      {{"--dir", "folder"}, 1, "error[internal.error]: IsDir\n"},
  };
  for (const Case& c : cases) {
    auto r = vyx(c.args);
    EXPECT_EQ(r.status, c.status) << c.args.back();
    EXPECT_EQ(r.err, c.err) << c.args.back();
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
