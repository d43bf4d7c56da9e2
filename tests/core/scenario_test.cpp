#include "core/scenario.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vyx {
namespace {

// Wraps one step in a minimal scenario document.
std::string doc(std::string_view step) {
  return std::string(R"({"name":"n","steps":[)") + std::string(step) + "]}";
}

TEST(ScenarioParse, Errors) {
  struct Case {
    std::string text;
    Error error;
  };
  const Case cases[] = {
      {"[]", Error::ScenarioMustBeObject},
      {"{}", Error::RequiredStringMissing},
      {R"({"name":5,"steps":[]})", Error::RequiredFieldMustBeString},
      {R"({"name":"n","appId":null,"steps":[]})", Error::OptionalFieldMustBeString},
      {R"({"name":"n"})", Error::ScenarioMissingSteps},
      {R"({"name":"n","steps":{}})", Error::ScenarioStepsMustBeArray},
      {R"({"name":"n",)", Error::UnexpectedEndOfInput},
      {R"({"name":"n","steps":[],"name":"m"})", Error::DuplicateField},
      {doc(R"("launch")"), Error::StepMustBeObject},
      {doc(R"({})"), Error::StepMissingAction},
      {doc(R"({"action":3})"), Error::StepActionMustBeString},
      {doc(R"({"action":"Tap","selector":{}})"), Error::unknownScenarioAction},
      {doc(R"({"action":"tap","action":"tap"})"), Error::DuplicateField},
      {doc(R"({"action":"openLink"})"), Error::StepMissingUrl},
      {doc(R"({"action":"openLink","url":1})"), Error::RequiredFieldMustBeString},
      {doc(R"({"action":"tap"})"), Error::StepMissingSelector},
      {doc(R"({"action":"tap","optional":true})"), Error::StepMissingSelector},
      {doc(R"({"action":"tap","selector":null})"), Error::SelectorMustBeObject},
      {doc(R"({"action":"tap","selector":{"text":1}})"), Error::SelectorFieldMustBeString},
      {doc(R"({"action":"typeText","selector":null,"text":"x"})"), Error::SelectorMustBeObject},
      {doc(R"({"action":"typeText"})"), Error::StepMissingText},
      {doc(R"({"action":"swipe","x1":1,"y2":2})"), Error::StepMissingY1},
      {doc(R"({"action":"swipe","x1":1,"y1":2,"y2":4})"), Error::StepMissingX2},
      {doc(R"({"action":"swipe","x1":1,"y1":2,"x2":3})"), Error::StepMissingY2},
      {doc(R"({"action":"swipe","y1":1})"), Error::StepMissingX1},
      {doc(R"({"action":"swipe","x1":2147483648,"y1":0,"x2":0,"y2":0})"), Error::RequiredFieldMustBeInteger},
      {doc(R"({"action":"swipe","x1":1.0,"y1":0,"x2":0,"y2":0})"), Error::RequiredFieldMustBeInteger},
      {doc(R"({"action":"swipe","x1":0,"y1":0,"x2":0,"y2":0,"durationMs":5.0})"), Error::OptionalFieldMustBeInteger},
      {doc(R"({"action":"swipe","x1":0,"y1":0,"x2":0,"y2":0,"durationMs":4294967296})"), Error::OptionalFieldMustBeInteger},
      {doc(R"({"action":"sleep","ms":"500"})"), Error::OptionalFieldMustBeInteger},
      {doc(R"({"action":"sleep","ms":-1})"), Error::OptionalFieldMustBeInteger},
      {doc(R"({"action":"sleep","ms":1e3})"), Error::OptionalFieldMustBeInteger},
      {doc(R"({"action":"sleep","ms":9223372036854775808})"), Error::OptionalFieldMustBeInteger},
      {doc(R"({"action":"sleep","ms":null})"), Error::OptionalFieldMustBeInteger},
      {doc(R"({"action":"eraseText","maxChars":true})"), Error::OptionalFieldMustBeInteger},
      {doc(R"({"action":"assertVisible","selector":{},"timeoutMs":-5})"), Error::OptionalFieldMustBeInteger},
      {doc(R"({"action":"waitAny"})"), Error::StepMissingSelectors},
      {doc(R"({"action":"waitAny","selectors":{}})"), Error::SelectorsMustBeArray},
      {doc(R"({"action":"waitAny","selectors":[]})"), Error::SelectorsMustNotBeEmpty},
      {doc(R"({"action":"assertNoneVisible","selectors":[{},5]})"), Error::SelectorMustBeObject},
      {doc(R"({"action":"optional"})"), Error::OptionalStepMissingStep},
      {doc(R"({"action":"optional","step":5})"), Error::StepMustBeObject},
      {doc(R"({"action":"optional","step":{"action":"openLink"}})"), Error::StepMissingUrl},
      {doc(R"({"action":"whenVisible","selector":{}})"), Error::StepBlockMissingSteps},
      {doc(R"({"action":"repeat","steps":{}})"), Error::StepBlockStepsMustBeArray},
      {doc(R"({"action":"repeat","times":-1,"steps":[]})"), Error::OptionalFieldMustBeInteger},
      {doc(R"({"action":"repeat","steps":[{"action":"launch","optional":"yes"}]})"), Error::OptionalFieldMustBeBool},
      {doc(R"({"action":"scrollUntilVisible","selector":{},"direction":"left"})"), Error::unknownScrollDirection},
      {doc(R"({"action":"scrollUntilVisible","selector":{},"direction":1})"), Error::OptionalFieldMustBeString},
      {doc(R"({"action":"launch","optional":null})"), Error::OptionalFieldMustBeBool},
      // The first failing step's error wins.
      {doc(R"({"action":"tap"},{"action":"openLink"})"), Error::StepMissingSelector},
      // Steps are read as they come, but the JSON and the document's own
      // members are judged first.
      {R"({"steps":[{"action":"fly"}]})", Error::RequiredStringMissing},
      {R"({"steps":[{"action":"fly"}],"name":"n","appId":1})", Error::OptionalFieldMustBeString},
      {R"({"name":"n","steps":[{"action":"fly"}],"x":})", Error::SyntaxError},
      {R"({"name":"n","steps":[{"action":"fly"}],"steps":[]})", Error::DuplicateField},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto s = scenario::parseSlice(c.text);
    ASSERT_FALSE(s.has_value());
    EXPECT_EQ(errorName(s.error()), errorName(c.error));
    auto outline = scenario::checkSlice(c.text);
    ASSERT_FALSE(outline.has_value());
    EXPECT_EQ(errorName(outline.error()), errorName(c.error));
  }
}

TEST(ScenarioParse, DocumentShape) {
  auto s = scenario::parseSlice(R"({"name":"","steps":[],"extra":1})");
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->name, "");
  EXPECT_FALSE(s->appId.has_value());
  EXPECT_TRUE(s->steps.empty());

