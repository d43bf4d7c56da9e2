#include "devices/shim_protocol.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/writer.hpp"

namespace vyx::shim_protocol {
namespace {

std::string line(const ShimCommand& c) {
  StringWriter w;
  EXPECT_TRUE(writeCommandJson(w, c).has_value());
  return w.str();
}

TEST(ShimProtocolTest, WriteCommandJson) {
  ShimCommand everything = request(ShimCmd::swipe);
  everything.selector = "text=a\"b";
  everything.text = "h\xc3\xa9\n";
  everything.x = -1;
  everything.y = 2147483647;
  everything.x1 = -2147483647 - 1;
  everything.y1 = 0;
  everything.x2 = 3;
  everything.y2 = 4;
  everything.durationMs = 4294967295u;
  everything.maxChars = 0;
  ShimCommand settle = request(ShimCmd::settle);
  settle.durationMs = 500;
  ShimCommand alert = request(ShimCmd::acceptSystemAlert);
  alert.text = "Open";
  ShimCommand tap = request(ShimCmd::tap);
  tap.x = 60;
  tap.y = 45;

  struct Case {
    ShimCommand command;
    std::string want;
  };
  const Case cases[] = {
      {request(ShimCmd::pressBack), "{\"cmd\":\"pressBack\"}\n"},
      {request(ShimCmd::snapshot), "{\"cmd\":\"snapshot\"}\n"},
      {settle, "{\"cmd\":\"settle\",\"durationMs\":500}\n"},
      {alert, "{\"cmd\":\"acceptSystemAlert\",\"text\":\"Open\"}\n"},
      {tap, "{\"cmd\":\"tap\",\"x\":60,\"y\":45}\n"},
      {everything,
       "{\"cmd\":\"swipe\",\"selector\":\"text=a\\\"b\",\"text\":\"h\xc3\xa9\\n\",\"x\":-1,\"y\":2147483647,"
       "\"x1\":-2147483648,\"y1\":0,\"x2\":3,\"y2\":4,\"durationMs\":4294967295,\"maxChars\":0}\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(line(c.command), c.want);

  const char* names[] = {"snapshot",  "screenshot", "tap",      "type",   "eraseText",         "hideKeyboard",
                         "swipe",     "pressBack",  "appState", "settle", "acceptSystemAlert", "query"};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(cmdName(static_cast<ShimCmd>(i)), names[i]);
}

TEST(ShimProtocolTest, ParseOkResponse) {
  struct Case {
    std::string reply;
    std::optional<Error> want;
  };
  const Case cases[] = {
      {R"({"status":"ok"})", std::nullopt},
      {" {\"status\":\"ok\",\"extra\":[1,2]}\n", std::nullopt},
      {R"({"status":"OK"})", Error::IosShimResponseNotOk},
      {R"({"status":"error","code":"x"})", Error::IosShimResponseNotOk},
      {R"({"status":true})", Error::IosShimMissingStatus},
      {R"({"ok":true})", Error::IosShimMissingStatus},
      {R"(["status","ok"])", Error::IosShimResponseMustBeObject},
      {R"("ok")", Error::IosShimResponseMustBeObject},
      {R"({"status":"ok","status":"ok"})", Error::DuplicateField},
      {"not json", Error::SyntaxError},
      {"", Error::UnexpectedEndOfInput},
  };
  for (const Case& c : cases) {
    const Status s = parseOkResponse(c.reply);
    if (c.want) {
      ASSERT_FALSE(s.has_value()) << c.reply;
      EXPECT_EQ(s.error(), *c.want) << c.reply << " gave " << errorName(s.error());
    } else {
      EXPECT_TRUE(s.has_value()) << c.reply;
    }
  }
}

TEST(ShimProtocolTest, ParseSnapshotResponseReadsNodes) {
  auto r = parseSnapshotResponse(R"({"status":"ok","viewport":{"width":390,"height":844},"nodes":[
    {"id":"n1","type":"XCUIElementTypeButton","bounds":{"x":-1,"y":2,"width":3,"height":-4},
     "label":"","value":"Val","identifier":"login","enabled":"false","visible":false,"selected":true},
    {"id":"n2","type":7,"bounds":{"x":0,"y":0,"width":10,"height":10},"label":"Lbl","value":"V",
     "identifier":5,"selected":"true"}]})");
  ASSERT_TRUE(r.has_value()) << errorName(r.error());
  EXPECT_EQ(r->viewportWidth, 390u);
  EXPECT_EQ(r->viewportHeight, 844u);
  ASSERT_EQ(r->nodes.size(), 2u);
  const UiNode& a = r->nodes[0];
  EXPECT_EQ(a.stableId, "n1");
  EXPECT_EQ(a.className, "XCUIElementTypeButton");
  EXPECT_EQ(a.bounds, (Bounds{-1, 2, 3, -4}));
  EXPECT_EQ(a.text, "Val");
  EXPECT_EQ(a.resourceId, "login");
  EXPECT_EQ(a.contentDesc, "login");
  EXPECT_TRUE(a.enabled);
  EXPECT_FALSE(a.visible);
  EXPECT_TRUE(a.selected);
  const UiNode& b = r->nodes[1];
  EXPECT_EQ(b.className, "XCUIElementTypeOther");
  EXPECT_EQ(b.text, "Lbl");
  EXPECT_EQ(b.resourceId, std::nullopt);
  EXPECT_EQ(b.contentDesc, std::nullopt);
  EXPECT_TRUE(b.enabled);
  EXPECT_TRUE(b.visible);
  EXPECT_FALSE(b.selected);
}

TEST(ShimProtocolTest, ParseSnapshotResponseViewportFallsBackToZero) {
  const char* replies[] = {
      R"({"status":"ok","nodes":[]})",
      R"({"status":"ok","viewport":{"width":-1,"height":844},"nodes":[]})",
      R"({"status":"ok","viewport":{"width":4294967296,"height":844},"nodes":[]})",
      R"({"status":"ok","viewport":{"width":1.5,"height":844},"nodes":[]})",
      R"({"status":"ok","viewport":[390,844],"nodes":[]})",
  };
  for (const char* reply : replies) {
    auto r = parseSnapshotResponse(reply);
    ASSERT_TRUE(r.has_value()) << reply;
    EXPECT_EQ(r->viewportWidth, 0u) << reply;
    EXPECT_EQ(r->viewportHeight, 0u) << reply;
    EXPECT_TRUE(r->nodes.empty());
  }
  auto max = parseSnapshotResponse(R"({"status":"ok","viewport":{"width":4294967295,"height":0},"nodes":[]})");
  EXPECT_EQ(max->viewportWidth, 4294967295u);
}

TEST(ShimProtocolTest, ParseSnapshotResponseErrors) {
  const std::string b = R"("bounds":{"x":0,"y":0,"width":1,"height":1})";
  struct Case {
    std::string reply;
    Error want;
  };
  const Case cases[] = {
      {R"({"status":"fail","nodes":[]})", Error::IosShimResponseNotOk},
      {R"({"status":"ok"})", Error::IosShimMissingNodes},
      {R"({"status":"ok","nodes":{}})", Error::IosShimNodesMustBeArray},
      {R"({"status":"ok","nodes":[1]})", Error::IosShimNodeMustBeObject},
      {R"({"status":"ok","nodes":[{)" + b + "}]}", Error::IosShimNodeMissingId},
      {R"({"status":"ok","nodes":[{"id":3,)" + b + "}]}", Error::IosShimNodeMissingId},
      {R"({"status":"ok","nodes":[{"id":"a"}]})", Error::IosShimNodeMissingBounds},
      {R"({"status":"ok","nodes":[{"id":"a","bounds":[0,0,1,1]}]})", Error::IosShimBoundsMustBeObject},
      {R"({"status":"ok","nodes":[{"id":"a","bounds":{"x":0,"y":0,"width":1}}]})", Error::IosShimBoundsMissingField},
      {R"({"status":"ok","nodes":[{"id":"a","bounds":{"x":0,"y":0,"width":1,"height":2147483648}}]})",
       Error::IosShimBoundsFieldMustBeInteger},
      {R"({"status":"ok","nodes":[{"id":"a","bounds":{"x":"0","y":0,"width":1,"height":1}}]})",
       Error::IosShimBoundsFieldMustBeInteger},
      {R"({"status":"ok","nodes":[{"id":"a","bounds":{"x":0.0,"y":0,"width":1,"height":1}}]})",
       Error::IosShimBoundsFieldMustBeInteger},
      // The first bad node decides even after good ones.
      {R"({"status":"ok","nodes":[{"id":"a",)" + b + R"(},{"id":"b","bounds":null}]})",
       Error::IosShimBoundsMustBeObject},
  };
  for (const Case& c : cases) {
    auto r = parseSnapshotResponse(c.reply);
    ASSERT_FALSE(r.has_value()) << c.reply;
    EXPECT_EQ(r.error(), c.want) << c.reply << " gave " << errorName(r.error());
  }
  auto low = parseSnapshotResponse(
      R"({"status":"ok","nodes":[{"id":"a","bounds":{"x":-2147483648,"y":0,"width":1,"height":1}}]})");
  ASSERT_TRUE(low.has_value());
  EXPECT_EQ(low->nodes[0].bounds.x, -2147483647 - 1);
}

TEST(ShimProtocolTest, SelectorString) {
  auto sel = [](auto field, std::string v) {
    Selector s;
    s.*field = std::move(v);
    return s;
  };
  EXPECT_EQ(selectorString(sel(&Selector::resourceId, "login")), "resourceId=login");
  EXPECT_EQ(selectorString(sel(&Selector::text, "Sign in")), "text=Sign in");
  EXPECT_EQ(selectorString(sel(&Selector::textContains, "Sign")), "textContains=Sign");
  EXPECT_EQ(selectorString(sel(&Selector::contentDesc, "Close")), "identifier=Close");
  EXPECT_EQ(selectorString(sel(&Selector::contentDescContains, "Clo")), "identifierContains=Clo");
  EXPECT_EQ(selectorString(sel(&Selector::className, "Button")), "type=Button");
  EXPECT_EQ(selectorString(sel(&Selector::text, "")), "text=");
  EXPECT_EQ(selectorString(Selector{}), std::nullopt);
  Selector two = sel(&Selector::text, "a");
  two.className = "b";
  EXPECT_EQ(selectorString(two), std::nullopt);
}

}  // namespace
}  // namespace vyx::shim_protocol
