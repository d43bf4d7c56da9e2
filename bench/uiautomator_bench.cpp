// One observation's work on a large screen: reading a 5,000-node uiautomator
// dump, and reading it plus writing the trace's redacted snapshot JSON.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/memory.hpp"
#include "core/trace.hpp"
#include "devices/uiautomator.hpp"

namespace {

constexpr int kNodes = 5000;

// A dump as a device writes it: rows of nine widgets under one root, every
// attribute uiautomator writes, some values with entities, e-mail addresses
// and secrets for the redaction to find.
std::string dump(int nodes) {
  std::string s = "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation=\"0\">";
  auto node = [&s](int i, const std::string& cls, const std::string& text, const std::string& rid,
                   const std::string& desc, bool leaf) {
    const std::string y = std::to_string(120 + (i % 20) * 96);
    s += "<node index=\"" + std::to_string(i % 9) + "\" text=\"" + text + "\" resource-id=\"" + rid +
         "\" class=\"" + cls + "\" package=\"com.example.shop\" content-desc=\"" + desc +
         "\" checkable=\"false\" checked=\"false\" clickable=\"" + (i % 3 == 0 ? "true" : "false") +
         "\" enabled=\"true\" focusable=\"false\" focused=\"false\" scrollable=\"false\" long-clickable=\"false\" "
         "password=\"false\" selected=\"" + (i % 50 == 0 ? "true" : "false") + "\" bounds=\"[0," + y + "][1080," +
         std::to_string(120 + (i % 20) * 96 + 96) + "]\"" + (leaf ? " />" : ">");
  };
  node(0, "android.widget.FrameLayout", "", "", "", false);
  int i = 1;
  while (i < nodes) {
    node(i, "android.widget.LinearLayout", "", "com.example.shop:id/row", "", false);
    ++i;
    for (int k = 0; k < 9 && i < nodes; ++k, ++i) {
      const std::string n = std::to_string(i);
      switch (k) {
        case 0: node(i, "android.widget.TextView", "Fish &amp; Chips No. " + n, "com.example.shop:id/title", "", true); break;
        case 1: node(i, "android.widget.TextView", "&quot;Today&quot; only &lt;3", "com.example.shop:id/subtitle", "", true); break;
        case 2: node(i, "android.widget.TextView", "user" + n + "@example.com", "com.example.shop:id/email", "", true); break;
        case 3: node(i, "android.widget.EditText", "hunter" + n, "com.example.shop:id/password", "", true); break;
        case 4: node(i, "android.widget.ImageView", "", "com.example.shop:id/thumb", "Photo of item " + n, true); break;
        case 5: node(i, "android.widget.Button", "Add to basket", "com.example.shop:id/add_" + n, "", true); break;
        case 6: node(i, "android.widget.TextView", "Internal build " + n, "", "", true); break;
        case 7: node(i, "android.widget.TextView", "12,99 \xe2\x82\xac", "com.example.shop:id/price", "", true); break;
        default: node(i, "android.view.View", "", "", "", true); break;
      }
    }
    s += "</node>";
  }
  s += "</node></hierarchy>";
  return s;
}

// Both with the heap set up as the program sets it up.
void BM_ScanDump5000(benchmark::State& state) {
  vyx::memory::retainFreedMemory();
  const std::string xml = dump(kNodes);
  for (auto _ : state) {
    vyx::NodeText text;
    auto nodes = vyx::uiautomator::scanNodes(xml, text);
    if (!nodes || nodes->size() != kNodes) state.SkipWithError("scan failed");
    benchmark::DoNotOptimize(nodes);
  }
  state.counters["dumpBytes"] = static_cast<double>(xml.size());
}
BENCHMARK(BM_ScanDump5000)->Unit(benchmark::kMillisecond);

// Read plus written into a trace as snapshot-1.json, with the redaction
// rules of a typical configuration.
void BM_ScanAndWriteSnapshot5000(benchmark::State& state) {
  vyx::memory::retainFreedMemory();
  const std::string xml = dump(kNodes);
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/vyx-uiautomator-bench-XXXXXX";
  if (::mkdtemp(dir.data()) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  vyx::TraceOptions options;
  options.denylistText = {"internal", "secret project"};
  options.allowlistText = {"internal docs"};
  options.denylistResourceIds = {"id/email"};
  auto trace = vyx::TraceWriter::create(dir + "/trace", options);
  if (!trace) {
    state.SkipWithError("trace set-up failed");
    return;
  }
  for (auto _ : state) {
    vyx::NodeText text;
    auto nodes = vyx::uiautomator::scanNodes(xml, text);
    if (!nodes) state.SkipWithError("scan failed");
    vyx::ObservationSnapshot snap;
    snap.id = "snapshot-1";
    snap.nodes = std::move(*nodes);
    if (!trace->writeSnapshot(snap)) state.SkipWithError("write failed");
  }
  state.counters["jsonBytes"] =
      static_cast<double>(std::filesystem::file_size(dir + "/trace/artifacts/snapshot-1.json"));
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_ScanAndWriteSnapshot5000)->Unit(benchmark::kMillisecond);

}  // namespace
