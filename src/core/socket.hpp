#pragma once
// The TCP listener of the agent server, behind a small interface so tests can
// hand the server connections of their own. Only the IPv4 loopback address
// is ever bound.

#include <cstdint>
#include <memory>

#include "core/errors.hpp"

namespace vyx::net {

// An owned file descriptor, closed when released.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset();

 private:
  int fd_ = -1;
};

class Listener {
 public:
  virtual ~Listener() = default;
  // The next client connection; blocks until one arrives.
  virtual Expected<Fd> accept() = 0;
};

class Sockets {
 public:
  virtual ~Sockets() = default;
  // A stream socket bound to 127.0.0.1:port (SO_REUSEADDR on, SO_REUSEPORT
  // left off, so a busy port fails with AddressInUse), listening with a
  // backlog of 128. Port 0 lets the system choose.
  virtual Expected<std::unique_ptr<Listener>> listenLoopback(uint16_t port) = 0;
};

// The system's sockets.
Sockets& realSockets();

}  // namespace vyx::net
