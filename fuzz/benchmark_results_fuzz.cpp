// The benchmark results.jsonl reader on arbitrary bytes, through both of its
// documents (and the trace timeline, which reads event lines the same way):
// a line that does not parse fails the document before anything is written,
// nothing crashes, and a document that succeeds is complete.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/writer.hpp"
#include "reports/report.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  vyx::report::TextLines lines(input);

  vyx::StringWriter html;
  auto h = vyx::report::writeBenchmarkHtml(html, "bench", lines);
  if (h ? !html.str().ends_with("</body></html>\n") : !html.str().empty()) __builtin_trap();

  vyx::StringWriter junit;
  auto j = vyx::report::writeBenchmarkJUnit(junit, "bench", lines);
  if (j ? !junit.str().ends_with("</testsuite>\n") : !junit.str().empty()) __builtin_trap();
  // Both documents read the same records, so they succeed or fail together.
  if (h.has_value() != j.has_value()) __builtin_trap();

  vyx::StringWriter timeline;
  auto t = vyx::report::writeTraceHtml(timeline, "trace", "/nonexistent/events.jsonl", lines);
  // Only the benchmark documents add up durations (and can overflow).
  if (!t.has_value() && h.has_value()) __builtin_trap();
  if (t.has_value() && !h.has_value() && h.error() != vyx::Error::Overflow) __builtin_trap();
  return 0;
}
