// `vyx init` through the real binary: scenario mode, app mode with its fixed
// file texts, the .gitignore entry, what is kept and replaced, and bad input.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/json.hpp"
#include "vyx_test.hpp"

using vyx::test::fileExists;
using vyx::test::ProcResult;
using vyx::test::readFile;
using vyx::test::TempDir;
using vyx::test::writeFile;
using Argv = std::vector<std::string>;

namespace {

const std::string kExpectedDir = vyx::test::sourceDir() + "/tests/e2e/init_expected";

std::string smokeText(const std::string& name, const std::string& appIdJson) {
  return "{\n  \"name\": \"" + name + "\",\n  \"appId\": \"" + appIdJson +
         "\",\n  \"steps\": [\n    { \"action\": \"launch\" },\n    { \"action\": \"assertHealthy\" },\n"
         "    { \"action\": \"snapshot\" }\n  ]\n}\n";
}

const std::string kMatrix =
    "{\n  \"runs\": 1,\n  \"appId\": \"com.o'neil.shop\",\n  \"devices\": [\n    {\n"
    "      \"name\": \"android-emulator\",\n      \"platform\": \"android\",\n      \"serial\": \"emulator-5554\",\n"
    "      \"scenario\": \".vyx/android-smoke.json\",\n      \"adb\": \"adb\"\n    },\n    {\n"
    "      \"name\": \"ios-simulator\",\n      \"platform\": \"ios\",\n      \"iosDeviceType\": \"simulator\",\n"
    "      \"serial\": \"booted\",\n      \"scenario\": \".vyx/ios-smoke.json\",\n      \"xcrun\": \"xcrun\"\n"
    "    }\n  ]\n}\n";

class Init : public ::testing::Test {
 protected:
  ProcResult vyx(Argv args) {
    args.insert(args.begin(), "init");
    vyx::test::RunOptions o;
    o.cwd = dir.path();
    return vyx::test::runVyx(args, o);
  }
  std::string file(const std::string& name) const { return readFile(dir.file(name)); }
  bool exists(const std::string& name) const { return fileExists(dir.file(name)); }
  // Every entry below the directory, relative, sorted.
  std::vector<std::string> tree() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
      out.push_back(std::filesystem::relative(e.path(), dir.path()).string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  TempDir dir;
};

TEST_F(Init, ScenarioModeWritesTheStarterOnceAndReplacesItWithForce) {
  auto first = vyx({});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, "created vyx-scenario.json\nnext: vyx validate vyx-scenario.json\n");
  EXPECT_EQ(file("vyx-scenario.json"), smokeText("Starter mobile smoke", "com.example.app"));

