// Configuration loading: any bytes give a configuration or one error, and a
// configuration that was accepted holds only what its reader promises.
#include "core/config.hpp"
#include "fuzz_support.hpp"

using namespace vyx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto config = config::parseSlice(fuzz::asText(data, size));
  if (!config) return 0;
  for (const auto* list : {&config->redaction.denylistText, &config->redaction.allowlistText,
                           &config->redaction.denylistResourceIds, &config->redaction.allowlistResourceIds}) {
    for (const std::string& entry : *list) VYX_FUZZ_CHECK(!entry.empty());
  }
  for (const ScriptEntry& script : config->scripts) VYX_FUZZ_CHECK(!script.command.empty());
  return 0;
}
