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

#include "loopback.hpp"

namespace {

TEST(Sockets, AcceptedConnectionsHaveNoDelay) {
  uint16_t port = vyx::test::freeLoopbackPort();
  auto listener = vyx::net::realSockets().listenLoopback(port);
  ASSERT_TRUE(listener) << vyx::errorName(listener.error());
  vyx::Fd client(vyx::test::connectLoopback(port, 1));
  ASSERT_TRUE(client.valid());
  auto accepted = (*listener)->accept();
  ASSERT_TRUE(accepted);
  int on = 0;
  socklen_t len = sizeof(on);
  ASSERT_EQ(::getsockopt(accepted->get(), IPPROTO_TCP, TCP_NODELAY, &on, &len), 0);
  EXPECT_NE(on, 0);
}

}  // namespace
