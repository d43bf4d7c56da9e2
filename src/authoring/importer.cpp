#include "authoring/importer.hpp"

#include <unistd.h>

#include <vector>

#include "authoring/importer_json.hpp"
#include "authoring/output_file.hpp"
#include "core/files.hpp"
#include "core/step_defaults.hpp"
#include "core/text.hpp"

namespace vyx::importer {

namespace {

constexpr std::string_view kDefaultName = "Imported mobile flow";
constexpr uint64_t kDefaultEraseChars = step_defaults::kEraseMaxChars;
constexpr uint64_t kDefaultAnimationWaitMs = 1000;
constexpr uint64_t kDefaultTimeoutMs = step_defaults::kTimeoutMs;
constexpr uint64_t kMaxEraseChars = 4'294'967'295ull;

bool isItem(std::string_view trimmed) { return trimmed.starts_with("- "); }

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (text::asciiLower(a[i]) != text::asciiLower(b[i])) return false;
  }
  return true;
}

// The lines the walk and the blocks look at: blank lines and "#" lines are
// skipped everywhere. A trailing CR (of CRLF files) goes with the trimming.
std::vector<FlowLine> meaningfulLines(std::string_view text) {
  std::vector<FlowLine> lines;
  size_t number = 0;
  size_t start = 0;
  for (;;) {
    ++number;
    size_t end = text.find('\n', start);
    std::string_view raw = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    std::string_view t = text::trimBlanks(raw);
    if (!t.empty() && t.front() != '#') lines.push_back({number, t});
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return lines;
}

// A number written inline on the item's line.
ImportExpected<uint64_t> inlineNumber(std::string_view value, size_t line) {
  auto n = parseStepNumber(value);
  if (!n) return failAt(n.error(), line);
  return *n;
}

// The line that gave a block number, for the range check that follows.
size_t lineOfKey(Block block, std::string_view key, size_t fallback) {
  for (const FlowLine& l : block) {
    auto kv = splitColon(l.text);
    if (kv && kv->first == key) return l.number;
  }
  return fallback;
}

// A count or duration: bare gives the default, a non-empty inline value is
// the number, an empty one defers to the block's key.
ImportExpected<uint64_t> numberOrDefault(bool bare, std::string_view inlineValue, Block block,
                                         std::string_view key, uint64_t fallback, size_t itemLine) {
  if (bare) return fallback;
  if (!inlineValue.empty()) return inlineNumber(inlineValue, itemLine);
  auto n = parseOptionalU64FromBlock(block, key);
  if (!n) return std::unexpected(n.error());
  return n->value_or(fallback);
}

ImportExpected<ImportedStep> convertItem(std::string_view commandText, Block block, size_t line) {
  using namespace imported;
  std::string_view command = commandText;
  std::string_view value;
  bool bare = true;
  if (auto kv = splitColon(commandText)) {
    command = kv->first;
    value = kv->second;
    bare = false;
  }

  if (command == "launchApp") return Launch{};
  if (command == "stopApp") return Stop{};
  if (command == "clearState" || command == "clearAppState") return ClearState{};
  if (command == "takeScreenshot") return Snapshot{};
  if (command == "hideKeyboard") return HideKeyboard{};
  if (command == "back" || command == "pressBack") return PressBack{};
  if (command == "eraseText") {
    auto n = numberOrDefault(bare, value, block, "characters", kDefaultEraseChars, line);
    if (!n) return std::unexpected(n.error());
    if (*n > kMaxEraseChars) {
      return failAt(Error::ImportNumberOutOfRange, value.empty() ? lineOfKey(block, "characters", line) : line);
    }
    return EraseText{static_cast<uint32_t>(*n)};
  }
  if (command == "waitForAnimationToEnd") {
    auto n = numberOrDefault(bare, value, block, "timeout", kDefaultAnimationWaitMs, line);
    if (!n) return std::unexpected(n.error());
    return Sleep{*n};
  }
  // The rest take a value or a block: the bare form is refused.
  if (bare) return failAt(Error::UnsupportedImportCommand, line);

  if (command == "tapOn" || command == "assertVisible" || command == "assertNotVisible") {
    auto selector = parseSelectorValueOrBlock(value, block, line);
    if (!selector) return std::unexpected(selector.error());
    if (command == "tapOn") return Tap{std::move(*selector)};
    if (command == "assertVisible") return AssertVisible{std::move(*selector)};
    return AssertNotVisible{std::move(*selector)};
  }
  if (command == "inputText" || command == "openLink") {
    bool input = command == "inputText";
    auto text = parseRequiredScalarOrBlockValue(value, block, input ? "text" : "link", line);
    if (!text) return std::unexpected(text.error());
    if (input) return TypeText{std::move(*text)};
    return OpenLink{std::move(*text)};
  }
  if (command == "waitUntilVisible" || command == "waitUntilNotVisible") {
    auto selector = parseSelectorValueOrBlock(value, block, line);
    if (!selector) return std::unexpected(selector.error());
    auto timeout = parseOptionalU64FromBlock(block, "timeout");
    if (!timeout) return std::unexpected(timeout.error());
    uint64_t ms = timeout->value_or(kDefaultTimeoutMs);
    if (command == "waitUntilVisible") return WaitVisible{std::move(*selector), ms};
    return WaitNotVisible{std::move(*selector), ms};
  }
  if (command == "scrollUntilVisible") {
    auto selector = parseSelectorValueOrBlock(value, block, line);
    if (!selector) return std::unexpected(selector.error());
    auto direction = parseDirectionFromBlock(block);
    if (!direction) return std::unexpected(direction.error());
    auto timeout = parseOptionalU64FromBlock(block, "timeout");
    if (!timeout) return std::unexpected(timeout.error());
    auto timeoutMs = parseOptionalU64FromBlock(block, "timeoutMs");
    if (!timeoutMs) return std::unexpected(timeoutMs.error());
    uint64_t ms = timeoutMs->value_or(timeout->value_or(kDefaultTimeoutMs));
    return ScrollStep{std::move(*selector), direction->value_or("down"), ms};
  }
  return failAt(Error::UnsupportedImportCommand, line);
}

}  // namespace

