// Screen recording: the clean-up, start, stop, pull and removal command
// lines with their caps, and the failures that leave no recording.
#include "runner/android_screen_recording.hpp"

#include <gtest/gtest.h>

#include "core/trace.hpp"
#include "fake_process_runner.hpp"
#include "vyx_test.hpp"

using vyx::Error;
using vyx::android_screen_recording::AndroidScreenRecording;
using vyx::test::FakeProcessRunner;
using Argv = std::vector<std::string>;

namespace {

const std::string kRemote = "/sdcard/vyx-trace-screenrecord.mp4";

}  // namespace

TEST(AndroidScreenRecording, StartStopAndPull) {
  vyx::test::TempDir dir;
  auto trace = vyx::TraceWriter::create(dir.file("t"), {});
  ASSERT_TRUE(trace);
  FakeProcessRunner runner;
  auto recording = AndroidScreenRecording::start(runner, "/sdk/adb", std::string("emulator-5554"));
  ASSERT_TRUE(recording);
  ASSERT_EQ(runner.started.size(), 1u);
  EXPECT_EQ(runner.started[0].argv, (Argv{"/sdk/adb", "-s", "emulator-5554", "shell", "screenrecord", kRemote}));
  EXPECT_FALSE(runner.started[0].detached);
  ASSERT_EQ(runner.calls.size(), 1u);
  EXPECT_EQ(runner.calls[0].argv, (Argv{"/sdk/adb", "-s", "emulator-5554", "shell", "rm", "-f", kRemote}));
  EXPECT_EQ(runner.calls[0].maxBytes, 4096u);
  EXPECT_EQ(runner.calls[0].timeoutMs, 15000u);

  auto local = recording->stopAndPull(*trace);
  ASSERT_TRUE(local);
  EXPECT_EQ(*local, dir.file("t") + "/artifacts/screenrecord.mp4");
  EXPECT_TRUE(recording->stopped());
  // Interrupted, then waited for (at most ten seconds), before the pull.
  EXPECT_EQ(runner.signals, (std::vector<std::string>{"interrupt /sdk/adb", "wait 10000 /sdk/adb"}));
  ASSERT_EQ(runner.calls.size(), 3u);
  EXPECT_EQ(runner.calls[1].argv, (Argv{"/sdk/adb", "-s", "emulator-5554", "pull", kRemote, *local}));
  EXPECT_EQ(runner.calls[1].maxBytes, 32u * 1024 * 1024);
  EXPECT_EQ(runner.calls[2].argv, (Argv{"/sdk/adb", "-s", "emulator-5554", "shell", "rm", "-f", kRemote}));
  EXPECT_EQ(runner.calls[2].maxBytes, 4096u);
}

TEST(AndroidScreenRecording, FailuresLeaveNoRecordingOrNoPath) {
  vyx::test::TempDir dir;
  auto trace = vyx::TraceWriter::create(dir.file("t"), {});
  ASSERT_TRUE(trace);
  FakeProcessRunner runner;
  // The clean-up's outcome is ignored; a recorder that cannot be spawned is skipped.
  runner.push(vyx::fail(Error::FileNotFound));
  runner.startError = Error::FileNotFound;
  EXPECT_FALSE(AndroidScreenRecording::start(runner, "adb", std::nullopt));
  ASSERT_EQ(runner.started.size(), 1u);
  EXPECT_EQ(runner.started[0].argv, (Argv{"adb", "shell", "screenrecord", kRemote}));

  // A failed pull is returned and the device file is left alone.
  runner.calls.clear();
  runner.startError.reset();
  auto recording = AndroidScreenRecording::start(runner, "adb", std::nullopt);
  ASSERT_TRUE(recording);
  runner.push(FakeProcessRunner::exited(1, "", "remote object does not exist"));
  EXPECT_EQ(recording->stopAndPull(*trace).error(), Error::CommandFailed);
  EXPECT_EQ(runner.calls.size(), 2u);
  runner.push(FakeProcessRunner::timedOut());
  EXPECT_EQ(recording->stopAndPull(*trace).error(), Error::CommandTimedOut);  // stopping is not repeated
  EXPECT_EQ(runner.signals, (std::vector<std::string>{"interrupt adb", "wait 10000 adb"}));

  // A recording dropped while running ends its recorder.
  runner.signals.clear();
  { auto dropped = AndroidScreenRecording::start(runner, "adb", std::nullopt); }
  EXPECT_EQ(runner.signals, std::vector<std::string>{"end adb"});
}

TEST(AndroidScreenRecording, RecorderIgnoringSigintIsKilledAfterItsGrace) {
  vyx::test::TempDir dir;
  auto trace = vyx::TraceWriter::create(dir.file("t"), {});
  ASSERT_TRUE(trace);
  FakeProcessRunner runner;
  runner.backgroundIgnoresInterrupt = true;
  auto recording = AndroidScreenRecording::start(runner, "adb", std::nullopt, 250);
  ASSERT_TRUE(recording);
  // The bounded wait runs out, the recorder's group is killed and reaped,
  // and the video is pulled as after any stop.
  auto local = recording->stopAndPull(*trace);
  ASSERT_TRUE(local);
  EXPECT_TRUE(recording->stopped());
  EXPECT_EQ(runner.signals, (std::vector<std::string>{"interrupt adb", "wait 250 adb", "kill adb", "wait adb"}));
  ASSERT_EQ(runner.calls.size(), 3u);
  EXPECT_EQ(runner.calls[1].argv, (Argv{"adb", "pull", kRemote, *local}));
  EXPECT_EQ(runner.calls[2].argv, (Argv{"adb", "shell", "rm", "-f", kRemote}));
}
