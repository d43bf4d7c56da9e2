#pragma once
// What a flow file becomes before it is written: the steps the importer can
// produce, the converted scenario, the command's options and its result.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/errors.hpp"

namespace vyx::importer {

// A scenario selector limited to what a flow can name; "id" is the
// resource id.
struct SelectorSpec {
  std::optional<std::string> id;
  std::optional<std::string> text;
  std::optional<std::string> textContains;
  std::optional<std::string> contentDesc;

  bool empty() const { return !id && !text && !textContains && !contentDesc; }
};

namespace imported {

struct Launch {};
struct Stop {};
struct ClearState {};
struct Snapshot {};
struct HideKeyboard {};
struct PressBack {};
struct OpenLink {
  std::string url;
};
struct Tap {
  SelectorSpec selector;
};
struct TypeText {
  std::string text;
};
struct EraseText {
  uint32_t maxChars = 0;
};
struct AssertVisible {
  SelectorSpec selector;
};
struct AssertNotVisible {
  SelectorSpec selector;
};
struct WaitVisible {
  SelectorSpec selector;
  uint64_t timeoutMs = 0;
};
struct WaitNotVisible {
  SelectorSpec selector;
  uint64_t timeoutMs = 0;
};
struct ScrollStep {
  SelectorSpec selector;
  std::string_view direction;  // "down" or "up", a constant
  uint64_t timeoutMs = 0;
};
struct Sleep {
  uint64_t ms = 0;
};

}  // namespace imported

using ImportedStep =
    std::variant<imported::Launch, imported::Stop, imported::ClearState, imported::Snapshot,
                 imported::HideKeyboard, imported::PressBack, imported::OpenLink, imported::Tap,
                 imported::TypeText, imported::EraseText, imported::AssertVisible, imported::AssertNotVisible,
                 imported::WaitVisible, imported::WaitNotVisible, imported::ScrollStep, imported::Sleep>;

struct ImportedScenario {
  std::string name;
  std::optional<std::string> appId;  // none: the file has no "appId" member
  std::vector<ImportedStep> steps;
};

// The command-line choices; the name and app id win over the flow's header
// and are used as given.
struct ImportOptions {
  std::optional<std::string_view> name;
  std::optional<std::string_view> appId;
  bool force = false;
};

// What the command reports after writing.
struct ImportResult {
  std::string out;
  std::string name;
  std::optional<std::string> appId;
  uint64_t stepCount = 0;
};

// A refused import: the error, and the 1-based line of the flow file that
// caused it (0 when no single line did, such as a missing file).
struct ImportFailure {
  Error error = Error::Unexpected;
  size_t line = 0;
};

template <class T>
using ImportExpected = std::expected<T, ImportFailure>;

inline std::unexpected<ImportFailure> failAt(Error e, size_t line) {
  return std::unexpected<ImportFailure>(ImportFailure{e, line});
}

}  // namespace vyx::importer