std::string parseScalarString(std::string_view text) {
  std::string_view t = text::trimBlanks(text);
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') {
    std::string_view inner = t.substr(1, t.size() - 2);
    std::string out;
    out.reserve(inner.size());
    for (size_t i = 0; i < inner.size(); ++i) {
      char c = inner[i];
      if (c != '\\' || i + 1 == inner.size()) {
        out.push_back(c);
        continue;
      }
      char next = inner[++i];
      switch (next) {
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        default: out.push_back(next); break;  // backslash, quote and any other byte
      }
    }
    return out;
  }
  if (t.size() >= 2 && t.front() == '\'' && t.back() == '\'') return std::string(t.substr(1, t.size() - 2));
  return std::string(t);
}

std::optional<std::pair<std::string_view, std::string_view>> splitColon(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  return std::pair{text::trimBlanks(line.substr(0, colon)), text::trimBlanks(line.substr(colon + 1))};
}

Expected<uint64_t> parseU64(std::string_view text) {
  std::string_view t = text::trimBlanks(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  if (t.empty() || t.front() == '_' || t.back() == '_') return fail(Error::InvalidCharacter);
  bool nonZero = false;
  for (char c : t) {
    if (c == '_') continue;
    if (c < '0' || c > '9') return fail(Error::InvalidCharacter);
    if (c != '0') nonZero = true;
  }
  if (negative) return nonZero ? Expected<uint64_t>(fail(Error::Overflow)) : Expected<uint64_t>(0);
  uint64_t value = 0;
  for (char c : t) {
    if (c == '_') continue;
    auto digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return fail(Error::Overflow);
    value = value * 10 + digit;
  }
  return value;
}

Expected<uint64_t> parseStepNumber(std::string_view text) {
  auto n = parseU64(text);
  if (n && *n > kMaxStepNumber) return fail(Error::Overflow);
  return n;
}

ImportExpected<SelectorSpec> parseSelectorValueOrBlock(std::string_view inlineValue, Block block,
                                                       size_t itemLine) {
  SelectorSpec found;
  if (!inlineValue.empty()) {
    found.text = parseScalarString(inlineValue);
    return found;
  }
  for (const FlowLine& l : block) {
    auto kv = splitColon(l.text);
    if (!kv) continue;
    auto [key, value] = *kv;
    if (key == "id") {
      found.id = parseScalarString(value);
    } else if (key == "text") {
      found.text = parseScalarString(value);
    } else if (key == "textContains" || key == "contains") {
      found.textContains = parseScalarString(value);
    } else if (key == "contentDescription" || key == "contentDesc") {
      found.contentDesc = parseScalarString(value);
    } else if (key == "element" && !value.empty() && found.empty()) {
      found.text = parseScalarString(value);
    }
  }
  if (found.empty()) return failAt(Error::ImportMissingSelector, itemLine);
  return found;
}

ImportExpected<std::string> parseRequiredScalarOrBlockValue(std::string_view inlineValue, Block block,
                                                            std::string_view key, size_t itemLine) {
  if (!inlineValue.empty()) return parseScalarString(inlineValue);
  for (const FlowLine& l : block) {
    auto kv = splitColon(l.text);
    if (kv && (kv->first == key || kv->first == "value")) return parseScalarString(kv->second);
  }
  return failAt(Error::ImportMissingValue, itemLine);
}

ImportExpected<std::optional<uint64_t>> parseOptionalU64FromBlock(Block block, std::string_view key) {
  for (const FlowLine& l : block) {
    auto kv = splitColon(l.text);
    if (!kv || kv->first != key) continue;
    auto n = parseStepNumber(kv->second);
    if (!n) return failAt(n.error(), l.number);
    return std::optional<uint64_t>(*n);
  }
  return std::optional<uint64_t>();
}

ImportExpected<std::optional<std::string_view>> parseDirectionFromBlock(Block block) {
  for (const FlowLine& l : block) {
    auto kv = splitColon(l.text);
    if (!kv || kv->first != "direction") continue;
    if (equalsIgnoringAsciiCase(kv->second, "down")) return std::optional<std::string_view>("down");
    if (equalsIgnoringAsciiCase(kv->second, "up")) return std::optional<std::string_view>("up");
    return failAt(Error::UnsupportedImportDirection, l.number);
  }
  return std::optional<std::string_view>();
}

ImportExpected<ImportedScenario> parseFlow(std::string_view text, const ImportOptions& options) {
  const std::vector<FlowLine> lines = meaningfulLines(text);
  std::optional<std::string> headerName;
  std::optional<std::string> headerAppId;
  ImportedScenario scenario;
  bool body = false;
  size_t i = 0;
  while (i < lines.size()) {
    const FlowLine& line = lines[i];
    if (line.text == "---") {
      body = true;
      ++i;
      continue;
    }
    if (isItem(line.text)) {
      body = true;
      size_t end = i + 1;
      while (end < lines.size() && !isItem(lines[end].text) && lines[end].text != "---") ++end;
      Block block(lines.data() + i + 1, end - i - 1);
      auto step = convertItem(text::trimBlanks(line.text.substr(2)), block, line.number);
      if (!step) return std::unexpected(step.error());
      scenario.steps.push_back(std::move(*step));
      i = end;
      continue;
    }
    if (body) return failAt(Error::ImportExpectedCommand, line.number);
    if (auto kv = splitColon(line.text)) {
      if (kv->first == "appId") headerAppId = parseScalarString(kv->second);
      if (kv->first == "name") headerName = parseScalarString(kv->second);
    }
    ++i;
  }
  if (options.name) {
    scenario.name = std::string(*options.name);
  } else {
    scenario.name = headerName ? std::move(*headerName) : std::string(kDefaultName);
  }
  if (options.appId) {
    scenario.appId = std::string(*options.appId);
  } else {
    scenario.appId = std::move(headerAppId);
  }
  return scenario;
}

ImportExpected<ConvertedFlow> convertFlowYaml(std::string_view text, const ImportOptions& options) {
  auto scenario = parseFlow(text, options);
  if (!scenario) return std::unexpected(scenario.error());
  StringWriter w;
  (void)importer_json::writeScenarioJson(w, *scenario);  // a string writer never fails
  if (w.str().size() >= kMaxScenarioBytes) return failAt(Error::StreamTooLong, 0);
  ConvertedFlow out;
  out.json = w.take();
  out.name = std::move(scenario->name);
  out.appId = std::move(scenario->appId);
  out.stepCount = scenario->steps.size();
  return out;
}

ImportExpected<ImportResult> importFlowYamlFile(const std::string& flowPath, const std::string& outPath,
                                                const ImportOptions& options) {
  if (!options.force && ::access(outPath.c_str(), F_OK) == 0) return failAt(Error::ImportOutputExists, 0);
  auto text = files::readFileLimited(flowPath, kMaxFlowBytes + 1);
  if (!text) return failAt(text.error(), 0);
  auto converted = convertFlowYaml(*text, options);
  if (!converted) return std::unexpected(converted.error());
  // Without --force the file is created only when absent, so one that
  // appeared since the check above is never replaced.
  if (auto s = output_file::writeWhole(outPath, converted->json, options.force); !s) {
    return failAt(s.error() == Error::PathAlreadyExists ? Error::ImportOutputExists : s.error(), 0);
  }
  ImportResult result;
  result.out = outPath;
  result.name = std::move(converted->name);
  result.appId = std::move(converted->appId);
  result.stepCount = converted->stepCount;
  return result;
}

}  // namespace vyx::importer
