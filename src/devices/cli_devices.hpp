#pragma once
// `vyx devices`: lists attached Android devices or iOS simulators and
// physical devices, as text or JSON.

#include "core/args.hpp"
#include "core/errors.hpp"

namespace vyx::cli_devices {

// Parses the arguments after "devices", lists the devices and prints them.
Status run(ArgIterator& args);

}  // namespace vyx::cli_devices
