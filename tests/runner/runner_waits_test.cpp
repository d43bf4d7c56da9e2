// Waits and assertions: poll counts, the deadline and retry rules, the
// native iOS road, waitAny precedence and the health assertion.

#include "runner/runner_waits.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "fake_device.hpp"
#include "fake_clock.hpp"

namespace vyx {
namespace {

using test::byText;
using test::FakeDevice;
using test::node;
using test::screen;
using test::TraceFixture;

Expected<std::optional<size_t>> found(size_t i) { return std::optional<size_t>(i); }
Expected<std::optional<size_t>> noIndex() { return std::optional<size_t>(); }

const ObservationSnapshot kShown = screen({node("go", "Go")});
const ObservationSnapshot kEmpty = screen({});

// A native query's answer.
Expected<bool> queryReply(bool exists) { return exists; }

// Whether the last event starts with `prefix` ("<kind> <payload start>").
::testing::AssertionResult lastEventStartsWith(const TraceFixture& fx, std::string_view prefix) {
  std::vector<std::string> ev = fx.events();
  if (!ev.empty() && ev.back().rfind(prefix, 0) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "last event: " << (ev.empty() ? std::string("(none)") : ev.back());
}

TEST(RunnerWaits, PollCounts) {
  struct Case {
    const char* name;
    Platform kind;
    bool shim;
    uint64_t timeoutMs;
    bool visible;
    int snapshots, queries;
    uint64_t sleeps;
    bool result;
    std::string lastEvent;  // its start
  };
  const Case cases[] = {
      {"android 0 miss", Platform::android, true, 0, false, 1, 0, 0, false,
       R"(wait.visible {"status":"timeout","timeoutMs":0,"snapshotId")"},
      {"android 1 miss", Platform::android, true, 1, false, 2, 0, 1, false,
       R"(wait.visible {"status":"timeout","timeoutMs":1,)"},
      {"android 1000 miss", Platform::android, true, 1000, false, 3, 0, 2, false,
       R"(wait.visible {"status":"timeout","timeoutMs":1000,)"},
      {"android 0 hit", Platform::android, true, 0, true, 1, 0, 0, true,
       R"(wait.visible {"status":"ok","target":"go")"},
      // iOS with a time-out of 0 checks once through a snapshot, like Android.
      {"ios 0 miss", Platform::ios, true, 0, false, 1, 0, 0, false,
       R"(wait.visible {"status":"timeout","timeoutMs":0,"snapshotId")"},
      {"ios 0 hit", Platform::ios, true, 0, true, 1, 0, 0, true, R"(wait.visible {"status":"ok","target":"go")"},
      {"ios 1 miss", Platform::ios, true, 1, false, 1, 1, 1, false,
       R"(wait.visible {"status":"timeout","strategy":"nativeSelector","timeoutMs":1,"snapshotId")"},
      {"ios 1000 miss", Platform::ios, true, 1000, false, 1, 2, 2, false,
       R"(wait.visible {"status":"timeout","strategy":"nativeSelector","timeoutMs":1000,)"},
      {"ios 1000 hit", Platform::ios, true, 1000, true, 0, 1, 0, true,
       R"(wait.visible {"status":"ok","strategy":"nativeSelector","selector")"},
      {"ios no shim 1 miss", Platform::ios, false, 1, false, 2, 0, 1, false,
       R"(wait.visible {"status":"timeout","strategy":"nativeSelector","timeoutMs":1,)"},
      {"ios no shim 1000 miss", Platform::ios, false, 1000, false, 3, 0, 2, false,
       R"(wait.visible {"status":"timeout","strategy":"nativeSelector",)"},
      {"ios no shim 1000 hit", Platform::ios, false, 1000, true, 1, 0, 0, true,
       R"(wait.visible {"status":"ok","target":"go")"},
  };
  for (const Case& c : cases) {
    TraceFixture fx;
    FakeDevice dev(c.kind, &fx.clock, c.shim);
    dev.snapshots = {c.visible ? kShown : kEmpty};
    dev.queryFn = [&](std::string_view, uint64_t) { return queryReply(c.visible); };
    Expected<bool> r = runner::waitUntilVisible(dev, byText("Go"), c.timeoutMs, &fx.trace, fx.clock);
    ASSERT_TRUE(r) << c.name;
    EXPECT_EQ(*r, c.result) << c.name;
    EXPECT_EQ(dev.count("snapshot"), c.snapshots) << c.name;
    EXPECT_EQ(dev.count("query"), c.queries) << c.name;
    EXPECT_EQ(fx.clock.sleeps(), c.sleeps) << c.name;
    EXPECT_EQ(fx.events().size(), 1u) << c.name;
    EXPECT_TRUE(lastEventStartsWith(fx, c.lastEvent)) << c.name;
  }
}

TEST(RunnerWaits, NativeQueryGetsTheRemainingTime) {
  FakeClock clock;
  FakeDevice dev(Platform::ios, &clock);
  dev.queryFn = [](std::string_view, uint64_t) { return queryReply(false); };
  ASSERT_EQ(runner::waitUntilVisible(dev, byText("Go"), 1000, nullptr, clock), false);
  EXPECT_EQ(dev.calls, (std::vector<std::string>{"query text=Go 1000", "query text=Go 500"}));
}

// NTP or a user setting the time steps the wall clock by an hour during the
// wait; the wait takes neither more nor less time.
TEST(RunnerWaits, StepsOfTheWallClockLeaveDeadlinesAlone) {
  for (int64_t step : {int64_t{3600000}, int64_t{-3600000}}) {
    FakeClock clock;
    FakeDevice dev(Platform::ios, &clock);
    int queries = 0;
    dev.queryFn = [&](std::string_view, uint64_t) {
      // Bounded: a wait that follows the wall clock back would never end.
      clock.stepWallClock(++queries < 10 ? step : int64_t{1} << 50);
      return queryReply(false);
    };
    ASSERT_EQ(runner::waitUntilVisible(dev, byText("Go"), 1000, nullptr, clock), false) << step;
    EXPECT_EQ(dev.calls, (std::vector<std::string>{"query text=Go 1000", "query text=Go 500"})) << step;
    EXPECT_EQ(clock.sleptMs(), 1000u) << step;
  }
}

TEST(RunnerWaits, RetryRule) {
  struct Case {
    const char* name;
    Platform kind;
    uint64_t timeoutMs;
    std::vector<Expected<ObservationSnapshot>> snapshots;
    std::vector<Expected<bool>> replies;  // iOS queries
    Expected<bool> result;
    int retries;
  };
  const Error timedOut = Error::CommandTimedOut;
  const Case cases[] = {
      {"android retried, then seen", Platform::android, 1000, {fail(timedOut), kShown}, {}, true, 1},
      {"android retried before the deadline, failing again at it",
       Platform::android, 500, {fail(timedOut), fail(timedOut)}, {}, fail(timedOut), 1},
      {"android failing at the deadline", Platform::android, 0, {fail(Error::CommandFailed)}, {},
       fail(Error::CommandFailed), 0},
      {"android other error", Platform::android, 1000, {fail(Error::IosShimMissingNodes)}, {},
       fail(Error::IosShimMissingNodes), 0},
      {"ios query retried, then seen", Platform::ios, 1000, {kEmpty},
       {fail(Error::CommandFailed), queryReply(true)}, true, 1},
      // The next cycle's deadline check ends the wait as a time-out.
      {"ios query retried across the deadline", Platform::ios, 500, {kEmpty}, {fail(Error::CommandFailed)},
       false, 1},
      {"ios other query error", Platform::ios, 1000, {kEmpty}, {fail(Error::IosShimExistsMustBeBool)},
       fail(Error::IosShimExistsMustBeBool), 0},
  };
  for (const Case& c : cases) {
    TraceFixture fx;
    FakeDevice dev(c.kind, &fx.clock);
    dev.snapshots.assign(c.snapshots.begin(), c.snapshots.end());
    size_t reply = 0;
    dev.queryFn = [&](std::string_view, uint64_t) { return c.replies[std::min(reply++, c.replies.size() - 1)]; };
    EXPECT_EQ(runner::waitUntilVisible(dev, byText("Go"), c.timeoutMs, &fx.trace, fx.clock), c.result) << c.name;
    int retries = 0;
    for (const std::string& e : fx.events()) {
      if (e.rfind("observe.retry ", 0) == 0) {
        ++retries;
        EXPECT_NE(e.find(R"({"status":"retry","kind":"wait.visible","error":"Command)"), std::string::npos) << e;
      }
    }
    EXPECT_EQ(retries, c.retries) << c.name;
  }
}

TEST(RunnerWaits, NotVisible) {
  // A matching node that is hidden does not block the wait; an empty screen satisfies it.
  for (const ObservationSnapshot& snap : {screen({node("go", "Go", {}, false)}), kEmpty}) {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.snapshots = {snap};
    EXPECT_EQ(runner::waitUntilNotVisible(dev, byText("Go"), 0, &fx.trace, fx.clock), true);
    EXPECT_EQ(fx.events(),
              std::vector<std::string>{R"(wait.notVisible {"status":"ok","selector":{"text":"Go"},"timeoutMs":0})"});
  }
  // iOS: exists false satisfies the not-visible wait natively.
  TraceFixture fx;
  FakeDevice dev(Platform::ios, &fx.clock);
  dev.queryFn = [](std::string_view, uint64_t) { return queryReply(false); };
  EXPECT_EQ(runner::assertNotVisible(dev, byText("Go"), 100, &fx.trace, fx.clock), true);
  EXPECT_TRUE(lastEventStartsWith(fx, R"(assert.notVisible {"status":"ok","strategy":"nativeSelector","sel)"));
}

TEST(RunnerWaits, WaitAny) {
  const std::vector<Selector> ab = {byText("A"), byText("B")};
  // Android: list order wins over snapshot order.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.snapshots = {screen({node("b", "B"), node("a", "A")})};
    EXPECT_EQ(runner::waitUntilAnyVisible(dev, ab, 100, &fx.trace, fx.clock), found(0));
    EXPECT_EQ(fx.events(), std::vector<std::string>{R"(wait.any {"status":"ok","matchedIndex":0,"target":"a",)"
                                                    R"("selector":{"text":"A"},"timeoutMs":100})"});
  }
  // Android time-out: diagnostics without "timeoutMs".
  {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    EXPECT_EQ(runner::waitUntilAnyVisible(dev, ab, 0, &fx.trace, fx.clock), noIndex());
    EXPECT_TRUE(lastEventStartsWith(fx, R"(wait.any {"status":"timeout","snapshotId")"));
  }
  // iOS: the shim is asked selector by selector; the second one exists.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);
    dev.queryFn = [](std::string_view sel, uint64_t) { return queryReply(sel == "text=B"); };
    EXPECT_EQ(runner::waitUntilAnyVisible(dev, ab, 100, &fx.trace, fx.clock), found(1));
    EXPECT_EQ(dev.count("snapshot"), 0);
    EXPECT_EQ(fx.events(), std::vector<std::string>{R"(wait.any {"status":"ok","strategy":"nativeSelector",)"
                                                    R"("matchedIndex":1,"selector":{"text":"B"},"timeoutMs":100})"});
  }
  // iOS with a time-out of 0: one snapshot of all selectors, no native query.
  for (const ObservationSnapshot& snap : {screen({node("b", "B")}), kEmpty}) {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);
    dev.snapshots = {snap};
    EXPECT_EQ(runner::waitUntilAnyVisible(dev, ab, 0, &fx.trace, fx.clock), snap.nodes.empty() ? noIndex() : found(1));
    EXPECT_EQ(dev.calls, std::vector<std::string>{"snapshot"});
    EXPECT_TRUE(lastEventStartsWith(fx, snap.nodes.empty() ? R"(wait.any {"status":"timeout","snapshotId")"
                                                           : R"(wait.any {"status":"ok","matchedIndex":1,"target":"b")"));
  }
  // iOS: nobody exists; two full rounds, then the native time-out at the first selector.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);
    EXPECT_EQ(runner::waitUntilAnyVisible(dev, ab, 1000, &fx.trace, fx.clock), noIndex());
    EXPECT_EQ(dev.count("query"), 4);
    EXPECT_EQ(fx.clock.sleeps(), 2u);
    EXPECT_TRUE(lastEventStartsWith(fx, R"(wait.any {"status":"timeout","strategy":"nativeSelector","timeoutMs":1000,)"));
  }
  // iOS: a selector the shim cannot take sends the round to a snapshot of all selectors.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);
    Selector twoFields = byText("A");
    twoFields.className = "android.widget.TextView";
    dev.snapshots = {screen({node("a", "A")})};
    const std::vector<Selector> sels = {byText("B"), twoFields};
    EXPECT_EQ(runner::waitUntilAnyVisible(dev, sels, 100, &fx.trace, fx.clock), found(1));
    EXPECT_EQ(dev.calls, (std::vector<std::string>{"query text=B 100", "snapshot"}));
    EXPECT_TRUE(lastEventStartsWith(fx, R"(wait.any {"status":"ok","matchedIndex":1,"target")"));
  }
}

