#pragma once
// An in-process Device for tests of every folder: scripted snapshots and
// errors, scripted native answers when it behaves like an iOS driver, and a
// record of every call. Snapshots can cost time on the shared FakeClock, so
// deadline rules are deterministic.

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.hpp"
#include "core/run_options.hpp"
#include "core/trace.hpp"
#include "devices/device.hpp"
#include "devices/shim_protocol.hpp"
#include "vyx_test.hpp"
#include "fake_clock.hpp"

namespace vyx::test {

inline UiNode node(std::string id, std::optional<std::string> text, Bounds bounds = {0, 0, 100, 50},
                   bool visible = true, bool enabled = true) {
  UiNode n;
  n.stableId = kept(id);
  n.className = "android.widget.TextView";
  n.text = keptOrNone(text);
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
  // Platform::ios behaves like the iOS driver: it waits natively and, with a
  // shim, answers native queries (queryFn) and selector actions
  // (selectorActionFn). Platform::android never answers natively.
  explicit FakeDevice(Platform platform = Platform::android, FakeClock* clock = nullptr, bool shim = true)
      : platform_(platform), clock_(clock), shim_(shim) {}

  // Snapshot answers: the front is taken per call; the last one repeats.
  std::deque<Expected<ObservationSnapshot>> snapshots{ObservationSnapshot{}};
  // When set, replaces `snapshots`; gets the 0-based call number.
  std::function<Expected<ObservationSnapshot>(int)> snapshotFn;
  // Clock time one snapshot takes.
  int64_t snapshotCostMs = 0;
  // iOS native queries: (selector text, time-out) -> whether it exists;
  // default: it does not.
  std::function<Expected<bool>(std::string_view, uint64_t)> queryFn;
  // iOS native selector actions; default: unavailable.
  std::function<Expected<NativeAction>(const SelectorAction&, const Selector&)> selectorActionFn;
  // The answer of listDevices.
  Expected<std::vector<DeviceInfo>> devices = std::vector<DeviceInfo>{};
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

  Expected<std::vector<DeviceInfo>> listDevices() override {
    record("listDevices");
    return devices;
  }

  bool waitsNatively() const override { return platform_ == Platform::ios; }

  // Like the iOS driver: unanswered (nothing recorded) without a shim or
  // for a selector that is not one "<key>=<value>".
  Expected<std::optional<bool>> nativeVisible(const Selector& selector, uint64_t timeoutMs) override {
    if (platform_ != Platform::ios || !shim_) return std::optional<bool>();
    std::optional<std::string> sel = shim_protocol::selectorString(selector);
    if (!sel) return std::optional<bool>();
    record("query " + *sel + " " + std::to_string(timeoutMs));
    Expected<bool> exists = queryFn ? queryFn(*sel, timeoutMs) : Expected<bool>(false);
    if (!exists) return fail(exists.error());
    return std::optional<bool>(*exists);
  }

  Expected<NativeAction> nativeSelectorAction(const SelectorAction& action, const Selector& selector) override {
    if (platform_ != Platform::ios) return NativeAction::unavailable;
    static constexpr std::string_view kNames[] = {"tap", "type", "eraseText"};
    record("selectorAction " + std::string(kNames[static_cast<size_t>(action.kind)]));
    if (selectorActionFn) return selectorActionFn(action, selector);
    return NativeAction::unavailable;
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

  Platform platform_;
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
