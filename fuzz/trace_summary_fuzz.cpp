// The trace summary reader over a trace directory from elsewhere: the input
// up to its first NUL byte is trace.json, the rest (when there is a NUL)
// events.jsonl. Any content gives a summary or one error.
#include <string>

#include "core/files.hpp"
#include "fuzz_support.hpp"
#include "reports/trace_summary.hpp"

using namespace vyx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::asText(data, size);
  const std::string& dir = fuzz::scratchDir();
  const size_t nul = text.find('\0');
  VYX_FUZZ_CHECK(files::writeFile(dir + "/trace.json", text.substr(0, nul)).has_value());
  if (nul == std::string_view::npos) {
    VYX_FUZZ_CHECK(files::removeFileIfExists(dir + "/events.jsonl").has_value());
  } else {
    VYX_FUZZ_CHECK(files::writeFile(dir + "/events.jsonl", text.substr(nul + 1)).has_value());
  }
  (void)trace_summary::read(dir);
  return 0;
}
