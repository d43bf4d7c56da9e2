// Scenario parsing and validation: any bytes give a scenario or one
// scenario error, the validation result that `vyx validate` would describe,
// and a validation document that reads back as JSON.
#include "core/cli_output.hpp"
#include "core/errors.hpp"
#include "core/scenario.hpp"
#include "core/validation.hpp"
#include "core/writer.hpp"
#include "fuzz_support.hpp"

using namespace vyx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::asText(data, size);
  validation::Result result;
  auto parsed = scenario::parseSlice(text);
  if (parsed) {
    result.ok = true;
    result.name = parsed->name;
    result.appId = parsed->appId;
    result.stepCount = parsed->steps.size();
  } else {
    result = validation::failure(text, parsed.error());
    VYX_FUZZ_CHECK(!result.ok && !result.code.empty() && !result.message.empty());
    if (result.line) VYX_FUZZ_CHECK(*result.line >= 1 && result.column && *result.column >= 1);
  }
  StringWriter w;
  VYX_FUZZ_CHECK(cli_output::writeValidationJson(w, "scenario.json", result).has_value());
  VYX_FUZZ_CHECK(fuzz::readsBack(w.str()));
  return 0;
}
