#pragma once
// The TCP listener of the agent server, behind a small interface so tests can
// hand the server connections of their own. Only the IPv4 loopback address
// is ever bound.

#include <cstdint>
#include <memory>

#include "core/errors.hpp"
#include "core/fd.hpp"

namespace vyx::net {

using vyx::Fd;

class Listener {
 public:
  virtual ~Listener() = default;
  // The next client connection; blocks until one arrives. A TCP connection
  // comes with TCP_NODELAY set.
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
