#include "core/command.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "core/fd.hpp"
#include "core/paths.hpp"

extern char** environ;

namespace vyx::command {

namespace {

constexpr uint64_t kNsPerMs = 1000000;

uint64_t monotonicNs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t saturatingAddU64(uint64_t a, uint64_t b) {
  uint64_t out = 0;
  return __builtin_add_overflow(a, b, &out) ? UINT64_MAX : out;
}

struct Pipe {
  Fd read;
  Fd write;
};

Expected<Pipe> makePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return fail(errorFromErrno(errno));
  return Pipe{Fd(fds[0]), Fd(fds[1])};
}

// The null device that children read from or write to instead of a pipe,
// opened once for the whole program (close-on-exec, never closed).
Expected<int> nullDevice() {
  static int fd = -1;
  if (fd < 0) {
    fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd < 0) return fail(errorFromErrno(errno));
  }
  return fd;
}

// Everything the child needs, prepared before fork so the child itself only
// makes system calls.
struct ExecPlan {
  std::vector<std::string> candidates;  // paths tried in order
  bool searched = false;                // candidates come from the search path
  std::vector<char*> argv;              // points into the caller's strings
};

Expected<ExecPlan> makePlan(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return fail(Error::FileNotFound);
  ExecPlan plan;
  for (const std::string& arg : argv) {
    // execve ends every argument at its first NUL; passing a shortened
    // argument would run a different command than the one asked for.
    if (arg.find('\0') != std::string::npos) return fail(Error::InvalidCharacter);
    plan.argv.push_back(const_cast<char*>(arg.c_str()));
  }
  plan.argv.push_back(nullptr);
  if (argv[0].find('/') != std::string::npos) {
    plan.candidates.push_back(argv[0]);
  } else {
    plan.searched = true;
    for (const std::string& dir : searchPath()) plan.candidates.push_back(paths::joinOnce(dir, argv[0]));
  }
  return plan;
}

// --- child side (between fork and exec: system calls only) ---------------

// Where a child that could not start leaves its errno: a slot of the
// parent's memory, which a vfork child shares while the parent waits for
// its exec, or the write end of a close-on-exec pipe for a forked one.
struct ErrorSink {
  volatile int* slot = nullptr;
  int fd = -1;
};

[[noreturn]] void reportAndExit(const ErrorSink& sink, int err) {
  if (sink.slot != nullptr) {
    *sink.slot = err;
    ::_exit(127);
  }
  const int errFd = sink.fd;
  const char* p = reinterpret_cast<const char*>(&err);
  size_t left = sizeof err;
  while (left > 0) {
    ssize_t n = ::write(errFd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  ::_exit(127);
}

int dupAbove2(int fd) {
  int out;
  do {
    out = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  } while (out < 0 && errno == EINTR);
  return out;
}

struct ChildSetup {
  int stdFds[3] = {-1, -1, -1};  // become the child's 0, 1 and 2
  bool newGroup = false;
  bool newSession = false;
};

[[noreturn]] void execChild(const ExecPlan& plan, const ChildSetup& setup, ErrorSink sink) {
  // Move every descriptor we still need above 2 first, so installing the
  // standard streams cannot overwrite one of them.
  if (sink.fd >= 0) {
    sink.fd = dupAbove2(sink.fd);
    if (sink.fd < 0) ::_exit(127);
  }
  int tmp[3];
  for (int i = 0; i < 3; ++i) {
    tmp[i] = dupAbove2(setup.stdFds[i]);
    if (tmp[i] < 0) reportAndExit(sink, errno);
  }
  for (int i = 0; i < 3; ++i) {
    int r;
    do {
      r = ::dup2(tmp[i], i);  // the copy loses close-on-exec
    } while (r < 0 && errno == EINTR);
    if (r < 0) reportAndExit(sink, errno);
  }
  if (setup.newSession && ::setsid() < 0) reportAndExit(sink, errno);
  if (setup.newGroup && ::setpgid(0, 0) != 0) reportAndExit(sink, errno);

  // Default dispositions and an empty mask: the program itself ignores or
  // handles SIGPIPE, and ignored signals would survive the exec.
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sig == SIGKILL || sig == SIGSTOP) continue;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(sig, &action, nullptr);  // fails harmlessly for reserved signals
  }
  sigset_t empty;
  sigemptyset(&empty);
  ::sigprocmask(SIG_SETMASK, &empty, nullptr);

#ifdef __linux__
  // Nothing but the three standard streams crosses the exec.
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
#endif

  int err = ENOENT;
  bool sawAccessDenied = false;
  for (const std::string& path : plan.candidates) {
    ::execve(path.c_str(), plan.argv.data(), environ);
    err = errno;
    if (!plan.searched) break;
    if (err == EACCES) {
      sawAccessDenied = true;
    } else if (err != ENOENT && err != ENOTDIR) {
      break;  // found but not runnable: report that
    }
  }
  if (plan.searched && (err == ENOENT || err == ENOTDIR || err == EACCES)) {
    err = sawAccessDenied ? EACCES : ENOENT;
  }
  reportAndExit(sink, err);
}

