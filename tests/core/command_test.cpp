#include "core/command.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fake_log.hpp"
#include "vyx_test.hpp"

namespace vyx::command {
namespace {

using vyx::test::TempDir;

// The program runs with a do-nothing SIGPIPE handler; here it is ignored, so
// a write to a child that went away fails with EPIPE instead of ending the test.
const bool kSigpipeIgnored = [] {
  ::signal(SIGPIPE, SIG_IGN);
  return true;
}();

std::vector<std::string> sh(const std::string& script) { return {"/bin/sh", "-c", script}; }

// Sets (or, with nullopt, unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Polls for a file to appear (children outside our reach write it).
bool waitForFile(const std::string& path, int timeoutMs = 3000) {
  for (int waited = 0; waited < timeoutMs; waited += 20) {
    if (vyx::test::fileExists(path)) return true;
    timespec ts{0, 20 * 1000 * 1000};
    ::nanosleep(&ts, nullptr);
  }
  return vyx::test::fileExists(path);
}

bool processGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

void writeExecutable(const std::string& path, const std::string& content, mode_t mode = 0755) {
  vyx::test::writeFile(path, content);
  ::chmod(path.c_str(), mode);
}

TEST(CommandCap, ExactlyMaxBytesPassesOneMoreFails) {
  struct Case {
    const char* script;
    size_t cap;
    bool ok;
  };
  const Case cases[] = {
      {"head -c 10 /dev/zero", 10, true},
      {"head -c 11 /dev/zero", 10, false},
      {"head -c 10 /dev/zero >&2", 10, true},
      {"head -c 11 /dev/zero >&2", 10, false},
      {"true", 0, true},
      {"printf x", 0, false},
      // Past the first read, where room for the rest is reserved at once.
      {"head -c 100000 /dev/zero", 100000, true},
      {"head -c 100001 /dev/zero", 100000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    for (bool timed : {false, true}) {
      auto r = timed ? runWithTimeout(sh(c.script), c.cap, 5000) : run(sh(c.script), c.cap);
      if (c.ok) {
        ASSERT_TRUE(r.has_value()) << errorName(r.error());
        EXPECT_EQ(r->stdoutBytes.size() + r->stderrBytes.size(), c.cap);
        EXPECT_TRUE(r->term.exitedZero());
      } else {
        ASSERT_FALSE(r.has_value());
        EXPECT_EQ(r.error(), Error::StreamTooLong);
      }
    }
  }
  // No cap at all: a large output comes back whole and in order, also past
  // the room reserved for large outputs (16 MiB).
  auto big = run(sh("seq 1 2500000"), kNoCap);
  ASSERT_TRUE(big.has_value());
  std::string expected;
  for (int i = 1; i <= 2500000; ++i) expected += std::to_string(i) + "\n";
  ASSERT_GT(expected.size(), size_t{16} << 20);
  EXPECT_TRUE(big->stdoutBytes == expected);
}

TEST(CommandCap, ChildPastTheCapIsTerminatedAndReaped) {
  TempDir dir;
  std::string pidFile = dir.file("pid");
  // Without termination this call would wait for the sleep to end.
  auto r = run(sh("echo $$ > " + pidFile + "; head -c 100 /dev/zero; exec sleep 30"), 10);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error(), Error::StreamTooLong);
  pid_t pid = std::stoi(vyx::test::readFile(pidFile));
  EXPECT_TRUE(processGone(pid));
}

TEST(CommandTimeout, OutputAtShortIntervalsRunsToTheEnd) {
  // 8 lines 50 ms apart take longer than the 250 ms time-out as a whole.
  auto r = runWithTimeout(sh("for i in 1 2 3 4 5 6 7 8; do echo $i; sleep 0.05; done"), 4096, 250);
  ASSERT_TRUE(r.has_value());
  EXPECT_FALSE(r->timedOut);
  EXPECT_EQ(r->stdoutBytes, "1\n2\n3\n4\n5\n6\n7\n8\n");
  EXPECT_TRUE(r->term.exitedZero());
}

TEST(CommandTimeout, SilenceAfterOutputTimesOutWithEmptyResult) {
  for (bool withInput : {false, true}) {
    SCOPED_TRACE(withInput);
    auto argv = sh("echo early; echo warn >&2; exec sleep 10");
    auto r = withInput ? runWithInputTimeout(argv, "x\n", 4096, 200) : runWithTimeout(argv, 4096, 200);
    ASSERT_TRUE(r.has_value());
    EXPECT_TRUE(r->timedOut);
    EXPECT_EQ(r->stdoutBytes, "");
    EXPECT_EQ(r->stderrBytes, "");
    EXPECT_EQ(r->term, (Term{Term::Kind::Unknown, 0}));
    EXPECT_EQ(checkResult(r).error(), Error::CommandTimedOut);
  }
}

TEST(CommandTimeout, OtherProcessesOfTheGroupGetSigterm) {
  TempDir dir;
  std::string marker = dir.file("term");
  // A grandchild that notes its SIGTERM; the child itself just sleeps. (The
  // grandchild's streams are not our pipes, which close once the child is
  // reaped: its shell would die of SIGPIPE reporting the killed sleep.)
  std::string grandchild = "trap 'echo term > " + marker + "; exit 0' TERM; while :; do sleep 0.05; done";
  auto r = runWithTimeout(sh("sh -c \"" + grandchild + "\" >/dev/null 2>&1 & exec sleep 10"), 4096, 400);
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(r->timedOut);
  EXPECT_TRUE(waitForFile(marker));
}

TEST(CommandTimeout, ChildThatClosedItsStreamsIsEndedAtItsDeadline) {
  for (bool withInput : {false, true}) {
    SCOPED_TRACE(withInput);
    auto call = [&](const std::string& script, uint64_t timeoutMs) {
      // No input: a child that has already ended would refuse it.
      return withInput ? runWithInputTimeout(sh(script), "", 4096, timeoutMs)
                       : runWithTimeout(sh(script), 4096, timeoutMs);
    };
    // Ending soon after closing its streams: its exit code, as ever.
    auto quick = call("exec >&- 2>&-; exit 4", 5000);
    ASSERT_TRUE(quick.has_value());
    EXPECT_FALSE(quick->timedOut);
    EXPECT_EQ(quick->term, (Term{Term::Kind::Exited, 4}));
    // Running on with nothing left to read: the time-out still ends it.
    auto stuck = call("echo early; exec >&- 2>&-; exec sleep 20", 200);
    ASSERT_TRUE(stuck.has_value());
    EXPECT_TRUE(stuck->timedOut);
    EXPECT_EQ(stuck->stdoutBytes, "");
    EXPECT_EQ(stuck->term, (Term{Term::Kind::Unknown, 0}));
  }
}

// Opens a FIFO for reading without waiting for a writer.
int openFifoReader(const std::string& path) {
  if (::mkfifo(path.c_str(), 0666) != 0) return -1;
  return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// Reads the FIFO until every writer has closed it: true when that happened
// within a few seconds. A process holding it open keeps it from ending.
bool fifoEnds(int fd) {
  char buffer[64];
  for (int polls = 0; polls < 100; ++polls) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) < 0 && errno != EINTR) return false;
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
  }
  return false;
}