  writeFile(dir.file("vyx-scenario.json"), "edited");
  auto again = vyx({"--app-id", "com.other"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(again.err, "error[internal.error]: PathAlreadyExists\n");
  EXPECT_EQ(file("vyx-scenario.json"), "edited");

  // --dir is accepted and ignored in scenario mode.
  auto forced = vyx({"--force", "--dir", "elsewhere", "--app-id", "com.other"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(file("vyx-scenario.json"), smokeText("Starter mobile smoke", "com.other"));
  EXPECT_FALSE(exists("elsewhere"));
}

TEST_F(Init, ScenarioModeJsonQuotesPathsAsShellWords) {
  auto r = vyx({"--json", "--app-id", "com.a\"b", "my scenarios/it's.json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            R"({"ok":true,"mode":"scenario","appId":"com.a\"b","created":["my scenarios/it's.json"],)"
            R"("next":"vyx validate 'my scenarios/it'\\''s.json'",)"
            R"("nextCommands":["vyx validate --json 'my scenarios/it'\\''s.json'",)"
            R"("vyx run 'my scenarios/it'\\''s.json' --json --trace-dir traces/vyx-run"]})"
            "\n");
  EXPECT_EQ(file("my scenarios/it's.json"), smokeText("Starter mobile smoke", "com.a\\\"b"));
  auto text = vyx({"--force", "a b.json"});
  EXPECT_EQ(text.out, "created a b.json\nnext: vyx validate 'a b.json'\n");
}

TEST_F(Init, ArgumentErrorsWriteNothing) {
  struct Case {
    Argv args;
    int status;
    std::string err;
  };
  const std::string unknownFlag =
      "error[cli.unknown_flag]: unknown flag\nhint: run `vyx help` for each command's flags and arguments.\n";
  const Case cases[] = {
      {{"one.json", "two.json"}, 2, unknownFlag},
      {{"--app", "after.json"}, 2, unknownFlag},
      {{"--bogus"}, 2, unknownFlag},
      {{"--app-id"}, 2, "error[cli.missing_app_id]: missing app id\n"},
      {{"--app", "--dir"}, 1, "error[internal.error]: MissingDirectory\n"},
      // An empty app id would give a configuration the loader refuses.
      {{"--app", "--app-id", ""}, 2, "error[cli.missing_app_id]: missing app id\n"},
      {{"--app-id", "", "--dir", "x", "--app"}, 2, "error[cli.missing_app_id]: missing app id\n"},
  };
  for (const Case& c : cases) {
    auto r = vyx(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.err, c.err) << c.args[0];
    EXPECT_EQ(r.out, "");
  }
  EXPECT_TRUE(tree().empty());
  // Scenario mode keeps an empty app id.
  auto empty = vyx({"--app-id", ""});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_EQ(file("vyx-scenario.json"), smokeText("Starter mobile smoke", ""));
}

TEST_F(Init, AppModeWritesTheProjectByteForByte) {
  // A positional argument before --app is accepted and ignored.
  auto r = vyx({"ignored.json", "--app", "--app-id", "com.o'neil.shop", "--dir", "shop"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "created shop/.vyx/config.json\ncreated shop/.vyx/android-smoke.json\n"
            "created shop/.vyx/ios-smoke.json\ncreated shop/.vyx/device-matrix.json\n"
            "created shop/.vyx/AGENTS.md\nnext: vyx doctor --strict --json --config shop/.vyx/config.json\n");
  EXPECT_EQ(file("shop/.vyx/config.json"), readFile(kExpectedDir + "/config.json"));
  EXPECT_EQ(file("shop/.vyx/AGENTS.md"), readFile(kExpectedDir + "/AGENTS.md"));
  EXPECT_EQ(file("shop/.vyx/device-matrix.json"), kMatrix);
  EXPECT_EQ(file("shop/.vyx/android-smoke.json"), smokeText("Android smoke", "com.o'neil.shop"));
  EXPECT_EQ(file("shop/.vyx/ios-smoke.json"), smokeText("iOS smoke", "com.o'neil.shop"));
  EXPECT_EQ(file("shop/.gitignore"), "# VYX local run artifacts\ntraces/\n");
  EXPECT_FALSE(exists("ignored.json"));
  // The configuration is one that the loader takes.
  auto valid = vyx::test::runVyx({"validate", dir.file("shop/.vyx/android-smoke.json")});
  EXPECT_EQ(valid.status, 0) << valid.out;
}

TEST_F(Init, AppModeJsonResult) {
  auto r = vyx({"--app", "--json", "--dir", "my app/"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            R"({"ok":true,"mode":"app","dir":"my app/","appId":"com.example.app",)"
            R"("created":["my app/.vyx/config.json","my app/.vyx/android-smoke.json","my app/.vyx/ios-smoke.json",)"
            R"("my app/.vyx/device-matrix.json","my app/.vyx/AGENTS.md"],)"
            R"("configPath":"my app/.vyx/config.json","androidScenarioPath":"my app/.vyx/android-smoke.json",)"
            R"("iosScenarioPath":"my app/.vyx/ios-smoke.json","deviceMatrixPath":"my app/.vyx/device-matrix.json",)"
            R"("agentInstructionsPath":"my app/.vyx/AGENTS.md",)"
            R"("next":"vyx doctor --strict --json --config 'my app/.vyx/config.json'",)"
            R"("nextCommands":["vyx doctor --strict --json --config 'my app/.vyx/config.json'","vyx schemas --json",)"
            R"("vyx validate --json 'my app/.vyx/android-smoke.json'","vyx validate --json 'my app/.vyx/ios-smoke.json'"],)"
            R"("smokeCommands":["vyx run 'my app/.vyx/android-smoke.json' --device emulator-5554 --trace-dir 'my app/traces/vyx-android'",)"
            R"("vyx run 'my app/.vyx/ios-smoke.json' --platform ios --device booted --trace-dir 'my app/traces/vyx-ios'"],)"
            R"("scriptCount":16,"scriptNames":["doctor","schemas","validate","android","androidReport",)"
            R"("androidReliability","ios","iosReport","iosReliability","matrix","pilotGate","readiness","serve","mcp",)"
            R"("explain","exportTrace"]})"
            "\n");
  EXPECT_TRUE(exists("my app/.vyx/AGENTS.md"));

  // The default directory and an empty one.
  auto dot = vyx({"--app", "--json"});
  auto doc = vyx::json::parseValue(dot.out);
  ASSERT_TRUE(doc) << dot.out;
  EXPECT_EQ(doc->get("configPath")->string, "./.vyx/config.json");
  EXPECT_EQ(doc->get("smokeCommands")->array[0].string,
            "vyx run ./.vyx/android-smoke.json --device emulator-5554 --trace-dir ./traces/vyx-android");
  auto empty = vyx({"--app", "--dir", ""});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_EQ(vyx::test::splitLines(empty.out)[0], "created .vyx/config.json");
  EXPECT_EQ(vyx::test::splitLines(empty.out)[5], "next: vyx doctor --strict --json --config '.vyx/config.json'");
}

TEST_F(Init, AppModeTwiceKeepsSmokeScenariosUnlessForced) {
  ASSERT_EQ(vyx({"--app"}).status, 0);
  writeFile(dir.file(".vyx/android-smoke.json"), "my android steps");
  writeFile(dir.file(".vyx/ios-smoke.json"), "my ios steps");
  writeFile(dir.file(".vyx/config.json"), "old");
  writeFile(dir.file(".vyx/AGENTS.md"), "old");
  writeFile(dir.file(".vyx/device-matrix.json"), "old");

  auto again = vyx({"--app", "--app-id", "com.shop"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(vyx::test::splitLines(again.out).size(), 6u);  // all five files are listed
  EXPECT_EQ(file(".vyx/android-smoke.json"), "my android steps");
  EXPECT_EQ(file(".vyx/ios-smoke.json"), "my ios steps");
  EXPECT_NE(file(".vyx/config.json").find("\"appId\": \"com.shop\""), std::string::npos);
  EXPECT_NE(file(".vyx/device-matrix.json"), "old");
  EXPECT_NE(file(".vyx/AGENTS.md"), "old");
  EXPECT_EQ(file(".gitignore"), "# VYX local run artifacts\ntraces/\n");  // not added twice

  ASSERT_EQ(vyx({"--app", "--force", "--app-id", "com.shop"}).status, 0);
  EXPECT_EQ(file(".vyx/android-smoke.json"), smokeText("Android smoke", "com.shop"));
  EXPECT_EQ(file(".vyx/ios-smoke.json"), smokeText("iOS smoke", "com.shop"));
}

TEST_F(Init, GitignoreGainsTheEntryOnlyWhenMissing) {
  struct Case {
    std::string before;
    std::string after;
  };
  const std::string block = "# VYX local run artifacts\ntraces/\n";
  const Case cases[] = {
      {"build/", "build/\n\n" + block},
      {"build/\n", "build/\n\n" + block},
      {"", block},
      {"out/old-traces/x\n", "out/old-traces/x\n"},  // "traces/" anywhere counts
      {"build/\r\n", "build/\r\n\n" + block},
  };
  for (const Case& c : cases) {
    TempDir app;
    writeFile(app.file(".gitignore"), c.before);
    auto r = vyx({"--app", "--dir", app.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(app.file(".gitignore")), c.after) << c.before;
  }
}

TEST_F(Init, FailuresKeepWhatWasWrittenAndLoseNothing) {
  // The .gitignore comes last: over its size limit it fails the command and
  // is left as it was; the files before it stay.
  const std::string big(1024 * 1024 + 1, 'x');
  writeFile(dir.file("big/.gitignore"), big);
  auto tooBig = vyx({"--app", "--dir", "big"});
  EXPECT_EQ(tooBig.status, 1);
  EXPECT_EQ(tooBig.out, "");
  EXPECT_EQ(tooBig.err, "error[internal.error]: StreamTooLong\n");
  EXPECT_EQ(file("big/.gitignore"), big);
  EXPECT_TRUE(exists("big/.vyx/AGENTS.md"));
  // Exactly the limit is still read.
  const std::string limit(1024 * 1024, 'y');
  writeFile(dir.file("limit/.gitignore"), limit);
  EXPECT_EQ(vyx({"--app", "--dir", "limit"}).status, 0);
  EXPECT_EQ(file("limit/.gitignore"), limit + "\n\n# VYX local run artifacts\ntraces/\n");

  struct Case {
    std::string setup;  // a directory created where a file is expected
    std::string err;
  };
  const Case cases[] = {
      {".gitignore", "error[internal.error]: IsDir\n"},
      {".vyx/config.json", "error[internal.error]: IsDir\n"},
      {".vyx/device-matrix.json", "error[internal.error]: IsDir\n"},
  };
  for (const Case& c : cases) {
    TempDir app;
    std::filesystem::create_directories(app.file(c.setup));
    writeFile(app.file(".vyx/ios-smoke.json"), "mine");
    auto r = vyx({"--app", "--dir", app.path()});
    EXPECT_EQ(r.status, 1) << c.setup;
    EXPECT_EQ(r.err, c.err) << c.setup;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(app.file(".vyx/ios-smoke.json")), "mine") << c.setup;
  }
  // A directory where a smoke scenario belongs is kept like a file.
  TempDir app;
  std::filesystem::create_directories(app.file(".vyx/android-smoke.json"));
  EXPECT_EQ(vyx({"--app", "--dir", app.path()}).status, 0);
  auto forced = vyx({"--app", "--force", "--dir", app.path()});
  EXPECT_EQ(forced.err, "error[internal.error]: IsDir\n");

  // A file where the app directory should be.
  writeFile(dir.file("plain"), "x");
  auto notDir = vyx({"--app", "--dir", "plain"});
  EXPECT_EQ(notDir.err, "error[internal.error]: NotDir\n");
  EXPECT_EQ(file("plain"), "x");
  // A scenario path below a file, and a directory at the scenario path.
  EXPECT_EQ(vyx({"plain/s.json"}).err, "error[internal.error]: NotDir\n");
  std::filesystem::create_directories(dir.file("adir"));
  EXPECT_EQ(vyx({"adir"}).err, "error[internal.error]: PathAlreadyExists\n");
  EXPECT_EQ(vyx({"--force", "adir"}).err, "error[internal.error]: IsDir\n");
}

}  // namespace
