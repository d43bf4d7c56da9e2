// Emulator preparation: the option checks, the exact tool command lines with
// their caps, time-outs and input, the detached start and the boot wait.
#include "runner/android_emulator.hpp"

#include <gtest/gtest.h>

#include "fake_process_runner.hpp"
#include "vyx_test.hpp"
#include "fake_clock.hpp"

using vyx::Error;
using vyx::FakeClock;
using vyx::android_emulator::EmulatorOptions;
using vyx::test::FakeProcessRunner;
using Argv = std::vector<std::string>;

namespace {

class AndroidEmulator : public ::testing::Test {
 protected:
  vyx::Status prepare(const EmulatorOptions& o) { return vyx::android_emulator::prepare(o, runner, clock); }
  // The detached starts, in order.
  std::vector<Argv> spawned() const {
    std::vector<Argv> out;
    for (const auto& s : runner.started) {
      EXPECT_TRUE(s.detached);
      out.push_back(s.argv);
    }
    return out;
  }
  std::vector<Argv> argvs() const {
    std::vector<Argv> out;
    for (const auto& c : runner.calls) out.push_back(c.argv);
    return out;
  }
  FakeProcessRunner runner;
  FakeClock clock;
};

EmulatorOptions named(std::string avd) {
  EmulatorOptions o;
  o.avdName = std::move(avd);
  return o;
}

}  // namespace

TEST_F(AndroidEmulator, ChecksComeFirst) {
  EmulatorOptions snapshotOnly;
  snapshotOnly.snapshotName = "s";
  EmulatorOptions resetOnly;
  resetOnly.reset = true;
  EmulatorOptions createOnly;
  createOnly.create = true;
  createOnly.systemImage = "img";
  EmulatorOptions createNoImage = named("A");
  createNoImage.create = true;
  const std::pair<EmulatorOptions, Error> cases[] = {
      {snapshotOnly, Error::MissingAndroidAvdName},
      {resetOnly, Error::MissingAndroidAvdName},
      {createOnly, Error::MissingAndroidAvdName},
      {createNoImage, Error::MissingAndroidAvdSystemImage},
  };
  for (const auto& [options, expected] : cases) {
    EXPECT_EQ(prepare(options).error(), expected);
  }
  EXPECT_TRUE(runner.calls.empty());
  EXPECT_TRUE(spawned().empty());
}

TEST_F(AndroidEmulator, StartVectors) {
  ASSERT_TRUE(prepare(named("Pixel_7")));
  EmulatorOptions withSnapshot = named("Pixel_7");
  withSnapshot.snapshotName = "clean";
  withSnapshot.emulatorPath = "/sdk/emulator";
  ASSERT_TRUE(prepare(withSnapshot));
  ASSERT_EQ(spawned().size(), 2u);
  EXPECT_EQ(spawned()[0], (Argv{"emulator", "-avd", "Pixel_7", "-no-snapshot-load", "-netdelay", "none", "-netspeed",
                               "full"}));
  EXPECT_EQ(spawned()[1], (Argv{"/sdk/emulator", "-avd", "Pixel_7", "-snapshot", "clean", "-netdelay", "none",
                               "-netspeed", "full"}));
  EXPECT_TRUE(runner.calls.empty());  // nothing is awaited without create, reset or wait

  runner.startError = Error::FileNotFound;
  EXPECT_EQ(prepare(named("Pixel_7")).error(), Error::FileNotFound);
}

TEST_F(AndroidEmulator, CreatesOnlyWhenTheListLacksTheAvd) {
  EmulatorOptions o = named("Pixel 7");
  o.create = true;
  o.systemImage = "system-images;android-34;google_apis;x86_64";
  o.avdmanagerPath = "/sdk/avdmanager";
  // A line holding the name between blanks and ending in a carriage return matches.
  runner.push(FakeProcessRunner::exited(0, "Other\n \tPixel 7 \r\n"));
  ASSERT_TRUE(prepare(o));
  ASSERT_EQ(runner.calls.size(), 1u);
  EXPECT_EQ(runner.calls[0].argv, (Argv{"emulator", "-list-avds"}));
  EXPECT_EQ(runner.calls[0].entry, FakeProcessRunner::Entry::RunWithTimeout);
  EXPECT_EQ(runner.calls[0].maxBytes, 1024u * 1024u);
  EXPECT_EQ(runner.calls[0].timeoutMs, 15000u);

  runner.calls.clear();
  runner.push(FakeProcessRunner::exited(0, "Pixel 7a\nPixel\n"));
  o.deviceProfile = "pixel_7";
  ASSERT_TRUE(prepare(o));
  ASSERT_EQ(runner.calls.size(), 2u);
  const auto& create = runner.calls[1];
  EXPECT_EQ(create.argv, (Argv{"/sdk/avdmanager", "create", "avd", "--name", "Pixel 7", "--package",
                               "system-images;android-34;google_apis;x86_64", "--device", "pixel_7", "--force"}));
  EXPECT_EQ(create.entry, FakeProcessRunner::Entry::RunWithInputTimeout);
  EXPECT_EQ(create.input, "no\n");
  EXPECT_EQ(create.maxBytes, 1024u * 1024u);
  EXPECT_EQ(create.timeoutMs, 15000u);
  EXPECT_EQ(spawned().size(), 2u);
}

