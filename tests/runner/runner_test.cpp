// The step executor and the scenario loop: the exact event stream of each
// control-flow construct in a real trace directory.

#include "runner/runner.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "core/json.hpp"
#include "fake_device.hpp"
#include "fake_clock.hpp"

namespace vyx {
namespace {

using test::byText;
using test::FakeDevice;
using test::node;
using test::screen;
using test::TraceFixture;
using Events = std::vector<std::string>;

Step launch() { return Step{step::Launch{}}; }
Step stop() { return Step{step::Stop{}}; }
Step pressBack() { return Step{step::PressBack{}}; }
Step hideKeyboard() { return Step{step::HideKeyboard{}}; }
Step tap(std::string text) { return Step{step::Tap{byText(std::move(text))}}; }
Step waitVisible(std::string text, uint64_t ms) { return Step{step::WaitVisible{byText(std::move(text)), ms}}; }
Step optional(Step inner) { return Step{step::Optional(std::move(inner))}; }
Step whenVisible(std::string text, uint64_t ms, std::vector<Step> steps) {
  return Step{step::WhenVisible{byText(std::move(text)), ms, std::move(steps)}};
}
Step repeat(uint32_t times, std::vector<Step> steps) { return Step{step::Repeat{times, std::move(steps)}}; }

Scenario scenario(std::vector<Step> steps) {
  Scenario s;
  s.name = "smoke";
  s.appId = "com.example.app";
  s.steps = std::move(steps);
  return s;
}

json::Value manifest(const TraceFixture& fx) {
  Expected<json::Value> v = json::parseValue(test::readFile(fx.dir.file("trace.json")));
  EXPECT_TRUE(v);
  return v ? *v : json::Value{};
}

// Makes every later event fail: a directory takes the event log's place.
void breakEventLog(const TraceFixture& fx) {
  std::filesystem::remove(fx.dir.file("events.jsonl"));
  std::filesystem::create_directory(fx.dir.file("events.jsonl"));
}

const ObservationSnapshot kGo = screen({node("b", "Go")});

TEST(Runner, EmptyScenario) {
  TraceFixture fx;
  FakeDevice dev(Platform::android, &fx.clock);
  ASSERT_TRUE(runner::runScenario(dev, scenario({}), &fx.trace, fx.clock));
  EXPECT_EQ(fx.events(), (Events{R"(scenario.start {"value":"smoke"})",
                                 R"(scenario.end {"value":"smoke","status":"passed"})"}));
  json::Value m = manifest(fx);
  EXPECT_EQ(m.get("status")->string, "passed");
  EXPECT_EQ(m.get("appId")->string, "com.example.app");
  EXPECT_TRUE(m.get("failedStepIndex")->isNull());
}

TEST(Runner, FirstFailingStepEndsTheRun) {
  TraceFixture fx;
  FakeDevice dev(Platform::android, &fx.clock);
  dev.snapshots = {kGo};
  Status st = runner::runScenario(dev, scenario({launch(), tap("Go"), waitVisible("Missing", 0), pressBack()}),
                                  &fx.trace, fx.clock);
  EXPECT_EQ(st, fail(Error::WaitTimeout));
  EXPECT_EQ(fx.events(),
            (Events{
                R"(scenario.start {"value":"smoke"})",
                R"(app.launch {"status":"ok"})",
                R"(step.done {"index":0})",
                R"(ui.tap {"snapshotId":"snapshot-1","target":"b","x":50,"y":25,"attempts":1,"selector":{"text":"Go"}})",
                R"(step.done {"index":1})",
                R"(wait.visible {"status":"timeout","timeoutMs":0,"snapshotId":"snapshot-2","selectors":[{"text":"Missing"}],)"
                R"("activePackage":null,"activeActivity":null,"visibleTexts":["Go"],"hiddenCandidates":[],)"
                R"("disabledCandidates":[],"offscreenCandidates":[],)"
                R"("nearestTextMatches":[{"stableId":"b","text":"Go","score":7,"enabled":true,"visible":true}]})",
                R"(step.error {"index":2,"error":"WaitTimeout"})",
                R"(scenario.end {"value":"smoke","status":"failed","failedStepIndex":2,"error":"WaitTimeout"})",
            }));
  EXPECT_EQ(dev.calls, (Events{"launch", "settle", "snapshot", "tapPoint 50 25", "settle", "snapshot"}));
  json::Value m = manifest(fx);
  EXPECT_EQ(m.get("status")->string, "failed");
  EXPECT_EQ(m.get("failedStepIndex")->integer, 2);
  EXPECT_EQ(m.get("error")->string, "WaitTimeout");
}

TEST(Runner, OptionalSwallowsTheInnerFailure) {
  TraceFixture fx;
  FakeDevice dev(Platform::android, &fx.clock);
  ASSERT_TRUE(runner::runScenario(dev, scenario({optional(tap("Missing")), pressBack()}), &fx.trace, fx.clock));
  std::vector<std::string> kinds = fx.kinds();
  EXPECT_EQ(kinds, (Events{"scenario.start", "ui.tap.notFound", "step.optional", "step.done", "ui.pressBack",
                           "step.done", "scenario.end"}));
  EXPECT_EQ(fx.events()[2], R"(step.optional {"status":"skipped","error":"SelectorNotFound"})");
  EXPECT_EQ(manifest(fx).get("status")->string, "passed");
  // Without a trace the failure passes silently.
  FakeDevice quiet(Platform::android, &fx.clock);
  EXPECT_TRUE(runner::executeStep(quiet, optional(tap("Missing")), nullptr, fx.clock));
}

TEST(Runner, WhenVisible) {
  struct Case {
    const char* name;
    uint64_t timeoutMs;
    Expected<ObservationSnapshot> snap;
    Events events;  // between scenario.start and scenario.end
    int snapshots;
  };
  const std::string skipped = R"(step.whenVisible.skipped {"selector":{"text":"Go"}})";
  const Case cases[] = {
      {"absent, one look", 0, screen({}), {skipped, R"(step.done {"index":0})"}, 1},
      {"probe fails", 0, fail(Error::CommandFailed),
       {R"(step.whenVisible.skipped {"selector":{"text":"Go"},"error":"CommandFailed"})", R"(step.done {"index":0})"},
       1},
      {"never shows", 1000, screen({}), {"wait.visible", skipped, R"(step.done {"index":0})"}, 3},
      {"shows: nested steps run", 1000, kGo,
       {R"(wait.visible {"status":"ok","target":"b","selector":{"text":"Go"},"timeoutMs":1000})",
        R"(ui.pressBack {"status":"ok"})", R"(step.done {"index":0})"},
       1},
  };
  for (const Case& c : cases) {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.snapshots = {c.snap};
    ASSERT_TRUE(runner::runScenario(dev, scenario({whenVisible("Go", c.timeoutMs, {pressBack()})}), &fx.trace,
                                    fx.clock))
        << c.name;
    Events ev = fx.events();
    ASSERT_EQ(ev.size(), c.events.size() + 2) << c.name;
    for (size_t i = 0; i < c.events.size(); ++i) {
      // A bare kind stands for any payload of that kind.
      const bool kindOnly = c.events[i].find(' ') == std::string::npos;
      EXPECT_EQ(kindOnly ? ev[i + 1].substr(0, ev[i + 1].find(' ')) : ev[i + 1], c.events[i]) << c.name;
    }
    EXPECT_EQ(dev.count("snapshot"), c.snapshots) << c.name;
  }
  // A nested step's error is not swallowed.
  TraceFixture fx;
  FakeDevice dev(Platform::android, &fx.clock);
  dev.snapshots = {kGo};
  dev.failNext("pressBack", Error::CommandFailed);
  EXPECT_EQ(runner::executeStep(dev, whenVisible("Go", 0, {pressBack(), hideKeyboard()}), &fx.trace, fx.clock),
            fail(Error::CommandFailed));
  EXPECT_EQ(dev.count("hideKeyboard"), 0);
}

TEST(Runner, Repeat) {
  TraceFixture fx;
  FakeDevice dev(Platform::android, &fx.clock);
  ASSERT_TRUE(runner::executeStep(dev, repeat(0, {pressBack()}), &fx.trace, fx.clock));
  EXPECT_TRUE(fx.events().empty());
  ASSERT_TRUE(runner::executeStep(dev, repeat(3, {pressBack(), hideKeyboard()}), &fx.trace, fx.clock));
  EXPECT_EQ(dev.count("pressBack"), 3);
  EXPECT_EQ(dev.count("hideKeyboard"), 3);
  Events ev = fx.events();
  ASSERT_EQ(ev.size(), 9u);
  EXPECT_EQ(ev[0], R"(step.repeat.iteration {"iteration":1,"times":3})");
  EXPECT_EQ(ev[6], R"(step.repeat.iteration {"iteration":3,"times":3})");
  // An empty body still records its iterations; a failing body stops every iteration.
  TraceFixture fx2;
  ASSERT_TRUE(runner::executeStep(dev, repeat(2, {}), &fx2.trace, fx2.clock));
  EXPECT_EQ(fx2.kinds(), (Events{"step.repeat.iteration", "step.repeat.iteration"}));
  FakeDevice failing(Platform::android, &fx.clock);
  failing.failNext("pressBack", Error::CommandTimedOut);
  EXPECT_EQ(runner::executeStep(failing, repeat(3, {pressBack(), hideKeyboard()}), nullptr, fx.clock),
            fail(Error::CommandTimedOut));
  EXPECT_EQ(failing.calls, Events{"pressBack"});
}

TEST(Runner, PlainSteps) {
  TraceFixture fx;
  FakeDevice dev(Platform::android, &fx.clock);
  step::TypeText type;
  type.text = "hello";
  step::EraseText erase;
  erase.maxChars = 12;
  const std::vector<Step> steps = {
      stop(),
      Step{step::ClearState{}},
      Step{type},
      Step{erase},
      Step{step::Swipe{-1, 2, 3, 4, 300}},
      Step{step::OpenLink{"app://home"}},
      Step{step::Snapshot{}},
  };
  ASSERT_TRUE(runner::runSteps(dev, steps, &fx.trace, fx.clock));
  EXPECT_EQ(dev.calls, (Events{"stop", "clearState", "typeText hello", "settle", "eraseText 12", "settle",
                               "swipe -1 2 3 4 300", "settle", "openLink app://home", "settle", "snapshot"}));
  EXPECT_EQ(fx.events(), (Events{
                             R"(ui.eraseText {"maxChars":12})",
                             R"(ui.swipe {"status":"ok","x1":-1,"y1":2,"x2":3,"y2":4,"durationMs":300})",
                             R"(app.openLink {"status":"ok","url":"app://home"})",
                             "observe.snapshot {\"value\":\"" + fx.dir.file("artifacts/snapshot-1.json") + "\"}",
                         }));
  EXPECT_TRUE(test::fileExists(fx.dir.file("artifacts/snapshot-1.json")));

  // A failing launch records the failure and does not settle.
  FakeDevice broken(Platform::android, &fx.clock);
  broken.failNext("launch", Error::CommandFailed);
  broken.snapshots = {fail(Error::CommandFailed)};
  EXPECT_EQ(runner::executeStep(broken, launch(), &fx.trace, fx.clock), fail(Error::CommandFailed));
  EXPECT_EQ(fx.events().back(), R"(app.launch {"status":"failed","error":"CommandFailed"})");
  // Without a trace a snapshot step still observes, and fails with the device.
  EXPECT_EQ(runner::executeStep(broken, Step{step::Snapshot{}}, nullptr, fx.clock), fail(Error::CommandFailed));
  EXPECT_EQ(broken.calls, (Events{"launch", "snapshot"}));
}

TEST(Runner, StepResultsOfWaitsAndAssertions) {
  FakeClock clock;
  FakeDevice dev(Platform::android, &clock);
  // assertVisible without a time-out waits 5000 ms: 11 observations 500 ms apart.
  EXPECT_EQ(runner::executeStep(dev, Step{step::AssertVisible{byText("Go"), std::nullopt}}, nullptr, clock),
            fail(Error::AssertionFailed));
  EXPECT_EQ(dev.count("snapshot"), 11);
  dev.snapshots = {kGo};
  const Selector go = byText("Go");
  struct Case {
    Step step;
    Error expected;
  };
  const Case cases[] = {
      {Step{step::WaitNotVisible{go, 0}}, Error::WaitTimeout},
      {Step{step::WaitAny{{byText("Other")}, 0}}, Error::WaitTimeout},
      {Step{step::AssertNotVisible{go, 0}}, Error::AssertionFailed},
      {Step{step::AssertNoneVisible{{go}, 0}}, Error::AssertionFailed},
      {Step{step::ScrollUntilVisible{byText("Other"), 0, ScrollDirection::down}}, Error::WaitTimeout},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(runner::executeStep(dev, c.step, nullptr, clock), fail(c.expected)) << stepKindName(c.step.kind());
  }
  dev.snapshots = {screen({node("e", "Invariant Violation: boom")})};
  EXPECT_EQ(runner::executeStep(dev, Step{step::AssertHealthy{0}}, nullptr, clock), fail(Error::AssertionFailed));
}

// A clock that only records what it is asked to sleep.
class RecordingClock final : public Clock {
 public:
  int64_t monotonicMs() override { return 0; }
  int64_t wallClockMs() override { return 0; }
  void sleepMs(uint64_t ms) override { slept.push_back(ms); }
  std::vector<uint64_t> slept;
};

TEST(Runner, SleepHandsTheWholeDurationToTheClock) {
  RecordingClock clock;
  FakeDevice dev;
  constexpr uint64_t kHuge = std::numeric_limits<uint64_t>::max();
  ASSERT_TRUE(runner::executeStep(dev, Step{step::Sleep{kHuge}}, nullptr, clock));
  ASSERT_TRUE(runner::executeStep(dev, Step{step::Sleep{0}}, nullptr, clock));
  EXPECT_EQ(clock.slept, (std::vector<uint64_t>{kHuge, 0}));
}

TEST(Runner, WithoutTrace) {
  FakeClock clock;
  FakeDevice dev(Platform::ios, &clock);
  dev.failNext("stop", Error::CommandFailed);
  EXPECT_EQ(runner::runScenario(dev, scenario({pressBack(), stop(), hideKeyboard()}), nullptr, clock),
            fail(Error::CommandFailed));
  EXPECT_EQ(dev.calls, (Events{"pressBack", "settle", "stop"}));
  EXPECT_TRUE(runner::runScenario(dev, scenario({}), nullptr, clock));
}

TEST(Runner, RecordingFailures) {
  // A failing "step.done" is returned at once: no step.error, scenario.end or finished manifest.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.onCall = [&](const std::string& call) {
      if (call == "stop") breakEventLog(fx);
    };
    Status st = runner::runScenario(dev, scenario({stop(), pressBack()}), &fx.trace, fx.clock);
    ASSERT_FALSE(st);
    EXPECT_EQ(dev.calls, Events{"stop"});
    EXPECT_EQ(manifest(fx).get("status")->string, "running");
  }
  // A failing "step.error" replaces the step's error.
  {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.failNext("stop", Error::CommandFailed);
    dev.onCall = [&](const std::string& call) {
      if (call == "stop") breakEventLog(fx);
    };
    Status st = runner::runScenario(dev, scenario({stop()}), &fx.trace, fx.clock);
    ASSERT_FALSE(st);
    EXPECT_NE(st.error(), Error::CommandFailed);
    EXPECT_EQ(manifest(fx).get("status")->string, "running");
  }
  // A failing "app.launch" failure event, or "step.optional", is returned in place of the device error.
  for (const Step& step : {launch(), optional(launch())}) {
    TraceFixture fx;
    FakeDevice dev(Platform::android, &fx.clock);
    dev.failNext("launch", Error::CommandFailed);
    dev.onCall = [&](const std::string& call) {
      if (call == "launch") breakEventLog(fx);
    };
    Status st = runner::executeStep(dev, step, &fx.trace, fx.clock);
    ASSERT_FALSE(st) << stepKindName(step.kind());
    EXPECT_NE(st.error(), Error::CommandFailed);
  }
}

}  // namespace
}  // namespace vyx
