// Selector actions (tap, type, erase) and scrolling until visible.

#include "runner/runner_actions.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "fake_device.hpp"

namespace vyx {
namespace {

using test::byText;
using test::FakeDevice;
using test::node;
using test::screen;
using test::TraceFixture;

constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();
const ObservationSnapshot kEmpty = screen({});

TEST(RunnerActions, FindActionable) {
  struct Case {
    const char* name;
    std::vector<UiNode> nodes;
    Viewport viewport;
    const char* expected;  // stable id, or "" for none
  };
  const Case cases[] = {
      {"first in snapshot order, even if smaller", {node("big", "Go", {0, 0, 500, 500}), node("small", "Go", {0, 0, 2, 2})}, {}, "big"},
      {"disabled skipped", {node("off", "Go", {0, 0, 10, 10}, true, false), node("on", "Go", {0, 0, 10, 10})}, {}, "on"},
      {"zero size skipped", {node("flat", "Go", {0, 0, 10, 0}), node("ok", "Go", {0, 0, 10, 10})}, {}, "ok"},
      {"hidden skipped", {node("h", "Go", {0, 0, 10, 10}, false)}, {}, ""},
      {"left edge on the right border", {node("r", "Go", {1080, 0, 10, 10})}, {1080, 1920}, ""},
      {"reaching in from the left", {node("l", "Go", {-50, 0, 100, 10})}, {1080, 1920}, "l"},
      {"no viewport: anywhere", {node("r", "Go", {1080, 0, 10, 10})}, {0, 0}, "r"},
      {"one viewport dimension 0", {node("r", "Go", {5000, 5000, 10, 10})}, {1080, 0}, "r"},
      {"sums past 32 bits", {node("x", "Go", {kMax32, kMax32, kMax32, kMax32})}, {}, "x"},
      {"huge viewport", {node("x", "Go", {kMax32 - 5, 0, 10, 10})}, {4294967295u, 4294967295u}, "x"},
  };
  for (const Case& c : cases) {
    const ObservationSnapshot snap = screen(c.nodes, c.viewport);
    const UiNode* found = runner::findActionable(snap, byText("Go"));
    EXPECT_EQ(found ? found->stableId : "", c.expected) << c.name;
  }
  EXPECT_EQ(runner::tapPointOf(node("n", "", {10, 20, 101, 51})), (runner::Point{60, 45}));
  EXPECT_EQ(runner::tapPointOf(node("n", "", {kMax32 - 1, -7, kMax32, 3})), (runner::Point{kMax32, -6}));
}

TEST(RunnerActions, TapAttempts) {
  struct Case {
    const char* name;
    int foundAt;  // 1-based observation showing the element; 0 for never
    int64_t snapshotCostMs;
    int snapshots;
    uint64_t sleeps;
  };
  const Case cases[] = {
      {"first observation", 1, 0, 1, 0},
      {"third observation", 3, 0, 3, 2},
      {"never, instant snapshots", 0, 0, 11, 10},
      {"never, slow snapshots", 0, 2000, 3, 2},  // ends 2000, 4500, 7000
  };
  for (const Case& c : cases) {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.snapshotCostMs = c.snapshotCostMs;
    dev.snapshotFn = [&](int n) {
      return n + 1 == c.foundAt ? screen({node("b", "Go", {10, 20, 101, 51})}) : kEmpty;
    };
    Status st = runner::tapSelector(dev, byText("Go"), &fx.trace, fx.clock);
    EXPECT_EQ(dev.count("snapshot"), c.snapshots) << c.name;
    EXPECT_EQ(fx.clock.sleeps(), c.sleeps) << c.name;
    ASSERT_EQ(fx.events().size(), 1u) << c.name;
    if (c.foundAt) {
      EXPECT_TRUE(st) << c.name;
      EXPECT_EQ(fx.events()[0], R"(ui.tap {"snapshotId":"snapshot-)" + std::to_string(c.foundAt) +
                                    R"(","target":"b","x":60,"y":45,"attempts":)" + std::to_string(c.foundAt) +
                                    R"(,"selector":{"text":"Go"}})")
          << c.name;
      EXPECT_EQ(dev.calls.back(), "settle");
      EXPECT_EQ(dev.calls[dev.calls.size() - 2], "tapPoint 60 45");
    } else {
      EXPECT_EQ(st, fail(Error::SelectorNotFound)) << c.name;
      EXPECT_EQ(fx.events()[0].rfind(R"(ui.tap.notFound {"status":"not_found","snapshotId":)", 0), 0u) << c.name;
      EXPECT_EQ(dev.count("tapPoint"), 0);
    }
  }
}