TEST(RunnerWaits, WaitAnyEmptyListWaitsOutTheTimeout) {
  for (Platform kind : {Platform::android, Platform::ios}) {
    TraceFixture fx;
    FakeDevice dev(kind, &fx.clock);
    EXPECT_EQ(runner::waitUntilAnyVisible(dev, {}, 1200, &fx.trace, fx.clock), noIndex());
    EXPECT_EQ(fx.clock.sleeps(), 3u);
    EXPECT_EQ(dev.calls, std::vector<std::string>{"snapshot"});  // only for the event
    EXPECT_TRUE(lastEventStartsWith(fx, R"(wait.any {"status":"timeout","strategy":"nativeSelector","timeoutMs":1200,)"
                                     R"("snapshotId":"snapshot-1","selectors":[])"));
  }
  // Without a snapshot the plain native time-out is recorded.
  TraceFixture fx;
  FakeDevice dev(Platform::android, &fx.clock);
  dev.snapshots = {fail(Error::CommandFailed)};
  EXPECT_EQ(runner::waitUntilAnyVisible(dev, {}, 0, &fx.trace, fx.clock), noIndex());
  EXPECT_EQ(fx.events(), std::vector<std::string>{
                             R"(wait.any {"status":"timeout","strategy":"nativeSelector","timeoutMs":0,"selectors":[]})"});
  // Without a trace nothing is observed at all.
  FakeDevice quiet(Platform::android, &fx.clock);
  EXPECT_EQ(runner::waitUntilAnyVisible(quiet, {}, 0, nullptr, fx.clock), noIndex());
  EXPECT_TRUE(quiet.calls.empty());
}

