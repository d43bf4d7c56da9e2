// Recording cost of the trace writer: 100,000 small events into one trace.
// Reports the time per event over the first and the last thousand events
// (recording must not slow down as the log grows) and the whole run.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/clock.hpp"
#include "core/trace.hpp"

namespace {

constexpr int kEvents = 100000;
constexpr int kWindow = 1000;

void BM_TraceRecord100k(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    const char* tmp = std::getenv("TMPDIR");
    std::string dirTemplate = std::string(tmp && *tmp ? tmp : "/tmp") + "/vyx-trace-bench-XXXXXX";
    if (::mkdtemp(dirTemplate.data()) == nullptr) {
      state.SkipWithError("mkdtemp failed");
      return;
    }
    std::string dir = dirTemplate;
    auto writer = vyx::TraceWriter::create(dir + "/trace", {}, vyx::systemClock());
    if (!writer || !writer->startManifest("bench", "com.example.app")) {
      state.SkipWithError("trace writer set-up failed");
      return;
    }
    double firstUs = 0;
    double lastUs = 0;
    auto runStart = Clock::now();
    auto windowStart = runStart;
    for (int i = 0; i < kEvents; ++i) {
      if (i == kEvents - kWindow) windowStart = Clock::now();
      std::string payload = "{\"index\":" + std::to_string(i) + ",\"selector\":{\"id\":\"login\"},\"ok\":true}";
      if (!writer->recordEvent("action.tap", payload)) {
        state.SkipWithError("recordEvent failed");
        return;
      }
      if (i == kWindow - 1) {
        firstUs = std::chrono::duration<double, std::micro>(Clock::now() - runStart).count() / kWindow;
      }
    }
    auto runEnd = Clock::now();
    lastUs = std::chrono::duration<double, std::micro>(runEnd - windowStart).count() / kWindow;
    double totalS = std::chrono::duration<double>(runEnd - runStart).count();
    state.SetIterationTime(totalS);
    state.counters["first1000_us_per_event"] = firstUs;
    state.counters["last1000_us_per_event"] = lastUs;
    state.counters["last_over_first"] = lastUs / firstUs;
    state.counters["total_s"] = totalS;
    state.counters["log_bytes"] =
        static_cast<double>(std::filesystem::file_size(dir + "/trace/events.jsonl"));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
}

BENCHMARK(BM_TraceRecord100k)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
