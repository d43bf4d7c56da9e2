#pragma once
// The scenario model: a named, ordered list of steps of 23 kinds, and the
// strict reader that turns a scenario document into it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/step_defaults.hpp"
#include "core/types.hpp"

namespace vyx {

enum class ScrollDirection : uint8_t { down, up };

// The kinds, in the order of Step::Payload's alternatives.
enum class StepKind : uint8_t {
  launch,
  stop,
  clearState,
  snapshot,
  openLink,
  tap,
  typeText,
  pressBack,
  hideKeyboard,
  swipe,
  eraseText,
  waitVisible,
  waitNotVisible,
  waitAny,
  assertVisible,
  assertNotVisible,
  assertNoneVisible,
  assertHealthy,
  optional,
  whenVisible,
  repeat,
  scrollUntilVisible,
  sleep,
};

struct Step;

namespace step {

struct Launch {};
struct Stop {};
struct ClearState {};
struct Snapshot {};
struct OpenLink {
  std::string url{};
};
struct Tap {
  Selector selector{};
};
struct TypeText {
  std::optional<Selector> selector{};
  std::string text{};
};
struct PressBack {};
struct HideKeyboard {};
struct Swipe {
  int32_t x1 = 0;
  int32_t y1 = 0;
  int32_t x2 = 0;
  int32_t y2 = 0;
  uint32_t durationMs = step_defaults::kSwipeDurationMs;
};
struct EraseText {
  std::optional<Selector> selector{};
  uint32_t maxChars = step_defaults::kEraseMaxChars;
};
struct WaitVisible {
  Selector selector{};
  uint64_t timeoutMs = step_defaults::kTimeoutMs;
};
struct WaitNotVisible {
  Selector selector{};
  uint64_t timeoutMs = step_defaults::kTimeoutMs;
};
struct WaitAny {
  std::vector<Selector> selectors{};  // never empty
  uint64_t timeoutMs = step_defaults::kTimeoutMs;
};
struct AssertVisible {
  Selector selector{};
  std::optional<uint64_t> timeoutMs{};  // absent: the runner's default
};
struct AssertNotVisible {
  Selector selector{};
  std::optional<uint64_t> timeoutMs{};
};
struct AssertNoneVisible {
  std::vector<Selector> selectors{};  // never empty
  uint64_t timeoutMs = 0;
};
struct AssertHealthy {
  uint64_t timeoutMs = 0;
};
// Holds one inner step in its own cell; copies are deep.
struct Optional {
  Optional();
  explicit Optional(Step inner);
  Optional(const Optional& other);
  Optional(Optional&& other) noexcept;
  Optional& operator=(const Optional& other);
  Optional& operator=(Optional&& other) noexcept;
  ~Optional();

  const Step& inner() const { return *step; }
  Step& inner() { return *step; }

  std::unique_ptr<Step> step;  // never null
};
// Step is still incomplete here: the nested lists get no default member
// initializer, so nothing of std::vector<Step> is instantiated before Step is
// complete (a value-initialised vector starts empty all the same).
struct WhenVisible {
  Selector selector{};
  uint64_t timeoutMs = 0;
  std::vector<Step> steps;
};
struct Repeat {
  uint32_t times = 1;
  std::vector<Step> steps;
};
struct ScrollUntilVisible {
  Selector selector{};
  uint64_t timeoutMs = step_defaults::kTimeoutMs;
  ScrollDirection direction = ScrollDirection::down;
};
struct Sleep {
  uint64_t ms = 500;
};

}  // namespace step

struct Step {
  using Payload =
      std::variant<step::Launch, step::Stop, step::ClearState, step::Snapshot, step::OpenLink,
                   step::Tap, step::TypeText, step::PressBack, step::HideKeyboard, step::Swipe,
                   step::EraseText, step::WaitVisible, step::WaitNotVisible, step::WaitAny,
                   step::AssertVisible, step::AssertNotVisible, step::AssertNoneVisible,
                   step::AssertHealthy, step::Optional, step::WhenVisible, step::Repeat,
                   step::ScrollUntilVisible, step::Sleep>;

  Payload payload;

  StepKind kind() const { return static_cast<StepKind>(payload.index()); }

  template <class T>
  const T* as() const {
    return std::get_if<T>(&payload);
  }
  template <class T>
  T* as() {
    return std::get_if<T>(&payload);
  }
};

struct Scenario {
  std::string name{};                  // may be empty
  std::optional<std::string> appId{};  // may be empty when present
  std::vector<Step> steps{};           // document order; may be empty
};

// The action name of a kind, as written in scenario files ("launch", "tap"...).
std::string_view stepKindName(StepKind kind);
std::string_view scrollDirectionName(ScrollDirection direction);

namespace scenario {

// Parses a scenario document. Malformed JSON fails with the JSON reader's
// error (SyntaxError, UnexpectedEndOfInput, DuplicateField); the rest with
// the scenario error of the first fault.
Expected<Scenario> parseSlice(std::string_view text);

// A scenario document's name, app id and number of top-level steps.
struct Outline {
  std::string name{};
  std::optional<std::string> appId{};
  size_t stepCount = 0;
};

// Checks a scenario document as parseSlice does, with the same errors,
// keeping no step: each is read, checked and dropped in turn.
Expected<Outline> checkSlice(std::string_view text);

// Reads one step value (an object with "action").
Expected<Step> parseStep(const json::Value& value);

// Reads the "steps" member of a step object (StepBlockMissingSteps,
// StepBlockStepsMustBeArray, or the first nested step's error).
Expected<std::vector<Step>> parseStepsField(const json::Value& stepObject);

// Reads every element of a JSON array as a step, appending in order and
// stopping at the first failure.
Status appendParsedSteps(const json::Value& array, std::vector<Step>& out);

// The "timeoutMs"-style member: absent gives no value; a non-negative integer
// is taken; anything else OptionalFieldMustBeInteger.
Expected<std::optional<uint64_t>> optionalTimeoutMs(const json::Value& object,
                                                    std::string_view key);

// The "direction" member: absent gives down; "down"/"up"; another string
// unknownScrollDirection; another type OptionalFieldMustBeString.
Expected<ScrollDirection> optionalDirection(const json::Value& object, std::string_view key);

}  // namespace scenario
}  // namespace vyx
