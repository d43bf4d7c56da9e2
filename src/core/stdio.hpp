#pragma once
// Process-wide routines: the wall clock, reading one line, and the pipe
// signal handlers installed for the life of a command.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/limits.hpp"

namespace vyx::stdio {

// Wall-clock milliseconds since the Unix epoch, 0 when the clock can't be read.
int64_t wallClockMs();

// A buffered reader over a file descriptor (not owned).
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  // The next line without its line feed (a carriage return stays), the last
  // unterminated line, or nullopt at the end of input. A line that finds no
  // line feed within `limit` bytes fails with StreamTooLong as soon as that
  // many bytes have arrived; the next call then starts after its line feed.
  Expected<std::optional<std::string>> readLine(size_t limit = limits::kRequestLineBytes);
  // What comes before the first carriage return or line feed of the next
  // line, without consuming anything: waits until one of them, `limit`
  // bytes or the end of input has arrived (and returns at most `limit`
  // bytes). Only a failed read fails. For the start of a stream only.
  Expected<std::string_view> peekLineHead(size_t limit = limits::kRequestLineBytes);
  // For a TCP connection: every read acknowledges at once what it got, so a
  // client whose own Nagle's algorithm holds back the rest of a request
  // until then does not wait for a delayed acknowledgement (about 40 ms).
  void acknowledgeEachRead() { quickAck_ = true; }

 private:
  Status fill();
  int fd_;
  bool quickAck_ = false;
  std::string buffer_;
  size_t start_ = 0;
  bool eof_ = false;
  bool skipping_ = false;  // the rest of a refused line is still to be dropped
};

// Installs the do-nothing SIGIO and SIGPIPE handlers (so a write to a closed
// pipe fails with BrokenPipe) and puts the old actions back when released.
class ProcessState {
 public:
  ProcessState();
  ~ProcessState();
  ProcessState(const ProcessState&) = delete;
  ProcessState& operator=(const ProcessState&) = delete;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

}  // namespace vyx::stdio
