#include "core/scenario.hpp"

#include <utility>

#include "core/scenario_fields.hpp"
#include "core/step_defaults.hpp"

namespace vyx {

namespace step {

Optional::Optional() : step(std::make_unique<Step>()) {}
Optional::Optional(Step inner) : step(std::make_unique<Step>(std::move(inner))) {}
Optional::Optional(const Optional& other) : step(std::make_unique<Step>(*other.step)) {}
Optional::Optional(Optional&& other) noexcept : step(std::move(other.step)) {}
Optional& Optional::operator=(const Optional& other) {
  if (this != &other) step = std::make_unique<Step>(*other.step);
  return *this;
}
Optional& Optional::operator=(Optional&& other) noexcept {
  step = std::move(other.step);
  return *this;
}
Optional::~Optional() = default;

}  // namespace step

namespace {

struct KindName {
  std::string_view name;
  StepKind kind;
};

constexpr KindName kKindNames[] = {
    {"launch", StepKind::launch},
    {"stop", StepKind::stop},
    {"clearState", StepKind::clearState},
    {"snapshot", StepKind::snapshot},
    {"openLink", StepKind::openLink},
    {"tap", StepKind::tap},
    {"typeText", StepKind::typeText},
    {"pressBack", StepKind::pressBack},
    {"hideKeyboard", StepKind::hideKeyboard},
    {"swipe", StepKind::swipe},
    {"eraseText", StepKind::eraseText},
    {"waitVisible", StepKind::waitVisible},
    {"waitNotVisible", StepKind::waitNotVisible},
    {"waitAny", StepKind::waitAny},
    {"assertVisible", StepKind::assertVisible},
    {"assertNotVisible", StepKind::assertNotVisible},
    {"assertNoneVisible", StepKind::assertNoneVisible},
    {"assertHealthy", StepKind::assertHealthy},
    {"optional", StepKind::optional},
    {"whenVisible", StepKind::whenVisible},
    {"repeat", StepKind::repeat},
    {"scrollUntilVisible", StepKind::scrollUntilVisible},
    {"sleep", StepKind::sleep},
};

namespace f = scenario_fields;

bool holdsSteps(StepKind kind) {
  return kind == StepKind::optional || kind == StepKind::whenVisible || kind == StepKind::repeat;
}

// The kinds that hold further steps. Kept out of readKind so that steps
// nested as deep as the JSON reader allows recurse through small frames only.
Expected<Step> readNested(StepKind kind, const json::Value& o) {
  // Checked by hand rather than through VYX_TRY_ASSIGN, which would hold a
  // second copy of each value in this frame.
  if (kind == StepKind::optional) {
    const json::Value* inner = o.get("step");
    if (inner == nullptr) return fail(Error::OptionalStepMissingStep);
    auto s = scenario::parseStep(*inner);
    if (!s) return fail(s.error());
    return Step{step::Optional{std::move(*s)}};
  }
  if (kind == StepKind::whenVisible) {
    auto sel = f::parseSelectorField(o, "selector");
    if (!sel) return fail(sel.error());
    auto timeout = f::optionalU64(o, "timeoutMs", 0);
    if (!timeout) return fail(timeout.error());
    auto steps = scenario::parseStepsField(o);
    if (!steps) return fail(steps.error());
    return Step{step::WhenVisible{std::move(*sel), *timeout, std::move(*steps)}};
  }
  auto times = f::optionalU32(o, "times", 1);
  if (!times) return fail(times.error());
  auto steps = scenario::parseStepsField(o);
  if (!steps) return fail(steps.error());
  return Step{step::Repeat{*times, std::move(*steps)}};
}

// Reads the payload of one kind from its step object, fields in table order.
Expected<Step> readKind(StepKind kind, const json::Value& o) {
  switch (kind) {
    case StepKind::launch:
      return Step{step::Launch{}};
    case StepKind::stop:
      return Step{step::Stop{}};
    case StepKind::clearState:
      return Step{step::ClearState{}};
    case StepKind::snapshot:
      return Step{step::Snapshot{}};
    case StepKind::pressBack:
      return Step{step::PressBack{}};
    case StepKind::hideKeyboard:
      return Step{step::HideKeyboard{}};
    case StepKind::openLink: {
      VYX_TRY_ASSIGN(auto url, f::requiredStringOrError(o, "url", Error::StepMissingUrl));
      return Step{step::OpenLink{std::move(url)}};
    }
    case StepKind::tap: {
      VYX_TRY_ASSIGN(auto sel, f::parseSelectorField(o, "selector"));
      return Step{step::Tap{std::move(sel)}};
    }
    case StepKind::typeText: {
      VYX_TRY_ASSIGN(auto sel, f::parseOptionalSelectorField(o, "selector"));
      VYX_TRY_ASSIGN(auto text, f::requiredStringOrError(o, "text", Error::StepMissingText));
      return Step{step::TypeText{std::move(sel), std::move(text)}};
    }
    case StepKind::swipe: {
      step::Swipe s;
      VYX_TRY_ASSIGN(auto x1, f::requiredI32OrError(o, "x1", Error::StepMissingX1));
      VYX_TRY_ASSIGN(auto y1, f::requiredI32OrError(o, "y1", Error::StepMissingY1));
      VYX_TRY_ASSIGN(auto x2, f::requiredI32OrError(o, "x2", Error::StepMissingX2));
      VYX_TRY_ASSIGN(auto y2, f::requiredI32OrError(o, "y2", Error::StepMissingY2));
      VYX_TRY_ASSIGN(auto duration, f::optionalU32(o, "durationMs", step_defaults::kSwipeDurationMs));
      s.x1 = x1;
      s.y1 = y1;
      s.x2 = x2;
      s.y2 = y2;
      s.durationMs = duration;
      return Step{s};
    }
    case StepKind::eraseText: {
      VYX_TRY_ASSIGN(auto sel, f::parseOptionalSelectorField(o, "selector"));
      VYX_TRY_ASSIGN(auto maxChars, f::optionalU32(o, "maxChars", step_defaults::kEraseMaxChars));
      return Step{step::EraseText{std::move(sel), maxChars}};
    }
    case StepKind::waitVisible:
    case StepKind::waitNotVisible: {
      VYX_TRY_ASSIGN(auto sel, f::parseSelectorField(o, "selector"));
      VYX_TRY_ASSIGN(auto timeout, f::optionalU64(o, "timeoutMs", step_defaults::kTimeoutMs));
      if (kind == StepKind::waitVisible) return Step{step::WaitVisible{std::move(sel), timeout}};
      return Step{step::WaitNotVisible{std::move(sel), timeout}};
    }
    case StepKind::waitAny:
    case StepKind::assertNoneVisible: {
      VYX_TRY_ASSIGN(auto sels, f::parseSelectorArrayField(o, "selectors"));
      VYX_TRY_ASSIGN(auto timeout,
                     f::optionalU64(o, "timeoutMs", kind == StepKind::waitAny ? step_defaults::kTimeoutMs : 0));
      if (kind == StepKind::waitAny) return Step{step::WaitAny{std::move(sels), timeout}};
      return Step{step::AssertNoneVisible{std::move(sels), timeout}};
    }
    case StepKind::assertVisible:
    case StepKind::assertNotVisible: {
      VYX_TRY_ASSIGN(auto sel, f::parseSelectorField(o, "selector"));
      VYX_TRY_ASSIGN(auto timeout, scenario::optionalTimeoutMs(o, "timeoutMs"));
      if (kind == StepKind::assertVisible) {
        return Step{step::AssertVisible{std::move(sel), timeout}};
      }
      return Step{step::AssertNotVisible{std::move(sel), timeout}};
    }
    case StepKind::assertHealthy: {
      VYX_TRY_ASSIGN(auto timeout, f::optionalU64(o, "timeoutMs", 0));
      return Step{step::AssertHealthy{timeout}};
    }
    case StepKind::optional:
    case StepKind::whenVisible:
    case StepKind::repeat:
      return readNested(kind, o);
    case StepKind::scrollUntilVisible: {
      VYX_TRY_ASSIGN(auto sel, f::parseSelectorField(o, "selector"));
      VYX_TRY_ASSIGN(auto timeout, f::optionalU64(o, "timeoutMs", step_defaults::kTimeoutMs));
      VYX_TRY_ASSIGN(auto direction, scenario::optionalDirection(o, "direction"));
      return Step{step::ScrollUntilVisible{std::move(sel), timeout, direction}};
    }
    case StepKind::sleep: {
      VYX_TRY_ASSIGN(auto ms, f::optionalU64(o, "ms", 500));
      return Step{step::Sleep{ms}};
    }
  }
  return fail(Error::unknownScenarioAction);
}

}  // namespace

std::string_view stepKindName(StepKind kind) {
  for (const KindName& k : kKindNames) {
    if (k.kind == kind) return k.name;
  }
  return "";
}

std::string_view scrollDirectionName(ScrollDirection direction) {
  return direction == ScrollDirection::up ? "up" : "down";
}

namespace scenario {

Expected<std::optional<uint64_t>> optionalTimeoutMs(const json::Value& object,
                                                    std::string_view key) {
  if (object.get(key) == nullptr) return std::optional<uint64_t>{};
  VYX_TRY_ASSIGN(auto v, scenario_fields::optionalU64(object, key, 0));
  return std::optional<uint64_t>{v};
}

Expected<ScrollDirection> optionalDirection(const json::Value& object, std::string_view key) {
  const json::Value* v = object.get(key);
  if (v == nullptr) return ScrollDirection::down;
  if (!v->isString()) return fail(Error::OptionalFieldMustBeString);
  if (v->string == "down") return ScrollDirection::down;
  if (v->string == "up") return ScrollDirection::up;
  return fail(Error::unknownScrollDirection);
}

Status appendParsedSteps(const json::Value& array, std::vector<Step>& out) {
  out.reserve(out.size() + array.array.size());
  for (const json::Value& element : array.array) {
    VYX_TRY_ASSIGN(auto s, parseStep(element));
    out.push_back(std::move(s));
  }
  return {};
}

Expected<std::vector<Step>> parseStepsField(const json::Value& stepObject) {
  const json::Value* v = stepObject.get("steps");
  if (v == nullptr) return fail(Error::StepBlockMissingSteps);
  if (!v->isArray()) return fail(Error::StepBlockStepsMustBeArray);
  std::vector<Step> steps;
  VYX_TRY(appendParsedSteps(*v, steps));
  return steps;
}

Expected<Step> parseStep(const json::Value& value) {
  if (!value.isObject()) return fail(Error::StepMustBeObject);
  const json::Value* action = value.get("action");
  if (action == nullptr) return fail(Error::StepMissingAction);
  if (!action->isString()) return fail(Error::StepActionMustBeString);
  const KindName* found = nullptr;
  for (const KindName& k : kKindNames) {
    if (k.name == action->string) {
      found = &k;
      break;
    }
  }
  if (found == nullptr) return fail(Error::unknownScenarioAction);
  // Checked by hand like readNested's: this frame is on the nesting path too.
  auto s = holdsSteps(found->kind) ? readNested(found->kind, value) : readKind(found->kind, value);
  if (!s) return fail(s.error());
  // The step's own "optional" member comes last, for every kind.
  const json::Value* optional = value.get("optional");
  if (optional == nullptr) return s;
  if (!optional->isBool()) return fail(Error::OptionalFieldMustBeBool);
  if (!optional->boolean) return s;
  return Step{step::Optional{std::move(*s)}};
}

namespace {

// Reads a scenario document, handing each top-level step to `keep` as the
// JSON reader hands it out, so that the steps are never held as JSON all at
// once. The errors come in the order of the checks: the JSON reader's, the
// document's own members, then the first step that failed (after which no
// step is read).
template <class Keep>
Expected<Outline> readSlice(std::string_view text, Keep&& keep) {
  std::optional<Error> stepError;
  json::ElementSink sink{"steps", [&](json::Value&& element) {
                           if (stepError) return;
                           auto s = parseStep(element);
                           if (!s) {
                             stepError = s.error();
                             return;
                           }
                           keep(std::move(*s));
                         }};
  auto doc = json::parse(text, sink);
  if (!doc) return fail(doc.error().error);
  const json::Value& root = *doc;
  if (!root.isObject()) return fail(Error::ScenarioMustBeObject);
  Outline out;
  const json::Value* name = root.get("name");
  if (name == nullptr) return fail(Error::RequiredStringMissing);
  if (!name->isString()) return fail(Error::RequiredFieldMustBeString);
  out.name = name->string;
  if (const json::Value* appId = root.get("appId"); appId != nullptr) {
    if (!appId->isString()) return fail(Error::OptionalFieldMustBeString);
    out.appId = appId->string;
  }
  const json::Value* steps = root.get("steps");
  if (steps == nullptr) return fail(Error::ScenarioMissingSteps);
  if (!steps->isArray()) return fail(Error::ScenarioStepsMustBeArray);
  if (stepError) return fail(*stepError);
  return out;
}

}  // namespace

Expected<Scenario> parseSlice(std::string_view text) {
  std::vector<Step> steps;
  VYX_TRY_ASSIGN(auto outline, readSlice(text, [&](Step&& s) { steps.push_back(std::move(s)); }));
  return Scenario{std::move(outline.name), std::move(outline.appId), std::move(steps)};
}

Expected<Outline> checkSlice(std::string_view text) {
  size_t count = 0;
  auto outline = readSlice(text, [&](Step&&) { ++count; });
  if (outline) outline->stepCount = count;
  return outline;
}

}  // namespace scenario
}  // namespace vyx
