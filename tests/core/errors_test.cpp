#include "core/errors.hpp"

#include <gtest/gtest.h>

using vyx::Error;

TEST(Errors, ClassificationAndExitCodes) {
  struct Row {
    Error error;
    const char* code;
    const char* message;
    int exit;
  };
  const Row rows[] = {
      {Error::unknownFlag, "cli.unknown_flag", "unknown flag", 2},
      {Error::CommandFailed, "device.command_failed", "device command failed", 1},
      {Error::CommandTimedOut, "internal.error", "CommandTimedOut", 1},
      {Error::UnsupportedIosDeviceType, "internal.error", "UnsupportedIosDeviceType", 2},
      {Error::MissingIosDeviceType, "internal.error", "MissingIosDeviceType", 2},
      {Error::WaitTimeout, "runner.wait_timeout", "wait timed out", 1},
      {Error::unknownCommand, "cli.unknown_command", "unknown command", 2},
      {Error::FileNotFound, "scenario.file_not_found", "scenario file was not found", 1},
      {Error::StepMissingX2, "scenario.invalid", "scenario is invalid", 1},
      {Error::SelectorsMustNotBeEmpty, "selector.invalid", "selector is invalid", 1},
      {Error::MissingAndroidShimPath, "internal.error", "MissingAndroidShimPath", 1},
      {Error::UnsupportedTransport, "cli.unsupported_transport", "unsupported transport", 2},
      {Error::IosXCTestShimRequired, "ios.xctest_shim_required", "iOS selector interaction requires the XCTest shim", 1},
  };
  for (const Row& row : rows) {
    auto c = vyx::classify(row.error);
    EXPECT_EQ(c.code, row.code) << vyx::errorName(row.error);
    EXPECT_EQ(c.message, row.message) << vyx::errorName(row.error);
    EXPECT_EQ(vyx::exitCodeForError(row.error), row.exit) << vyx::errorName(row.error);
  }
}

TEST(Errors, ChildBrokenPipeCarriesTheNameButNotTheIdentity) {
  EXPECT_EQ(vyx::errorName(Error::ChildBrokenPipe), "BrokenPipe");
  EXPECT_NE(Error::ChildBrokenPipe, Error::BrokenPipe);
  EXPECT_EQ(vyx::classify(Error::ChildBrokenPipe).code, "internal.error");
  EXPECT_EQ(vyx::classify(Error::ChildBrokenPipe).message, "BrokenPipe");
  EXPECT_EQ(vyx::exitCodeForError(Error::ChildBrokenPipe), 1);
  Error found{};
  ASSERT_TRUE(vyx::errorFromName("BrokenPipe", found));
  EXPECT_EQ(found, Error::BrokenPipe);
}
