#pragma once
// Lists Android devices through `adb devices`.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/command.hpp"
#include "core/errors.hpp"
#include "core/types.hpp"

namespace vyx::android_devices {

inline constexpr size_t kDevicesCap = 1024 * 1024;
inline constexpr uint64_t kDevicesTimeoutMs = 15000;

// Runs [adbPath, "devices"] (1 MiB cap, 15 s time-out) and returns one entry
// per listed device, whatever its state, in listing order.
Expected<std::vector<DeviceInfo>> listDevices(command::ProcessRunner& runner, std::string_view adbPath);

// The listing of `adb devices` output: the header line skipped, then the
// first two blank-separated tokens of every line that has at least two.
std::vector<DeviceInfo> parseDevicesOutput(std::string_view output);

}  // namespace vyx::android_devices