TEST(CommandTimeout, NothingOfTheGroupOutlivesATimeOut) {
  TempDir dir;
  int held = openFifoReader(dir.file("held"));
  ASSERT_GE(held, 0);
  // Child and grandchild hold the FIFO open; the grandchild ignores SIGTERM
  // and writes nowhere we read; the child closes its streams and sleeps.
  std::string script = "exec 3>" + dir.file("held") +
                       "; (trap '' TERM; exec sleep 20) >/dev/null 2>&1 </dev/null &"
                       " exec >&- 2>&-; exec sleep 20";
  auto r = runWithTimeout(sh(script), 4096, 1000);
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(r->timedOut);
  EXPECT_TRUE(fifoEnds(held));
  ::close(held);
}

TEST(CommandTimeout, ChildIgnoringSigtermIsKilledAfterTheGracePeriod) {
  TempDir dir;
  std::string pidFile = dir.file("pid");
  auto start = std::chrono::steady_clock::now();
  auto r = runWithTimeout(sh("trap '' TERM; echo $$ > " + pidFile + "; exec sleep 60"), 4096, 100);
  auto elapsedMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(r->timedOut);
  EXPECT_GE(elapsedMs, static_cast<long>(kKillGraceMs));
  EXPECT_LT(elapsedMs, 30000);
  EXPECT_TRUE(processGone(std::stoi(vyx::test::readFile(pidFile))));
}

TEST(CommandInput, InputIsWrittenAndClosed) {
  auto echoed = runWithInputTimeout(sh("cat"), "hello\nworld", 4096, 1000);
  ASSERT_TRUE(echoed.has_value());
  EXPECT_EQ(echoed->stdoutBytes, "hello\nworld");
  // Empty input: standard input is closed at once, so cat ends.
  auto empty = runWithInputTimeout(sh("cat; echo end"), "", 4096, 500);
  ASSERT_TRUE(empty.has_value());
  EXPECT_FALSE(empty->timedOut);
  EXPECT_EQ(empty->stdoutBytes, "end\n");
}