TEST(RunnerActions, TapFailures) {
  // A failing first snapshot ends the tap at once, with no retry and no event.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.snapshots = {fail(Error::CommandFailed)};
    EXPECT_EQ(runner::tapSelector(dev, byText("Go"), &fx.trace, fx.clock), fail(Error::CommandFailed));
    EXPECT_EQ(dev.calls, std::vector<std::string>{"snapshot"});
    EXPECT_TRUE(fx.events().empty());
  }
  // A failing tap command: no event, no settle.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.snapshots = {screen({node("b", "Go")})};
    dev.failNext("tapPoint", Error::CommandTimedOut);
    EXPECT_EQ(runner::tapSelector(dev, byText("Go"), &fx.trace, fx.clock), fail(Error::CommandTimedOut));
    EXPECT_EQ(dev.calls, (std::vector<std::string>{"snapshot", "tapPoint 50 25"}));
    EXPECT_TRUE(fx.events().empty());
  }
}

TEST(RunnerActions, IosNativeRoad) {
  const Selector go = byText("Go");
  // Performed natively: one event, no snapshot.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);
    dev.selectorActionFn = [](const SelectorAction&, const Selector&) -> Expected<NativeAction> {
      return NativeAction::performed;
    };
    ASSERT_TRUE(runner::tapSelector(dev, go, &fx.trace, fx.clock));
    EXPECT_EQ(dev.calls, (std::vector<std::string>{"selectorAction tap", "settle"}));
    EXPECT_EQ(fx.events(),
              std::vector<std::string>{R"(ui.tap {"status":"ok","strategy":"nativeSelector","selector":{"text":"Go"}})"});
    ASSERT_TRUE(runner::typeTextSelector(dev, go, "hi", &fx.trace, fx.clock));
    ASSERT_TRUE(runner::eraseTextSelector(dev, go, 5, &fx.trace, fx.clock));
    EXPECT_EQ(fx.events()[1], R"(ui.type {"status":"ok","strategy":"nativeSelector","selector":{"text":"Go"},"text":"hi"})");
    EXPECT_EQ(fx.events()[2],
              R"(ui.eraseText {"status":"ok","strategy":"nativeSelector","selector":{"text":"Go"},"maxChars":5})");
    EXPECT_EQ(dev.count("snapshot"), 0);
  }
  // A native error is recorded as a failed event of the action's kind and returned.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);
    dev.selectorActionFn = [](const SelectorAction&, const Selector&) -> Expected<NativeAction> {
      return fail(Error::IosShimResponseNotOk);
    };
    EXPECT_EQ(runner::typeTextSelector(dev, go, "hi", &fx.trace, fx.clock), fail(Error::IosShimResponseNotOk));
    EXPECT_EQ(dev.calls, std::vector<std::string>{"selectorAction type"});
    EXPECT_EQ(fx.events(), std::vector<std::string>{R"(ui.type {"status":"failed","strategy":"nativeSelector",)"
                                                    R"("error":"IosShimResponseNotOk","selector":{"text":"Go"}})"});
  }
  // Not performed: typing taps (natively first, then by snapshot), types and records without strategy.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);
    dev.snapshots = {screen({node("b", "Go")})};
    ASSERT_TRUE(runner::typeTextSelector(dev, go, "hi", &fx.trace, fx.clock));
    EXPECT_EQ(dev.calls, (std::vector<std::string>{"selectorAction type", "selectorAction tap", "snapshot",
                                                   "tapPoint 50 25", "settle", "typeText hi", "settle"}));
    EXPECT_EQ(fx.kinds(), (std::vector<std::string>{"ui.tap", "ui.type"}));
    EXPECT_EQ(fx.events()[1], R"(ui.type {"status":"ok","selector":{"text":"Go"},"text":"hi"})");
  }
}

