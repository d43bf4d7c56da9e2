// Hostile and broken input through the real binary: scenario files at the
// reader's limits and unusable configuration and trace locations. Each ends
// in a named error (or a pass) with its exit status, never a crash.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_log.hpp"
#include "vyx_test.hpp"

using vyx::test::ProcResult;
using vyx::test::TempDir;
using Argv = std::vector<std::string>;

namespace {

constexpr size_t kScenarioLimit = 16 * 1024 * 1024;

// 509 optional steps around a launch: with the root object and the steps
// array, the deepest nesting the JSON reader accepts.
std::string deepOptionalScenario() {
  std::string step = R"({"action":"launch"})";
  for (int i = 0; i < 509; ++i) step = R"({"action":"optional","step":)" + step + "}";
  return R"({"name":"deep","steps":[)" + step + "]}";
}

struct Sandbox {
  TempDir dir;
  std::string log = dir.file("calls.log");

  // A program that blocks is ended after `timeoutMs` (ProcResult::timedOut).
  ProcResult vyx(const Argv& args, int timeoutMs = 0) const {
    vyx::test::RunOptions o;
    o.cwd = dir.path();
    o.env["VYX_FAKE_LOG"] = log;
    o.unsetEnv = {"VYX_FAKE_ANDROID_DIR"};
    o.timeoutMs = timeoutMs;
    return vyx::test::runVyx(args, o);
  }
  std::vector<Argv> calls() const { return vyx::test::readFakeLog(log); }
};

}  // namespace

TEST(BadInput, ScenariosAtTheReadersLimits) {
  const std::string padded = R"({"name":"big","steps":[{"action":"launch"}]})";
  struct Case {
    const char* name;
    std::string text;
    std::string validateOut;  // after "s.json: "
    int status;               // of validate and run alike
    std::string runErr;
  };
  const Case cases[] = {
      // One byte under the limit is read; the reader stops at its depth bound.
      {"a line of brackets", std::string(kScenarioLimit - 1, '['),
       "invalid [scenario.invalid] malformed scenario json line 1 column 513\n", 1,
       "error[internal.error]: SyntaxError\n"},
      {"padded to one byte under the limit", padded + std::string(kScenarioLimit - 1 - padded.size(), ' '),
       "ok (big, 1 steps)\n", 0, ""},
      {"optional steps nested to the reader's bound", deepOptionalScenario(), "ok (deep, 1 steps)\n", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    vyx::test::writeFile(box.dir.file("s.json"), c.text);
    ProcResult v = box.vyx({"validate", "s.json"});
    EXPECT_EQ(v.status, c.status);
    EXPECT_EQ(v.out, "s.json: " + c.validateOut);
    EXPECT_EQ(v.err, "");
    ProcResult r = box.vyx({"run", "s.json", "--adb", vyx::test::fakesDir() + "/adb", "--trace-dir", "t"});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.runErr);
    EXPECT_EQ(r.out, "");
  }
}

TEST(BadInput, UnusableConfigurationAndTraceLocations) {
  const std::string scenario = R"({"name":"s","steps":[{"action":"launch"}]})";
  const std::string failedSummary =
      R"({"ok":false,"status":"failed","scenario":"s","appId":"com.example.app","error":"NotDir"})"
      "\n";
  struct Case {
    const char* name;
    Argv extra;
    std::string out;
  };
  const Case cases[] = {
      // ".vyx" is a plain file: the default configuration cannot be reached,
      // which is a failure of its own, reported before anything runs.
      {".vyx is a file", {}, ""},
      // A trace directory that is a file, or lies below one, fails the run
      // after the device was made; the summary still says so.
      {"trace directory is a file", {"--trace-dir", "plain", "--json"}, failedSummary},
      {"trace directory below a file", {"--trace-dir", "plain/t", "--json"}, failedSummary},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    vyx::test::writeFile(box.dir.file("s.json"), scenario);
    vyx::test::writeFile(box.dir.file("plain"), "kept");
    if (c.extra.empty()) vyx::test::writeFile(box.dir.file(".vyx"), "{}");
    Argv args = {"run", "s.json", "--adb", vyx::test::fakesDir() + "/adb"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    ProcResult r = box.vyx(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error[internal.error]: NotDir\n");
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(vyx::test::readFile(box.dir.file("plain")), "kept");
    EXPECT_TRUE(box.calls().empty());  // no device command ran
  }
}

TEST(BadInput, PathsThatAreNotRegularFilesFailAtOnce) {
  Sandbox box;
  const std::string scenario = R"({"name":"s","steps":[{"action":"launch"}]})";
  vyx::test::writeFile(box.dir.file("s.json"), scenario);
  // A FIFO nobody writes to (reading it would wait forever), a socket, and
  // trace directories holding a FIFO in place of one of their files.
  ASSERT_EQ(::mkfifo(box.dir.file("fifo").c_str(), 0666), 0);
  int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string sockPath = box.dir.file("sock");
  ASSERT_LT(sockPath.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, sockPath.c_str(), sockPath.size() + 1);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  vyx::test::writeFile(box.dir.file("manifest-fifo/events.jsonl"), "");
  ASSERT_EQ(::mkfifo(box.dir.file("manifest-fifo/trace.json").c_str(), 0666), 0);
  vyx::test::writeFile(box.dir.file("events-fifo/trace.json"), R"({"scenarioName":"s","status":"passed"})");
  ASSERT_EQ(::mkfifo(box.dir.file("events-fifo/events.jsonl").c_str(), 0666), 0);
  vyx::test::runProgram({"/bin/mkdir", box.dir.file("bench")});
  ASSERT_EQ(::mkfifo(box.dir.file("bench/results.jsonl").c_str(), 0666), 0);

  const std::string adb = vyx::test::fakesDir() + "/adb";
  const std::string notRegular = "error[internal.error]: NotRegularFile\n";
  struct Case {
    Argv args;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {{"validate", "fifo"}, "fifo: invalid [internal.error] NotRegularFile\n", ""},
      {{"validate", "sock"}, "sock: invalid [internal.error] NotRegularFile\n", ""},
      {{"validate", "/dev/zero"}, "/dev/zero: invalid [internal.error] NotRegularFile\n", ""},
      {{"run", "fifo", "--adb", adb}, "", notRegular},
      {{"run", "s.json", "--config", "fifo", "--adb", adb}, "", notRegular},
      {{"run", "s.json", "--config", "sock", "--adb", adb}, "", notRegular},
      {{"import", "flow-yaml", "fifo", "--out", "o.json"}, "", notRegular},
      {{"explain", "manifest-fifo"}, "", notRegular},
      {{"export", "manifest-fifo", "--out", "b.vyxtrace"}, "", notRegular},
      {{"report", "events-fifo", "--out", "r.html"}, "", notRegular},
      {{"report", "bench", "--out", "r.html"}, "", notRegular},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    ProcResult r = box.vyx(c.args, 20000);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_TRUE(box.calls().empty());  // no device command ran
  for (const char* written : {"o.json", "b.vyxtrace", "r.html"}) EXPECT_FALSE(vyx::test::fileExists(box.dir.file(written)));
  ::close(sock);
}
