// Throughput of the JSON string writer on the texts a snapshot holds: short
// ASCII labels, longer ASCII text, and text with many multi-byte characters.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/trace_json.hpp"

namespace {

// `count` strings cycling through typical node fields.
std::vector<std::string> shortLabels(size_t count) {
  std::vector<std::string> out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    std::string n = std::to_string(i);
    switch (i % 4) {
      case 0: out.push_back("com.example.shop:id/row_" + n); break;
      case 1: out.push_back("android.widget.TextView"); break;
      case 2: out.push_back("Item number " + n + " in stock"); break;
      default: out.push_back("node-" + n); break;
    }
  }
  return out;
}

std::string repeated(std::string_view piece, size_t target) {
  std::string s;
  while (s.size() < target) s += piece;
  return s;
}

void writeAll(benchmark::State& state, const std::vector<std::string>& texts) {
  size_t bytes = 0;
  for (const std::string& t : texts) bytes += t.size();
  vyx::StringWriter w;
  for (auto _ : state) {
    w.clear();
    for (const std::string& t : texts) {
      if (!vyx::trace_json::writeJsonString(w, t)) state.SkipWithError("write failed");
    }
    benchmark::DoNotOptimize(w.str().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

// 20,000 short labels: four per node of a 5,000-node screen.
void BM_ShortAsciiLabels(benchmark::State& state) { writeAll(state, shortLabels(20000)); }
BENCHMARK(BM_ShortAsciiLabels)->Unit(benchmark::kMicrosecond);

void BM_LongAsciiText(benchmark::State& state) {
  writeAll(state, {repeated("The quick brown fox jumps over the lazy dog. ", 1u << 20)});
}
BENCHMARK(BM_LongAsciiText)->Unit(benchmark::kMicrosecond);

// Latin with accents, Cyrillic, CJK and emoji: two-, three- and four-byte
// sequences between ASCII.
void BM_MultiByteText(benchmark::State& state) {
  writeAll(state, {repeated("caf\xc3\xa9 \xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 "
                            "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xf0\x9f\x98\x80 ok ",
                            1u << 20)});
}
BENCHMARK(BM_MultiByteText)->Unit(benchmark::kMicrosecond);

// Log text with tabs, line feeds and quotes to escape.
void BM_EscapedLogText(benchmark::State& state) {
  writeAll(state, {repeated("I/ActivityManager( 1234): Start proc \"com.example\"\tpid=42\n", 1u << 20)});
}
BENCHMARK(BM_EscapedLogText)->Unit(benchmark::kMicrosecond);

}  // namespace
