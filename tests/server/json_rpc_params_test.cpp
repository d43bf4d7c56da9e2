// The request parameter readers: absent, wrong kind and out-of-range values.
#include "server/json_rpc_params.hpp"

#include <gtest/gtest.h>

#include <climits>

namespace {

using vyx::Error;
namespace params = vyx::json_rpc_params;

vyx::json::Value parse(std::string_view text) { return *vyx::json::parseValue(text); }

template <class T>
std::string outcome(const vyx::Expected<T>& r) {
  if (!r) return std::string(vyx::errorName(r.error()));
  std::string text = "=";
  if constexpr (std::is_same_v<T, std::string_view>) {
    text += *r;
  } else {
    text += std::to_string(*r);
  }
  return text;
}

TEST(Params, AbsentOrNotAnObjectMeansAbsent) {
  for (const char* text : {"[1]", "\"x\"", "7", "null", "{}"}) {
    auto p = parse(text);
    EXPECT_EQ(outcome(params::requiredString(&p, "path")), "MissingParam") << text;
    EXPECT_EQ(outcome(params::optionalU64(&p, "timeoutMs", 5000)), "=5000") << text;
    EXPECT_EQ(outcome(params::optionalBool(&p, "force")), "=0") << text;
    EXPECT_EQ(params::selectorParam(&p).error(), Error::MissingSelector) << text;
    EXPECT_EQ(params::selectors(&p).error(), Error::MissingSelectors) << text;
    EXPECT_EQ(*params::optionalDirection(&p), vyx::ScrollDirection::down) << text;
  }
  EXPECT_EQ(outcome(params::requiredI32(nullptr, "x1")), "MissingParam");
}

TEST(Params, IntegerKindsAndRanges) {
  struct Case {
    const char* value;
    const char* u64;
    const char* u32;
    const char* i32;
  };
  const Case cases[] = {
      {"0", "=0", "=0", "=0"},
      {"-1", "ParamMustBeInteger", "ParamMustBeInteger", "=-1"},
      {"2.0", "ParamMustBeInteger", "ParamMustBeInteger", "ParamMustBeInteger"},
      {"1e3", "ParamMustBeInteger", "ParamMustBeInteger", "ParamMustBeInteger"},
      {"\"5\"", "ParamMustBeInteger", "ParamMustBeInteger", "ParamMustBeInteger"},
      {"4294967295", "=4294967295", "=4294967295", "ParamMustBeInteger"},
      {"4294967296", "=4294967296", "ParamMustBeInteger", "ParamMustBeInteger"},
      {"2147483647", "=2147483647", "=2147483647", "=2147483647"},
      {"-2147483648", "ParamMustBeInteger", "ParamMustBeInteger", "=-2147483648"},
      {"-2147483649", "ParamMustBeInteger", "ParamMustBeInteger", "ParamMustBeInteger"},
      {"18446744073709551616", "ParamMustBeInteger", "ParamMustBeInteger", "ParamMustBeInteger"},
  };
  for (const Case& c : cases) {
    auto p = parse(std::string("{\"v\":") + c.value + "}");
    EXPECT_EQ(outcome(params::optionalU64(&p, "v", 1)), c.u64) << c.value;
    EXPECT_EQ(outcome(params::optionalU32(&p, "v", 1)), c.u32) << c.value;
    EXPECT_EQ(outcome(params::requiredI32(&p, "v")), c.i32) << c.value;
  }
}

TEST(Params, TimeoutWhoseDeadlineWouldOverflow) {
  const int64_t now = 1700000000000;
  auto fits = parse("{\"timeoutMs\":" + std::to_string(INT64_MAX - now) + "}");
  EXPECT_TRUE(params::timeoutMs(&fits, 5000, now));
  auto over = parse("{\"timeoutMs\":" + std::to_string(INT64_MAX - now + 1) + "}");
  EXPECT_EQ(params::timeoutMs(&over, 5000, now).error(), Error::ParamMustBeInteger);
  auto zero = parse(R"({"timeoutMs":0})");
  EXPECT_EQ(*params::timeoutMs(&zero, 5000, now), 0u);
}

TEST(Params, StringsBoolsSelectorsDirections) {
  auto p = parse(R"({"s":"a","n":1,"b":true,"sel":null,"selector":{"id":"x","text":"y"},)"
                 R"("direction":"Up","selectors":[{"text":"a"},{"text":3}]})");
  EXPECT_EQ(outcome(params::requiredString(&p, "s")), "=a");
  EXPECT_EQ(outcome(params::requiredString(&p, "n")), "ParamMustBeString");
  EXPECT_EQ(params::optionalString(&p, "n").error(), Error::ParamMustBeString);
  EXPECT_FALSE(*params::optionalString(&p, "absent"));
  EXPECT_EQ(outcome(params::optionalBool(&p, "b")), "=1");
  EXPECT_EQ(outcome(params::optionalBool(&p, "s")), "ParamMustBeBool");
  auto selector = params::selectorParam(&p);
  ASSERT_TRUE(selector);
  EXPECT_EQ(selector->resourceId.value_or(""), "x");
  EXPECT_EQ(params::optionalDirection(&p).error(), Error::unknownScrollDirection);
  EXPECT_EQ(params::selectors(&p).error(), Error::SelectorFieldMustBeString);

  auto other = parse(R"({"selector":null,"direction":3,"selectors":{}})");
  EXPECT_EQ(params::optionalSelector(&other).error(), Error::SelectorMustBeObject);
  EXPECT_EQ(params::optionalDirection(&other).error(), Error::ParamMustBeString);
  EXPECT_EQ(params::selectors(&other).error(), Error::SelectorsMustBeArray);
  auto empty = parse(R"({"selectors":[],"direction":"up","selector":{}})");
  EXPECT_EQ(params::selectors(&empty).error(), Error::SelectorsMustNotBeEmpty);
  EXPECT_EQ(*params::optionalDirection(&empty), vyx::ScrollDirection::up);
  EXPECT_TRUE(params::selectorParam(&empty)->empty());
}

}  // namespace