TEST(CommandInput, TimeoutZeroNeverTimesOut) {
  auto r = runWithInputTimeout(sh("cat >/dev/null; sleep 0.3; echo done"), "req\n", 4096, 0);
  ASSERT_TRUE(r.has_value());
  EXPECT_FALSE(r->timedOut);
  EXPECT_EQ(r->stdoutBytes, "done\n");
}

TEST(CommandInput, ChildThatStoppedReadingGivesChildBrokenPipe) {
  // More than a pipe holds, so the write is still going when the child
  // closes its standard input.
  std::string input(1 << 20, 'x');
  for (uint64_t timeoutMs : {uint64_t{0}, uint64_t{2000}}) {
    auto r = runWithInputTimeout(sh("exec 0<&-; exec sleep 10"), input, 4096, timeoutMs);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), Error::ChildBrokenPipe);
    EXPECT_NE(r.error(), Error::BrokenPipe);
    EXPECT_EQ(errorName(r.error()), "BrokenPipe");
  }
}

TEST(CommandGroups, TimedCallsLeadANewGroupOthersStayInOurs) {
  const std::string script = "echo \"$$ $(cut -d' ' -f5 /proc/$$/stat)\"";
  struct Case {
    const char* name;
    Expected<ExecResult> result;
    bool ownGroup;
  };
  Case cases[] = {
      {"run", run(sh(script), 4096), false},
      {"runWithTimeout", runWithTimeout(sh(script), 4096, 2000), true},
      {"runWithInputTimeout", runWithInputTimeout(sh(script), "", 4096, 2000), true},
      {"runWithInputTimeout 0", runWithInputTimeout(sh(script), "", 4096, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.result.has_value());
    std::string out = c.result->stdoutBytes;
    std::string pid = out.substr(0, out.find(' '));
    std::string pgid = out.substr(out.find(' ') + 1);
    pgid.pop_back();
    if (c.ownGroup) EXPECT_EQ(pgid, pid);
    else EXPECT_EQ(pgid, std::to_string(::getpgrp()));
  }
}

TEST(CommandTerm, ExitCodesAndSignalsAndTheCallerConvention) {
  auto ok = run(sh("printf out; printf err >&2"), 4096);
  ASSERT_TRUE(ok.has_value());
  EXPECT_EQ(ok->stderrBytes, "err");
  EXPECT_EQ(stdoutOrError(ok).value(), "out");

  auto three = run(sh("exit 3"), 4096);
  ASSERT_TRUE(three.has_value());
  EXPECT_EQ(three->term, (Term{Term::Kind::Exited, 3}));
  EXPECT_EQ(checkResult(three).error(), Error::CommandFailed);

  auto killed = runWithTimeout(sh("kill -9 $$"), 4096, 2000);
  ASSERT_TRUE(killed.has_value());
  EXPECT_EQ(killed->term, (Term{Term::Kind::Signal, 9}));
  EXPECT_EQ(checkResult(killed).error(), Error::CommandFailed);

  // The convention on results of every shape.
  struct Case {
    Expected<ExecResult> result;
    std::optional<Error> expected;
  };
  const Case cases[] = {
      {fail(Error::StreamTooLong), Error::StreamTooLong},
      {ExecResult{{}, {}, {Term::Kind::Unknown, 0}, true}, Error::CommandTimedOut},
      {ExecResult{"x", {}, {Term::Kind::Stopped, 19}, false}, Error::CommandFailed},
      {ExecResult{"x", {}, {Term::Kind::Unknown, 0}, false}, Error::CommandFailed},
      {ExecResult{"x", {}, {Term::Kind::Exited, 0}, false}, std::nullopt},
  };
  for (const Case& c : cases) {
    Status s = checkResult(c.result);
    if (c.expected) EXPECT_EQ(s.error(), *c.expected);
    else EXPECT_TRUE(s.has_value());
  }
}

TEST(CommandSpawn, FailuresAreErrorValuesNotExitStatuses) {
  TempDir dir;
  writeExecutable(dir.file("noexec"), "#!/bin/sh\necho hi\n", 0644);
  writeExecutable(dir.file("notbinary"), "echo hi\n");  // no #! line: not a format execve knows
  struct Case {
    std::vector<std::string> argv;
    Error expected;
  };
  const Case cases[] = {
      {{"/nonexistent/dir/prog"}, Error::FileNotFound},
      {{"vyx-no-such-program-here"}, Error::FileNotFound},
      {{dir.file("noexec")}, Error::AccessDenied},
      {{dir.path()}, Error::AccessDenied},
      {{dir.file("notbinary")}, Error::InvalidExe},
      {{}, Error::FileNotFound},
      {{"/bin/echo", std::string("a\0b", 3)}, Error::InvalidCharacter},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argv.empty() ? "(empty)" : c.argv[0]);
    auto r = run(c.argv, 4096);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), c.expected) << errorName(r.error());
    auto timed = runWithInputTimeout(c.argv, "in", 4096, 1000);
    ASSERT_FALSE(timed.has_value());
    EXPECT_EQ(timed.error(), c.expected);
  }
}

