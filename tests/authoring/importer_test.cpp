// The flow-YAML importer in memory: its line readers, the mapping of every
// command to its step, the file's exact layout, and the error and line of
// every refusal.
#include "authoring/importer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using vyx::Error;
using vyx::importer::convertFlowYaml;
using vyx::importer::FlowLine;
using vyx::importer::ImportOptions;

namespace {

// The steps lines of a converted flow, one per step.
std::vector<std::string> stepLines(const std::string& json) {
  std::vector<std::string> out;
  size_t start = json.find("\"steps\": [\n");
  if (start == std::string::npos) return out;
  start = json.find('\n', start) + 1;
  size_t end = json.find("\n  ]\n}\n", start);
  std::string body = json.substr(start, end - start);
  size_t pos = 0;
  while (pos < body.size()) {
    size_t nl = body.find('\n', pos);
    std::string line = body.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    if (line.starts_with("    ")) line.erase(0, 4);
    if (line.ends_with(",")) line.pop_back();
    out.push_back(line);
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return out;
}

std::string oneStep(const std::string& flow) {
  auto r = convertFlowYaml(flow, {});
  EXPECT_TRUE(r) << flow << " -> " << (r ? "" : vyx::errorName(r.error().error));
  if (!r) return "";
  auto lines = stepLines(r->json);
  EXPECT_EQ(lines.size(), 1u) << r->json;
  return lines.empty() ? "" : lines[0];
}

}  // namespace

TEST(ImporterReaders, ScalarStrings) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"  Login \t", "Login"},
      {R"("a\nb")", "a\nb"},
      {R"("tab\there\r")", "tab\there\r"},
      {R"("q\"uote\\ \x")", "q\"uote\\ x"},
      {R"("ends\")", "ends\\"},
      {R"('single \n ''kept''')", R"(single \n ''kept'')"},
      {R"("unpaired)", R"("unpaired)"},
      {"'", "'"},
      {"\"\"", ""},
      {"value # not a comment", "value # not a comment"},
  };
  for (const Case& c : cases) EXPECT_EQ(vyx::importer::parseScalarString(c.in), c.out) << c.in;

  auto kv = vyx::importer::splitColon(" url :  https://x.test:8080/a \r");
  ASSERT_TRUE(kv);
  EXPECT_EQ(kv->first, "url");
  EXPECT_EQ(kv->second, "https://x.test:8080/a");
  EXPECT_FALSE(vyx::importer::splitColon("no colon here"));
}

TEST(ImporterReaders, Numbers) {
  struct Case {
    std::string in;
    uint64_t value;
    Error error;  // Unexpected: reads
  } cases[] = {
      {"0", 0, Error::Unexpected},
      {" +42 ", 42, Error::Unexpected},
      {"1_000__000", 1000000, Error::Unexpected},
      {"-0", 0, Error::Unexpected},
      {"-0_0", 0, Error::Unexpected},
      {"18446744073709551615", 18446744073709551615ull, Error::Unexpected},
      {"18446744073709551616", 0, Error::Overflow},
      {"-1", 0, Error::Overflow},
      {"", 0, Error::InvalidCharacter},
      {"+", 0, Error::InvalidCharacter},
      {"-", 0, Error::InvalidCharacter},
      {"_1", 0, Error::InvalidCharacter},
      {"1_", 0, Error::InvalidCharacter},
      {"\"5\"", 0, Error::InvalidCharacter},
      {"0x10", 0, Error::InvalidCharacter},
      {"-5x", 0, Error::InvalidCharacter},
      {"1 2", 0, Error::InvalidCharacter},
  };
  for (const Case& c : cases) {
    auto n = vyx::importer::parseU64(c.in);
    if (c.error == Error::Unexpected) {
      ASSERT_TRUE(n) << c.in;
      EXPECT_EQ(*n, c.value) << c.in;
    } else {
      ASSERT_FALSE(n) << c.in;
      EXPECT_EQ(n.error(), c.error) << c.in;
    }
  }
  // Step numbers stop where the scenario reader's integers stop.
  EXPECT_EQ(*vyx::importer::parseStepNumber("9223372036854775807"), 9223372036854775807ull);
  EXPECT_EQ(vyx::importer::parseStepNumber("9223372036854775808").error(), Error::Overflow);
}

