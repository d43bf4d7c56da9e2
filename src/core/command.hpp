#pragma once
// Running external tools (adb, xcrun, the device shims, the emulator tools)
// as child processes.
//
// Every call of run, runWithTimeout and runWithInputTimeout spawns its child,
// reads its standard output and standard error together (both pipes polled
// by the calling thread), waits for it and hands back one ExecResult. A
// failure to spawn the program is an error value, never an exit status.
//
// Two kinds of children outlive a single call and have their own helpers at
// the end of this header: detached children (spawnDetached) and children that
// run in the background until stopped (BackgroundChild). Modules start every
// child, these too, through a ProcessRunner, so tests can fake them all.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"

namespace vyx::command {

// How a child ended.
struct Term {
  enum class Kind {
    Exited,   // ended normally; value is its 8-bit exit code
    Signal,   // ended by a signal; value is the signal number
    Stopped,  // stopped by a signal; value is the signal number
    Unknown,  // anything else; value is the raw wait status (0 after a time-out)
  };
  Kind kind = Kind::Unknown;
  uint32_t value = 0;

  bool exitedZero() const { return kind == Kind::Exited && value == 0; }
  friend bool operator==(const Term&, const Term&) = default;
};

// The outcome of one child process.
struct ExecResult {
  std::string stdoutBytes;  // at most maxBytes; empty after a time-out
  std::string stderrBytes;  // at most maxBytes; empty after a time-out
  Term term;                // Unknown 0 after a time-out
  bool timedOut = false;    // no output arrived within the time-out; the child was terminated
};

// maxBytes value that means "no cap".
inline constexpr size_t kNoCap = static_cast<size_t>(-1);

// After a time-out or a failure the child is sent SIGTERM; one that is still
// running this long afterwards gets SIGKILL (group and child). After a
// time-out the rest of the child's group has the same time to end.
inline constexpr uint64_t kKillGraceMs = 5000;

// The search path used when PATH is unset.
inline constexpr std::string_view kDefaultSearchPath = "/usr/local/bin:/bin/:/usr/bin";

// Runs argv with standard input from /dev/null, in the program's own process
// group, without a time-out. `maxBytes` caps standard output and standard
// error separately (exactly maxBytes is allowed; more fails with
// StreamTooLong and the child is terminated); kNoCap means no cap.
//
// argv[0] without a "/" is searched on PATH (kDefaultSearchPath when PATH is
// unset); with a "/" it is used as a path. The child inherits the
// environment and working directory and starts with default signal
// dispositions. Spawn failures come back as FileNotFound, AccessDenied,
// InvalidExe and the like. An empty argv fails with FileNotFound; an
// argument holding a NUL byte (which cannot be passed on) fails with
// InvalidCharacter.
Expected<ExecResult> run(const std::vector<std::string>& argv, size_t maxBytes);

// Like run, but the child leads a new process group and every wait for more
// output is bounded by timeoutMs (re-armed after each read, so the time-out
// bounds silence, not the whole run); so is the wait for the child's end
// once both its streams have closed. When it passes, the group and the child
// get SIGTERM, the child is reaped, whatever of the group still runs after
// kKillGraceMs gets SIGKILL, and the result has timedOut true, empty outputs
// and term Unknown 0 (a successful return, not an error).
Expected<ExecResult> runWithTimeout(const std::vector<std::string>& argv, size_t maxBytes,
                                    uint64_t timeoutMs);

// Like runWithTimeout, but `input` is written whole to the child's standard
// input, which is then closed, before any output is read (the time-out does
// not cover the write). timeoutMs 0 means no time-out, and then the child
// stays in the program's process group. A child that stops reading its input
// makes the call fail with ChildBrokenPipe (named "BrokenPipe").
Expected<ExecResult> runWithInputTimeout(const std::vector<std::string>& argv, std::string_view input,
                                         size_t maxBytes, uint64_t timeoutMs);

// The callers' convention for judging a call: an error value is passed on,
// a time-out becomes CommandTimedOut, anything but exit code 0 becomes
// CommandFailed.
Status checkResult(const Expected<ExecResult>& result);

// checkResult, then the child's standard output.
Expected<std::string> stdoutOrError(Expected<ExecResult> result);

// The directories searched for a program name: PATH split at ":" (empty
// entries skipped), or kDefaultSearchPath when PATH is unset.
std::vector<std::string> searchPath();

// Where argv[0] would be run from: a name with a "/" as it is, otherwise the
// first executable regular file of that name on the search path. Fails with
// FileNotFound, or AccessDenied when only non-executable matches exist.
Expected<std::string> findExecutable(std::string_view name);

// A child started in the background (see BackgroundChild), as a
// ProcessRunner hands it out.
class BackgroundProcess {
 public:
  virtual ~BackgroundProcess() = default;
  // True until wait() has reaped the child.
  virtual bool running() const = 0;
  // Sends SIGINT to the child. Fails once the child has been reaped.
  virtual Status interrupt() = 0;
  // Blocks until the child ends and reaps it.
  virtual Expected<Term> wait() = 0;
  // Waits at most `ms` for the child to end and reaps it; nothing while it
  // still runs. Fails once the child has been reaped.
  virtual Expected<std::optional<Term>> waitFor(uint64_t ms) = 0;
  // Sends SIGKILL to the child's process group and the child; wait() then
  // reaps it. Fails once the child has been reaped.
  virtual Status kill() = 0;
};

// Every way of starting a child, behind an interface, so the modules that
// run tools can be tested with a fake.
class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  virtual Expected<ExecResult> run(const std::vector<std::string>& argv, size_t maxBytes) = 0;
  virtual Expected<ExecResult> runWithTimeout(const std::vector<std::string>& argv, size_t maxBytes,
                                              uint64_t timeoutMs) = 0;
  virtual Expected<ExecResult> runWithInputTimeout(const std::vector<std::string>& argv,
                                                   std::string_view input, size_t maxBytes,
                                                   uint64_t timeoutMs) = 0;
  // Starts argv in the background, standard streams on /dev/null
  // (BackgroundChild::spawn). A child still running when the returned
  // object goes away is interrupted and reaped.
  virtual Expected<std::unique_ptr<BackgroundProcess>> startBackground(const std::vector<std::string>& argv) = 0;
  // Starts argv detached, never to be waited for (spawnDetached).
  virtual Status startDetached(const std::vector<std::string>& argv) = 0;
};

