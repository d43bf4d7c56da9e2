#include "devices/cli_devices.hpp"

#include <string>
#include <vector>

#include "core/clock.hpp"
#include "core/command.hpp"
#include "core/run_options.hpp"
#include "core/json_writer.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"
#include "devices/android_devices.hpp"
#include "devices/ios_devices.hpp"

namespace vyx::cli_devices {

namespace {

enum class IosKinds : uint8_t { simulator, physical, all };

struct Options {
  Platform platform = Platform::android;
  IosKinds iosKinds = IosKinds::simulator;
  std::string adb = "adb";
  std::string xcrun = "xcrun";
  bool json = false;
};

Expected<Options> parseArgs(ArgIterator& args) {
  Options o;
  while (auto arg = args.next()) {
    if (*arg == "--platform") {
      auto value = args.next();
      if (!value) return fail(Error::MissingPlatform);
      VYX_TRY_ASSIGN(auto platform, parsePlatform(*value));
      o.platform = platform;
    } else if (*arg == "--ios-device-type") {
      auto value = args.next();
      if (!value) return fail(Error::MissingIosDeviceType);
      if (*value == "simulator") {
        o.iosKinds = IosKinds::simulator;
      } else if (*value == "physical") {
        o.iosKinds = IosKinds::physical;
      } else if (*value == "all") {
        o.iosKinds = IosKinds::all;
      } else {
        return fail(Error::UnsupportedIosDeviceType);
      }
    } else if (*arg == "--adb") {
      VYX_TRY(takeValue(args, Error::MissingAdbPath, o.adb));
    } else if (*arg == "--xcrun") {
      VYX_TRY(takeValue(args, Error::MissingXcrunPath, o.xcrun));
    } else if (*arg == "--json") {
      o.json = true;
    } else {
      return fail(Error::unknownFlag);
    }
  }
  return o;
}

Expected<std::vector<DeviceInfo>> listDevices(const Options& o) {
  command::ProcessRunner& runner = command::realProcessRunner();
  if (o.platform == Platform::android) return android_devices::listDevices(runner, o.adb);
  if (o.iosKinds == IosKinds::physical) return ios_devices::listPhysical(runner, o.xcrun);
  auto simulators = ios_devices::listSimulators(runner, systemClock(), o.xcrun);
  if (!simulators || o.iosKinds == IosKinds::simulator) return simulators;
  VYX_TRY_ASSIGN(auto physical, ios_devices::listPhysical(runner, o.xcrun));
  simulators->insert(simulators->end(), physical.begin(), physical.end());
  return simulators;
}

bool isReady(Platform platform, const DeviceInfo& device) {
  if (platform == Platform::android) return device.state == "device";
  return device.state == "Booted" || device.state == "connected" || device.state == "available";
}

Status writeJson(Writer& w, Platform platform, const std::vector<DeviceInfo>& devices) {
  JsonObjectWriter o(w);
  o.str("platform", platformName(platform)).unum("count", devices.size()).value("devices", [&](Writer& out) {
    JsonArrayWriter list(out);
    for (const DeviceInfo& device : devices) {
      list.value([&](Writer& item) {
        return JsonObjectWriter(item)
            .str("serial", device.serial)
            .str("state", device.state)
            .flag("ready", isReady(platform, device))
            .finish();
      });
    }
    return list.finish();
  });
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

Status writeText(Writer& w, Platform platform, const std::vector<DeviceInfo>& devices) {
  if (devices.empty()) {
    if (auto s = w.writeAll("No "); !s) return s;
    if (auto s = w.writeAll(platformName(platform)); !s) return s;
    return w.writeAll(" devices found.\n");
  }
  for (const DeviceInfo& device : devices) {
    if (auto s = w.writeAll(device.serial); !s) return s;
    if (auto s = w.writeByte('\t'); !s) return s;
    if (auto s = w.writeAll(device.state); !s) return s;
    if (auto s = w.writeByte('\n'); !s) return s;
  }
  return {};
}

}  // namespace

Status run(ArgIterator& args) {
  VYX_TRY_ASSIGN(auto options, parseArgs(args));
  VYX_TRY_ASSIGN(auto devices, listDevices(options));
  Output out;
  Status written = options.json ? writeJson(out, options.platform, devices)
                                 : writeText(out, options.platform, devices);
  if (!written) return written;
  return out.flush();
}

}  // namespace vyx::cli_devices