TEST(ImporterConvert, HeaderItemsAndExactLayout) {
  const std::string flow =
      "name: Sign in\n"
      "appId: com.example.app\n"
      "---\n"
      "- launchApp\n"
      "- tapOn: Login\n"
      "- inputText: \"user\\n@example.com\"\n"
      "- assertVisible: Welcome\n";
  auto r = convertFlowYaml(flow, {});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->json,
            "{\n"
            "  \"name\": \"Sign in\",\n"
            "  \"appId\": \"com.example.app\",\n"
            "  \"steps\": [\n"
            "    {\"action\":\"launch\"},\n"
            "    {\"action\":\"tap\",\"selector\":{\"text\":\"Login\"}},\n"
            "    {\"action\":\"typeText\",\"text\":\"user\\n@example.com\"},\n"
            "    {\"action\":\"assertVisible\",\"selector\":{\"text\":\"Welcome\"}}\n"
            "  ]\n"
            "}\n");
  EXPECT_EQ(r->name, "Sign in");
  EXPECT_EQ(r->appId, "com.example.app");
  EXPECT_EQ(r->stepCount, 4u);
}

TEST(ImporterConvert, EmptyFlowsNamesAndAppIds) {
  const std::string empty = "{\n  \"name\": \"Imported mobile flow\",\n  \"steps\": [\n\n  ]\n}\n";
  for (const char* flow : {"", "\n\n", "# only a comment\n", "description: nothing else\n", "---\n"}) {
    auto r = convertFlowYaml(flow, {});
    ASSERT_TRUE(r) << flow;
    EXPECT_EQ(r->json, empty) << flow;
    EXPECT_EQ(r->stepCount, 0u);
    EXPECT_FALSE(r->appId);
  }
  // Later header lines replace earlier ones; the command line wins, unchanged.
  auto header = convertFlowYaml("name: 'first'\nname: \"second\"\nappId: a.b\n- back\n", {});
  ASSERT_TRUE(header);
  EXPECT_EQ(header->name, "second");
  EXPECT_EQ(header->appId, "a.b");
  ImportOptions options;
  options.name = "\"cli name\"";
  options.appId = "com.cli";
  auto cli = convertFlowYaml("name: header\nappId: a.b\n", options);
  ASSERT_TRUE(cli);
  EXPECT_EQ(cli->json,
            "{\n  \"name\": \"\\\"cli name\\\"\",\n  \"appId\": \"com.cli\",\n  \"steps\": [\n\n  ]\n}\n");
  // Header lines after the first item belong to its block and are ignored.
  auto late = convertFlowYaml("- launchApp\nname: late\nappId: late.app\n", {});
  ASSERT_TRUE(late);
  EXPECT_EQ(late->name, "Imported mobile flow");
  EXPECT_FALSE(late->appId);
}

