// The system listener: loopback only, and every accepted connection sends
// each write at once (TCP_NODELAY).
#include "core/socket.hpp"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {

uint16_t freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

TEST(Sockets, AcceptedConnectionsHaveNoDelay) {
  uint16_t port = freePort();
  auto listener = vyx::net::realSockets().listenLoopback(port);
  ASSERT_TRUE(listener) << vyx::errorName(listener.error());
  vyx::Fd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(client.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
  auto accepted = (*listener)->accept();
  ASSERT_TRUE(accepted);
  int on = 0;
  socklen_t len = sizeof(on);
  ASSERT_EQ(::getsockopt(accepted->get(), IPPROTO_TCP, TCP_NODELAY, &on, &len), 0);
  EXPECT_NE(on, 0);
}

}  // namespace
