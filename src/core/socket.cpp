#include "core/socket.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace vyx::net {

namespace {

Error socketError(int err) { return errorFromErrno(err, Error::SystemResources); }

class SystemListener final : public Listener {
 public:
  explicit SystemListener(Fd fd) : fd_(std::move(fd)) {}

  Expected<Fd> accept() override {
    for (;;) {
      int client = ::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        // Each reply goes out as soon as it is written, also while an
        // earlier one waits for its acknowledgement: with Nagle's algorithm a
        // client that sends its next request before reading would wait for
        // its own delayed acknowledgement (about 40 ms) on every reply.
        int on = 1;
        (void)::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        return Fd(client);
      }
      // A client that gave up before it was accepted is no failure of ours.
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return fail(socketError(errno));
    }
  }

 private:
  Fd fd_;
};

class SystemSockets final : public Sockets {
 public:
  Expected<std::unique_ptr<Listener>> listenLoopback(uint16_t port) override {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!fd.valid()) return fail(socketError(errno));
    int on = 1;
    if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0) return fail(socketError(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
      return fail(socketError(errno));
    }
    if (::listen(fd.get(), 128) != 0) return fail(socketError(errno));
    return std::unique_ptr<Listener>(new SystemListener(std::move(fd)));
  }
};

}  // namespace

Sockets& realSockets() {
  static SystemSockets sockets;
  return sockets;
}

}  // namespace vyx::net
