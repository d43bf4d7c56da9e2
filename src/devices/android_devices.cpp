#include "devices/android_devices.hpp"

#include <string>

#include "core/text.hpp"

namespace vyx::android_devices {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The next run of non-blank characters, consuming it from `rest`.
std::string_view nextToken(std::string_view& rest) {
  while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
  size_t end = 0;
  while (end < rest.size() && !isBlank(rest[end])) ++end;
  std::string_view token = rest.substr(0, end);
  rest.remove_prefix(end);
  return token;
}

}  // namespace

std::vector<DeviceInfo> parseDevicesOutput(std::string_view output) {
  std::vector<DeviceInfo> list;
  size_t newline = output.find('\n');
  if (newline == std::string_view::npos) return list;
  std::string_view rest = output.substr(newline + 1);
  while (true) {
    newline = rest.find('\n');
    std::string_view line = text::trimBlanks(rest.substr(0, newline));
    std::string_view tokens = line;
    std::string_view serial = nextToken(tokens);
    std::string_view state = nextToken(tokens);
    if (!serial.empty() && !state.empty()) list.push_back(DeviceInfo{std::string(serial), std::string(state)});
    if (newline == std::string_view::npos) break;
    rest.remove_prefix(newline + 1);
  }
  return list;
}

Expected<std::vector<DeviceInfo>> listDevices(command::ProcessRunner& runner, std::string_view adbPath) {
  VYX_TRY_ASSIGN(auto out, command::stdoutOrError(
      runner.runWithTimeout({std::string(adbPath), "devices"}, kDevicesCap, kDevicesTimeoutMs)));
  return parseDevicesOutput(out);
}

}  // namespace vyx::android_devices
