#include "runner/android_emulator.hpp"

#include <string_view>

#include "core/files.hpp"
#include "core/text.hpp"

namespace vyx::android_emulator {
namespace {

bool listHoldsAvd(std::string_view listing, std::string_view avdName) {
  while (true) {
    size_t at = listing.find('\n');
    if (text::trimBlanks(listing.substr(0, at)) == avdName) return true;
    if (at == std::string_view::npos) return false;
    listing.remove_prefix(at + 1);
  }
}

Status createAvdIfMissing(const EmulatorOptions& options, command::ProcessRunner& runner) {
  std::vector<std::string> list{options.emulatorPath, "-list-avds"};
  if (auto s = recordCommand(options.commandLogPath, list); !s) return s;
  VYX_TRY_ASSIGN(auto listed, command::stdoutOrError(runner.runWithTimeout(list, kOutputCap, kToolTimeoutMs)));
  if (listHoldsAvd(listed, *options.avdName)) return {};

  std::vector<std::string> create{options.avdmanagerPath, "create", "avd", "--name", *options.avdName,
                                  "--package", *options.systemImage};
  if (options.deviceProfile) {
    create.emplace_back("--device");
    create.push_back(*options.deviceProfile);
  }
  create.emplace_back("--force");
  if (auto s = recordCommand(options.commandLogPath, create); !s) return s;
  // avdmanager asks whether to make a custom hardware profile; answer no.
  return command::checkResult(runner.runWithInputTimeout(create, "no\n", kOutputCap, kToolTimeoutMs));
}

Status startEmulator(const EmulatorOptions& options, command::ProcessRunner& runner) {
  std::vector<std::string> argv{options.emulatorPath, "-avd", *options.avdName};
  if (options.snapshotName) {
    argv.emplace_back("-snapshot");
    argv.push_back(*options.snapshotName);
  } else {
    argv.emplace_back("-no-snapshot-load");
  }
  for (const char* arg : {"-netdelay", "none", "-netspeed", "full"}) argv.emplace_back(arg);
  if (auto s = recordCommand(options.commandLogPath, argv); !s) return s;
  return runner.startDetached(argv);
}

Status waitForBoot(const EmulatorOptions& options, command::ProcessRunner& runner, Clock& clock) {
  if (auto s = command::checkResult(runAdb(runner, options, {"wait-for-device"})); !s) return s;
  for (int attempt = 0; attempt < kBootAttempts; ++attempt) {
    VYX_TRY_ASSIGN(auto out,
                   command::stdoutOrError(runAdb(runner, options, {"shell", "getprop", "sys.boot_completed"})));
    if (text::trimBlanks(out) == "1") return {};
    clock.sleepMs(kBootPollMs);
  }
  return fail(Error::AndroidEmulatorBootTimedOut);
}

}  // namespace

Status recordCommand(const std::optional<std::string>& logPath, const std::vector<std::string>& argv) {
  if (!logPath) return {};
  std::string content;
  auto old = files::readFileLimited(*logPath, kCommandLogLimit);
  if (old) {
    content = std::move(*old);
  } else if (old.error() != Error::FileNotFound) {
    return fail(old.error());
  }
  for (size_t i = 0; i < argv.size(); ++i) {
    if (i > 0) content += ' ';
    content += argv[i];
  }
  content += '\n';
  return files::writeFile(*logPath, content);
}

Expected<command::ExecResult> runAdb(command::ProcessRunner& runner, const EmulatorOptions& options,
                                     const std::vector<std::string>& args) {
  std::vector<std::string> argv{options.adbPath};
  if (options.serial) {
    argv.emplace_back("-s");
    argv.push_back(*options.serial);
  }
  argv.insert(argv.end(), args.begin(), args.end());
  VYX_TRY(recordCommand(options.commandLogPath, argv));
  return runner.runWithTimeout(argv, kOutputCap, kToolTimeoutMs);
}

Status prepare(const EmulatorOptions& options, command::ProcessRunner& runner, Clock& clock) {
  if ((options.snapshotName || options.reset) && !options.avdName) return fail(Error::MissingAndroidAvdName);
  if (options.create && !options.avdName) return fail(Error::MissingAndroidAvdName);
  if (options.create && !options.systemImage) return fail(Error::MissingAndroidAvdSystemImage);

  if (options.create) {
    if (auto s = createAvdIfMissing(options, runner); !s) return s;
  }
  if (options.reset) (void)runAdb(runner, options, {"emu", "kill"});
  if (options.avdName) {
    if (auto s = startEmulator(options, runner); !s) return s;
  }
  if (options.wait) return waitForBoot(options, runner, clock);
  return {};
}

}  // namespace vyx::android_emulator