// Calls the free functions and the helpers below.
class RealProcessRunner final : public ProcessRunner {
 public:
  Expected<ExecResult> run(const std::vector<std::string>& argv, size_t maxBytes) override;
  Expected<ExecResult> runWithTimeout(const std::vector<std::string>& argv, size_t maxBytes,
                                      uint64_t timeoutMs) override;
  Expected<ExecResult> runWithInputTimeout(const std::vector<std::string>& argv, std::string_view input,
                                           size_t maxBytes, uint64_t timeoutMs) override;
  Expected<std::unique_ptr<BackgroundProcess>> startBackground(const std::vector<std::string>& argv) override;
  Status startDetached(const std::vector<std::string>& argv) override;
};

// The process-wide real runner.
ProcessRunner& realProcessRunner();

// Starts argv detached: standard input, output and error on /dev/null, in a
// session of its own, never waited for (it is re-parented at once, so it
// leaves no zombie behind) and free to outlive the program. Spawn failures
// are returned as by run.
Status spawnDetached(const std::vector<std::string>& argv);

// A child that runs while the program does other work and is later stopped
// (interrupt) and reaped (wait, waitFor), or ended (kill). Standard input is
// /dev/null; standard output and error go to /dev/null or, when `outputPath`
// is given, both into that file (created or truncated, mode 0666 less the
// umask). It leads a new process group; SIGINT goes to its process id only,
// SIGKILL to the whole group.
class BackgroundChild final : public BackgroundProcess {
 public:
  static Expected<BackgroundChild> spawn(const std::vector<std::string>& argv,
                                         const std::string& outputPath = {});

  BackgroundChild(BackgroundChild&& other) noexcept;
  BackgroundChild& operator=(BackgroundChild&& other) noexcept;
  BackgroundChild(const BackgroundChild&) = delete;
  BackgroundChild& operator=(const BackgroundChild&) = delete;
  // A child still running is sent SIGINT and reaped (SIGKILL to its group
  // after kKillGraceMs); failures are ignored.
  ~BackgroundChild() override;

  pid_t pid() const { return pid_; }
  bool running() const override { return pid_ > 0; }
  Status interrupt() override;
  Expected<Term> wait() override;
  Expected<std::optional<Term>> waitFor(uint64_t ms) override;
  Status kill() override;

 private:
  explicit BackgroundChild(pid_t pid) : pid_(pid) {}
  pid_t pid_ = -1;
};

}  // namespace vyx::command