TEST(CommandPath, SearchesPathAndFallsBackToTheDefaultList) {
  TempDir dir;
  writeExecutable(dir.file("mytool"), "#!/bin/sh\necho \"mytool $*\"\n");
  writeExecutable(dir.file("locked"), "#!/bin/sh\n", 0644);
  {
    ScopedEnv path("PATH", "::/nonexistent:" + dir.path() + ":");
    auto r = run({"mytool", "a b"}, 4096);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->stdoutBytes, "mytool a b\n");
    EXPECT_EQ(findExecutable("mytool").value(), dir.file("mytool"));
    EXPECT_EQ(run({"locked"}, 4096).error(), Error::AccessDenied);
    EXPECT_EQ(findExecutable("locked").error(), Error::AccessDenied);
    EXPECT_EQ(run({"sh", "-c", "true"}, 4096).error(), Error::FileNotFound);
  }
  {
    ScopedEnv path("PATH", std::nullopt);
    EXPECT_EQ(searchPath(), (std::vector<std::string>{"/usr/local/bin", "/bin/", "/usr/bin"}));
    auto r = run({"sh", "-c", "echo ok"}, 4096);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->stdoutBytes, "ok\n");
    EXPECT_EQ(findExecutable("sh").value(), "/bin/sh");
  }
}

TEST(CommandChild, InheritsEnvironmentAndCwdWithDefaultSignalsAndNoStrayFds) {
  // Ignored here (SIGPIPE, above) and blocked here (SIGUSR1): neither may reach the child.
  sigset_t usr1, old;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  ::sigprocmask(SIG_BLOCK, &usr1, &old);
  ScopedEnv var("VYX_COMMAND_TEST", "hello there");
  int stray = ::open("/dev/null", O_RDONLY);  // deliberately not close-on-exec
  ASSERT_GE(stray, 0);
  const std::string script =
      "printf '%s\\n' \"$VYX_COMMAND_TEST\"; pwd;"
      "while read -r l; do case \"$l\" in Sig[IB]*) printf '%s\\n' \"$l\";; esac; done < /proc/self/status;"
      "test -e /proc/$$/fd/" + std::to_string(stray) + " && echo stray";
  auto r = run(sh(script), 4096);
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
  ::close(stray);
  ASSERT_TRUE(r.has_value());
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(r->stdoutBytes, "hello there\n" + std::string(cwd) +
                                "\nSigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
}

TEST(CommandDetached, RunsInItsOwnSessionAndIsNotOurChild) {
  TempDir dir;
  std::string out = dir.file("out");
  // Session id, pid, and what standard input is.
  ASSERT_TRUE(spawnDetached(sh("{ cut -d' ' -f6 /proc/$$/stat; echo $$; readlink /proc/$$/fd/0; } > " + out +
                               ".tmp; mv " + out + ".tmp " + out))
                  .has_value());
  ASSERT_TRUE(waitForFile(out));
  auto lines = vyx::test::splitLines(vyx::test::readFile(out));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], lines[1]);
  EXPECT_EQ(lines[2], "/dev/null");
  pid_t pid = std::stoi(lines[1]);
  EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  EXPECT_EQ(spawnDetached({"/nonexistent/emulator"}).error(), Error::FileNotFound);
}

