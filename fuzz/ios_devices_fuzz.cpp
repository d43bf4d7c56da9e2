// The iOS device listings (simctl's and devicectl's JSON) and the devicectl
// process listing: any bytes give devices, a process id or one error.
#include "core/json.hpp"
#include "devices/ios_devices.hpp"
#include "fuzz_support.hpp"

using namespace vyx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::asText(data, size);
  if (auto simulators = ios_devices::parseSimulatorList(text)) {
    for (const DeviceInfo& d : *simulators) VYX_FUZZ_CHECK(d.state == "Booted");
  }
  (void)ios_devices::parsePhysicalList(text);
  if (auto doc = json::parseValue(text)) (void)ios_devices::findPidInValue(*doc, "com.example.app");
  return 0;
}