TEST(ImporterConvert, EveryCommandAndForm) {
  struct Case {
    std::string flow, step;
  } cases[] = {
      {"- launchApp", R"({"action":"launch"})"},
      {"- launchApp:\n    appId: ignored", R"({"action":"launch"})"},
      {"- stopApp", R"({"action":"stop"})"},
      {"- clearState", R"({"action":"clearState"})"},
      {"- clearAppState: x", R"({"action":"clearState"})"},
      {"- takeScreenshot: shot", R"({"action":"snapshot"})"},
      {"- hideKeyboard", R"({"action":"hideKeyboard"})"},
      {"- back", R"({"action":"pressBack"})"},
      {"- pressBack:", R"({"action":"pressBack"})"},
      {"- eraseText", R"({"action":"eraseText","maxChars":80})"},
      {"- eraseText: 1_000", R"({"action":"eraseText","maxChars":1000})"},
      {"- eraseText:\n    characters: 4294967295", R"({"action":"eraseText","maxChars":4294967295})"},
      {"- eraseText:\n    other: 3", R"({"action":"eraseText","maxChars":80})"},
      {"- waitForAnimationToEnd", R"({"action":"sleep","ms":1000})"},
      {"- waitForAnimationToEnd: 250", R"({"action":"sleep","ms":250})"},
      {"- waitForAnimationToEnd:\n    timeout: 9223372036854775807",
       R"({"action":"sleep","ms":9223372036854775807})"},
      {"- tapOn: Login", R"({"action":"tap","selector":{"text":"Login"}})"},
      {"- tapOn:\n    id: login", R"({"action":"tap","selector":{"id":"login"}})"},
      {"- tapOn:\n    text: a\n    text: b", R"({"action":"tap","selector":{"text":"b"}})"},
      {"- tapOn:\n    element: Go\n    id: go", R"({"action":"tap","selector":{"id":"go","text":"Go"}})"},
      {"- tapOn:\n    id: go\n    element: Go", R"({"action":"tap","selector":{"id":"go"}})"},
      {"- tapOn:\n    contentDescription: \"Close\"\n    contains: Sa\n    text: ''\n    id: x",
       R"({"action":"tap","selector":{"id":"x","text":"","textContains":"Sa","contentDesc":"Close"}})"},
      {"- tapOn:\n    element:\n      contentDesc: Menu\n    # note: ignored\n    index: 2",
       R"({"action":"tap","selector":{"contentDesc":"Menu"}})"},
      {"- inputText: \"a\\\\b\\tc\"", R"({"action":"typeText","text":"a\\b\tc"})"},
      {"- inputText: 'keep \\n'", R"({"action":"typeText","text":"keep \\n"})"},
      {"- inputText:\n    value: v\n    text: t", R"({"action":"typeText","text":"v"})"},
      {"- inputText:\n    text: \"\"", R"({"action":"typeText","text":""})"},
      {"- inputText: a # b", R"({"action":"typeText","text":"a # b"})"},
      {"- openLink: https://example.com/x?a=1#top", R"({"action":"openLink","url":"https://example.com/x?a=1#top"})"},
      {"- openLink:\n    link: app://home", R"({"action":"openLink","url":"app://home"})"},
      {"- assertVisible:\n    textContains: Wel", R"({"action":"assertVisible","selector":{"textContains":"Wel"}})"},
      {"- assertNotVisible: Error", R"({"action":"assertNotVisible","selector":{"text":"Error"}})"},
      {"- waitUntilVisible: Home", R"({"action":"waitVisible","selector":{"text":"Home"},"timeoutMs":5000})"},
      {"- waitUntilVisible: Home\n    timeout: 7000",
       R"({"action":"waitVisible","selector":{"text":"Home"},"timeoutMs":7000})"},
      {"- waitUntilNotVisible:\n    id: spinner\n    timeout: 0",
       R"({"action":"waitNotVisible","selector":{"id":"spinner"},"timeoutMs":0})"},
      {"- scrollUntilVisible: More",
       R"({"action":"scrollUntilVisible","selector":{"text":"More"},"direction":"down","timeoutMs":5000})"},
      {"- scrollUntilVisible:\n    element:\n      text: More\n    direction: UP\n    timeout: 9000",
       R"({"action":"scrollUntilVisible","selector":{"text":"More"},"direction":"up","timeoutMs":9000})"},
      {"- scrollUntilVisible:\n    text: More\n    timeoutMs: 1\n    timeout: 9000\n    direction: Down",
       R"({"action":"scrollUntilVisible","selector":{"text":"More"},"direction":"down","timeoutMs":1})"},
      // Tabs indent like spaces; CRLF line ends are read like LF.
      {"\t- tapOn:\r\n\t\tid: a\r\n", R"({"action":"tap","selector":{"id":"a"}})"},
  };
  for (const Case& c : cases) EXPECT_EQ(oneStep(c.flow), c.step) << c.flow;
}

TEST(ImporterConvert, RefusalsNameTheErrorAndLine) {
  struct Case {
    std::string flow;
    Error error;
    size_t line;
  } cases[] = {
      {"name: x\n---\nappId: y\n- launchApp\n", Error::ImportExpectedCommand, 3},
      {"- launchApp\n---\n\n  text: x\n", Error::ImportExpectedCommand, 4},
      {"- launchApp\n---\n-\tback\n", Error::ImportExpectedCommand, 3},
      {"- launchApp\n- tapOn\n", Error::UnsupportedImportCommand, 2},
      {"- launchApp\n\n- swipe: left\n", Error::UnsupportedImportCommand, 3},
      {"- TapOn: x\n", Error::UnsupportedImportCommand, 1},
      {"- inputText\n", Error::UnsupportedImportCommand, 1},
      {"- tapOn:\n    index: 2\n", Error::ImportMissingSelector, 1},
      {"- tapOn:\n    element:\n", Error::ImportMissingSelector, 1},
      {"- assertVisible:\n", Error::ImportMissingSelector, 1},
      {"- inputText:\n    other: x\n", Error::ImportMissingValue, 1},
      {"- openLink:\n", Error::ImportMissingValue, 1},
      {"- eraseText: 5000000000\n", Error::ImportNumberOutOfRange, 1},
      {"- eraseText:\n\n    characters: 4294967296\n", Error::ImportNumberOutOfRange, 3},
      {"- eraseText: \"5\"\n", Error::InvalidCharacter, 1},
      {"- waitForAnimationToEnd: -3\n", Error::Overflow, 1},
      {"- waitForAnimationToEnd:\n    timeout: soon\n", Error::InvalidCharacter, 2},
      {"- waitUntilVisible: A\n    timeout: 9223372036854775808\n", Error::Overflow, 2},
      {"- scrollUntilVisible: A\n    timeoutMs: 18446744073709551616\n", Error::Overflow, 2},
      {"- eraseText:\n    characters: 99999999999999999999\n", Error::Overflow, 2},
      {"- scrollUntilVisible: A\n    direction: left\n", Error::UnsupportedImportDirection, 2},
      {"- scrollUntilVisible: A\n    direction: \"up\"\n", Error::UnsupportedImportDirection, 2},
      {"- scrollUntilVisible: A\n    direction:\n", Error::UnsupportedImportDirection, 2},
      // The first "timeout" line decides; later ones are not read.
      {"- waitUntilVisible: A\n    timeout: x\n    timeout: 1\n", Error::InvalidCharacter, 2},
  };
  for (const Case& c : cases) {
    auto r = convertFlowYaml(c.flow, {});
    ASSERT_FALSE(r) << c.flow;
    EXPECT_EQ(vyx::errorName(r.error().error), vyx::errorName(c.error)) << c.flow;
    EXPECT_EQ(r.error().line, c.line) << c.flow;
  }
  auto later = convertFlowYaml("- waitUntilVisible: A\n    timeout: 1\n    timeout: x\n", {});
  EXPECT_TRUE(later);
}

TEST(ImporterConvert, OutputThatWouldNotLoadAgainIsRefused) {
  // Escaping makes the scenario larger than the flow: a flow within its
  // own limit can grow past the scenario file's limit. (Many short items
  // do the same; the end-to-end tests cover that case.)
  std::string control = "- inputText: ";
  control.append(3 * 1024 * 1024, '\x01');
  auto r = convertFlowYaml(control, {});
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().error, Error::StreamTooLong);
  EXPECT_EQ(r.error().line, 0u);
}