// --- parent side ----------------------------------------------------------

Error spawnError(int err) {
  if (err == ENOTDIR) return Error::FileNotFound;
  return errorFromErrno(err);
}

bool reapBlocking(pid_t pid, int* status) {
  int s = 0;
  for (;;) {
    pid_t r = ::waitpid(pid, &s, 0);
    if (r == pid) break;
    if (r < 0 && errno == EINTR) continue;
    return false;
  }
  if (status != nullptr) *status = s;
  return true;
}

void sleepNs(uint64_t ns) {
  timespec ts{static_cast<time_t>(ns / 1000000000u), static_cast<long>(ns % 1000000000u)};
  ::nanosleep(&ts, nullptr);
}

// Polling back-off: short at first, since a child that closed its pipes is
// usually a moment away from its end, then at most 50 ms. `pause` sleeps the
// next step, never past the monotonic deadline; false once it has passed.
class Backoff {
 public:
  explicit Backoff(uint64_t deadlineNs) : deadlineNs_(deadlineNs) {}
  bool pause() {
    uint64_t now = monotonicNs();
    if (now >= deadlineNs_) return false;
    sleepNs(std::min(stepNs_, deadlineNs_ - now));
    if (stepNs_ < kLongestStepNs) stepNs_ *= 2;
    return true;
  }

 private:
  static constexpr uint64_t kLongestStepNs = 50000000;
  uint64_t deadlineNs_;
  uint64_t stepNs_ = 100000;
};

// The end of the grace period a signalled child has, from now.
uint64_t graceDeadline() { return saturatingAddU64(monotonicNs(), kKillGraceMs * kNsPerMs); }

enum class Reap { Ended, Running, Failed };

// Waits until the child ends (and reaps it, its status in `status`) or the
// monotonic `deadlineNs` passes. Failed: waitpid failed, errno says why.
Reap reapUntil(pid_t pid, uint64_t deadlineNs, int* status) {
  Backoff backoff(deadlineNs);
  for (;;) {
    int s = 0;
    pid_t r = ::waitpid(pid, &s, WNOHANG);
    if (r == pid) {
      if (status != nullptr) *status = s;
      return Reap::Ended;
    }
    if (r < 0 && errno != EINTR) return Reap::Failed;
    if (!backoff.pause()) return Reap::Running;
  }
}

#ifdef __linux__
// Whether /proc/<pid>/stat names a process of group `pgid` that has not
// ended. "pid (comm) state ppid pgrp ..."; comm may hold anything, so the
// fields are read after its last ")".
bool liveMemberOf(const char* pid, pid_t pgid) {
  std::string path = "/proc/";
  path += pid;
  path += "/stat";
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  char buf[512];
  ssize_t n = ::read(fd.get(), buf, sizeof buf - 1);
  if (n <= 0) return false;
  buf[n] = '\0';
  const char* close = std::strrchr(buf, ')');
  if (close == nullptr) return false;
  char state = 0;
  long ppid = 0;
  long pgrp = 0;
  if (std::sscanf(close + 1, " %c %ld %ld", &state, &ppid, &pgrp) != 3) return false;
  return pgrp == pgid && state != 'Z' && state != 'X';
}
#endif

