// Exporting a large trace: 50 snapshots of a 5,000-node screen written the
// way `vyx run` writes them (snapshot JSON through the trace writer, the UI
// XML dump, a screenshot, one event per snapshot), about 150 MB in all.
// Each iteration times, on the same warm directory, GNU `tar -cf` of the
// trace, the unredacted export and the redacted export. Counters:
//   trace_MB            size of the trace's files
//   tar_s, export_s, redacted_s   best time of each over the iterations
//   export_over_tar     unredacted export time / tar time (target <= 1.5)
//   redacted_MBps       trace size / redacted export time (target >= 100)

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/command.hpp"
#include "core/trace.hpp"
#include "core/types.hpp"
#include "reports/bundle.hpp"

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr int kSnapshots = 50;
constexpr int kNodes = 5000;
constexpr size_t kScreenshotBytes = 96 * 1024;

// Text followed by a number (appending sidesteps a false -Wrestrict of g++ 12
// on literal + std::string at -O3).
std::string numbered(std::string_view text, int n, std::string_view tail = {}) {
  std::string out(text);
  out += std::to_string(n);
  out += tail;
  return out;
}

vyx::ObservationSnapshot makeSnapshot(int index) {
  vyx::ObservationSnapshot s;
  s.timestampMs = 1700000000000 + index;
  s.viewport = {1080, 2400};
  s.displayDensityDpi = 420;
  s.activePackage = "com.example.app";
  s.activeActivity = ".MainActivity";
  s.logDelta = "12-10 10:00:00.000 I/ActivityManager: Displayed com.example.app/.MainActivity";
  s.nodes.reserve(kNodes);
  auto text = std::make_shared<vyx::NodeText>();
  for (int i = 0; i < kNodes; ++i) {
    vyx::UiNode n;
    n.stableId = text->keep(numbered("n", i));
    n.className = i % 3 == 0 ? "android.widget.TextView" : "android.widget.LinearLayout";
    n.resourceId = text->keep(numbered("com.example.app:id/row_", i));
    if (i % 3 == 0) n.text = text->keep(numbered("Item ", i, " of the list"));
    if (i % 7 == 0) n.contentDesc = text->keep(numbered("Open item ", i));
    n.bounds = {0, 120 * (i % 20), 1080, 120};
    n.enabled = true;
    n.visible = i % 20 < 18;
    s.nodes.push_back(n);
  }
  s.nodeText.store = std::move(text);
  return s;
}

// The node lines of a uiautomator dump of the same screen.
std::string makeXml(const vyx::ObservationSnapshot& s) {
  std::string xml = "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation=\"0\">";
  for (const vyx::UiNode& n : s.nodes) {
    xml += "<node index=\"0\" text=\"";
    xml += n.text.value_or("");
    xml += "\" resource-id=\"";
    xml += n.resourceId.value_or("");
    xml += "\" class=\"";
    xml += n.className;
    xml += "\" package=\"com.example.app\" content-desc=\"";
    xml += n.contentDesc.value_or("");
    xml += "\" checkable=\"false\" checked=\"false\" clickable=\"true\" enabled=\"true\" focusable=\"true\" "
           "focused=\"false\" scrollable=\"false\" long-clickable=\"false\" password=\"false\" selected=\"false\" "
           "bounds=\"[0,";
    xml += std::to_string(n.bounds.y) + "][1080," + std::to_string(n.bounds.y + 120) + "]\" />";
  }
  xml += "</hierarchy>";
  return xml;
}

std::string makePng(int index) {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  uint32_t x = 2463534242u + static_cast<uint32_t>(index);
  while (png.size() < kScreenshotBytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    png.push_back(static_cast<char>(x & 0xff));
  }
  return png;
}

struct Fixture {
  std::string root;
  std::string trace;
  uint64_t bytes = 0;
  ~Fixture() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

std::unique_ptr<Fixture> buildFixture() {
  const char* tmp = std::getenv("TMPDIR");
  std::string dirTemplate = std::string(tmp && *tmp ? tmp : "/tmp") + "/vyx-export-bench-XXXXXX";
  if (::mkdtemp(dirTemplate.data()) == nullptr) return nullptr;
  auto f = std::make_unique<Fixture>();
  f->root = dirTemplate;
  f->trace = dirTemplate + "/trace";
  auto writer = vyx::TraceWriter::create(f->trace, {});
  if (!writer || !writer->startManifest("bench", "com.example.app")) return nullptr;
  for (int i = 0; i < kSnapshots; ++i) {
    vyx::ObservationSnapshot s = makeSnapshot(i);
    s.id = writer->nextSnapshotId();
    auto png = writer->writeArtifact(s.id + ".png", makePng(i));
    auto xml = writer->writeArtifact(s.id + ".xml", makeXml(s));
    if (!png || !xml) return nullptr;
    s.screenshotArtifact = *png;
    s.treeArtifact = *xml;
    if (!writer->writeSnapshot(s)) return nullptr;
    std::string payload = "{\"status\":\"ok\",\"snapshotId\":\"" + s.id + "\",\"nodeCount\":5000}";
    if (!writer->recordEvent("observe.snapshot", payload)) return nullptr;
  }
  if (!writer->recordEvent("scenario.end", "{\"status\":\"passed\"}")) return nullptr;
  if (!writer->finishManifest("passed", std::nullopt, std::nullopt, std::nullopt)) return nullptr;
  for (const auto& e : fs::recursive_directory_iterator(f->trace)) {
    if (e.is_regular_file()) f->bytes += e.file_size();
  }
  return f;
}

double seconds(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

void BM_ExportVersusTar(benchmark::State& state) {
  static std::unique_ptr<Fixture> fixture = buildFixture();
  if (fixture == nullptr) {
    state.SkipWithError("could not write the benchmark trace");
    return;
  }
  const std::string out = fixture->root + "/out.vyxtrace";
  const std::string tarOut = fixture->root + "/out.tar";
  double tarBest = 1e9, exportBest = 1e9, redactedBest = 1e9;
  for (auto _ : state) {
    auto start = SteadyClock::now();
    auto tar = vyx::command::run({"tar", "-cf", tarOut, "-C", fixture->root, "trace"}, 1 << 20);
    double tarS = seconds(start);
    if (!tar || !tar->term.exitedZero()) {
      state.SkipWithError("tar -cf failed (is GNU tar installed?)");
      return;
    }
    start = SteadyClock::now();
    if (!vyx::bundle::exportTraceBundleWithOptions(fixture->trace, out, {})) {
      state.SkipWithError("export failed");
      return;
    }
    double exportS = seconds(start);
    start = SteadyClock::now();
    if (!vyx::bundle::exportTraceBundleWithOptions(fixture->trace, out, {.redact = true})) {
      state.SkipWithError("redacted export failed");
      return;
    }
    double redactedS = seconds(start);
    state.SetIterationTime(tarS + exportS + redactedS);
    tarBest = std::min(tarBest, tarS);
    exportBest = std::min(exportBest, exportS);
    redactedBest = std::min(redactedBest, redactedS);
  }
  double mb = static_cast<double>(fixture->bytes) / 1e6;
  state.counters["trace_MB"] = mb;
  state.counters["tar_s"] = tarBest;
  state.counters["export_s"] = exportBest;
  state.counters["redacted_s"] = redactedBest;
  state.counters["export_over_tar"] = exportBest / tarBest;
  state.counters["redacted_MBps"] = mb / redactedBest;
}
BENCHMARK(BM_ExportVersusTar)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