TEST(CommandBackground, InterruptThenWaitAndStopOnRelease) {
  TempDir dir;
  std::string log = dir.file("log");
  auto child = BackgroundChild::spawn(
      sh("trap 'echo stopped; exit 0' INT; echo started; while :; do sleep 0.05; done"), log);
  ASSERT_TRUE(child.has_value());
  for (int i = 0; i < 150 && vyx::test::readFile(log).empty(); ++i) {
    timespec ts{0, 20 * 1000 * 1000};
    ::nanosleep(&ts, nullptr);
  }
  ASSERT_TRUE(child->interrupt().has_value());
  auto term = child->wait();
  ASSERT_TRUE(term.has_value());
  EXPECT_EQ(*term, (Term{Term::Kind::Exited, 0}));
  EXPECT_FALSE(child->running());
  EXPECT_EQ(vyx::test::readFile(log), "started\nstopped\n");
  EXPECT_FALSE(child->interrupt().has_value());

  pid_t pid = -1;
  {
    auto sleeper = BackgroundChild::spawn({"sleep", "30"});
    ASSERT_TRUE(sleeper.has_value());
    pid = sleeper->pid();
  }
  EXPECT_TRUE(processGone(pid));

  EXPECT_EQ(BackgroundChild::spawn({"/nonexistent/adb"}).error(), Error::FileNotFound);
}

TEST(CommandBackground, LeadsItsGroupAndAWaitCanBeBoundedThenKilled) {
  TempDir dir;
  std::string log = dir.file("log");
  int held = openFifoReader(dir.file("held"));
  ASSERT_GE(held, 0);
  // Ignores SIGINT, as does the process it started in its group.
  auto child = BackgroundChild::spawn(
      sh("trap '' INT; exec 3>" + dir.file("held") + "; sleep 20 & echo \"$(cut -d' ' -f5 /proc/$$/stat)\";"
         " exec sleep 20"),
      log);
  ASSERT_TRUE(child.has_value());
  for (int i = 0; i < 150 && vyx::test::readFile(log).empty(); ++i) {
    timespec ts{0, 20 * 1000 * 1000};
    ::nanosleep(&ts, nullptr);
  }
  EXPECT_EQ(vyx::test::readFile(log), std::to_string(child->pid()) + "\n");
  ASSERT_TRUE(child->interrupt().has_value());
  auto waited = child->waitFor(200);
  ASSERT_TRUE(waited.has_value());
  EXPECT_FALSE(waited->has_value());
  EXPECT_TRUE(child->running());
  ASSERT_TRUE(child->kill().has_value());
  auto term = child->wait();
  ASSERT_TRUE(term.has_value());
  EXPECT_EQ(*term, (Term{Term::Kind::Signal, SIGKILL}));
  EXPECT_TRUE(fifoEnds(held));
  EXPECT_FALSE(child->kill().has_value());
  EXPECT_FALSE(child->waitFor(0).has_value());
  ::close(held);

  // A child that ends within the bound is reaped by the bounded wait.
  auto quick = BackgroundChild::spawn(sh("exit 3"));
  ASSERT_TRUE(quick.has_value());
  auto ended = quick->waitFor(10000);
  ASSERT_TRUE(ended.has_value());
  EXPECT_EQ(*ended, (Term{Term::Kind::Exited, 3}));
  EXPECT_FALSE(quick->running());
}

TEST(FakeLog, RecordsArgumentsAndInputUnambiguously) {
  TempDir dir;
  ScopedEnv logVar("VYX_FAKE_LOG", dir.file("calls.log"));
  ScopedEnv readVar("VYX_FAKE_READ_STDIN", "1");
  const std::vector<std::string> args = {"has space", "quote\"'", "new\nline", "", "tab\there", "back\\slash\\n"};
  std::vector<std::string> argv = {vyx::test::fakesDir() + "/recorder"};
  argv.insert(argv.end(), args.begin(), args.end());
  ASSERT_TRUE(checkResult(runWithInputTimeout(argv, "{\"req\":1}\n\n", 4096, 5000)).has_value());
  ASSERT_TRUE(checkResult(runWithInputTimeout({argv[0]}, "", 4096, 5000)).has_value());

  auto calls = vyx::test::readFakeCalls(dir.file("calls.log"));
  ASSERT_EQ(calls.size(), 2u);
  std::vector<std::string> expected = {"recorder"};
  expected.insert(expected.end(), args.begin(), args.end());
  EXPECT_EQ(calls[0].argv, expected);
  EXPECT_EQ(calls[0].input, "{\"req\":1}\n\n");
  EXPECT_EQ(calls[1].argv, std::vector<std::string>{"recorder"});
  EXPECT_EQ(calls[1].input, "");
  EXPECT_EQ(vyx::test::readFakeLog(dir.file("calls.log")).size(), 2u);
}

}  // namespace
}  // namespace vyx::command
