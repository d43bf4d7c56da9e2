// Round trips of `runner.capabilities` over one loopback TCP connection to
// the real binary: one request at a time, two requests sent together before
// either reply is read, and one request written in two pieces. The server's
// replies never wait for a delayed acknowledgement, so the pipelined pair
// takes no longer than a single round trip plus the second reply; and it
// acknowledges every read at once, so the second piece of a request is not
// held back by the client's own Nagle's algorithm either.
//
// Counters (medians, microseconds): single_us (one request, its reply),
// pipelined_us (two requests in one write, both replies),
// pipelined_per_request_us (half of that), split_us (one request in two
// writes, its reply, the client with Nagle's algorithm on; 50 rounds) and
// split_client_nodelay_us (the same with TCP_NODELAY on the client too).
// 2,000 round trips each unless said otherwise.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "loopback.hpp"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 2000;
constexpr int kSplitRounds = 50;
const std::string kRequest = R"({"jsonrpc":"2.0","id":1,"method":"runner.capabilities"})" "\n";

void writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n <= 0) std::abort();
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

// Reads until `lines` more line feeds have arrived.
bool readLines(int fd, int lines) {
  char buf[65536];
  while (lines > 0) {
    ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n <= 0) return false;
    lines -= static_cast<int>(std::count(buf, buf + n, '\n'));
  }
  return true;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

template <typename Round>
double medianRoundTrip(benchmark::State& state, int rounds, Round round) {
  std::vector<double> times;
  times.reserve(static_cast<size_t>(rounds));
  for (int i = 0; i < rounds; ++i) {
    auto t0 = Clock::now();
    if (!round()) {
      state.SkipWithError("server ended early");
      break;
    }
    times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  return times.empty() ? 0 : median(times);
}

void BM_TcpPipelinedRoundTrips(benchmark::State& state) {
  for (auto _ : state) {
    uint16_t port = vyx::test::freeLoopbackPort();
    std::string portText = std::to_string(port);
    pid_t pid = ::fork();
    if (pid == 0) {
      ::execl(VYX_BINARY, VYX_BINARY, "serve", "--transport", "tcp", "--port", portText.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int fd = vyx::test::connectLoopback(port, 500);
    if (fd < 0) {
      state.SkipWithError("no connection");
    } else {
      // The client side as most clients have it: Nagle's algorithm on.
      const std::string pair = kRequest + kRequest;
      const size_t half = kRequest.size() / 2;
      double single = medianRoundTrip(state, kRounds, [&] {
        writeAll(fd, kRequest);
        return readLines(fd, 1);
      });
      double pipelined = medianRoundTrip(state, kRounds, [&] {
        writeAll(fd, pair);
        return readLines(fd, 2);
      });
      auto splitRound = [&] {
        writeAll(fd, std::string_view(kRequest).substr(0, half));
        writeAll(fd, std::string_view(kRequest).substr(half));
        return readLines(fd, 1);
      };
      // The client's own Nagle's algorithm holds the second piece until the
      // first is acknowledged; few rounds, as each may take a delayed ack.
      double split = medianRoundTrip(state, kSplitRounds, splitRound);
      int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
      double splitNoDelay = medianRoundTrip(state, kRounds, splitRound);
      state.counters["single_us"] = single;
      state.counters["pipelined_us"] = pipelined;
      state.counters["pipelined_per_request_us"] = pipelined / 2;
      state.counters["split_us"] = split;
      state.counters["split_client_nodelay_us"] = splitNoDelay;
      ::close(fd);
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
}
BENCHMARK(BM_TcpPipelinedRoundTrips)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