// Whether anything of process group `pgid` is still running. Members that
// ended but were never reaped (orphans under an init that does not reap)
// still take signals, so on Linux they are told apart through /proc.
bool groupRunning(pid_t pgid) {
  if (::kill(-pgid, 0) != 0 && errno == ESRCH) return false;
#ifdef __linux__
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return true;
  bool running = false;
  while (dirent* entry = ::readdir(proc)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    if (liveMemberOf(entry->d_name, pgid)) {
      running = true;
      break;
    }
  }
  ::closedir(proc);
  return running;
#else
  return true;
#endif
}

// SIGTERM to the child itself; false when the system refuses it.
bool sendTerm(pid_t pid) {
  int r;
  do {
    r = ::kill(pid, SIGTERM);
  } while (r != 0 && errno == EINTR);
  return r == 0;
}

// Termination on failure: SIGTERM to the child only, then reaps it. One
// still running after the grace period gets SIGKILL (its group too when
// `killGroup`). When the system refuses the SIGTERM the child is left alone.
void terminateAndReap(pid_t pid, bool killGroup) {
  if (pid <= 0) return;
  if (!sendTerm(pid)) return;
  const uint64_t deadline = graceDeadline();
  if (reapUntil(pid, deadline, nullptr) != Reap::Running) return;
  if (killGroup) (void)::kill(-pid, SIGKILL);
  (void)::kill(pid, SIGKILL);
  (void)reapBlocking(pid, nullptr);
}

// Termination on a time-out of a child leading its own group: SIGTERM to the
// group and the child, then the child is reaped. The whole group has the
// grace period to end; whatever of it still runs then (the child, or
// grandchildren that ignore SIGTERM) gets SIGKILL, so nothing of the group
// outlives the call. When the system refuses the SIGTERM to the child, it
// is left alone.
void endGroupOnTimeout(pid_t pid) {
  if (pid <= 0) return;
  (void)::kill(-pid, SIGTERM);
  if (!sendTerm(pid)) return;
  const uint64_t deadline = graceDeadline();
  switch (reapUntil(pid, deadline, nullptr)) {
    case Reap::Running:
      // The child, unreaped, still holds the group id: the group is ours to signal.
      (void)::kill(-pid, SIGKILL);
      (void)::kill(pid, SIGKILL);
      (void)reapBlocking(pid, nullptr);
      return;
    case Reap::Failed:
      return;
    case Reap::Ended:
      break;
  }
  Backoff backoff(deadline);
  while (groupRunning(pid)) {
    if (!backoff.pause()) {
      (void)::kill(-pid, SIGKILL);
      return;
    }
  }
}

