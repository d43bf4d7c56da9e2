// `vyx serve` over loopback TCP under a bounded load of mixed lines: valid
// requests, malformed JSON, 16 MiB lines, 100,000-deep nesting, HTTP request
// lines and binary bytes. Every valid request must still get its own correct
// reply, and the server's memory must stay bounded. Loopback only; the load
// is a fixed number of lines and the test stops the server itself.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
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

constexpr size_t kLines = 10000;
constexpr size_t kLineLimit = 16 * 1024 * 1024;

using vyx::test::sendAll;

std::string readToEnd(int fd) {
  std::string out;
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof(buf))) > 0) out.append(buf, static_cast<size_t>(n));
  return out;
}

// Peak resident memory of a process in KiB.
long peakKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

struct Server {
  pid_t pid = -1;
  uint16_t port = vyx::test::freeLoopbackPort();
  Server() {
    std::string portText = std::to_string(port);
    pid = ::fork();
    if (pid == 0) {
      // Under AddressSanitizer freed blocks wait in a quarantine (256 MiB by
      // default) that would hide what the server itself keeps.
      std::string asan = "quarantine_size_mb=8";
      if (const char* given = std::getenv("ASAN_OPTIONS")) asan = std::string(given) + ":" + asan;
      ::setenv("ASAN_OPTIONS", asan.c_str(), 1);
      std::string vyx = vyx::test::vyxBinary();
      ::execl(vyx.c_str(), vyx.c_str(), "serve", "--transport", "tcp", "--port", portText.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~Server() {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
};

TEST(ServeLoad, MixedLinesOverOneConnection) {
  Server server;
  int fd = vyx::test::connectLoopback(server.port);
  ASSERT_GE(fd, 0);

  // The lines, and the reply each one must get, in order.
  std::mt19937 random(20261210);
  std::vector<std::string> lines;
  std::vector<std::string> expected;  // "id:<n>" for a valid request, else the error message
  size_t huge = 0;
  for (size_t i = 0; i < kLines; ++i) {
    switch (i % 100) {
      case 7:
        if (huge < 4) {  // one 16 MiB line now and then: one StreamTooLong reply, the rest dropped
          ++huge;
          lines.push_back(std::string(kLineLimit + 100, 'x'));
          expected.push_back("StreamTooLong");
          break;
        }
        [[fallthrough]];
      case 13:
        lines.push_back(std::string(100000, '['));
        expected.push_back("SyntaxError");
        break;
      case 21:
        lines.push_back("GET /rpc HTTP/1.1");  // not the connection's first line: just not JSON
        expected.push_back("SyntaxError");
        break;
      case 33:
      case 34:
      case 35: {
        std::string binary(64 + random() % 512, '\0');
        for (char& c : binary) {
          c = static_cast<char>(random() % 256);
          if (c == '\n') c = '\x01';
        }
        binary[0] = '\xff';
        lines.push_back(binary);
        expected.push_back("SyntaxError");
        break;
      }
      case 50:
      case 51:
        lines.push_back(R"({"jsonrpc":"2.0","id":)" + std::to_string(i) + R"(,"method":)");
        expected.push_back("UnexpectedEndOfInput");
        break;
      default: {
        const char* method = i % 2 ? "runner.capabilities" : "session.create";
        lines.push_back(R"({"jsonrpc":"2.0","id":)" + std::to_string(i) + R"(,"method":")" + method + "\"}");
        expected.push_back("id:" + std::to_string(i));
      }
    }
  }

  std::thread writer([&] {
    for (const std::string& line : lines) {
      if (!sendAll(fd, line) || !sendAll(fd, "\n")) break;
    }
    ::shutdown(fd, SHUT_WR);
  });
  std::string replies = readToEnd(fd);
  writer.join();
  ::close(fd);

  std::vector<std::string> got = vyx::test::splitLines(replies);
  if (!got.empty() && got.back().empty()) got.pop_back();
  ASSERT_EQ(got.size(), expected.size());
  size_t valid = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    auto reply = vyx::json::parseValue(got[i]);
    ASSERT_TRUE(reply) << got[i].substr(0, 200);
    if (expected[i].rfind("id:", 0) == 0) {
      ++valid;
      const vyx::json::Value* id = reply->get("id");
      ASSERT_TRUE(id && id->isInteger() && "id:" + std::to_string(id->integer) == expected[i]) << got[i].substr(0, 200);
      const vyx::json::Value* result = reply->get("result");
      ASSERT_TRUE(result && result->isObject()) << got[i].substr(0, 200);
      EXPECT_TRUE(result->get(id->integer % 2 ? "methods" : "sessionId")) << got[i].substr(0, 200);
    } else {
      const vyx::json::Value* error = reply->get("error");
      ASSERT_TRUE(error && error->get("message")) << got[i].substr(0, 200);
      EXPECT_EQ(error->get("message")->string, expected[i]) << i;
    }
  }
  EXPECT_GT(valid, 9000u);

  // Bounded memory: a few line buffers of 16 MiB at most, never the traffic (over 110 MiB).
  long peak = peakKiB(server.pid);
  EXPECT_GT(peak, 0);
  EXPECT_LT(peak, 128 * 1024) << "peak resident KiB";

  // The server is still serving, and an HTTP request line first on a new
  // connection closes it without executing what follows.
  int web = vyx::test::connectLoopback(server.port);
  ASSERT_GE(web, 0);
  ASSERT_TRUE(sendAll(web, "POST / HTTP/1.1\r\nContent-Type: text/plain\r\n\r\n"
                           R"({"jsonrpc":"2.0","id":1,"method":"app.launch"})" "\n"));
  EXPECT_EQ(readToEnd(web), "");
  ::close(web);
  int again = vyx::test::connectLoopback(server.port);
  ASSERT_GE(again, 0);
  ASSERT_TRUE(sendAll(again, R"({"id":"last","method":"session.close"})" "\n"));
  ::shutdown(again, SHUT_WR);
  EXPECT_EQ(readToEnd(again), R"({"jsonrpc":"2.0","id":"last","result":true})" "\n");
  ::close(again);
}

}  // namespace
