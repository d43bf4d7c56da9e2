#include "core/trace_layout.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace vyx {
namespace {

std::vector<std::string> lines(std::string_view text, size_t stopAfter = 100) {
  std::vector<std::string> out;
  trace_layout::forEachJsonLine(text, [&](std::string_view line) {
    out.emplace_back(line);
    return out.size() < stopAfter;
  });
  return out;
}

TEST(TraceLayout, JsonLinesAreCutTrimmedAndBlankOnesSkipped) {
  using V = std::vector<std::string>;
  EXPECT_EQ(lines(""), V{});
  EXPECT_EQ(lines("\n\n \t\r\n"), V{});
  EXPECT_EQ(lines("{\"a\":1}\r\n  {\"b\":2}\t\n\n{\"c\":3}"), (V{"{\"a\":1}", "{\"b\":2}", "{\"c\":3}"}));
  EXPECT_EQ(lines(" x \n y \n z ", 2), (V{"x", "y"}));  // the callback stops the reading
  EXPECT_EQ(text::trimBlanks(" \r\n\ta b\t\r\n "), "a b");
}

TEST(TraceLayout, PathsInsideTheTraceDirectory) {
  EXPECT_EQ(trace_layout::manifestPath("t"), "t/trace.json");
  EXPECT_EQ(trace_layout::eventsPath("t/"), "t//events.jsonl");
  EXPECT_EQ(trace_layout::artifactPath("/abs/t", "snapshot-1.json"), "/abs/t/artifacts/snapshot-1.json");
  EXPECT_EQ(trace_layout::reportPath("t"), "t/report.html");
}

}  // namespace
}  // namespace vyx
