#pragma once
// Reads back the log that the fake tools under tests/fakes/ append to
// (the file named by VYX_FAKE_LOG; format in tests/fakes/README.md).

#include <optional>
#include <string>
#include <vector>

namespace vyx::test {

struct FakeCall {
  std::vector<std::string> argv;    // the fake's file name, then its arguments
  std::optional<std::string> input; // standard input, when the fake recorded it
};

// Every recorded call in order. A missing log reads as no calls; a malformed
// line throws std::runtime_error (a broken fake should fail the test loudly).
std::vector<FakeCall> readFakeCalls(const std::string& logPath);

// The argument vectors of readFakeCalls.
std::vector<std::vector<std::string>> readFakeLog(const std::string& logPath);

}  // namespace vyx::test
