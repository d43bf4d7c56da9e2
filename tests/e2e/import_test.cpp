// `vyx import flow-yaml` through the real binary: arguments and their
// errors, the file and report it writes, what a failure leaves behind (nothing),
// hostile flow files, and an imported flow that `vyx validate` accepts and
// `vyx run` plays on the fake Android device.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/json.hpp"
#include "fake_log.hpp"
#include "vyx_test.hpp"

using vyx::test::ProcResult;
using vyx::test::readFile;
using vyx::test::TempDir;
using vyx::test::writeFile;
using Argv = std::vector<std::string>;

namespace {

constexpr size_t kFlowLimit = 4 * 1024 * 1024;

const std::string kHint = "hint: run `vyx help` for each command's flags and arguments.\n";

std::string errorLine(const std::string& name) { return "error[internal.error]: " + name + "\n"; }

class Import : public ::testing::Test {
 protected:
  ProcResult vyx(const Argv& args, std::map<std::string, std::string> env = {}) const {
    vyx::test::RunOptions o;
    o.cwd = dir.path();
    o.env = std::move(env);
    return vyx::test::runVyx(args, o);
  }
  ProcResult import(Argv args) const {
    args.insert(args.begin(), "import");
    return vyx(args);
  }
  void flow(const std::string& name, const std::string& text) const { writeFile(dir.file(name), text); }

