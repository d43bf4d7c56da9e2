#include "core/validation.hpp"

#include "core/files.hpp"
#include "core/json.hpp"
#include "core/limits.hpp"
#include "core/scenario.hpp"

namespace vyx::validation {

namespace {


struct PathRule {
  std::string_view path;
  std::string_view key;  // empty: the first non-blank byte
};

// The JSON path of a failure and the key whose first occurrence locates it.
std::optional<PathRule> pathRuleFor(Error e) {
  switch (e) {
    case Error::ScenarioMustBeObject:
      return PathRule{"$", ""};
    case Error::ScenarioMissingSteps:
    case Error::ScenarioStepsMustBeArray:
      return PathRule{"$.steps", "steps"};
    case Error::unknownScrollDirection:
      return PathRule{"$.steps[].direction", "direction"};
    case Error::StepMissingUrl:
      return PathRule{"$.steps[].url", "url"};
    case Error::StepMissingText:
      return PathRule{"$.steps[].text", "text"};
    case Error::StepMissingX1:
      return PathRule{"$.steps[].x1", "x1"};
    case Error::StepMissingY1:
      return PathRule{"$.steps[].y1", "y1"};
    case Error::StepMissingX2:
      return PathRule{"$.steps[].x2", "x2"};
    case Error::StepMissingY2:
      return PathRule{"$.steps[].y2", "y2"};
    case Error::StepMissingAction:
    case Error::StepActionMustBeString:
    case Error::unknownAction:
    case Error::unknownScenarioAction:
      return PathRule{"$.steps[].action", "action"};
    case Error::MissingSelector:
    case Error::StepMissingSelector:
    case Error::SelectorMustNotBeEmpty:
      return PathRule{"$.steps[].selector", "selector"};
    case Error::MissingSelectors:
    case Error::StepMissingSelectors:
    case Error::SelectorsMustBeArray:
    case Error::SelectorsMustNotBeEmpty:
      return PathRule{"$.steps[].selectors", "selectors"};
    default:
      return std::nullopt;
  }
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

void lineColumnAt(std::string_view text, size_t offset, size_t& line, size_t& column) {
  line = 1;
  column = 1;
  if (offset > text.size()) offset = text.size();
  for (size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
}

PathDiagnostic pathDiagnostic(std::string_view text, std::string_view path,
                              std::optional<std::string_view> key) {
  PathDiagnostic d;
  d.path = std::string(path);
  size_t offset = 0;
  if (key) {
    std::string quoted;
    quoted.reserve(key->size() + 2);
    quoted.push_back('"');
    quoted.append(*key);
    quoted.push_back('"');
    offset = text.find(quoted);
    if (offset == std::string_view::npos) return d;
  } else {
    while (offset < text.size() && isBlank(text[offset])) ++offset;
    if (offset == text.size()) offset = 0;  // empty or all blank
  }
  size_t line = 0;
  size_t column = 0;
  lineColumnAt(text, offset, line, column);
  d.line = line;
  d.column = column;
  return d;
}

Result failure(std::optional<std::string_view> text, Error e) {
  Result r;
  ErrorClassification c = classify(e);
  r.code = std::string(c.code);
  r.message = std::string(c.message);
  if (text) {
    // Read again for where it failed; the steps are not kept.
    auto doc = json::parse(*text, json::ElementSink{"steps", [](json::Value&&) {}});
    if (!doc) {
      r.line = doc.error().line;
      r.column = doc.error().column;
    } else if (auto rule = pathRuleFor(e)) {
      std::optional<std::string_view> key;
      if (!rule->key.empty()) key = rule->key;
      PathDiagnostic d = pathDiagnostic(*text, rule->path, key);
      r.path = std::move(d.path);
      r.line = d.line;
      r.column = d.column;
    }
  }
  // A file that is not well-formed JSON.
  if (r.line && !r.path && r.code == "internal.error") {
    r.code = "scenario.invalid";
    r.message = "malformed scenario json";
  }
  return r;
}

Result validateFile(const std::string& path) {
  auto text = files::readFileLimited(path, limits::kScenarioBytes);
  if (!text) return failure(std::nullopt, text.error());
  auto outline = scenario::checkSlice(*text);
  if (!outline) return failure(std::string_view(*text), outline.error());
  Result r;
  r.ok = true;
  r.name = std::move(outline->name);
  r.appId = std::move(outline->appId);
  r.stepCount = outline->stepCount;
  return r;
}

}  // namespace vyx::validation