// Forks and execs. On success the child has exec'd (the close-on-exec error
// pipe reached its end without an errno); on failure the exec's errno comes
// back as an error value and the child has been reaped. With `detached`
// the program is started from a grandchild and the intermediate child is
// reaped at once, so nothing is left to wait for.
Expected<pid_t> forkExec(const ExecPlan& plan, const ChildSetup& setup, bool detached) {
  // vfork: the child borrows the parent's memory until it execs, sparing the
  // copy of the page tables and the copy-on-write faults that a large parent
  // pays on every later write after fork; the parent goes on only once the
  // child has exec'd or ended, so an errno the child leaves in `childErr` is
  // there to be read. Its signals stay blocked until it has put back their
  // default handling, so no handler of ours runs in it. A detached start
  // forks once more in the child, which needs fork, and so a close-on-exec
  // pipe for its errno.
  volatile int childErr = 0;
  std::optional<Pipe> errPipe;
  ErrorSink sink{&childErr, -1};
  if (detached) {
    VYX_TRY_ASSIGN(auto p, makePipe());
    errPipe = std::move(p);
    sink = ErrorSink{nullptr, errPipe->write.get()};
  }
  sigset_t all;
  sigset_t saved;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &saved);
  pid_t pid = detached ? ::fork() : ::vfork();
  const int forkErrno = errno;
  if (pid != 0) ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  if (pid < 0) return fail(errorFromErrno(forkErrno));
  if (pid == 0) {
    if (detached) {
      pid_t grandchild = ::fork();
      if (grandchild < 0) reportAndExit(sink, errno);
      if (grandchild > 0) ::_exit(0);
    }
    execChild(plan, setup, sink);
  }
  if (!detached) {
    const int err = childErr;
    if (err == 0) return pid;
    (void)reapBlocking(pid, nullptr);
    return fail(spawnError(err));
  }

  errPipe->write.reset();
  int pipedErr = 0;
  size_t got = 0;
  char* p = reinterpret_cast<char*>(&pipedErr);
  for (;;) {
    ssize_t n = ::read(errPipe->read.get(), p + got, sizeof pipedErr - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    if (got == sizeof pipedErr) break;
  }
  errPipe->read.reset();
  (void)reapBlocking(pid, nullptr);
  if (got == sizeof pipedErr) return fail(spawnError(pipedErr));
  if (got > 0) return fail(Error::Unexpected);
  return pid;
}

Term termFromStatus(int status) {
  if (WIFEXITED(status)) return {Term::Kind::Exited, static_cast<uint32_t>(WEXITSTATUS(status))};
  if (WIFSIGNALED(status)) return {Term::Kind::Signal, static_cast<uint32_t>(WTERMSIG(status))};
  if (WIFSTOPPED(status)) return {Term::Kind::Stopped, static_cast<uint32_t>(WSTOPSIG(status))};
  return {Term::Kind::Unknown, static_cast<uint32_t>(status)};
}

// A child with its pipes, between spawn and return.
struct Child {
  pid_t pid = -1;
  bool ownGroup = false;
  Fd in;   // only when standard input is a pipe
  Fd out;
  Fd err;

  void closePipes() {
    in.reset();
    out.reset();
    err.reset();
  }
  // Termination on failure: SIGTERM to the child only. The pipes stay open
  // until it has been reaped, so what it writes while ending doesn't kill
  // it (or its group) with SIGPIPE first.
  void failAndReap() {
    terminateAndReap(pid, ownGroup);
    pid = -1;
    closePipes();
  }
};

Expected<Child> spawnPiped(const std::vector<std::string>& argv, bool stdinPipe, bool newGroup) {
  VYX_TRY_ASSIGN(auto plan, makePlan(argv));
  VYX_TRY_ASSIGN(auto outPipe, makePipe());
  VYX_TRY_ASSIGN(auto errPipe, makePipe());
  std::optional<Pipe> inPipe;
  ChildSetup setup;
  if (stdinPipe) {
    VYX_TRY_ASSIGN(auto p, makePipe());
    inPipe = std::move(p);
    setup.stdFds[0] = inPipe->read.get();
  } else {
    VYX_TRY_ASSIGN(auto n, nullDevice());
    setup.stdFds[0] = n;
  }
  setup.stdFds[1] = outPipe.write.get();
  setup.stdFds[2] = errPipe.write.get();
  setup.newGroup = newGroup;

  VYX_TRY_ASSIGN(auto pid, forkExec(plan, setup, false));
  Child child;
  child.pid = pid;
  child.ownGroup = newGroup;
  child.out = std::move(outPipe.read);
  child.err = std::move(errPipe.read);
  if (inPipe) child.in = std::move(inPipe->write);
  return child;  // the child's ends close with the pipes here
}