  // Every path below the directory, relative to it.
  std::vector<std::string> entries() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
      out.push_back(std::filesystem::relative(e.path(), dir.path()).string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  // With `expected` "" the flow must import to a file that `vyx validate`
  // accepts with the steps the import reported; with an error name it must
  // fail with that error; without `expected` either of the two. A failure
  // prints only the error (after its line when it has one) and writes nothing.
  void expectValidOrRefused(const std::string& name, std::optional<std::string> expected) const {
    SCOPED_TRACE(name);
    const std::string out = name + ".json";
    ProcResult r = import({"flow-yaml", name, "--out", out, "--json"});
    if (r.status == 0) {
      EXPECT_TRUE(!expected || expected->empty()) << r.out;
      auto report = vyx::json::parseValue(r.out);
      ASSERT_TRUE(report) << r.out;
      ProcResult v = vyx({"validate", out, "--json"});
      EXPECT_EQ(v.status, 0) << v.out;
      auto checked = vyx::json::parseValue(v.out);
      ASSERT_TRUE(checked) << v.out;
      EXPECT_EQ(checked->get("stepCount")->integer, report->get("stepCount")->integer);
      std::filesystem::remove(dir.file(out));
      return;
    }
    EXPECT_TRUE(!expected || !expected->empty()) << r.err;
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    size_t errorAt = r.err.find("error[internal.error]: ");
    ASSERT_NE(errorAt, std::string::npos) << r.err;
    std::string named = r.err.substr(errorAt + 23);
    if (expected) {
      EXPECT_EQ(named, *expected + "\n");
    }
    if (errorAt > 0) {
      EXPECT_TRUE(r.err.starts_with(name + ":")) << r.err;
    }
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    EXPECT_FALSE(vyx::test::fileExists(dir.file(out)));
  }

  TempDir dir;
};

const std::string kLoginFlow =
    "# Sign-in smoke flow\n"
    "appId: com.example.app\n"
    "name: \"Sign in\"\n"
    "---\n"
    "- launchApp\n"
    "- tapOn: Login\n"
    "- inputText: \"user\\n@example.com\"\n"
    "- assertVisible: Welcome\n";

const std::string kLoginScenario =
    "{\n"
    "  \"name\": \"Sign in\",\n"
    "  \"appId\": \"com.example.app\",\n"
    "  \"steps\": [\n"
    "    {\"action\":\"launch\"},\n"
    "    {\"action\":\"tap\",\"selector\":{\"text\":\"Login\"}},\n"
    "    {\"action\":\"typeText\",\"text\":\"user\\n@example.com\"},\n"
    "    {\"action\":\"assertVisible\",\"selector\":{\"text\":\"Welcome\"}}\n"
    "  ]\n"
    "}\n";

}  // namespace

TEST_F(Import, ArgumentsAndTheirErrors) {
  flow("f.yaml", kLoginFlow);
  struct Case {
    Argv args;
    int status;
    std::string err;
  } cases[] = {
      {{}, 1, errorLine("MissingImportFormat")},
      {{"--json", "--force"}, 1, errorLine("MissingImportFormat")},
      {{"flow-yaml"}, 1, errorLine("MissingImportPath")},
      {{"yaml"}, 1, errorLine("MissingImportPath")},
      {{"flow-yaml", "f.yaml"}, 1, errorLine("MissingImportOut")},
      {{"flow-yaml", "f.yaml", "--out"}, 1, errorLine("MissingImportOut")},
      {{"flow-yaml", "--out", "--json"}, 1, errorLine("MissingImportPath")},
      {{"flow-yaml", "f.yaml", "--out", "o.json", "--name"}, 1, errorLine("MissingImportName")},
      {{"flow-yaml", "f.yaml", "--out", "o.json", "--app-id"}, 2, "error[cli.missing_app_id]: missing app id\n"},
      {{"flow-yaml", "f.yaml", "third", "--out", "o.json"}, 2, "error[cli.unknown_flag]: unknown flag\n" + kHint},
      {{"flow-yaml", "f.yaml", "--out", "o.json", "--verbose"}, 2, "error[cli.unknown_flag]: unknown flag\n" + kHint},
      {{"--", "flow-yaml", "f.yaml"}, 2, "error[cli.unknown_flag]: unknown flag\n" + kHint},
      {{"yaml", "f.yaml", "--out", "o.json"}, 1, errorLine("UnsupportedImportFormat")},
      {{"flow-yaml", "-", "--out", "o.json"}, 1, "error[scenario.file_not_found]: scenario file was not found\n"},
      {{"flow-yaml", "absent.yaml", "--out", "o.json"}, 1,
       "error[scenario.file_not_found]: scenario file was not found\n"},
      {{"flow-yaml", ".", "--out", "o.json"}, 1, errorLine("IsDir")},
  };
  for (const Case& c : cases) {
    Argv args = c.args;
    args.insert(args.begin(), "import");
    ProcResult r = vyx(args);
    EXPECT_EQ(r.status, c.status) << args.size();
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(entries(), Argv{"f.yaml"});
}

TEST_F(Import, WritesTheScenarioAndReportsIt) {
  flow("f.yaml", kLoginFlow);
  ProcResult r = import({"flow-yaml", "f.yaml", "--out", "smoke.json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "wrote smoke.json\nnext: vyx validate smoke.json\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(readFile(dir.file("smoke.json")), kLoginScenario);
  EXPECT_EQ(vyx({"validate", "smoke.json"}).out, "smoke.json: ok (Sign in, 4 steps)\n");

  // The command line's name and app id win; parent directories are made;
  // paths that need quoting are quoted in the suggested commands only.
  r = import({"--json", "flow-yaml", "f.yaml", "--name", "it's", "--app-id", "com.other", "--out",
              "new dir/s.json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            R"({"ok":true,"format":"flow-yaml","source":"f.yaml","out":"new dir/s.json","name":"it's",)"
            R"("appId":"com.other","stepCount":4,"next":"vyx validate 'new dir/s.json'",)"
            R"("nextCommands":["vyx validate --json 'new dir/s.json'",)"
            R"("vyx run 'new dir/s.json' --json --trace-dir traces/vyx-run"]})"
            "\n");
  EXPECT_TRUE(readFile(dir.file("new dir/s.json")).starts_with("{\n  \"name\": \"it's\",\n  \"appId\": \"com.other\",\n"));
  r = import({"flow-yaml", "f.yaml", "--out", "new dir/t.json"});
  EXPECT_EQ(r.out, "wrote new dir/t.json\nnext: vyx validate 'new dir/t.json'\n");

  // Without an app id anywhere the report says null and the file has none.
  flow("bare.yaml", "- back\n");
  r = import({"flow-yaml", "bare.yaml", "--out", "bare.json", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(R"("name":"Imported mobile flow","appId":null,"stepCount":1,)"), std::string::npos) << r.out;
  EXPECT_EQ(readFile(dir.file("bare.json")),
            "{\n  \"name\": \"Imported mobile flow\",\n  \"steps\": [\n    {\"action\":\"pressBack\"}\n  ]\n}\n");
}

TEST_F(Import, ExistingOutputNeedsForce) {
  flow("f.yaml", kLoginFlow);
  writeFile(dir.file("s.json"), "keep me");
  // Refused before the flow is read: even a missing flow gives this error.
  for (const char* source : {"f.yaml", "absent.yaml"}) {
    ProcResult r = import({"flow-yaml", source, "--out", "s.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, errorLine("ImportOutputExists"));
    EXPECT_EQ(readFile(dir.file("s.json")), "keep me");
  }
  ProcResult r = import({"flow-yaml", "f.yaml", "--out", "s.json", "--force"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir.file("s.json")), kLoginScenario);
  // A failed forced import keeps the old file whole.
  flow("bad.yaml", "- swipe\n");
  r = import({"flow-yaml", "bad.yaml", "--out", "s.json", "--force"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(readFile(dir.file("s.json")), kLoginScenario);
  EXPECT_EQ(entries(), (Argv{"bad.yaml", "f.yaml", "s.json"}));
}

TEST_F(Import, FailuresAreOneErrorLineAndLeaveNothing) {
  struct Case {
    std::string flow;
    std::string err;
  } cases[] = {
      {"name: x\n---\nappId: y\n", errorLine("ImportExpectedCommand")},
      {"- launchApp\n- tapOn\n", errorLine("UnsupportedImportCommand")},
      {"- waitUntilVisible: Home\n    timeout: 9223372036854775808\n",
       errorLine("Overflow")},
      {"- scrollUntilVisible: More\n\n  direction: left\n",
       errorLine("UnsupportedImportDirection")},
      {"- eraseText: 5_000_000_000\n", errorLine("ImportNumberOutOfRange")},
  };
  for (const Case& c : cases) {
    flow("f.yaml", c.flow);
    ProcResult r = import({"flow-yaml", "f.yaml", "--out", "made/deeper/s.json"});
    EXPECT_EQ(r.status, 1) << c.flow;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(entries(), Argv{"f.yaml"});
  }
  // The largest time-out the scenario reader takes still imports.
  flow("f.yaml", "- waitUntilVisible: Home\n    timeout: 9223372036854775807\n");
  ProcResult r = import({"flow-yaml", "f.yaml", "--out", "max.json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(vyx({"validate", "max.json"}).status, 0);
  std::filesystem::remove(dir.file("max.json"));

  // A write that fails removes the directories it made.
  r = import({"flow-yaml", "f.yaml", "--out", "made/deeper/"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, errorLine("IsDir"));
  EXPECT_EQ(entries(), Argv{"f.yaml"});
}

TEST_F(Import, SizeLimits) {
  // A flow of exactly 4 MiB is read; one byte more is refused.
  std::string padding = "# " + std::string(kFlowLimit - 2 - 8, 'x') + "\n";
  flow("limit.yaml", padding + "- back\n");
  ASSERT_EQ(readFile(dir.file("limit.yaml")).size(), kFlowLimit);
  EXPECT_EQ(import({"flow-yaml", "limit.yaml", "--out", "limit.json"}).status, 0);
  flow("over.yaml", padding + "- back\n\n");
  ProcResult r = import({"flow-yaml", "over.yaml", "--out", "over.json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, errorLine("StreamTooLong"));
}

// A flow within its limit whose scenario would pass the scenario file's
// limit is refused rather than written unloadable.
TEST_F(Import, ScenarioTooLargeToLoadIsNotWritten) {
  std::string many;
  while (many.size() + 7 <= kFlowLimit) many += "- back\n";
  flow("many.yaml", many);
  ProcResult r = import({"flow-yaml", "many.yaml", "--out", "many.json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, errorLine("StreamTooLong"));
  EXPECT_FALSE(vyx::test::fileExists(dir.file("many.json")));
}

TEST_F(Import, HostileFlowsGiveNamedErrorsOrValidFiles) {
  std::string binary;
  uint32_t x = 2463534242u;
  for (int i = 0; i < 20000; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    binary.push_back(static_cast<char>(x & 0xff));
  }
  std::string deep = "- tapOn:\n";
  for (int i = 0; i < 500; ++i) deep += std::string(static_cast<size_t>(i) * 2, i % 2 ? '\t' : ' ') + "element:\n";
  deep += std::string(256 * 1024, ' ') + "text: deep\n";

  struct Case {
    std::string name, text;
    std::optional<std::string> error;  // "": must import; none: either
  } cases[] = {
      {"login.yaml", kLoginFlow, ""},
      {"truncated_quote.yaml", "- inputText: \"abc", ""},
      {"truncated_block.yaml", "- scrollUntilVisible:\n    text: More\n    direction: U", "UnsupportedImportDirection"},
      {"truncated_item.yaml", "appId: a.b\n---\n- tapOn:", "ImportMissingSelector"},
      {"truncated_dash.yaml", "---\n-", "ImportExpectedCommand"},
      {"unpaired.yaml", "- tapOn: 'half\n- inputText: \"x\\\n- openLink: \"\n- assertVisible: '\n", ""},
      {"tabs.yaml", "\t- launchApp\n-\tback\n", ""},
      {"crlf.yaml", "name: \"crlf\"\r\r\n---\r\n- tapOn:\r\n    id: a\r\n- eraseText: 3\r\n", ""},
      {"nul.yaml", std::string("- inputText: a\0b\x01\x7f\xff\n", 20), ""},
      {"long_line.yaml", "- inputText: " + std::string(1024 * 1024, 'a') + "\n", ""},
      {"deep.yaml", deep, ""},
      {"binary.yaml", binary, std::nullopt},
      {"colons.yaml", ":\n::\n- :\n", "UnsupportedImportCommand"},
  };
  for (const Case& c : cases) {
    flow(c.name, c.text);
    expectValidOrRefused(c.name, c.error);
  }
}

// The fuzzing seeds hold to the same rule.
TEST_F(Import, FuzzSeedsGiveNamedErrorsOrValidFiles) {
  std::string seeds = vyx::test::sourceDir() + "/fuzz/corpus/importer";
  size_t count = 0;
  for (const auto& e : std::filesystem::directory_iterator(seeds)) {
    std::string name = "seed-" + e.path().filename().string();
    flow(name, readFile(e.path().string()));
    expectValidOrRefused(name, std::nullopt);
    ++count;
  }
  EXPECT_GE(count, 3u);
}

TEST_F(Import, ImportedFlowRunsOnTheFakeAndroidDevice) {
  const std::string device = dir.file("device");
  writeFile(device + "/ui.xml",
            R"(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation="0">)"
            R"(<node index="0" text="" resource-id="" class="android.widget.FrameLayout" package="com.example.app" )"
            R"(content-desc="" enabled="true" selected="false" bounds="[0,0][1080,2400]">)"
            R"(<node index="0" text="Sign in" resource-id="com.example.app:id/sign_in" class="android.widget.Button" )"
            R"(package="com.example.app" content-desc="Sign in button" enabled="true" selected="false" )"
            R"(bounds="[40,200][1040,320]" /></node></hierarchy>)");
  writeFile(device + "/window.txt", "  mCurrentFocus=Window{42 u0 com.example.app/com.example.app.MainActivity}\n");
  writeFile(device + "/wm-size.txt", "Physical size: 1080x2400\n");
  flow("smoke.yaml",
       "appId: com.example.app\n"
       "name: Fake smoke\n"
       "---\n"
       "- launchApp\n"
       "- waitUntilVisible: Sign in\n"
       "- tapOn:\n"
       "    id: com.example.app:id/sign_in\n"
       "- inputText: hello\n"
       "- assertVisible:\n"
       "    contentDescription: Sign in button\n"
       "- scrollUntilVisible:\n"
       "    textContains: Sign\n"
       "    timeout: 0\n"
       "- takeScreenshot\n"
       "- stopApp\n");
  ProcResult r = import({"flow-yaml", "smoke.yaml", "--out", "smoke.json"});
  ASSERT_EQ(r.status, 0) << r.err;

  const std::string log = dir.file("calls.log");
  r = vyx({"run", "smoke.json", "--adb", vyx::test::fakesDir() + "/adb", "--trace-dir", "traces/smoke", "--json"},
          {{"VYX_FAKE_ANDROID_DIR", device}, {"VYX_FAKE_LOG", log}});
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  auto summary = vyx::json::parseValue(r.out);
  ASSERT_TRUE(summary) << r.out;
  EXPECT_EQ(summary->get("status")->string, "passed");
  EXPECT_EQ(summary->get("scenario")->string, "Fake smoke");
  EXPECT_EQ(summary->get("appId")->string, "com.example.app");
  std::vector<Argv> adb;
  for (const Argv& c : vyx::test::readFakeLog(log)) {
    if (!c.empty() && c[0] == "adb") adb.emplace_back(c.begin() + 1, c.end());
  }
  auto called = [&](const Argv& call) { return std::find(adb.begin(), adb.end(), call) != adb.end(); };
  EXPECT_TRUE(called({"shell", "monkey", "-p", "com.example.app", "-c", "android.intent.category.LAUNCHER", "1"}));
  EXPECT_TRUE(called({"shell", "input", "tap", "540", "260"}));
  EXPECT_TRUE(called({"shell", "am", "force-stop", "com.example.app"}));
}
