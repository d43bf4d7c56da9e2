// The failure diagnostics payload and the error-overlay check.

#include "runner/runner_diagnostics.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "fake_device.hpp"
#include "runner/health.hpp"

namespace vyx {
namespace {

using test::byText;
using test::node;
using test::screen;
namespace diag = runner_diagnostics;

std::string payload(std::string_view status, std::optional<std::string_view> strategy,
                    const std::vector<Selector>& selectors, const ObservationSnapshot& snap,
                    std::optional<uint64_t> timeoutMs) {
  StringWriter w;
  EXPECT_TRUE(diag::writePayload(w, status, strategy, selectors, snap, timeoutMs));
  return w.str();
}

std::string candidate(std::string_view id, std::string_view text, bool enabled, bool visible, int x = 0) {
  return R"({"stableId":")" + std::string(id) + R"(","className":"android.widget.TextView","text":")" +
         std::string(text) + R"(","contentDesc":null,"resourceId":null,"bounds":{"x":)" + std::to_string(x) +
         R"(,"y":0,"width":100,"height":50},"enabled":)" + (enabled ? "true" : "false") +
         ",\"visible\":" + (visible ? "true" : "false") + "}";
}

TEST(RunnerDiagnostics, FullPayload) {
  ObservationSnapshot snap = screen(
      {
          node("n1", "Log in"),
          node("n2", "Login", {0, 0, 100, 50}, /*visible=*/false),
          node("n3", "Login", {0, 0, 100, 50}, true, /*enabled=*/false),
          node("n4", "Login", {2000, 0, 100, 50}),
          node("n5", ""),
          node("n6", std::nullopt),
      },
      {1080, 1920});
  snap.id = "snapshot-3";
  snap.activePackage = "com.app";
  snap.nodes[4].contentDesc = "icon";
  snap.nodes[5].contentDesc = "Help";
  const std::string expected =
      R"({"status":"timeout","timeoutMs":5000,"snapshotId":"snapshot-3","selectors":[{"text":"Login"}],)"
      R"("activePackage":"com.app","activeActivity":null,"visibleTexts":["Log in","Login","Login","Help"],)"
      R"("hiddenCandidates":[)" +
      candidate("n2", "Login", true, false) + R"(],"disabledCandidates":[)" + candidate("n3", "Login", false, true) +
      R"(],"offscreenCandidates":[)" + candidate("n4", "Login", true, true, 2000) +
      R"(],"nearestTextMatches":[{"stableId":"n1","text":"Log in","score":3,"enabled":true,"visible":true},)"
      R"({"stableId":"n6","text":"Help","score":5,"enabled":true,"visible":true}]})";
  EXPECT_EQ(payload("timeout", std::nullopt, {byText("Login")}, snap, 5000), expected);
}

TEST(RunnerDiagnostics, EmptySnapshotAndStrategyThroughTrace) {
  test::TraceFixture fx;
  ObservationSnapshot snap;
  snap.id = "s";
  const std::vector<Selector> none;
  ASSERT_TRUE(diag::recordWithOptions(fx.trace, "wait.any", "timeout", "nativeSelector", none, snap, 0));
  EXPECT_EQ(fx.events(), std::vector<std::string>{
                             R"(wait.any {"status":"timeout","strategy":"nativeSelector","timeoutMs":0,"snapshotId":"s",)"
                             R"("selectors":[],"activePackage":null,"activeActivity":null,"visibleTexts":[],)"
                             R"("hiddenCandidates":[],"disabledCandidates":[],"offscreenCandidates":[],)"
                             R"("nearestTextMatches":[]})"});
}

TEST(RunnerDiagnostics, CandidateClasses) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  struct Case {
    const char* name;
    Bounds bounds;
    bool visible, enabled;
    Viewport viewport;
    const char* list;  // the one list holding the node, or "" for none
  };
  const Case cases[] = {
      {"hidden", {0, 0, 10, 10}, false, false, {}, "hiddenCandidates"},
      {"disabled", {0, 0, 10, 10}, true, false, {}, "disabledCandidates"},
      {"zero width, no viewport", {0, 0, 0, 10}, true, true, {}, "offscreenCandidates"},
      {"far away, no viewport", {5000, 5000, 10, 10}, true, true, {}, ""},
      {"left edge on right border", {1080, 0, 10, 10}, true, true, {1080, 1920}, "offscreenCandidates"},
      {"reaching in from the left", {-50, 0, 100, 10}, true, true, {1080, 1920}, ""},
      {"ending at the left border", {-100, 0, 100, 10}, true, true, {1080, 1920}, "offscreenCandidates"},
      {"below", {0, 1920, 10, 10}, true, true, {1080, 1920}, "offscreenCandidates"},
      {"sum past 32 bits", {kMax, kMax, kMax, kMax}, true, true, {1080, 1920}, "offscreenCandidates"},
      {"huge viewport", {kMax - 1, 0, 10, 10}, true, true, {4294967295u, 10}, ""},
  };
  const char* lists[] = {"hiddenCandidates", "disabledCandidates", "offscreenCandidates"};
  const diag::CandidateClass classes[] = {diag::CandidateClass::hidden, diag::CandidateClass::disabled,
                                          diag::CandidateClass::offscreen};
  for (const Case& c : cases) {
    ObservationSnapshot snap = screen({node("n", "X", c.bounds, c.visible, c.enabled)}, c.viewport);
    for (int i = 0; i < 3; ++i) {
      StringWriter w;
      JsonObjectWriter o(w);
      diag::writeCandidateList(o, lists[i], std::vector<Selector>{byText("X")}, snap, classes[i]);
      EXPECT_TRUE(o.finish());
      const bool listed = w.str().find("\"stableId\":\"n\"") != std::string::npos;
      EXPECT_EQ(listed, std::string_view(c.list) == lists[i]) << c.name << " / " << lists[i];
    }
  }
}