Status writeInput(int fd, std::string_view input) {
  while (!input.empty()) {
    size_t chunk = input.size() < 8192 ? input.size() : 8192;
    ssize_t n = ::write(fd, input.data(), chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EPIPE) return fail(Error::ChildBrokenPipe);
      Error e = errorFromErrno(errno);
      return fail(e == Error::Unexpected ? Error::WriteFailed : e);
    }
    input.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

enum class Collected { Ended, TimedOut };

// The least room a read of a child's output is given.
constexpr size_t kReadChunk = 65536;

// Room reserved at once for an output that outgrows its first read (a
// uiautomator dump, a screenshot), so it is not copied again at each
// doubling. Only what the child writes is touched: the rest of the
// reservation is address space.
constexpr size_t kLargeOutputRoom = size_t{16} << 20;

// Reads both pipes until both have ended, or until one wait for output
// passes `timeoutNs`.
Expected<Collected> collectStreams(Child& child, std::string& out, std::string& err, size_t maxBytes,
                                   bool checkCap, std::optional<uint64_t> timeoutNs) {
  int fds[2] = {child.out.get(), child.err.get()};
  std::string* buffers[2] = {&out, &err};
  std::optional<Error> readFailure[2];

  while (fds[0] >= 0 || fds[1] >= 0) {
    // One fill: wait until at least one pipe is readable.
    const uint64_t deadline = timeoutNs ? saturatingAddU64(monotonicNs(), *timeoutNs) : 0;
    pollfd polled[2];
    int slot[2];
    nfds_t count = 0;
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0) continue;
      polled[count] = {fds[i], POLLIN, 0};
      slot[count] = i;
      ++count;
    }
    for (;;) {
      int waitMs = -1;
      if (timeoutNs) {
        uint64_t now = monotonicNs();
        uint64_t remainingMs = now < deadline ? (deadline - now) / kNsPerMs : 0;
        waitMs = remainingMs > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(remainingMs);
      }
      int ready = ::poll(polled, count, waitMs);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return fail(errorFromErrno(errno));
      }
      if (ready > 0) break;
      if (timeoutNs && monotonicNs() >= deadline) return Collected::TimedOut;
    }
    for (nfds_t k = 0; k < count; ++k) {
      if (polled[k].revents == 0) continue;
      int i = slot[k];
      // Read straight into the result, past what it holds.
      ssize_t n = 0;
      int readErr = 0;
      std::string& buffer = *buffers[i];
      const size_t held = buffer.size();
      if (held >= kReadChunk && buffer.capacity() < kLargeOutputRoom) {
        // Past the cap the call fails anyway: no room beyond it is needed.
        buffer.reserve(maxBytes < kLargeOutputRoom ? maxBytes + 1 : kLargeOutputRoom);
      }
      const size_t room = std::max(kReadChunk, buffer.capacity() - held);
      buffer.resize_and_overwrite(held + room, [&](char* bytes, size_t) {
        n = ::read(fds[i], bytes + held, room);
        readErr = errno;
        return held + (n > 0 ? static_cast<size_t>(n) : 0);
      });
      if (n == 0) {
        fds[i] = -1;
      } else if (n < 0 && readErr != EINTR && readErr != EAGAIN) {
        readFailure[i] = errorFromErrno(readErr);
        fds[i] = -1;
      }
    }
    if (checkCap && (out.size() > maxBytes || err.size() > maxBytes)) return fail(Error::StreamTooLong);
  }
  for (const auto& f : readFailure) {
    if (f && *f == Error::Canceled) return fail(*f);
  }
  if (readFailure[1]) return fail(*readFailure[1]);
  if (readFailure[0]) return fail(*readFailure[0]);
  return Collected::Ended;
}

Expected<ExecResult> collect(Child& child, size_t maxBytes, bool checkCap, std::optional<uint64_t> timeoutNs) {
  ExecResult result;
  auto collected = collectStreams(child, result.stdoutBytes, result.stderrBytes, maxBytes, checkCap, timeoutNs);
  if (!collected) {
    child.failAndReap();
    return fail(collected.error());
  }
  auto timedOut = [&child] {
    endGroupOnTimeout(child.pid);
    child.pid = -1;
    child.closePipes();
    return ExecResult{{}, {}, Term{Term::Kind::Unknown, 0}, true};
  };
  if (*collected == Collected::TimedOut) return timedOut();
  child.closePipes();
  int status = 0;
  bool reaped = false;
  if (timeoutNs) {
    // Both streams have ended, but the child may run on: the time-out bounds
    // this wait as it bounds every wait for output.
    Reap r = reapUntil(child.pid, saturatingAddU64(monotonicNs(), *timeoutNs), &status);
    if (r == Reap::Running) return timedOut();
    reaped = r == Reap::Ended;
  } else {
    reaped = reapBlocking(child.pid, &status);
  }
  int waitErr = errno;
  child.pid = -1;
  if (!reaped) return fail(errorFromErrno(waitErr));
  result.term = termFromStatus(status);
  result.timedOut = false;
  return result;
}

