#pragma once
// Sockets for server tests: a listener that hands out the server ends of
// socket pairs the test made, then fails with Canceled (which ends the
// server's accept loop), and a listen call that can be made to fail.

#include <sys/socket.h>

#include <deque>
#include <memory>
#include <optional>

#include "core/socket.hpp"

namespace vyx::test {

class FakeSockets final : public net::Sockets {
 public:
  // A connected pair: the server's end is queued for accept, the client's
  // end is returned.
  net::Fd connect() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return net::Fd();
    pending_->emplace_back(fds[0]);
    return net::Fd(fds[1]);
  }

  Expected<std::unique_ptr<net::Listener>> listenLoopback(uint16_t port) override {
    listenedPort = port;
    if (listenError) return fail(*listenError);
    return std::unique_ptr<net::Listener>(new Listener(pending_));
  }

  std::optional<Error> listenError;
  std::optional<uint16_t> listenedPort;

 private:
  class Listener final : public net::Listener {
   public:
    explicit Listener(std::shared_ptr<std::deque<net::Fd>> pending) : pending_(std::move(pending)) {}
    Expected<net::Fd> accept() override {
      if (pending_->empty()) return fail(Error::Canceled);
      net::Fd fd = std::move(pending_->front());
      pending_->pop_front();
      return fd;
    }

   private:
    std::shared_ptr<std::deque<net::Fd>> pending_;
  };

  std::shared_ptr<std::deque<net::Fd>> pending_ = std::make_shared<std::deque<net::Fd>>();
};

}  // namespace vyx::test
