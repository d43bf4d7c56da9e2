// Every payload shape the runner records, pinned as it lands in events.jsonl.

#include "runner/runner_events.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "fake_device.hpp"
#include "runner/health.hpp"
#include "runner/runner_native.hpp"

namespace vyx {
namespace {

using test::TraceFixture;
namespace ev = runner_events;

Selector two() {
  Selector s;
  s.resourceId = "login";
  s.text = "Go";
  return s;
}

std::string overlaySelectorsJson() {
  std::string out = "[";
  for (const Selector& s : health::defaultSelectors()) {
    if (out.size() > 1) out += ",";
    out += "{\"textContains\":\"" + *s.textContains + "\"}";
  }
  return out + "]";
}

struct Case {
  const char* name;
  std::function<Status(TraceWriter&)> record;
  std::string expected;
};

TEST(RunnerEvents, PayloadShapes) {
  const Selector sel = two();
  const Selector a = test::byText("A");
  Selector b;
  b.textContains = "B";
  const std::vector<Selector> ab = {a, b};
  const std::string sj = R"({"id":"login","text":"Go"})";
  const std::vector<Case> cases = {
      {"launch ok", [](TraceWriter& t) { return ev::recordActionStatus(t, "app.launch", "ok", {}, {}); },
       R"(app.launch {"status":"ok"})"},
      {"openLink failed",
       [](TraceWriter& t) { return ev::recordActionStatus(t, "app.openLink", "failed", Error::CommandFailed, "app://x"); },
       R"(app.openLink {"status":"failed","error":"CommandFailed","url":"app://x"})"},
      {"swipe", [](TraceWriter& t) { return ev::recordSwipe(t, -5, 10, 20, -30, 4000000000u); },
       R"(ui.swipe {"status":"ok","x1":-5,"y1":10,"x2":20,"y2":-30,"durationMs":4000000000})"},
      {"native wait with index", [&](TraceWriter& t) { return ev::recordNativeWait(t, "wait.any", sel, 2, 1500); },
       R"(wait.any {"status":"ok","strategy":"nativeSelector","matchedIndex":2,"selector":)" + sj +
           R"(,"timeoutMs":1500})"},
      {"native wait", [&](TraceWriter& t) { return ev::recordNativeWait(t, "wait.visible", sel, {}, 0); },
       R"(wait.visible {"status":"ok","strategy":"nativeSelector","selector":)" + sj + R"(,"timeoutMs":0})"},
      {"native timeout empty", [](TraceWriter& t) { return ev::recordNativeWaitTimeout(t, "wait.any", {}, 7); },
       R"(wait.any {"status":"timeout","strategy":"nativeSelector","timeoutMs":7,"selectors":[]})"},
      {"native timeout", [&](TraceWriter& t) { return ev::recordNativeWaitTimeout(t, "wait.notVisible", ab, 7); },
       R"(wait.notVisible {"status":"timeout","strategy":"nativeSelector","timeoutMs":7,"selectors":[{"text":"A"},{"textContains":"B"}]})"},
      {"retry", [](TraceWriter& t) { return ev::recordObservationRetry(t, "wait.visible", Error::CommandTimedOut); },
       R"(observe.retry {"status":"retry","kind":"wait.visible","error":"CommandTimedOut"})"},
      {"none visible ok", [&](TraceWriter& t) { return ev::recordSelectorArrayStatus(t, ab, 10); },
       R"(assert.noneVisible {"status":"ok","selectors":[{"text":"A"},{"textContains":"B"}],"timeoutMs":10})"},
      {"healthy native unhealthy",
       [](TraceWriter& t) { return ev::recordNativeSelectorArrayStatus(t, "unhealthy", 3, 0); },
       R"(assert.healthy {"status":"unhealthy","strategy":"nativeSelector","matchedIndex":3,"selectors":)" +
           overlaySelectorsJson() + R"(,"timeoutMs":0})"},
      {"healthy native ok", [](TraceWriter& t) { return ev::recordNativeSelectorArrayStatus(t, "ok", {}, 9); },
       R"(assert.healthy {"status":"ok","strategy":"nativeSelector","selectors":)" + overlaySelectorsJson() +
           R"(,"timeoutMs":9})"},
      {"skipped", [&](TraceWriter& t) { return ev::recordSelectorEvent(t, a); },
       R"(step.whenVisible.skipped {"selector":{"text":"A"}})"},
      {"skipped with error",
       [&](TraceWriter& t) { return ev::recordSelectorEventWithError(t, a, Error::CommandFailed); },
       R"(step.whenVisible.skipped {"selector":{"text":"A"},"error":"CommandFailed"})"},
      {"step error", [](TraceWriter& t) { return ev::recordStepError(t, 2, Error::WaitTimeout); },
       R"(step.error {"index":2,"error":"WaitTimeout"})"},
      {"scenario passed", [](TraceWriter& t) { return ev::recordScenarioEnd(t, "s", "passed", {}, {}); },
       R"(scenario.end {"value":"s","status":"passed"})"},
      {"scenario failed",
       [](TraceWriter& t) { return ev::recordScenarioEnd(t, "s", "failed", 0, Error::SelectorNotFound); },
       R"(scenario.end {"value":"s","status":"failed","failedStepIndex":0,"error":"SelectorNotFound"})"},
      {"discover", [](TraceWriter& t) { return ev::recordTraceDiscover(t, "ok", "/tmp/d.json", true, false); },
       R"(trace.discover {"status":"ok","out":"/tmp/d.json","includeActions":true,"validated":false})"},
      {"explore", [](TraceWriter& t) { return ev::recordTraceExplore(t, "failed", "o.json", "", false, true); },
       R"(trace.explore {"status":"failed","out":"o.json","goal":"","includeActions":false,"validated":true})"},
      {"native action", [&](TraceWriter& t) { return runner_native::recordSelectorAction(t, "ui.tap", a, {}); },
       R"(ui.tap {"status":"ok","strategy":"nativeSelector","selector":{"text":"A"}})"},
      {"native action count 0",
       [&](TraceWriter& t) { return runner_native::recordSelectorAction(t, "ui.eraseText", a, 0u); },
       R"(ui.eraseText {"status":"ok","strategy":"nativeSelector","selector":{"text":"A"},"maxChars":0})"},
      {"native failure",
       [&](TraceWriter& t) {
         return runner_native::recordSelectorActionFailure(t, "ui.type", a, Error::IosShimResponseNotOk);
       },
       R"(ui.type {"status":"failed","strategy":"nativeSelector","error":"IosShimResponseNotOk","selector":{"text":"A"}})"},
      {"press back", [](TraceWriter& t) { return ev::recordStatusOk(t, "ui.pressBack"); },
       R"(ui.pressBack {"status":"ok"})"},
      {"step done", [](TraceWriter& t) { return ev::recordStepDone(t, 0); }, R"(step.done {"index":0})"},
      {"optional", [](TraceWriter& t) { return ev::recordStepOptional(t, Error::SelectorNotFound); },
       R"(step.optional {"status":"skipped","error":"SelectorNotFound"})"},
      {"iteration", [](TraceWriter& t) { return ev::recordRepeatIteration(t, 1, 3); },
       R"(step.repeat.iteration {"iteration":1,"times":3})"},
      {"erase", [](TraceWriter& t) { return ev::recordEraseText(t, 80); }, R"(ui.eraseText {"maxChars":80})"},
      {"tap", [&](TraceWriter& t) { return ev::recordTap(t, "snapshot-1", "n\"1", -60, 45, 3, a); },
       R"(ui.tap {"snapshotId":"snapshot-1","target":"n\"1","x":-60,"y":45,"attempts":3,"selector":{"text":"A"}})"},
      {"type", [&](TraceWriter& t) { return ev::recordType(t, a, "hi", false); },
       R"(ui.type {"status":"ok","selector":{"text":"A"},"text":"hi"})"},
      {"type native", [&](TraceWriter& t) { return ev::recordType(t, a, "hi", true); },
       R"(ui.type {"status":"ok","strategy":"nativeSelector","selector":{"text":"A"},"text":"hi"})"},
      {"visible ok", [&](TraceWriter& t) { return ev::recordVisibleOk(t, "assert.visible", {}, "n1", a, 5000); },
       R"(assert.visible {"status":"ok","target":"n1","selector":{"text":"A"},"timeoutMs":5000})"},
      {"any ok", [&](TraceWriter& t) { return ev::recordVisibleOk(t, "wait.any", 1, "n1", b, 5); },
       R"(wait.any {"status":"ok","matchedIndex":1,"target":"n1","selector":{"textContains":"B"},"timeoutMs":5})"},
      {"not visible ok", [&](TraceWriter& t) { return ev::recordNotVisibleOk(t, "wait.notVisible", a, 5); },
       R"(wait.notVisible {"status":"ok","selector":{"text":"A"},"timeoutMs":5})"},
      {"healthy ok", [](TraceWriter& t) { return ev::recordHealthyOk(t, 0); },
       R"(assert.healthy {"status":"ok","timeoutMs":0})"},
      {"scroll", [](TraceWriter& t) { return ev::recordScroll(t, ScrollDirection::up, 360, 384, 1024); },
       R"(ui.scroll {"direction":"up","x":360,"y1":384,"y2":1024})"},
      {"scroll found",
       [&](TraceWriter& t) { return ev::recordScrollFound(t, "n1", a, ScrollDirection::down, 5000); },
       R"(ui.scrollUntilVisible {"status":"ok","target":"n1","selector":{"text":"A"},"direction":"down","timeoutMs":5000})"},
      {"scenario start",
       [](TraceWriter& t) { return t.recordEvent("scenario.start", ev::eventString("a\"b\nc")); },
       R"(scenario.start {"value":"a\"b\nc"})"},
  };
  for (const Case& c : cases) {
    TraceFixture fx;
    ASSERT_TRUE(c.record(fx.trace)) << c.name;
    ASSERT_EQ(fx.events(), std::vector<std::string>{c.expected}) << c.name;
  }
}

TEST(RunnerEvents, RecordingFailureIsReturned) {
  TraceFixture fx;
  // A directory where the log should be makes every event fail.
  std::filesystem::create_directory(fx.dir.file("events.jsonl"));
  EXPECT_FALSE(ev::recordStepDone(fx.trace, 0));
}

}  // namespace
}  // namespace vyx
