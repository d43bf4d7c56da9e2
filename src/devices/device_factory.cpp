#include "devices/device_factory.hpp"

#include <utility>

#include "devices/android.hpp"
#include "devices/ios.hpp"

namespace vyx::device_factory {

std::unique_ptr<Device> makeDevice(const DeviceSettings& settings, std::string appId,
                                   command::ProcessRunner& runner, Clock& clock) {
  if (settings.platform == Platform::ios) {
    return std::make_unique<IosDevice>(settings.xcrunPath, settings.device, std::move(appId),
                                       settings.iosDeviceType == IosDeviceType::physical, settings.iosShimPath,
                                       runner, clock);
  }
  return std::make_unique<AndroidDevice>(settings.adbPath, settings.device, std::move(appId),
                                         settings.androidShimPath, runner, clock);
}

}  // namespace vyx::device_factory