  s = scenario::parseSlice(R"({"name":"n","appId":"","steps":[]})");
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->appId, "");

  auto outline = scenario::checkSlice(R"({"steps":[{"action":"launch"},{"action":"repeat","steps":[{"action":"stop"}]}],"name":"n","appId":"a"})");
  ASSERT_TRUE(outline.has_value());
  EXPECT_EQ(outline->name, "n");
  EXPECT_EQ(outline->appId, "a");
  EXPECT_EQ(outline->stepCount, 2u);
}

TEST(ScenarioParse, StepPayloadsAndDefaults) {
  auto s = scenario::parseSlice(doc(
      R"({"action":"tap","selector":{"text":"x"},"timeoutMs":7,"unknown":1},)"
      R"({"action":"swipe","x1":-2147483648,"y1":2,"x2":3,"y2":2147483647},)"
      R"({"action":"eraseText"},)"
      R"({"action":"waitVisible","selector":{}},)"
      R"({"action":"assertVisible","selector":{}},)"
      R"({"action":"assertNotVisible","selector":{},"timeoutMs":9223372036854775807},)"
      R"({"action":"waitAny","selectors":[{"id":"a"},{}]},)"
      R"({"action":"assertNoneVisible","selectors":[{}]},)"
      R"({"action":"scrollUntilVisible","selector":{},"direction":"up"},)"
      R"({"action":"sleep"},)"
      R"({"action":"repeat","steps":[{"action":"launch"}]},)"
      R"({"action":"repeat","times":0,"steps":[{"action":"stop"}]},)"
      R"({"action":"whenVisible","selector":{},"steps":[]},)"
      R"({"action":"typeText","text":"hi"})"));
  ASSERT_TRUE(s.has_value()) << errorName(s.error());
  const auto& st = s->steps;
  ASSERT_EQ(st.size(), 14u);

  EXPECT_EQ(st[0].kind(), StepKind::tap);
  EXPECT_EQ(st[0].as<step::Tap>()->selector.text, "x");

  const auto* swipe = st[1].as<step::Swipe>();
  ASSERT_NE(swipe, nullptr);
  EXPECT_EQ(swipe->x1, INT32_MIN);
  EXPECT_EQ(swipe->y2, INT32_MAX);
  EXPECT_EQ(swipe->durationMs, 300u);

  const auto* erase = st[2].as<step::EraseText>();
  EXPECT_FALSE(erase->selector.has_value());
  EXPECT_EQ(erase->maxChars, 80u);
  EXPECT_EQ(st[3].as<step::WaitVisible>()->timeoutMs, 5000u);
  EXPECT_FALSE(st[4].as<step::AssertVisible>()->timeoutMs.has_value());
  EXPECT_EQ(st[5].as<step::AssertNotVisible>()->timeoutMs, uint64_t{9223372036854775807});
  EXPECT_EQ(st[6].as<step::WaitAny>()->selectors.size(), 2u);
  EXPECT_EQ(st[6].as<step::WaitAny>()->timeoutMs, 5000u);
  EXPECT_EQ(st[7].as<step::AssertNoneVisible>()->timeoutMs, 0u);
  EXPECT_EQ(st[8].as<step::ScrollUntilVisible>()->direction, ScrollDirection::up);
  EXPECT_EQ(st[8].as<step::ScrollUntilVisible>()->timeoutMs, 5000u);
  EXPECT_EQ(st[9].as<step::Sleep>()->ms, 500u);
  EXPECT_EQ(st[10].as<step::Repeat>()->times, 1u);
  EXPECT_EQ(st[10].as<step::Repeat>()->steps.at(0).kind(), StepKind::launch);
  EXPECT_EQ(st[11].as<step::Repeat>()->times, 0u);
  EXPECT_EQ(st[12].as<step::WhenVisible>()->timeoutMs, 0u);
  EXPECT_TRUE(st[12].as<step::WhenVisible>()->steps.empty());
  EXPECT_FALSE(st[13].as<step::TypeText>()->selector.has_value());
  EXPECT_EQ(stepKindName(st[13].kind()), "typeText");
}