TEST(RunnerDiagnostics, NearestScore) {
  struct Case {
    std::string_view query, label;
    uint64_t score;
  };
  const Case cases[] = {
      {"Search", "go SEARCH!", 4},   // query inside the label, ignoring case
      {"Submit", "Xubmit", 6},       // same length, first byte differs
      {"Submit", "SUBMIT", 0},       // only letter case differs
      {"Sign in now", "Sign in", 4}, // label inside the query
      {"Login", "Log in", 3},        // common prefix of 3
      {"", "abc", 3},                // an empty query occurs everywhere
      {"\xC3\x89", "\xC3\xA9", 1},   // no folding beyond ASCII
  };
  for (const Case& c : cases) EXPECT_EQ(diag::nearestScore(c.query, c.label), c.score) << c.query << "/" << c.label;
}

std::vector<std::string> nearestIds(const std::string& json) {
  std::vector<std::string> ids;
  size_t at = json.find("\"nearestTextMatches\"");
  while ((at = json.find("\"stableId\":\"", at)) != std::string::npos) {
    at += 12;
    ids.push_back(json.substr(at, json.find('"', at) - at));
  }
  return ids;
}

TEST(RunnerDiagnostics, NearestKeepsFiveLowestInSnapshotOrder) {
  // Scores against "abc": 1, 3, 1, 2, 1, 6, 1, 2.
  ObservationSnapshot snap = screen({node("abcd", "abcd"), node("xyz", "xyz"), node("ab", "ab"),
                                     node("abcde", "abcde"), node("abc!", "abc!"), node("z", "zzzzzz"),
                                     node("abx", "abx"), node("abcdf", "abcdf")});
  EXPECT_EQ(nearestIds(payload("timeout", {}, {byText("abc")}, snap, {})),
            (std::vector<std::string>{"abcd", "ab", "abc!", "abx", "abcde"}));
}

TEST(RunnerDiagnostics, Limits) {
  std::vector<UiNode> nodes;
  for (int i = 0; i < 25; ++i) nodes.push_back(node("v" + std::to_string(i), "t" + std::to_string(i)));
  for (int i = 0; i < 12; ++i) nodes.push_back(node("h" + std::to_string(i), "Hidden", {}, false));
  const std::string json =
      payload("timeout", {}, {byText("Hidden"), byText("b"), byText("c")}, screen(std::move(nodes)), {});
  const std::string texts = json.substr(json.find("\"visibleTexts\""), json.find("\"hiddenCandidates\"") -
                                                                            json.find("\"visibleTexts\""));
  EXPECT_EQ(std::count(texts.begin(), texts.end(), ','), 20);  // 20 texts, 19 separators + the trailing one
  const size_t hidden = json.find("\"hiddenCandidates\"");
  const std::string hiddenList = json.substr(hidden, json.find("\"disabledCandidates\"") - hidden);
  size_t entries = 0;
  for (size_t at = 0; (at = hiddenList.find("\"stableId\"", at)) != std::string::npos; ++at) ++entries;
  EXPECT_EQ(entries, 10u);
  EXPECT_EQ(nearestIds(json).size(), 10u);  // 5 for "Hidden", 5 for "b", none for "c"
}

TEST(RunnerDiagnostics, FieldMatchIgnoresVisibility) {
  UiNode n = node("n", "Hello world", {}, false);
  Selector contains;
  contains.textContains = "world";
  EXPECT_TRUE(diag::nodeMatchesSelectorFields(n, contains));
  Selector desc;
  desc.contentDesc = "x";
  EXPECT_FALSE(diag::nodeMatchesSelectorFields(n, desc));  // the node has no contentDesc
  EXPECT_TRUE(diag::nodeMatchesSelectorFields(n, Selector{}));
}

TEST(Health, OverlayCheck) {
  UiNode inText = node("a", "at line 3: TypeError: x is undefined");
  UiNode inDesc = node("b", std::nullopt);
  inDesc.contentDesc = "TypeError";
  UiNode hidden = node("c", "TypeError", {}, false);
  EXPECT_TRUE(health::hasUnhealthyOverlay({inText}));
  EXPECT_FALSE(health::hasUnhealthyOverlay({inDesc, hidden}));
  EXPECT_FALSE(health::hasUnhealthyOverlay({}));
  ASSERT_EQ(health::defaultSelectors().size(), 11u);
  EXPECT_EQ(*health::defaultSelectors()[10].textContains, "SyntaxError");
}

}  // namespace
}  // namespace vyx
