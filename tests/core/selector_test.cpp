#include "core/selector.hpp"

#include <gtest/gtest.h>

namespace vyx {
namespace {

json::Value parseJson(std::string_view text) {
  auto v = json::parseValue(text);
  EXPECT_TRUE(v.has_value()) << text;
  return v ? *v : json::Value{};
}

TEST(SelectorParse, Cases) {
  struct Case {
    std::string_view json;
    std::optional<Error> error{};
    Selector want{};
  };
  const Case cases[] = {
      {R"({})", {}, {}},
      {R"({"other":5,"selector":{}})", {}, {}},
      {R"({"id":"a","resourceId":5})", {}, {.resourceId = "a"}},
      {R"({"resourceId":"r"})", {}, {.resourceId = "r"}},
      {R"({"id":5,"resourceId":"r"})", Error::SelectorFieldMustBeString, {}},
      {R"({"text":"","textContains":"b","contentDesc":"c","contentDescContains":"d","className":"e"})",
       {},
       {.text = "", .textContains = "b", .contentDesc = "c", .contentDescContains = "d", .className = "e"}},
      {R"({"text":null})", Error::SelectorFieldMustBeString, {}},
      {R"({"className":["x"]})", Error::SelectorFieldMustBeString, {}},
      {R"([])", Error::SelectorMustBeObject, {}},
      {R"("text")", Error::SelectorMustBeObject, {}},
      {R"(null)", Error::SelectorMustBeObject, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    auto s = selector::parseFromJson(parseJson(c.json));
    if (c.error) {
      ASSERT_FALSE(s.has_value());
      EXPECT_EQ(s.error(), *c.error);
    } else {
      ASSERT_TRUE(s.has_value());
      EXPECT_EQ(*s, c.want);
    }
  }
}

TEST(SelectorMatch, Cases) {
  UiNode login{.stableId = "n1",
               .className = "android.widget.Button",
               .resourceId = "app:id/login",
               .text = "Sign In",
               .contentDesc = "login button",
               .bounds = {},
               .enabled = false,
               .visible = true,
               .selected = false};
  UiNode bare{.stableId = "n2", .className = "View", .visible = true};
  UiNode hidden = login;
  hidden.visible = false;
  UiNode emptyText = bare;
  emptyText.text = "";

  struct Case {
    const char* label;
    Selector selector;
    const UiNode* node;
    bool want;
  };
  const Case cases[] = {
      {"empty matches visible", {}, &bare, true},
      {"empty skips hidden", {}, &hidden, false},
      {"all fields but hidden", {.resourceId = "app:id/login", .text = "Sign In"}, &hidden, false},
      {"disabled still matches", {.resourceId = "app:id/login"}, &login, true},
      {"text exact", {.text = "Sign In"}, &login, true},
      {"text case-sensitive", {.text = "SIGN IN"}, &login, false},
      {"text needs text", {.text = ""}, &bare, false},
      {"empty text matches empty", {.text = ""}, &emptyText, true},
      {"empty text not non-empty", {.text = ""}, &login, false},
      {"contains", {.textContains = "gn I"}, &login, true},
      {"contains case", {.textContains = "sign"}, &login, false},
      {"empty contains needs text", {.textContains = ""}, &bare, false},
      {"empty contains any text", {.textContains = ""}, &login, true},
      {"desc exact", {.contentDesc = "login button"}, &login, true},
      {"desc contains", {.contentDescContains = "button"}, &login, true},
      {"desc absent", {.contentDescContains = ""}, &bare, false},
      {"class and text", {.text = "Sign In", .className = "android.widget.Button"}, &login, true},
      {"class mismatch", {.text = "Sign In", .className = "Button"}, &login, false},
      {"resource absent", {.resourceId = "x"}, &bare, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(selector::matches(c.selector, *c.node), c.want) << c.label;
  }
}

}  // namespace
}  // namespace vyx
