// Throughput of the JSON reader and of the redacting writer.

#include <benchmark/benchmark.h>

#include <string>

#include "core/json.hpp"
#include "core/memory.hpp"
#include "core/trace_json.hpp"

namespace {

// A pretty-printed scenario of about `target` bytes, with the mix of steps
// that scenario files hold.
std::string scenarioDocument(size_t target) {
  std::string s = "{\n  \"name\": \"Checkout smoke\",\n  \"appId\": \"com.example.shop\",\n  \"steps\": [\n";
  for (int i = 0; s.size() < target; ++i) {
    std::string n = std::to_string(i);
    if (i > 0) s += ",\n";
    switch (i % 5) {
      case 0:
        s += "    {\"action\": \"tap\", \"selector\": {\"resourceId\": \"com.example.shop:id/button_" + n +
             "\", \"text\": \"Continue\"}}";
        break;
      case 1:
        s += "    {\n      \"action\": \"typeText\",\n      \"selector\": {\"resourceId\": \"com.example.shop:id/email\"},\n"
             "      \"text\": \"user" + n + "@example.com\"\n    }";
        break;
      case 2:
        s += "    {\"action\": \"waitVisible\", \"timeoutMs\": 15000, \"selector\": {\"textContains\": \"Order #" + n +
             "\", \"className\": \"android.widget.TextView\"}}";
        break;
      case 3:
        s += "    {\"action\": \"swipe\", \"x1\": 540, \"y1\": 1600, \"x2\": 540, \"y2\": 400, \"durationMs\": 250}";
        break;
      default:
        s += "    {\"action\": \"optional\", \"step\": {\"action\": \"tap\", \"selector\": {\"contentDesc\": "
             "\"Dismiss \\u00e9 banner\"}}, \"note\": \"ratio 0.75\", \"weight\": 0.75}";
        break;
    }
  }
  s += "\n  ]\n}\n";
  return s;
}

// A compact snapshot of about `target` bytes: many UI nodes, some holding
// e-mail addresses, bearer tokens and deny-listed text.
std::string snapshotDocument(size_t target) {
  std::string s =
      "{\"id\":\"snapshot-1\",\"timestampMs\":1767225600000,\"activePackage\":\"com.example.shop\","
      "\"activeActivity\":\".MainActivity\",\"nodes\":[";
  for (int i = 0; s.size() < target; ++i) {
    std::string n = std::to_string(i);
    if (i > 0) s += ",";
    std::string text;
    switch (i % 8) {
      case 0: text = "contact user" + n + "@example.com"; break;
      case 1: text = "user" + n + "@example.com"; break;
      case 2: text = "Authorization: Bearer abc" + n; break;
      case 3: text = "Internal build " + n; break;
      default: text = "Item number " + n + " \xe2\x80\x94 in stock"; break;
    }
    s += "{\"stableId\":\"node-" + n + "\",\"className\":\"android.widget.TextView\",\"resourceId\":"
         "\"com.example.shop:id/row_" + n + "\",\"text\":\"" + text +
         "\",\"contentDesc\":\"row " + n + "\",\"bounds\":{\"x\":0,\"y\":" + std::to_string(120 + i % 1800) +
         ",\"width\":1080,\"height\":96},\"enabled\":true,\"visible\":true,\"selected\":false}";
  }
  s += "],\"viewport\":{\"width\":1080,\"height\":2400},\"displayDensityDpi\":420}";
  return s;
}

// The heap set up as the program sets it up: the memory of one document's
// values is reused for the next, not mapped afresh.
void BM_ParseScenario(benchmark::State& state) {
  vyx::memory::retainFreedMemory();
  const std::string doc = scenarioDocument(16u << 20);
  for (auto _ : state) {
    auto v = vyx::json::parse(doc);
    if (!v) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(v);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_ParseScenario)->Unit(benchmark::kMillisecond);

void BM_WriteSnapshotRedacted(benchmark::State& state) {
  const std::string doc = snapshotDocument(5u << 20);
  auto v = vyx::json::parse(doc);
  if (!v) {
    state.SkipWithError("parse failed");
    return;
  }
  const std::string deny[] = {"internal", "secret project"};
  const std::string allow[] = {"internal docs"};
  const vyx::trace_json::TextRules rules{deny, allow};
  vyx::StringWriter w;
  size_t written = 0;
  for (auto _ : state) {
    w.clear();
    if (!vyx::trace_json::writeJsonValueRedacted(w, *v, "", rules)) state.SkipWithError("write failed");
    written = w.str().size();
    benchmark::DoNotOptimize(w.str().data());
  }
  state.counters["outputBytes"] = static_cast<double>(written);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_WriteSnapshotRedacted)->Unit(benchmark::kMillisecond);

}  // namespace