TEST(ScenarioParse, OptionalForms) {
  auto s = scenario::parseSlice(doc(
      R"({"action":"tap","selector":{"text":"x"},"optional":true},)"
      R"({"action":"tap","selector":{"text":"x"},"optional":false},)"
      R"({"action":"optional","step":{"action":"launch"},"optional":true})"));
  ASSERT_TRUE(s.has_value()) << errorName(s.error());
  const auto& st = s->steps;
  ASSERT_EQ(st[0].kind(), StepKind::optional);
  EXPECT_EQ(st[0].as<step::Optional>()->inner().kind(), StepKind::tap);
  EXPECT_EQ(st[1].kind(), StepKind::tap);
  // Made optional twice: an optional holding an optional holding the launch.
  const auto& outer = *st[2].as<step::Optional>();
  ASSERT_EQ(outer.inner().kind(), StepKind::optional);
  EXPECT_EQ(outer.inner().as<step::Optional>()->inner().kind(), StepKind::launch);

  // Copies are deep.
  Step copy = st[0];
  EXPECT_NE(copy.as<step::Optional>()->step.get(), st[0].as<step::Optional>()->step.get());
  EXPECT_EQ(copy.as<step::Optional>()->inner().as<step::Tap>()->selector.text, "x");
}

TEST(ScenarioParse, DeepNestingIsBoundedByTheReader) {
  auto nested = [](int depth) {
    std::string inner;
    for (int i = 0; i < depth; ++i) inner += R"({"action":"optional","step":)";
    inner += R"({"action":"launch"})";
    inner.append(static_cast<size_t>(depth), '}');
    return doc(inner);
  };
  // The deepest chain the reader lets through: the root object, the steps
  // array, 509 optional steps and the launch make 512 levels.
  auto ok = scenario::parseSlice(nested(509));
  ASSERT_TRUE(ok.has_value());
  EXPECT_EQ(ok->steps.size(), 1u);
  auto deep = scenario::parseSlice(nested(5000));
  ASSERT_FALSE(deep.has_value());
  EXPECT_EQ(deep.error(), Error::SyntaxError);
}

}  // namespace
}  // namespace vyx
