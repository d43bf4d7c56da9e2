#include "devices/uiautomator.hpp"

#include <gtest/gtest.h>

#include <string>

#include "vyx_test.hpp"

namespace vyx::uiautomator {
namespace {

using OptStr = std::optional<std::string>;

// The nodes of a dump, their decoded pieces kept for the whole test program
// (the dump itself is kept by the caller).
Expected<std::vector<UiNode>> scan(std::string_view xml) {
  static NodeText text;
  return scanNodes(xml, text);
}

TEST(UiautomatorTest, AttrOwned) {
  struct Case {
    std::string element, name;
    OptStr want;
  };
  const Case cases[] = {
      {R"(<node text="Sign in")", "text", "Sign in"},
      {R"(<node text="")", "text", ""},
      {R"(<node class="a")", "text", std::nullopt},
      {R"(<node text ="x" text="y")", "text", "y"},  // only name=" counts
      {R"(<node text="Tom &amp; Jerry")", "text", "Tom & Jerry"},
      {R"(<node text="&lt;&gt;&quot;&apos;&amp;amp;")", "text", "<>\"'&amp;"},
      {R"(<node text="&#38; &unknown; &")", "text", "&#38; &unknown; &"},
      // Plain runs around entities: a lone '&' right before one, entities at
      // both ends, a cut-off entity at the end.
      {R"(<node text="&&amp;x&lt")", "text", "&&x&lt"},
      {R"(<node text="&gt;Fish &amp; Chips&apos;")", "text", ">Fish & Chips'"},
      // Only a whole name outside the values counts: not the tail of a longer
      // name, nor a value that ends in the name.
      {R"(<node hint-text="h" text="t")", "text", "t"},
      {R"(<node text="see bounds=" bounds="[0,0][9,9]")", "bounds", "[0,0][9,9]"},
      {R"(<node text="class=" class="android.widget.TextView")", "class", "android.widget.TextView"},
      {"<node\ttext=\"tab\"", "text", "tab"},
      {R"(<node text="a" resource-id="r")", "resource-id", "r"},
  };
  for (const Case& c : cases) {
    auto got = attrOwned(c.element, c.name);
    ASSERT_TRUE(got.has_value()) << c.element;
    EXPECT_EQ(*got, c.want) << c.element;
  }
  auto bad = attrOwned(R"(<node class="a" text="never closed)", "text");
  ASSERT_FALSE(bad.has_value());
  EXPECT_EQ(bad.error(), Error::MalformedAttribute);
  // At the very end of the element: the name without room for `="`.
  EXPECT_EQ(*attrOwned("<node text", "text"), std::nullopt);
  EXPECT_EQ(*attrOwned("<node text=", "text"), std::nullopt);
}

TEST(UiautomatorTest, ParseBoolAttr) {
  struct Case {
    std::string element;
    bool fallback, want;
  };
  const Case cases[] = {
      {R"(<node enabled="true")", false, true},   {R"(<node enabled="false")", true, false},
      {R"(<node enabled="TRUE")", true, false},   {R"(<node enabled="")", true, false},
      {R"(<node class="x")", true, true},         {R"(<node class="x")", false, false},
      {R"(<node enabled="true)", false, false},  // unterminated: the fallback
      {R"(<node text="x enabled=" enabled="true")", false, true},
  };
  for (const Case& c : cases) EXPECT_EQ(parseBoolAttr(c.element, "enabled", c.fallback), c.want) << c.element;
}

TEST(UiautomatorTest, ParseBounds) {
  struct Case {
    OptStr value;
    Bounds want;
  };
  const Case cases[] = {
      {"[0,0][1080,2400]", {0, 0, 1080, 2400}},
      {"[100,200][100,250]", {100, 200, 0, 50}},
      {"[10,10][5,5]", {10, 10, 0, 0}},
      {"[0,0][1,1", {0, 0, 0, 0}},
      {"[-5,+7][20,30]", {-5, 7, 25, 23}},
      {"[0,0][1,1]", {0, 0, 1, 1}},
      {"[0, 0][10,10]", {0, 0, 0, 0}},
      {"(0,0)[10,10]", {0, 0, 0, 0}},
      {"[0,0][10,x]", {0, 0, 0, 0}},
      {"[,0][10,10]", {0, 0, 0, 0}},
      {"[0,0][2147483648,10]", {0, 0, 0, 0}},
      // Forms other than exactly [x1,y1][x2,y2], read by searching for
      // each delimiter in turn.
      {"[0,0] [10,20]", {0, 0, 10, 20}},
      {"[1,2][3,4]tail", {1, 2, 2, 2}},
      {"[1,2]x[3,4]", {1, 2, 2, 2}},
      {"[1,2][3,4,5]", {0, 0, 0, 0}},
      {"[+,2][3,4]", {0, 0, 0, 0}},
      {std::nullopt, {0, 0, 0, 0}},
      // Extents past the 32-bit range are clamped, never wrapped.
      {"[-2147483648,-2147483648][2147483647,2147483647]", {-2147483647 - 1, -2147483647 - 1, 2147483647, 2147483647}},
      {"[2147483647,0][-2147483648,10]", {2147483647, 0, 0, 10}},
  };
  for (const Case& c : cases) {
    const Bounds got = parseBounds(c.value ? std::optional<std::string_view>(*c.value) : std::nullopt);
    EXPECT_EQ(got, c.want) << c.value.value_or("<none>");
  }
}

TEST(UiautomatorTest, StableId) {
  auto node = [](OptStr rid, OptStr desc, OptStr text) {
    UiNode n;
    n.className = "android.widget.View";
    n.resourceId = vyx::test::keptOrNone(rid);
    n.contentDesc = vyx::test::keptOrNone(desc);
    n.text = vyx::test::keptOrNone(text);
    n.bounds = {-3, 4, 5, 6};
    return n;
  };
  EXPECT_EQ(stableId(node("ok_button", "d", "t"), 1), "rid:ok_button:1");
  EXPECT_EQ(stableId(node("", "d", "t"), 2), "desc:d:2");
  EXPECT_EQ(stableId(node(std::nullopt, std::nullopt, "Sign in"), 0), "text:Sign in:0");
  EXPECT_EQ(stableId(node("", std::nullopt, std::nullopt), 7), "node:android.widget.View:-3:4:5:6:7");
  UiNode bare;
  EXPECT_EQ(stableId(bare, 0), "node::0:0:0:0:0");
}

TEST(UiautomatorTest, ScanNodesFillsNodesInTextOrder) {
  const std::string xml =
      R"(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation="0">)"
      R"(<node index="0" text="Sign in" resource-id="" class="android.widget.TextView" content-desc="" )"
      R"(enabled="false" selected="true" bounds="[0,0][1080,2400]">)"
      R"(<node index="1" text="" resource-id="ok_button" class="android.widget.Button" content-desc="OK &amp; go" )"
      R"(enabled="true" bounds="[100,200][100,250]" /></node>)"
      R"(<node text="" resource-id="" content-desc="" class="android.view.View" bounds="[10,20][30,60]"/>)"
      R"(</hierarchy>)";
  auto nodes = scan(xml);
  ASSERT_TRUE(nodes.has_value());
  ASSERT_EQ(nodes->size(), 3u);

  const UiNode& a = (*nodes)[0];
  EXPECT_EQ(a.stableId, "text:Sign in:0");
  EXPECT_EQ(a.className, "android.widget.TextView");
  EXPECT_EQ(a.resourceId, "");
  EXPECT_EQ(a.text, "Sign in");
  EXPECT_EQ(a.contentDesc, std::nullopt);
  EXPECT_EQ(a.bounds, (Bounds{0, 0, 1080, 2400}));
  EXPECT_FALSE(a.enabled);
  EXPECT_TRUE(a.visible);
  EXPECT_TRUE(a.selected);

  const UiNode& b = (*nodes)[1];
  EXPECT_EQ(b.stableId, "rid:ok_button:1");
  EXPECT_EQ(b.text, std::nullopt);
  EXPECT_EQ(b.contentDesc, "OK & go");
  EXPECT_TRUE(b.enabled);
  EXPECT_FALSE(b.visible);
  EXPECT_FALSE(b.selected);

  const UiNode& c = (*nodes)[2];
  EXPECT_EQ(c.stableId, "node:android.view.View:10:20:20:40:2");
  EXPECT_EQ(c.resourceId, "");
  EXPECT_EQ(c.text, std::nullopt);
  EXPECT_TRUE(c.enabled);
}

TEST(UiautomatorTest, ScanNodesOnOddDumps) {
  // No node at all; an element without attributes.
  EXPECT_TRUE(scan("").value().empty());
  EXPECT_TRUE(scan("<hierarchy></hierarchy>").value().empty());
  auto bare = scan("<node>").value();
  ASSERT_EQ(bare.size(), 1u);
  EXPECT_EQ(bare[0].stableId, "node::0:0:0:0:0");
  EXPECT_EQ(bare[0].resourceId, std::nullopt);
  EXPECT_TRUE(bare[0].enabled);
  EXPECT_FALSE(bare[0].visible);

  // Truncated in the middle of the last element: the nodes before it remain.
  auto truncated = scan(R"(<node text="a" bounds="[0,0][5,5]"/><node text="b" bounds="[0,0)");
  ASSERT_TRUE(truncated.has_value());
  ASSERT_EQ(truncated->size(), 1u);
  EXPECT_EQ((*truncated)[0].text, "a");

  // An unterminated value inside a complete element fails the scan.
  auto bad = scan(R"(<node text="a"/><node text="b />)");
  ASSERT_FALSE(bad.has_value());
  EXPECT_EQ(bad.error(), Error::MalformedAttribute);

  // A huge dump is one forward pass: many nodes and long values.
  std::string big;
  for (int i = 0; i < 20000; ++i) big += R"(<node text="item" bounds="[0,0][10,10]">)";
  big += R"(<node text=")" + std::string(4 << 20, 'x') + R"(" bounds="[1,1][2,2]"/>)";
  auto many = scan(big);
  ASSERT_TRUE(many.has_value());
  ASSERT_EQ(many->size(), 20001u);
  EXPECT_EQ(many->back().text->size(), size_t{4} << 20);
  EXPECT_EQ((*many)[19999].stableId, "text:item:19999");

  // Many near-misses of an attribute name inside one element.
  std::string misses = "<node ";
  for (int i = 0; i < 100000; ++i) misses += "text ";
  misses += "/>";
  auto near = scan(misses);
  ASSERT_TRUE(near.has_value());
  EXPECT_EQ(near->at(0).text, std::nullopt);
}

}  // namespace
}  // namespace vyx::uiautomator
