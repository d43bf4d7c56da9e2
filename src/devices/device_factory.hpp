#pragma once
// The one device of a run or a server session, built from its settings:
// an iOS driver (simulator or physical) or an Android one.

#include <memory>
#include <string>

#include "core/clock.hpp"
#include "core/command.hpp"
#include "core/run_options.hpp"
#include "devices/device.hpp"

namespace vyx::device_factory {

std::unique_ptr<Device> makeDevice(const DeviceSettings& settings, std::string appId,
                                   command::ProcessRunner& runner, Clock& clock);

}  // namespace vyx::device_factory
