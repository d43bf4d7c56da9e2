// What adb prints (the device list, the focused window, the screen size and
// density) and the header of a screenshot: any bytes give a result, never a
// crash, and a focused window has both its package and its activity or
// neither.
#include "devices/android_device_info.hpp"
#include "devices/android_devices.hpp"
#include "devices/png.hpp"
#include "fuzz_support.hpp"

using namespace vyx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::asText(data, size);
  const auto window = android_device_info::parseActiveWindow(text);
  VYX_FUZZ_CHECK(window.package.has_value() == window.activity.has_value());
  if (window.package) VYX_FUZZ_CHECK(!window.package->empty() && !window.activity->empty());
  (void)android_device_info::parseWmSize(text);
  (void)android_device_info::parseWmDensity(text);
  for (const DeviceInfo& d : android_devices::parseDevicesOutput(text)) VYX_FUZZ_CHECK(!d.serial.empty() && !d.state.empty());
  (void)png::size(text);
  return 0;
}