TEST_F(AndroidEmulator, CreationFailuresEndThePreparation) {
  EmulatorOptions o = named("A");
  o.create = true;
  o.systemImage = "img";
  const std::pair<std::vector<vyx::Expected<vyx::command::ExecResult>>, Error> cases[] = {
      {{FakeProcessRunner::timedOut()}, Error::CommandTimedOut},
      {{FakeProcessRunner::exited(1)}, Error::CommandFailed},
      {{vyx::fail(Error::StreamTooLong)}, Error::StreamTooLong},
      {{FakeProcessRunner::exited(0, ""), FakeProcessRunner::exited(1)}, Error::CommandFailed},
  };
  for (const auto& [answers, expected] : cases) {
    runner.calls.clear();
    for (const auto& a : answers) runner.push(a);
    EXPECT_EQ(prepare(o).error(), expected);
  }
  EXPECT_TRUE(spawned().empty());
}

TEST_F(AndroidEmulator, ResetIgnoresEveryOutcome) {
  EmulatorOptions o = named("A");
  o.reset = true;
  o.serial = "emulator-5556";
  runner.push(vyx::fail(Error::FileNotFound));
  ASSERT_TRUE(prepare(o));
  EXPECT_EQ(argvs(), (std::vector<Argv>{{"adb", "-s", "emulator-5556", "emu", "kill"}}));
  EXPECT_EQ(spawned().size(), 1u);
}

TEST_F(AndroidEmulator, WaitAloneOnlyWaits) {
  EmulatorOptions o;
  o.wait = true;
  o.adbPath = "/sdk/adb";
  runner.push(FakeProcessRunner::exited(0));
  runner.push(FakeProcessRunner::exited(0, "\n"));
  runner.push(FakeProcessRunner::exited(0, "0\n"));
  runner.push(FakeProcessRunner::exited(0, " 1\r\n"));
  ASSERT_TRUE(prepare(o));
  Argv getprop{"/sdk/adb", "shell", "getprop", "sys.boot_completed"};
  EXPECT_EQ(argvs(), (std::vector<Argv>{{"/sdk/adb", "wait-for-device"}, getprop, getprop, getprop}));
  EXPECT_EQ(clock.sleeps(), 2u);
  EXPECT_EQ(clock.sleptMs(), 4000u);
  EXPECT_TRUE(spawned().empty());
}

TEST_F(AndroidEmulator, BootWaitFailures) {
  EmulatorOptions o;
  o.wait = true;
  // Never "1": 120 polls two seconds apart, then the time-out.
  runner.fallback = FakeProcessRunner::exited(0, "0\n");
  EXPECT_EQ(prepare(o).error(), Error::AndroidEmulatorBootTimedOut);
  EXPECT_EQ(runner.calls.size(), 121u);
  EXPECT_EQ(clock.sleeps(), 120u);
  EXPECT_EQ(clock.sleptMs(), 240000u);

  // The device must appear; a failing poll is not retried.
  runner.calls.clear();
  runner.push(FakeProcessRunner::timedOut());
  EXPECT_EQ(prepare(o).error(), Error::CommandTimedOut);
  EXPECT_EQ(runner.calls.size(), 1u);
  runner.calls.clear();
  runner.push(FakeProcessRunner::exited(0));
  runner.push(FakeProcessRunner::exited(0, "0"));
  runner.push(FakeProcessRunner::exited(255));
  EXPECT_EQ(prepare(o).error(), Error::CommandFailed);
  EXPECT_EQ(runner.calls.size(), 3u);
}

TEST_F(AndroidEmulator, CommandLog) {
  vyx::test::TempDir dir;
  EmulatorOptions o = named("A");
  o.commandLogPath = dir.file("tools.log");
  o.wait = true;
  runner.push(FakeProcessRunner::exited(0));
  runner.push(FakeProcessRunner::exited(0, "1"));
  ASSERT_TRUE(prepare(o));
  EXPECT_EQ(vyx::test::readFile(dir.file("tools.log")),
            "emulator -avd A -no-snapshot-load -netdelay none -netspeed full\n"
            "adb wait-for-device\n"
            "adb shell getprop sys.boot_completed\n");
  // A log that cannot be written stops the step that wanted to log.
  o.commandLogPath = dir.file("missing/tools.log");
  EXPECT_EQ(prepare(o).error(), Error::FileNotFound);
}
