// Flow-YAML import in memory: any bytes either convert or fail with a named
// error. What converts must load again as a scenario with the same number of
// steps, so the importer never reports success for a file that would not run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "authoring/importer.hpp"
#include "core/scenario.hpp"
#include "core/trace_json.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > vyx::importer::kMaxFlowBytes) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  vyx::importer::ImportOptions options;
  auto converted = vyx::importer::convertFlowYaml(text, options);
  if (!converted) {
    if (converted.error().error == vyx::Error::Unexpected) std::abort();
    return 0;
  }
  // The scenario is written as UTF-8: a name with stray bytes comes back
  // with U+FFFD in their place, so only a UTF-8 name must come back as it is.
  if (!vyx::trace_json::isValidUtf8(converted->json)) std::abort();
  auto scenario = vyx::scenario::parseSlice(converted->json);
  if (!scenario || scenario->steps.size() != converted->stepCount) std::abort();
  if (vyx::trace_json::isValidUtf8(converted->name) && scenario->name != converted->name) std::abort();
  return 0;
}
