#include "core/stdio.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

// Feeds `data` through a pipe and reads every line back.
struct PipeInput {
  explicit PipeInput(std::string data) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    readFd = fds[0];
    writer = std::thread([fd = fds[1], data = std::move(data)] {
      size_t off = 0;
      while (off < data.size()) {
        ssize_t n = write(fd, data.data() + off, data.size() - off);
        if (n <= 0) break;
        off += static_cast<size_t>(n);
      }
      close(fd);
    });
  }
  ~PipeInput() {
    writer.join();
    close(readFd);
  }
  int readFd;
  std::thread writer;
};

}  // namespace

TEST(Stdio, ReadsLinesKeepingCarriageReturns) {
  PipeInput input("a\n\r\nb\r\n\nlast");
  vyx::stdio::LineReader reader(input.readFd);
  std::vector<std::string> lines;
  while (true) {
    auto line = reader.readLine();
    ASSERT_TRUE(line.has_value());
    if (!line->has_value()) break;
    lines.push_back(**line);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "\r", "b\r", "", "last"}));
}

TEST(Stdio, OverlongLineFailsAndTheNextLineStillReads) {
  PipeInput input(std::string(100, 'x') + "\nok\n");
  vyx::stdio::LineReader reader(input.readFd);
  auto first = reader.readLine(64);
  ASSERT_FALSE(first.has_value());
  EXPECT_EQ(first.error(), vyx::Error::StreamTooLong);
  auto second = reader.readLine(64);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->value_or(""), "ok");
}

TEST(Stdio, OverlongLineFailsWithoutWaitingForItsEnd) {
  // The writer stays open and the read end never blocks: a reader that went
  // on reading for the line feed would get no data rather than the limit.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(fcntl(fds[0], F_SETFL, O_NONBLOCK), 0);
  std::string head(100, 'x');
  ASSERT_EQ(write(fds[1], head.data(), head.size()), 100);
  vyx::stdio::LineReader reader(fds[0]);
  auto first = reader.readLine(64);
  ASSERT_FALSE(first.has_value());
  EXPECT_EQ(first.error(), vyx::Error::StreamTooLong);
  ASSERT_EQ(write(fds[1], "xx\nok\n", 6), 6);
  close(fds[1]);
  auto second = reader.readLine(64);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->value_or("<none>"), "ok");
  auto end = reader.readLine(64);
  ASSERT_TRUE(end.has_value());
  EXPECT_FALSE(end->has_value());
  close(fds[0]);
}

TEST(Stdio, LineOfExactlyTheLimitFails) {
  PipeInput input(std::string(64, 'x') + "\n" + std::string(63, 'y') + "\n");
  vyx::stdio::LineReader reader(input.readFd);
  EXPECT_FALSE(reader.readLine(64).has_value());
  auto next = reader.readLine(64);
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(next->value_or(""), std::string(63, 'y'));
}

TEST(Stdio, NowMsIsWallClock) {
  EXPECT_GT(vyx::stdio::wallClockMs(), 1700000000000);
}

// The head of the next line stops at a carriage return or a line feed,
// without waiting for more and without consuming anything.
TEST(Stdio, PeekLineHeadStopsAtTheFirstCarriageReturnOrLineFeed) {
  const std::pair<const char*, const char*> cases[] = {
      {"GET / HTTP/1.1\rHost: x\r\r", "GET / HTTP/1.1"},
      {"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", "PRI * HTTP/2.0"},
      {"{\"id\":1}\n", "{\"id\":1}"},
      {"no end", "no end"},
      {"", ""},
  };
  for (const auto& [data, head] : cases) {
    PipeInput input(data);
    vyx::stdio::LineReader reader(input.readFd);
    auto peeked = reader.peekLineHead();
    ASSERT_TRUE(peeked) << data;
    EXPECT_EQ(std::string(*peeked), head) << data;
    auto line = reader.readLine();
    ASSERT_TRUE(line) << data;
    std::string whole(data);
    EXPECT_EQ(line->value_or("<none>"), whole.empty() ? "<none>" : whole.substr(0, whole.find('\n'))) << data;
  }
  // A line head that never ends is cut at the limit.
  PipeInput longInput(std::string(100, 'x'));
  vyx::stdio::LineReader reader(longInput.readFd);
  auto peeked = reader.peekLineHead(10);
  ASSERT_TRUE(peeked);
  EXPECT_EQ(peeked->size(), 10u);
}

// A client that does not wait for its replies leaves the loop blocked on a
// line without a line feed: the head is there as soon as its carriage return
// has arrived.
TEST(Stdio, PeekLineHeadDoesNotWaitForTheLineFeed) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "GET / HTTP/1.1\r", 15), 15);
  vyx::stdio::LineReader reader(fds[0]);
  auto peeked = reader.peekLineHead();
  ASSERT_TRUE(peeked);
  EXPECT_EQ(std::string(*peeked), "GET / HTTP/1.1");
  close(fds[1]);
  close(fds[0]);
}
