#pragma once
// Loopback TCP for the tests and benchmarks that talk to `vyx serve
// --transport tcp`: a port nobody listens on yet, and a connection to one
// that a server is still starting to listen on. Header-only and free of the
// test framework, so the benchmarks use it too.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string_view>
#include <thread>

namespace vyx::test {

inline sockaddr_in loopbackAddress(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// A port the system has just handed out and taken back.
inline uint16_t freeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = loopbackAddress(0);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

// A connected socket, trying every 10 ms up to `attempts` times, or -1.
inline int connectLoopback(uint16_t port, int attempts = 3000) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopbackAddress(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0) return fd;
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

// Sends all of `bytes`; false when the peer is gone (no SIGPIPE).
inline bool sendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace vyx::test
