// The agent servers through the real binary over pipes and loopback TCP:
// `runner.capabilities` throughput and latency over one stdio session and one
// TCP connection, the time from starting `vyx mcp` to its tools/list reply,
// and tools/call of scenario_validate in one MCP session.
//
// Counters: req_per_s (pipelined requests per second), median_us (median
// round trip of one request at a time), start_to_list_us (median of 20
// starts; start_true_us is the same for /bin/true, the floor of any process
// start on the machine at that moment), per_call_us.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "loopback.hpp"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRequests = 10000;
const std::string kCapabilities = R"({"jsonrpc":"2.0","id":1,"method":"runner.capabilities"})" "\n";

// A child with its standard input and output on pipes.
struct Child {
  pid_t pid = -1;
  int in = -1;   // write end of the child's standard input
  int out = -1;  // read end of the child's standard output

  static Child start(const std::vector<std::string>& args) {
    int toChild[2];
    int fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) std::abort();
    Child c;
    c.pid = ::fork();
    if (c.pid == 0) {
      ::dup2(toChild[0], 0);
      ::dup2(fromChild[1], 1);
      ::close(toChild[0]);
      ::close(toChild[1]);
      ::close(fromChild[0]);
      ::close(fromChild[1]);
      std::vector<char*> argv;
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    c.in = toChild[1];
    c.out = fromChild[0];
    return c;
  }

  void finish() {
    if (in >= 0) ::close(in);
    if (out >= 0) ::close(out);
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
  }
};

void writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
}

// Reads reply lines from a descriptor.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  // Consumes `count` lines; returns false at end of input.
  bool skipLines(int count) {
    while (count > 0) {
      size_t nl = buffer_.find('\n', start_);
      if (nl != std::string::npos) {
        start_ = nl + 1;
        --count;
        continue;
      }
      buffer_.erase(0, start_);
      start_ = 0;
      char chunk[65536];
      ssize_t n = ::read(fd_, chunk, sizeof(chunk));
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
    return true;
  }

 private:
  int fd_;
  std::string buffer_;
  size_t start_ = 0;
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// Pipelined requests (a writer thread) for throughput, then one request at a
// time for the latency.
void measure(benchmark::State& state, int writeFd, int readFd) {
  LineReader reader(readFd);
  std::string batch;
  for (int i = 0; i < kRequests; ++i) batch += kCapabilities;
  auto begin = Clock::now();
  std::thread writer([&] { writeAll(writeFd, batch); });
  if (!reader.skipLines(kRequests)) state.SkipWithError("server ended early");
  writer.join();
  double seconds = std::chrono::duration<double>(Clock::now() - begin).count();

  std::vector<double> latencies;
  latencies.reserve(kRequests);
  for (int i = 0; i < kRequests; ++i) {
    auto t0 = Clock::now();
    writeAll(writeFd, kCapabilities);
    if (!reader.skipLines(1)) state.SkipWithError("server ended early");
    latencies.push_back(micros(Clock::now() - t0));
  }
  state.counters["req_per_s"] = kRequests / seconds;
  state.counters["median_us"] = median(latencies);
}

void BM_ServeStdioCapabilities(benchmark::State& state) {
  for (auto _ : state) {
    Child c = Child::start({VYX_BINARY, "serve"});
    measure(state, c.in, c.out);
    c.finish();
  }
}
BENCHMARK(BM_ServeStdioCapabilities)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ServeTcpCapabilities(benchmark::State& state) {
  for (auto _ : state) {
    uint16_t port = vyx::test::freeLoopbackPort();
    Child c = Child::start({VYX_BINARY, "serve", "--transport", "tcp", "--port", std::to_string(port)});
    int fd = vyx::test::connectLoopback(port, 500);
    if (fd < 0) {
      state.SkipWithError("no connection");
    } else {
      measure(state, fd, fd);
      ::close(fd);
    }
    c.finish();
  }
}
BENCHMARK(BM_ServeTcpCapabilities)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

const std::string kInitialize =
    R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18"}})" "\n";
const std::string kToolsList = R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})" "\n";

void BM_McpStartToToolsList(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<double> runs;
    for (int i = 0; i < 20; ++i) {
      auto t0 = Clock::now();
      Child c = Child::start({VYX_BINARY, "mcp"});
      writeAll(c.in, kInitialize + kToolsList);
      LineReader reader(c.out);
      if (!reader.skipLines(2)) state.SkipWithError("server ended early");
      runs.push_back(micros(Clock::now() - t0));
      c.finish();
    }
    state.counters["start_to_list_us"] = median(runs);
    // What starting any process costs on this machine right now, for scale.
    std::vector<double> baseline;
    for (int i = 0; i < 20; ++i) {
      auto t0 = Clock::now();
      Child c = Child::start({"/bin/true"});
      LineReader reader(c.out);
      reader.skipLines(1);
      baseline.push_back(micros(Clock::now() - t0));
      c.finish();
    }
    state.counters["start_true_us"] = median(baseline);
  }
}
BENCHMARK(BM_McpStartToToolsList)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_McpScenarioValidate(benchmark::State& state) {
  char path[] = "/tmp/vyx-bench-XXXXXX";
  int fd = ::mkstemp(path);
  writeAll(fd, R"({"name":"smoke","appId":"com.example.app","steps":[{"action":"launch"},)"
               R"({"action":"tap","selector":{"id":"com.example.app:id/sign_in"}}]})");
  ::close(fd);
  const std::string call = R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"scenario_validate",)"
                           R"("arguments":{"path":")" + std::string(path) + "\"}}}\n";
  for (auto _ : state) {
    Child c = Child::start({VYX_BINARY, "mcp"});
    LineReader reader(c.out);
    writeAll(c.in, kInitialize);
    reader.skipLines(1);
    auto t0 = Clock::now();
    for (int i = 0; i < 1000; ++i) {
      writeAll(c.in, call);
      if (!reader.skipLines(1)) state.SkipWithError("server ended early");
    }
    state.counters["per_call_us"] = micros(Clock::now() - t0) / 1000;
    c.finish();
  }
  ::unlink(path);
}
BENCHMARK(BM_McpScenarioValidate)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