TEST(RunnerActions, TypeAndEraseBySnapshot) {
  TraceFixture fx;
  FakeDevice dev(Platform::android, &fx.clock);
  dev.snapshots = {screen({node("b", "Go")})};
  ASSERT_TRUE(runner::typeTextSelector(dev, byText("Go"), "hi", &fx.trace, fx.clock));
  ASSERT_TRUE(runner::eraseTextSelector(dev, byText("Go"), 5, &fx.trace, fx.clock));
  EXPECT_EQ(dev.calls, (std::vector<std::string>{"snapshot", "tapPoint 50 25", "settle", "typeText hi", "settle",
                                                 "snapshot", "tapPoint 50 25", "settle", "eraseText 5", "settle"}));
  EXPECT_EQ(fx.kinds(), (std::vector<std::string>{"ui.tap", "ui.type", "ui.tap", "ui.eraseText"}));
  EXPECT_EQ(fx.events()[3], R"(ui.eraseText {"maxChars":5})");

  // Nothing to tap (as on iOS without a shim): the action ends before typing.
  TraceFixture fx2;
  FakeDevice ios(Platform::ios, &fx2.clock, false);
  EXPECT_EQ(runner::typeTextSelector(ios, byText("Go"), "hi", &fx2.trace, fx2.clock), fail(Error::SelectorNotFound));
  EXPECT_EQ(ios.count("typeText"), 0);
  EXPECT_EQ(fx2.kinds(), std::vector<std::string>{"ui.tap.notFound"});
}

TEST(RunnerScroll, Geometry) {
  struct Case {
    Viewport viewport;
    ScrollDirection direction;
    runner::ScrollSwipe swipe;
  };
  const Case cases[] = {
      {{0, 0}, ScrollDirection::down, {360, 1024, 384}},
      {{0, 0}, ScrollDirection::up, {360, 384, 1024}},
      {{1080, 2400}, ScrollDirection::down, {540, 1920, 720}},
      {{1080, 0}, ScrollDirection::down, {540, 1024, 384}},
      {{4294967295u, 4294967295u}, ScrollDirection::down, {kMax32, kMax32, 1288490188}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(runner::scrollGeometry(c.viewport, c.direction), c.swipe) << c.viewport.width << "x" << c.viewport.height;
  }
}

TEST(RunnerScroll, Cycles) {
  const Selector go = byText("Go");
  const ObservationSnapshot shown = screen({node("b", "Go")}, {1080, 2400});
  // timeoutMs 0: one snapshot decides, no swipe either way.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    EXPECT_EQ(runner::scrollUntilVisible(dev, go, 0, ScrollDirection::down, &fx.trace, fx.clock), false);
    EXPECT_EQ(dev.calls, std::vector<std::string>{"snapshot"});
    EXPECT_EQ(fx.events()[0].rfind(R"(ui.scrollUntilVisible {"status":"timeout","snapshotId":)", 0), 0u);
  }
  // Found on the third snapshot: two swipes, each recorded and settled.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);
    dev.snapshots = {kEmpty, kEmpty, shown};
    EXPECT_EQ(runner::scrollUntilVisible(dev, go, 5000, ScrollDirection::up, &fx.trace, fx.clock), true);
    EXPECT_EQ(dev.calls, (std::vector<std::string>{"snapshot", "swipe 360 384 360 1024 350", "settle", "snapshot",
                                                   "swipe 360 384 360 1024 350", "settle", "snapshot"}));
    EXPECT_EQ(fx.events(),
              (std::vector<std::string>{
                  R"(ui.scroll {"direction":"up","x":360,"y1":384,"y2":1024})",
                  R"(ui.scroll {"direction":"up","x":360,"y1":384,"y2":1024})",
                  R"(ui.scrollUntilVisible {"status":"ok","target":"b","selector":{"text":"Go"},"direction":"up","timeoutMs":5000})"}));
    EXPECT_EQ(fx.clock.sleeps(), 0u);  // the settle replaces the pause
  }
  // A swipe ending past the deadline: the next snapshot still counts.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.snapshots = {kEmpty, shown};
    dev.onCall = [&](const std::string& call) {
      if (call == "settle") fx.clock.advance(600);
    };
    EXPECT_EQ(runner::scrollUntilVisible(dev, go, 500, ScrollDirection::down, &fx.trace, fx.clock), true);
  }
  // A retried snapshot, then a failing swipe.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.snapshots = {fail(Error::CommandTimedOut), kEmpty};
    dev.failNext("swipe", Error::IosXCTestShimRequired);
    EXPECT_EQ(runner::scrollUntilVisible(dev, go, 5000, ScrollDirection::down, &fx.trace, fx.clock),
              fail(Error::IosXCTestShimRequired));
    EXPECT_EQ(fx.events(), std::vector<std::string>{
                               R"(observe.retry {"status":"retry","kind":"ui.scrollUntilVisible","error":"CommandTimedOut"})"});
    EXPECT_EQ(fx.clock.sleeps(), 1u);
  }
}

}  // namespace
}  // namespace vyx