uint64_t timeoutToNs(uint64_t timeoutMs) {
  uint64_t ns = 0;
  return __builtin_mul_overflow(timeoutMs, kNsPerMs, &ns) ? UINT64_MAX : ns;
}

}  // namespace

Expected<ExecResult> run(const std::vector<std::string>& argv, size_t maxBytes) {
  VYX_TRY_ASSIGN(auto child, spawnPiped(argv, false, false));
  return collect(child, maxBytes, maxBytes != kNoCap, std::nullopt);
}

Expected<ExecResult> runWithTimeout(const std::vector<std::string>& argv, size_t maxBytes, uint64_t timeoutMs) {
  VYX_TRY_ASSIGN(auto child, spawnPiped(argv, false, true));
  return collect(child, maxBytes, true, timeoutToNs(timeoutMs));
}

Expected<ExecResult> runWithInputTimeout(const std::vector<std::string>& argv, std::string_view input,
                                         size_t maxBytes, uint64_t timeoutMs) {
  const bool hasTimeout = timeoutMs != 0;
  VYX_TRY_ASSIGN(auto child, spawnPiped(argv, true, hasTimeout));
  if (auto written = writeInput(child.in.get(), input); !written) {
    child.failAndReap();
    return fail(written.error());
  }
  child.in.reset();
  std::optional<uint64_t> timeoutNs;
  if (hasTimeout) timeoutNs = timeoutToNs(timeoutMs);
  return collect(child, maxBytes, true, timeoutNs);
}

Status checkResult(const Expected<ExecResult>& result) {
  if (!result) return fail(result.error());
  if (result->timedOut) return fail(Error::CommandTimedOut);
  if (!result->term.exitedZero()) return fail(Error::CommandFailed);
  return {};
}

Expected<std::string> stdoutOrError(Expected<ExecResult> result) {
  VYX_TRY(checkResult(result));
  return std::move(result->stdoutBytes);
}

std::vector<std::string> searchPath() {
  const char* env = std::getenv("PATH");
  std::string_view path = env != nullptr ? std::string_view(env) : kDefaultSearchPath;
  std::vector<std::string> dirs;
  while (true) {
    size_t colon = path.find(':');
    std::string_view dir = path.substr(0, colon);
    if (!dir.empty()) dirs.emplace_back(dir);
    if (colon == std::string_view::npos) break;
    path.remove_prefix(colon + 1);
  }
  return dirs;
}

