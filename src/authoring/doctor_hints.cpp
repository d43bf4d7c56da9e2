#include "authoring/doctor_hints.hpp"

namespace vyx::doctor_hints {

namespace {

struct Row {
  std::string_view name;
  std::string_view hint;
};

// Matched in order by exact name.
constexpr Row kHints[] = {
    {"zig", "Install Zig 0.16.0 or newer, ensure it is on PATH, then run vyx doctor again."},
    {"adb", "Install Android SDK Platform Tools, ensure adb is on PATH, then run adb devices."},
    {"android-devices",
     "Start an emulator or connect a device, confirm adb devices shows it, then pass --device when running "
     "scenarios."},
    {"config",
     "Fix the config file or regenerate it with npx vyx-wizard, then run vyx doctor --strict --json --config "
     ".vyx/config.json."},
    {"android-shim",
     "Run npx vyx-install-android-shim in the app repo or update tools.androidShimPath in .vyx/config.json."},
    {"xcrun", "Install Xcode command line tools, run xcode-select --install if needed, then run xcrun --version."},
    {"ios-simulators",
     "Boot an iOS simulator with Xcode or xcrun simctl boot, then run xcrun simctl list devices booted."},
    {"ios-physical-devices",
     "Connect and trust an iPhone, enable Developer Mode, confirm vyx devices --json --platform ios "
     "--ios-device-type physical reports ready:true, then pass --ios-device-type physical --device "
     "<physical-device-id>."},
    {"ios-shim", "Run npx vyx-install-ios-shim in the app repo or update tools.iosShimPath in .vyx/config.json."},
};

constexpr std::string_view kGeneric = "Run the command manually, fix the reported setup issue, then run vyx doctor again.";

}  // namespace

std::string_view hintForCheck(std::string_view name, doctor::CheckStatus status) {
  const bool invalid = status == doctor::CheckStatus::warning;
  if (name == "android-smoke-scenario") {
    return invalid ? "Run vyx validate on the configured Android smoke scenario, fix the reported issue, or update "
                     "android.smokeScenario in .vyx/config.json."
                   : "Run npx vyx-wizard, create the Android smoke scenario, or update android.smokeScenario in "
                     ".vyx/config.json.";
  }
  if (name == "ios-smoke-scenario") {
    return invalid ? "Run vyx validate on the configured iOS smoke scenario, fix the reported issue, or update "
                     "ios.smokeScenario in .vyx/config.json."
                   : "Run npx vyx-wizard, create the iOS smoke scenario, or update ios.smokeScenario in "
                     ".vyx/config.json.";
  }
  for (const Row& row : kHints) {
    if (row.name == name) return row.hint;
  }
  return kGeneric;
}

}  // namespace vyx::doctor_hints
