// `vyx serve` over loopback TCP with clients that leave: they close or reset
// their connection mid-line, after full lines, before or while reading their
// replies. Each such client ends only its own connection; a client in between
// gets every reply, and afterwards the server is alive, its trace is read by
// `explain` and `report`, and its memory is where it was. Loopback only; the
// load is a fixed number of seeded connections and the test stops the server
// itself.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/json.hpp"
#include "loopback.hpp"
#include "vyx_test.hpp"

namespace {

using vyx::test::TempDir;

// A connected socket whose reads give up after 20 s, or -1.
int connectTo(uint16_t port) {
  int fd = vyx::test::connectLoopback(port);
  if (fd >= 0) {
    timeval limit{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
  }
  return fd;
}

using vyx::test::sendAll;

// Reads until `lines` line feeds have arrived (or the connection ends).
std::string readLines(int fd, size_t lines) {
  std::string out;
  char buf[4096];
  size_t seen = 0;
  while (seen < lines) {
    ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) seen += buf[i] == '\n';
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

// Closes with a reset instead of an orderly end.
void reset(int fd) {
  linger l{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
  ::close(fd);
}

std::string request(int64_t id) {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":"runner.capabilities"})" "\n";
}

long residentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

class ServeSoak : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string portText = std::to_string(port);
    std::string trace = traceDir();
    pid = ::fork();
    if (pid == 0) {
      // Under AddressSanitizer freed blocks wait in a quarantine that would
      // hide what the server itself keeps.
      std::string asan = "quarantine_size_mb=1";
      if (const char* given = std::getenv("ASAN_OPTIONS")) asan = std::string(given) + ":" + asan;
      ::setenv("ASAN_OPTIONS", asan.c_str(), 1);
      ::setenv("VYX_FAKE_ANDROID_DIR", dir.file("device").c_str(), 1);
      std::string vyx = vyx::test::vyxBinary();
      std::string adb = vyx::test::fakesDir() + "/adb";
      ::execl(vyx.c_str(), vyx.c_str(), "serve", "--transport", "tcp", "--port", portText.c_str(), "--trace-dir",
              trace.c_str(), "--adb", adb.c_str(), "--app-id", "com.example.app", static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  void TearDown() override {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }

  std::string traceDir() const { return dir.file("trace"); }

  bool alive() const { return ::waitpid(pid, nullptr, WNOHANG) == 0; }

  // A client that stays: `count` requests, half of them sent together before
  // any reply is read, then one at a time; every reply must come, in order.
  void goodClient(int count) {
    int fd = connectTo(port);
    ASSERT_GE(fd, 0);
    std::string batch;
    for (int i = 0; i < count / 2; ++i) batch += request(nextId + i);
    ASSERT_TRUE(sendAll(fd, batch));
    std::string replies = readLines(fd, static_cast<size_t>(count / 2));
    for (int i = count / 2; i < count; ++i) {
      ASSERT_TRUE(sendAll(fd, request(nextId + i)));
      replies += readLines(fd, 1);
    }
    ::close(fd);
    std::vector<std::string> got = vyx::test::splitLines(replies);
    if (!got.empty() && got.back().empty()) got.pop_back();
    ASSERT_EQ(got.size(), static_cast<size_t>(count)) << replies.substr(0, 500);
    for (int i = 0; i < count; ++i) {
      auto reply = vyx::json::parseValue(got[i]);
      ASSERT_TRUE(reply) << got[i].substr(0, 200);
      const vyx::json::Value* id = reply->get("id");
      ASSERT_TRUE(id && id->isInteger() && id->integer == nextId + i) << got[i].substr(0, 200);
      ASSERT_TRUE(reply->get("result")) << got[i].substr(0, 200);
    }
    nextId += count;
  }

  // `count` clients at once, each leaving at a random point.
  void leavingClients(std::mt19937& random, int count) {
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
      int fd = connectTo(port);
      ASSERT_GE(fd, 0);
      fds.push_back(fd);
    }
    for (int fd : fds) {
      std::string lines;
      for (unsigned n = 1 + random() % 3; n > 0; --n) lines += request(-1);
      bool resets = random() % 2 == 0;
      switch (random() % 4) {
        case 0:  // mid-line
          (void)sendAll(fd, std::string_view(lines).substr(0, 1 + random() % (lines.size() - 1)));
          break;
        case 1:  // full lines, no reply read
          (void)sendAll(fd, lines);
          break;
        case 2:  // full lines, then part of a line after the first reply
          (void)sendAll(fd, lines);
          (void)readLines(fd, 1);
          (void)sendAll(fd, std::string_view(lines).substr(0, 20));
          break;
        default:  // nothing at all
          break;
      }
      if (resets) {
        reset(fd);
      } else {
        ::close(fd);
      }
    }
  }

  TempDir dir;
  uint16_t port = vyx::test::freeLoopbackPort();
  pid_t pid = -1;
  int64_t nextId = 1;
};

// Three full request lines, then the client goes, by close or by reset,
// before reading anything; the next client is served by the same session.
TEST_F(ServeSoak, ClientThatLeavesBeforeReadingEndsOnlyItsConnection) {
  for (bool resets : {false, true}) {
    int fd = connectTo(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, request(1) + request(2) + request(3)));
    if (resets) {
      reset(fd);
    } else {
      ::close(fd);
    }
    goodClient(4);
    ASSERT_TRUE(alive());
  }
}

TEST_F(ServeSoak, TwoThousandClientsThatLeave) {
  std::mt19937 random(20260126);
  // Warm-up: the buffers and the trace writer have their working size.
  for (int round = 0; round < 5; ++round) {
    leavingClients(random, 20);
    goodClient(10);
  }
  long before = residentKiB(pid);
  ASSERT_GT(before, 0);

  for (int round = 0; round < 100; ++round) {
    leavingClients(random, 20);
    goodClient(4);
    ASSERT_TRUE(alive()) << "round " << round;
  }
  goodClient(10);
  long after = residentKiB(pid);
  ASSERT_TRUE(alive());
  // A little slack for the allocator's bookkeeping, none for a leak per
  // connection (2,000 of them).
  EXPECT_LT(after, before + 4 * 1024) << "resident KiB before " << before << ", after " << after;

  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
  vyx::test::ProcResult explain = vyx::test::runVyx({"explain", traceDir()});
  EXPECT_EQ(explain.status, 0) << explain.err;
  EXPECT_NE(explain.out.find("json-rpc session"), std::string::npos) << explain.out.substr(0, 500);
  vyx::test::ProcResult report = vyx::test::runVyx({"report", traceDir(), "--out", dir.file("report.html")});
  EXPECT_EQ(report.status, 0) << report.err;
}

}  // namespace