Expected<std::string> findExecutable(std::string_view name) {
  if (name.empty()) return fail(Error::FileNotFound);
  if (name.find('/') != std::string_view::npos) return std::string(name);
  bool sawAccessDenied = false;
  for (const std::string& dir : searchPath()) {
    std::string candidate = paths::joinOnce(dir, name);
    struct stat st {};
    if (::stat(candidate.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    sawAccessDenied = true;
  }
  return fail(sawAccessDenied ? Error::AccessDenied : Error::FileNotFound);
}

Expected<ExecResult> RealProcessRunner::run(const std::vector<std::string>& argv, size_t maxBytes) {
  return command::run(argv, maxBytes);
}

Expected<ExecResult> RealProcessRunner::runWithTimeout(const std::vector<std::string>& argv, size_t maxBytes,
                                                       uint64_t timeoutMs) {
  return command::runWithTimeout(argv, maxBytes, timeoutMs);
}

Expected<ExecResult> RealProcessRunner::runWithInputTimeout(const std::vector<std::string>& argv,
                                                            std::string_view input, size_t maxBytes,
                                                            uint64_t timeoutMs) {
  return command::runWithInputTimeout(argv, input, maxBytes, timeoutMs);
}

Expected<std::unique_ptr<BackgroundProcess>> RealProcessRunner::startBackground(
    const std::vector<std::string>& argv) {
  VYX_TRY_ASSIGN(auto child, BackgroundChild::spawn(argv));
  return std::unique_ptr<BackgroundProcess>(std::make_unique<BackgroundChild>(std::move(child)));
}

Status RealProcessRunner::startDetached(const std::vector<std::string>& argv) { return spawnDetached(argv); }

ProcessRunner& realProcessRunner() {
  static RealProcessRunner runner;
  return runner;
}

Status spawnDetached(const std::vector<std::string>& argv) {
  VYX_TRY_ASSIGN(auto plan, makePlan(argv));
  VYX_TRY_ASSIGN(auto null, nullDevice());
  ChildSetup setup;
  setup.stdFds[0] = setup.stdFds[1] = setup.stdFds[2] = null;
  setup.newSession = true;
  VYX_TRY(forkExec(plan, setup, true));
  return {};
}

Expected<BackgroundChild> BackgroundChild::spawn(const std::vector<std::string>& argv,
                                                 const std::string& outputPath) {
  VYX_TRY_ASSIGN(auto plan, makePlan(argv));
  VYX_TRY_ASSIGN(auto null, nullDevice());
  Fd output;
  if (!outputPath.empty()) {
    int fd = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return fail(errorFromErrno(errno));
    output = Fd(fd);
  }
  ChildSetup setup;
  setup.stdFds[0] = null;
  setup.stdFds[1] = setup.stdFds[2] = output.get() >= 0 ? output.get() : null;
  setup.newGroup = true;
  VYX_TRY_ASSIGN(auto pid, forkExec(plan, setup, false));
  return BackgroundChild(pid);
}

BackgroundChild::BackgroundChild(BackgroundChild&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

BackgroundChild& BackgroundChild::operator=(BackgroundChild&& other) noexcept {
  if (this != &other) std::swap(pid_, other.pid_);
  return *this;
}

BackgroundChild::~BackgroundChild() {
  if (pid_ <= 0) return;
  (void)::kill(pid_, SIGINT);
  const uint64_t deadline = graceDeadline();
  if (reapUntil(pid_, deadline, nullptr) == Reap::Running) {
    (void)kill();
    (void)reapBlocking(pid_, nullptr);
  }
}

Status BackgroundChild::interrupt() {
  if (pid_ <= 0) return fail(Error::Unexpected);
  if (::kill(pid_, SIGINT) != 0) return fail(errorFromErrno(errno));
  return {};
}

Expected<Term> BackgroundChild::wait() {
  if (pid_ <= 0) return fail(Error::Unexpected);
  int status = 0;
  if (!reapBlocking(pid_, &status)) return fail(errorFromErrno(errno));
  pid_ = -1;
  return termFromStatus(status);
}

Expected<std::optional<Term>> BackgroundChild::waitFor(uint64_t ms) {
  if (pid_ <= 0) return fail(Error::Unexpected);
  int status = 0;
  switch (reapUntil(pid_, saturatingAddU64(monotonicNs(), timeoutToNs(ms)), &status)) {
    case Reap::Running:
      return std::optional<Term>();
    case Reap::Failed:
      return fail(errorFromErrno(errno));
    case Reap::Ended:
      break;
  }
  pid_ = -1;
  return std::optional<Term>(termFromStatus(status));
}

Status BackgroundChild::kill() {
  if (pid_ <= 0) return fail(Error::Unexpected);
  // Not yet reaped, the child still holds its group's id.
  (void)::kill(-pid_, SIGKILL);
  if (::kill(pid_, SIGKILL) != 0) return fail(errorFromErrno(errno));
  return {};
}

}  // namespace vyx::command
