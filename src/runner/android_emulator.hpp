#pragma once
// Android emulator preparation for `vyx run`: make sure the virtual device
// exists, optionally kill the running emulator, start the emulator detached
// and wait until it has booted.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.hpp"
#include "core/command.hpp"
#include "core/errors.hpp"

namespace vyx::android_emulator {

inline constexpr size_t kOutputCap = 1024 * 1024;
inline constexpr uint64_t kToolTimeoutMs = 15000;
inline constexpr size_t kCommandLogLimit = 4 * 1024 * 1024;
inline constexpr int kBootAttempts = 120;
inline constexpr uint64_t kBootPollMs = 2000;

struct EmulatorOptions {
  std::string adbPath = "adb";
  std::string emulatorPath = "emulator";
  std::string avdmanagerPath = "avdmanager";
  std::optional<std::string> serial;
  std::optional<std::string> avdName;
  std::optional<std::string> snapshotName;
  std::optional<std::string> systemImage;
  std::optional<std::string> deviceProfile;
  // When set, every tool command line is appended to this file.
  std::optional<std::string> commandLogPath;
  bool create = false;
  bool reset = false;
  bool wait = false;
};

// Appends the arguments joined by single spaces and a line feed to the log
// file (a missing file counts as empty). Does nothing without a log path.
Status recordCommand(const std::optional<std::string>& logPath, const std::vector<std::string>& argv);

// adb [-s serial] args..., with the tool cap and time-out; returns the
// result unjudged.
Expected<command::ExecResult> runAdb(command::ProcessRunner& runner, const EmulatorOptions& options,
                                     const std::vector<std::string>& args);

// Checks the options, creates the AVD when asked and missing, resets, starts
// the emulator detached through the runner when an AVD is named (never
// waited for, never stopped) and waits for the boot when asked, sleeping on
// `clock` between boot polls. The first failing step's error is returned;
// the reset never fails.
Status prepare(const EmulatorOptions& options, command::ProcessRunner& runner, Clock& clock);

}  // namespace vyx::android_emulator