TEST(RunnerWaits, AssertNoneVisible) {
  const std::vector<Selector> sels = {byText("Error"), byText("Go")};
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);  // never native
    dev.snapshots = {kShown, kEmpty};
    EXPECT_EQ(runner::assertNoneVisible(dev, sels, 1000, &fx.trace, fx.clock), true);
    EXPECT_EQ(dev.calls, (std::vector<std::string>{"snapshot", "snapshot"}));
    EXPECT_EQ(fx.events(), std::vector<std::string>{R"(assert.noneVisible {"status":"ok","selectors":)"
                                                    R"([{"text":"Error"},{"text":"Go"}],"timeoutMs":1000})"});
  }
  {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.snapshots = {kShown};
    EXPECT_EQ(runner::assertNoneVisible(dev, sels, 0, &fx.trace, fx.clock), false);
    EXPECT_TRUE(lastEventStartsWith(fx, R"(assert.noneVisible {"status":"visible","timeoutMs":0)"));
  }
  FakeClock clock;
  FakeDevice dev(Platform::android, &clock);
  dev.snapshots = {kShown};
  EXPECT_EQ(runner::assertNoneVisible(dev, {}, 0, nullptr, clock), true);
}

TEST(RunnerWaits, AssertHealthy) {
  const ObservationSnapshot overlay = screen({node("e", "TypeError: undefined")});
  // iOS: the shim reports overlay text 2 at once, whatever the time-out.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);
    dev.queryFn = [](std::string_view sel, uint64_t) {
      return queryReply(sel == "textContains=This development build encountered the following error");
    };
    EXPECT_EQ(runner::assertHealthy(dev, 60000, &fx.trace, fx.clock), false);
    EXPECT_EQ(dev.count("query"), 3);
    EXPECT_EQ(dev.calls[0], "query textContains=Uncaught Error 250");
    EXPECT_TRUE(lastEventStartsWith(
        fx, R"(assert.healthy {"status":"unhealthy","strategy":"nativeSelector","matchedIndex":2,"selectors")"));
  }
  // iOS: all eleven absent.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);
    EXPECT_EQ(runner::assertHealthy(dev, 0, &fx.trace, fx.clock), true);
    EXPECT_EQ(dev.count("query"), 11);
    EXPECT_EQ(dev.calls[0], "query textContains=Uncaught Error 1");
    EXPECT_EQ(dev.count("snapshot"), 0);
  }
  // iOS: a timed-out probe is recorded and the snapshot loop decides, without a pause.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock);
    dev.queryFn = [](std::string_view, uint64_t) -> Expected<bool> { return fail(Error::CommandTimedOut); };
    EXPECT_EQ(runner::assertHealthy(dev, 0, &fx.trace, fx.clock), true);
    EXPECT_EQ(fx.kinds(), (std::vector<std::string>{"observe.retry", "assert.healthy"}));
    EXPECT_EQ(fx.events()[1], R"(assert.healthy {"status":"ok","timeoutMs":0})");
    EXPECT_EQ(fx.clock.sleeps(), 0u);
  }
  // Snapshot loop: an overlay that goes away before the deadline passes.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.snapshots = {overlay, kEmpty};
    EXPECT_EQ(runner::assertHealthy(dev, 1000, &fx.trace, fx.clock), true);
    EXPECT_EQ(dev.count("snapshot"), 2);
  }
  // Snapshot loop: an overlay still shown at the deadline (iOS without a shim).
  {
    TraceFixture fx;
    FakeDevice dev(Platform::ios, &fx.clock, false);
    dev.snapshots = {overlay};
    EXPECT_EQ(runner::assertHealthy(dev, 500, &fx.trace, fx.clock), false);
    EXPECT_EQ(dev.count("snapshot"), 2);
    EXPECT_TRUE(lastEventStartsWith(
        fx, R"(assert.healthy {"status":"unhealthy","timeoutMs":500,"snapshotId":"snapshot-2",)"));
  }
}

TEST(RunnerWaits, IsVisibleNowAndDeadlines) {
  FakeClock clock;
  FakeDevice dev(Platform::ios, &clock);
  dev.snapshots = {kShown, fail(Error::CommandFailed)};
  EXPECT_EQ(runner::isVisibleNow(dev, byText("Go"), nullptr), true);
  EXPECT_EQ(runner::isVisibleNow(dev, byText("Go"), nullptr), fail(Error::CommandFailed));
  EXPECT_EQ(dev.calls, (std::vector<std::string>{"snapshot", "snapshot"}));

  // Time-outs past the 64-bit range saturate.
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  FakeClock late(kMax - 10);
  EXPECT_EQ(runner::deadlineAfter(late, std::numeric_limits<uint64_t>::max()), kMax);
  EXPECT_EQ(runner::deadlineAfter(late, 5), kMax - 5);
  FakeDevice android(Platform::android, &clock);
  android.snapshots = {kEmpty, kShown};
  EXPECT_EQ(runner::waitUntilVisible(android, byText("Go"), std::numeric_limits<uint64_t>::max(), nullptr, clock),
            true);
}

}  // namespace
}  // namespace vyx
