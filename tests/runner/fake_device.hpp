#pragma once
// An in-process device for runner tests: scripted snapshots and errors,
// scripted native answers on iOS, and a record of every call. Snapshots can
// cost time on the shared FakeClock, so deadline rules are deterministic.

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.hpp"
#include "core/trace.hpp"
#include "devices/device.hpp"
#include "vyx_test.hpp"

namespace vyx::test {

inline UiNode node(std::string id, std::optional<std::string> text, Bounds bounds = {0, 0, 100, 50},
                   bool visible = true, bool enabled = true) {
  UiNode n;
  n.stableId = std::move(id);
  n.className = "android.widget.TextView";
  n.text = std::move(text);
  n.bounds = bounds;
  n.visible = visible;
  n.enabled = enabled;
  return n;
}

inline ObservationSnapshot screen(std::vector<UiNode> nodes, Viewport viewport = {}) {
  ObservationSnapshot s;
  s.nodes = std::move(nodes);
  s.viewport = viewport;
  return s;
}

inline Selector byText(std::string text) {
  Selector s;
  s.text = std::move(text);
  return s;
}

class FakeDevice final : public Device {
 public:
  explicit FakeDevice(DeviceKind kind = DeviceKind::Android, FakeClock* clock = nullptr, bool shim = true)
      : kind_(kind), clock_(clock), shim_(shim) {}

  // Snapshot answers: the front is taken per call; the last one repeats.
  std::deque<Expected<ObservationSnapshot>> snapshots{ObservationSnapshot{}};
  // When set, replaces `snapshots`; gets the 0-based call number.
  std::function<Expected<ObservationSnapshot>(int)> snapshotFn;
  // Clock time one snapshot takes.
  int64_t snapshotCostMs = 0;
  // iOS "query" replies: (selector text, time-out) -> reply text.
  std::function<Expected<std::string>(std::string_view, uint64_t)> queryFn;
  // iOS native selector actions; default: not performed.
  std::function<Expected<bool>(const ios_shim::ShimCommand&, const Selector&)> selectorActionFn;
  // Queued results per operation name ("launch", "settle", "tapPoint"...).
  std::map<std::string, std::deque<Status>> results;
  // Called after each call is recorded.
  std::function<void(const std::string&)> onCall;

  std::vector<std::string> calls;

  int count(std::string_view prefix) const {
    int n = 0;
    for (const std::string& c : calls) {
      if (c.compare(0, prefix.size(), prefix) == 0) ++n;
    }
    return n;
  }
  void failNext(const std::string& op, Error e) { results[op].push_back(fail(e)); }

  DeviceKind kind() const override { return kind_; }
  bool hasShim() const override { return shim_; }

  Status launch() override { return op("launch", "launch"); }
  Status stop() override { return op("stop", "stop"); }
  Status clearState() override { return op("clearState", "clearState"); }
  Status install(std::string_view path) override { return op("install", "install " + std::string(path)); }
  Status openLink(std::string_view url) override { return op("openLink", "openLink " + std::string(url)); }
  Status typeText(std::string_view text) override { return op("typeText", "typeText " + std::string(text)); }
  Status eraseText(uint32_t n) override { return op("eraseText", "eraseText " + std::to_string(n)); }
  Status pressBack() override { return op("pressBack", "pressBack"); }
  Status hideKeyboard() override { return op("hideKeyboard", "hideKeyboard"); }
  Status swipe(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t d) override {
    return op("swipe", "swipe " + std::to_string(x1) + " " + std::to_string(y1) + " " + std::to_string(x2) + " " +
                           std::to_string(y2) + " " + std::to_string(d));
  }
  Status settle() override { return op("settle", "settle"); }
  Status tapPoint(int32_t x, int32_t y) override {
    return op("tapPoint", "tapPoint " + std::to_string(x) + " " + std::to_string(y));
  }

  Expected<ObservationSnapshot> snapshot(TraceWriter* trace) override {
    const int n = snapshotCount_++;
    record("snapshot");
    if (clock_ && snapshotCostMs) clock_->advance(snapshotCostMs);
    Expected<ObservationSnapshot> out = fail(Error::Unexpected);
    if (snapshotFn) {
      out = snapshotFn(n);
    } else {
      out = snapshots.front();
      if (snapshots.size() > 1) snapshots.pop_front();
    }
    if (out) out->id = trace ? trace->nextSnapshotId() : "snapshot-fake-" + std::to_string(n + 1);
    return out;
  }

  Expected<std::string> runShim(const ios_shim::ShimCommand& command) override {
    return runShimWithTimeout(command, 0);
  }

  Expected<std::string> runShimWithTimeout(const ios_shim::ShimCommand& command, uint64_t timeoutMs) override {
    const std::string sel(command.selector.value_or(""));
    if (command.cmd == ios_shim::ShimCmd::query) {
      record("query " + sel + " " + std::to_string(timeoutMs));
      if (queryFn) return queryFn(sel, timeoutMs);
      return std::string(R"({"status":"ok","exists":false})");
    }
    record("shim " + std::string(ios_shim::cmdName(command.cmd)));
    return std::string(R"({"status":"ok"})");
  }

  Expected<bool> runShimSelectorAction(const ios_shim::ShimCommand& command, const Selector& selector) override {
    record("selectorAction " + std::string(ios_shim::cmdName(command.cmd)));
    if (kind_ == DeviceKind::Ios && selectorActionFn) return selectorActionFn(command, selector);
    return false;
  }

 private:
  void record(std::string call) {
    calls.push_back(std::move(call));
    if (onCall) onCall(calls.back());
  }
  Status op(const std::string& name, std::string call) {
    record(std::move(call));
    auto it = results.find(name);
    if (it == results.end() || it->second.empty()) return {};
    Status st = it->second.front();
    it->second.pop_front();
    return st;
  }

  DeviceKind kind_;
  FakeClock* clock_;
  bool shim_;
  int snapshotCount_ = 0;
};

// A trace directory with its writer on a fake clock.
struct TraceFixture {
  TempDir dir;
  FakeClock clock;
  TraceWriter trace;

  TraceFixture() : trace(*TraceWriter::create(dir.path(), {}, clock)) {}

  // Every event as "<kind> <payload>", the payload exactly as stored.
  std::vector<std::string> events() const {
    std::vector<std::string> out;
    if (!fileExists(dir.file("events.jsonl"))) return out;
    for (const std::string& line : splitLines(readFile(dir.file("events.jsonl")))) {
      if (line.empty()) continue;
      const size_t k = line.find(",\"kind\":\"") + 9;
      const size_t kEnd = line.find('"', k);
      const size_t p = line.find(",\"payload\":", kEnd) + 11;
      out.push_back(line.substr(k, kEnd - k) + " " + line.substr(p, line.size() - p - 1));
    }
    return out;
  }

  // Event kinds only, in order.
  std::vector<std::string> kinds() const {
    std::vector<std::string> out;
    for (const std::string& e : events()) out.push_back(e.substr(0, e.find(' ')));
    return out;
  }
};

}  // namespace vyx::test
