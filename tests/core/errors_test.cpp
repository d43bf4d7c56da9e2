#include "core/errors.hpp"

#include <gtest/gtest.h>

#include <string>

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

namespace {

vyx::Expected<std::string> word(bool ok, int& calls) {
  ++calls;
  if (!ok) return vyx::fail(Error::CommandFailed);
  return std::string("word");
}

// Declares from one result and assigns a member from another.
vyx::Expected<size_t> twoWords(bool firstOk, bool secondOk, int& calls) {
  struct {
    std::string second;
  } out;
  VYX_TRY_ASSIGN(auto first, word(firstOk, calls));
  VYX_TRY_ASSIGN(out.second, word(secondOk, calls));
  return first.size() + out.second.size();
}

}  // namespace

TEST(Errors, TryAssignTakesTheValueOrReturnsTheFailureOnce) {
  struct Case {
    bool firstOk, secondOk;
    vyx::Expected<size_t> want;
    int calls;
  };
  const Case cases[] = {
      {true, true, size_t{8}, 2},
      {false, true, vyx::fail(Error::CommandFailed), 1},
      {true, false, vyx::fail(Error::CommandFailed), 2},
  };
  for (const Case& c : cases) {
    int calls = 0;
    EXPECT_EQ(twoWords(c.firstOk, c.secondOk, calls), c.want);
    EXPECT_EQ(calls, c.calls);
  }
}
