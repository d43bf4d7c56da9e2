// Drafting from a long session: replaying an event log of about 32 MB (the
// mix a traced run records: taps, typing, waits, snapshots, bookkeeping),
// and a whole draft of a trace whose event log is that size. Counter:
//   log_MBps   event log bytes replayed per second

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "authoring/draft.hpp"
#include "authoring/replay.hpp"
#include "core/files.hpp"

namespace {

std::string eventLog(size_t target) {
  std::string log;
  for (int i = 0; log.size() < target; ++i) {
    std::string seq = std::to_string(i * 6);
    log += R"({"seq":)" + seq + R"(,"timestampMs":1700000000000,"kind":"observe.snapshot","payload":{"value":"artifacts/snapshot-)" +
           seq + R"(.json"}})" "\n";
    log += R"({"seq":)" + seq + R"(,"timestampMs":1700000000001,"kind":"ui.tap","payload":{"snapshotId":"snapshot-)" + seq +
           R"(","target":"n12","x":540,"y":260,"attempts":1,"selector":{"id":"com.example.app:id/sign_in","text":"Sign in"}}})" "\n";
    log += R"({"seq":)" + seq + R"(,"timestampMs":1700000000002,"kind":"ui.type","payload":{"status":"ok","selector":{"text":"E-mail"},"text":"user )" +
           seq + R"("}})" "\n";
    log += R"({"seq":)" + seq + R"(,"timestampMs":1700000000003,"kind":"wait.visible","payload":{"status":"ok","target":"n3","selector":{"textContains":"Welcome"},"timeoutMs":5000}})" "\n";
    log += R"({"seq":)" + seq + R"(,"timestampMs":1700000000004,"kind":"step.done","payload":{"index":)" + seq + "}}\n";
    log += R"({"seq":)" + seq + R"(,"timestampMs":1700000000005,"kind":"ui.scroll","payload":{"direction":"down","x":540,"y1":1800,"y2":600}})" "\n";
  }
  return log;
}

const std::string& bigLog() {
  static const std::string log = eventLog(32u * 1024 * 1024);
  return log;
}

void BM_ReplayEventLog(benchmark::State& state) {
  const std::string& log = bigLog();
  for (auto _ : state) {
    vyx::replay::Warnings warnings;
    auto replay = vyx::replay::replayEventLog(log, warnings);
    benchmark::DoNotOptimize(replay.steps.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * log.size()));
  state.counters["log_MBps"] =
      benchmark::Counter(static_cast<double>(log.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReplayEventLog)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_DraftFromTrace(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vyx-draft-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir / "artifacts");
  (void)vyx::files::writeFile((dir / "trace.json").string(), R"({"scenarioName":"bench","snapshotCount":1})");
  (void)vyx::files::writeFile((dir / "artifacts/snapshot-1.json").string(),
                              R"({"nodes":[{"resourceId":"a:id/b","visible":true,"enabled":true}]})");
  (void)vyx::files::writeFile((dir / "events.jsonl").string(), bigLog());
  vyx::draft::DraftOptions options;
  options.traceDir = dir.string();
  options.out = (dir / "draft.json").string();
  options.includeActions = true;
  options.force = true;
  for (auto _ : state) {
    auto drafted = vyx::draft::draftFromTrace(options);
    if (!drafted) state.SkipWithError("draft failed");
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_DraftFromTrace)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
