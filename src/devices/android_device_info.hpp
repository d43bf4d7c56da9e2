#pragma once
// Reading what `adb shell dumpsys window`, `wm size` and `wm density` print.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/types.hpp"

namespace vyx::android_device_info {

// The foreground window: both fields present or both absent.
struct ActiveWindow {
  std::optional<std::string> package;
  std::optional<std::string> activity;

  bool operator==(const ActiveWindow&) const = default;
};

// The package and activity of the first usable "mCurrentFocus=",
// "mFocusedApp=" or "topResumedActivity=" line; none when no marker works.
ActiveWindow parseActiveWindow(std::string_view dumpsys);

// "Physical size: <w>x<h>"; 0 by 0 when absent or not numbers.
Viewport parseWmSize(std::string_view output);

// The first line beginning "Physical density:"; none when absent or not a number.
std::optional<uint32_t> parseWmDensity(std::string_view output);

}  // namespace vyx::android_device_info
