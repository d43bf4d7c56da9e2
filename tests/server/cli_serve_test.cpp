// The front end of `serve` and `mcp`: flags and the port rule, the stream
// loop (blank lines, over-long lines, read failures, the last unterminated
// line), the TCP loop with its HTTP refusal, and start-up with its trace.
#include "server/cli_serve.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/limits.hpp"
#include "core/stdio.hpp"
#include "fake_process_runner.hpp"
#include "fake_sockets.hpp"
#include "vyx_test.hpp"
#include "fake_clock.hpp"

namespace {

using vyx::Error;
using vyx::test::readFile;
using vyx::test::TempDir;
using vyx::test::writeFile;
namespace cli = vyx::cli_serve;

std::string outcome(const vyx::Expected<uint16_t>& r) {
  return r ? std::to_string(*r) : std::string(vyx::errorName(r.error()));
}

TEST(ServeFlags, PortValues) {
  const std::pair<const char*, const char*> cases[] = {
      {"8765", "8765"}, {"+80", "80"},      {"0", "0"},           {"65535", "65535"},
      {"1_000", "1000"}, {"-0", "0"},       {"-0_0", "0"},        {"65536", "Overflow"},
      {"70000", "Overflow"}, {"-1", "Overflow"}, {"", "InvalidCharacter"}, {"+", "InvalidCharacter"},
      {"-", "InvalidCharacter"}, {"_1", "InvalidCharacter"}, {"1_", "InvalidCharacter"},
      {"+_1", "InvalidCharacter"}, {"80a", "InvalidCharacter"}, {" 80", "InvalidCharacter"},
      {"0x50", "InvalidCharacter"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(outcome(cli::parsePort(text)), expected) << text;
}

TEST(ServeFlags, FlagsAndTheirErrors) {
  struct Case {
    std::vector<std::string_view> args;
    bool serve;
    const char* error;  // nullptr: accepted
  };
  const Case cases[] = {
      {{}, true, nullptr},
      {{"--port", "9000"}, true, nullptr},
      {{"--transport", "tcp", "--port", "0", "--device", "--x"}, true, nullptr},
      {{"--transport"}, false, "unknownFlag"},
      {{"--port", "1"}, false, "unknownFlag"},
      {{"--port"}, true, "MissingPort"},
      {{"--port", "70000"}, true, "Overflow"},
      {{"--port", "8o"}, true, "InvalidCharacter"},
      {{"--transport", "TCP"}, true, "UnsupportedTransport"},
      {{"--transport"}, true, "MissingTransport"},
      {{"serve"}, true, "unknownFlag"},
      {{"--device"}, false, "MissingDeviceSerial"},
      {{"--app-id"}, false, "MissingAppId"},
      {{"--trace-dir"}, false, "MissingTraceDir"},
      {{"--adb"}, false, "MissingAdbPath"},
      {{"--android-shim"}, false, "MissingAndroidShimPath"},
      {{"--xcrun"}, false, "MissingXcrunPath"},
      {{"--ios-shim"}, false, "MissingIosShimPath"},
      {{"--config"}, false, "MissingConfigPath"},
      {{"--platform"}, false, "MissingPlatform"},
      {{"--platform", "windows"}, false, "UnsupportedPlatform"},
      {{"--ios-device-type"}, false, "MissingIosDeviceType"},
      {{"--ios-device-type", "tablet"}, false, "UnsupportedIosDeviceType"},
      {{"--bogus", "--port"}, true, "unknownFlag"},
  };
  for (const Case& c : cases) {
    vyx::ArgIterator args(c.args);
    auto flags = cli::parseFlags(args, c.serve);
    std::string got = flags ? "accepted" : std::string(vyx::errorName(flags.error()));
    EXPECT_EQ(got, c.error ? c.error : "accepted") << (c.args.empty() ? "" : c.args[0]);
  }
  vyx::ArgIterator args(std::vector<std::string_view>{"--transport", "tcp", "--port", "9", "--transport", "stdio",
                                                      "--device", "--config", "--platform", "ios"});
  auto flags = cli::parseFlags(args, true);
  ASSERT_TRUE(flags);
  EXPECT_EQ(flags->transport, "stdio");
  EXPECT_EQ(flags->port, 9);
  EXPECT_EQ(flags->options.device.value_or(""), "--config");
  EXPECT_EQ(flags->options.platform, vyx::Platform::ios);
}

TEST(ServeFlags, HttpRequestLines) {
  for (const char* line : {"GET / HTTP/1.1", "POST /rpc HTTP/1.0\r", "OPTIONS * HTTP/1.1", "PRI * HTTP/2.0",
                           "PRI * HTTP/2.0\r", "GET / HTTP/1.1\rHost: localhost\r\r{\"id\":1}"}) {
    EXPECT_TRUE(cli::isHttpRequestLine(line)) << line;
  }
  for (const char* line : {"GET / HTTP/2", "GET /  HTTP/1.1", "GET/ HTTP/1.1", "{\"method\":\"GET / HTTP/1.1\"}",
                           " GET / HTTP/1.1", "GET / HTTP/1.1 ", "G3T / HTTP/1.1", "PRI * HTTP/2.0 \r",
                           "GET / HTTP/1.1x\r", "\rGET / HTTP/1.1"}) {
    EXPECT_FALSE(cli::isHttpRequestLine(line)) << line;
  }
}

// Runs the stream loop over an input file; the handler answers each line
// with its length.
struct StreamRun {
  TempDir dir;
  std::vector<std::string> lines;
  vyx::Expected<cli::StreamEnd> end = vyx::fail(Error::Unexpected);
  std::string output;

  void run(const std::string& input, bool refuseHttp = false) {
    writeFile(dir.file("in"), input);
    int in = ::open(dir.file("in").c_str(), O_RDONLY);
    serve(in, refuseHttp);
    ::close(in);
  }
  void serve(int in, bool refuseHttp = false) {
    int out = ::open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    {
      vyx::FdWriter writer(out);
      cli::LineHandler handler = [this](std::string_view line, vyx::Writer& reply) {
        lines.emplace_back(line.substr(0, 40));
        return reply.writeAll("len " + std::to_string(line.size()) + "\n");
      };
      end = cli::serveStream(in, writer, handler, refuseHttp, false);
    }
    ::close(out);
    output = readFile(dir.file("out"));
  }
};

TEST(ServeStream, BlankLinesTrimmingAndTheLastLine) {
  StreamRun r;
  r.run("\n  \t\r\n\r\n x \r\n\n{\"a\":1}");
  ASSERT_TRUE(r.end);
  EXPECT_EQ(*r.end, cli::StreamEnd::endOfInput);
  EXPECT_EQ(r.output, "len 1\nlen 7\n");
  EXPECT_EQ(r.lines, (std::vector<std::string>{"x", "{\"a\":1}"}));

  StreamRun blank;
  blank.run(" \n\t\n");
  EXPECT_EQ(blank.output, "");
}

TEST(ServeStream, OverLongLineIsAnsweredOnceAndDropped) {
  StreamRun r;
  std::string input = "first\n" + std::string(vyx::limits::kRequestLineBytes + 100, 'x') + "tail\nlast\n";
  input += std::string(vyx::limits::kRequestLineBytes, 'y') + "\n";  // exactly the limit: refused too
  input += std::string(vyx::limits::kRequestLineBytes - 1, 'z') + "\n";  // one less: served
  r.run(input);
  ASSERT_TRUE(r.end);
  const std::string tooLong = R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"StreamTooLong"}})" "\n";
  EXPECT_EQ(r.output, "len 5\n" + tooLong + "len 4\n" + tooLong + "len 16777215\n");
}

TEST(ServeStream, ReadFailureIsAnsweredOnceAndEndsTheStream) {
  StreamRun r;
  int dirFd = ::open(r.dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  r.serve(dirFd);
  ::close(dirFd);
  ASSERT_TRUE(r.end);
  EXPECT_EQ(*r.end, cli::StreamEnd::readFailed);
  EXPECT_EQ(r.output, R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"ReadFailed"}})" "\n");
}

TEST(ServeStream, FailedWriteAndFailedHandlerEndTheStream) {
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  ::close(pipeFds[0]);
  TempDir dir;
  writeFile(dir.file("in"), "a\nb\n");
  int in = ::open(dir.file("in").c_str(), O_RDONLY);
  vyx::stdio::ProcessState signals;  // a write to the closed pipe fails with BrokenPipe
  vyx::FdWriter out(pipeFds[1]);
  cli::LineHandler echo = [](std::string_view, vyx::Writer& reply) { return reply.writeAll("r\n"); };
  auto end = cli::serveStream(in, out, echo, false, false);
  ASSERT_FALSE(end);
  EXPECT_EQ(end.error(), Error::BrokenPipe);
  ::lseek(in, 0, SEEK_SET);
  vyx::FdWriter tcpOut(pipeFds[1]);
  end = cli::serveStream(in, tcpOut, echo, false, true);
  ASSERT_TRUE(end);  // a connection's failed write ends that connection only
  EXPECT_EQ(*end, cli::StreamEnd::writeFailed);
  ::close(pipeFds[1]);

  ::lseek(in, 0, SEEK_SET);
  int devNull = ::open("/dev/null", O_WRONLY);
  vyx::FdWriter sink(devNull);
  int calls = 0;
  cli::LineHandler failing = [&calls](std::string_view, vyx::Writer&) -> vyx::Status {
    ++calls;
    return vyx::fail(Error::NoSpaceLeft);
  };
  end = cli::serveStream(in, sink, failing, false, false);
  ASSERT_FALSE(end);
  EXPECT_EQ(end.error(), Error::NoSpaceLeft);
  EXPECT_EQ(calls, 1);
  ::close(devNull);
  ::close(in);
}

std::string readAll(int fd) {
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof(buf))) > 0) out.append(buf, static_cast<size_t>(n));
  return out;
}

TEST(ServeTcp, ClientsOneAfterTheOtherAndHttpRefused) {
  vyx::test::FakeSockets sockets;
  auto listener = sockets.listenLoopback(8765);
  ASSERT_TRUE(listener);
  vyx::net::Fd web = sockets.connect();
  vyx::net::Fd first = sockets.connect();
  vyx::net::Fd second = sockets.connect();
  auto send = [](vyx::net::Fd& fd, std::string_view text) {
    ASSERT_EQ(::write(fd.get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::shutdown(fd.get(), SHUT_WR);
  };
  send(web, "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n{\"id\":1}\n");
  send(first, "one\n");
  send(second, "\n\ntwo two\n");
  std::vector<std::string> seen;
  cli::LineHandler handler = [&seen](std::string_view line, vyx::Writer& reply) {
    seen.emplace_back(line);
    return reply.writeAll("got " + std::string(line) + "\n");
  };
  auto served = cli::serveTcp(**listener, handler);
  ASSERT_FALSE(served);
  EXPECT_EQ(served.error(), Error::Canceled);  // the fake's end of clients
  EXPECT_EQ(readAll(web.get()), "");
  EXPECT_EQ(readAll(first.get()), "got one\n");
  EXPECT_EQ(readAll(second.get()), "got two two\n");
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two two"}));
}

// Clients that go away before reading their replies, and HTTP request lines
// that end in a lone carriage return or open an HTTP/2 preface: each ends its
// own connection, and the next client is served.
TEST(ServeTcp, ClientsThatLeaveOrSpeakHttpEndOnlyTheirConnection) {
  vyx::stdio::ProcessState signals;  // a write to a closed socket fails instead of killing
  vyx::test::FakeSockets sockets;
  auto listener = sockets.listenLoopback(8765);
  ASSERT_TRUE(listener);
  const std::string request = R"({"id":1,"method":"runner.capabilities"})" "\n";
  std::vector<vyx::net::Fd> clients;
  const std::string inputs[] = {
      request + request + request,  // closes before reading
      "GET / HTTP/1.1\rHost: localhost\r\r" + request,
      "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n" + request,
      request + request,  // closes before reading
      "last\n",
  };
  for (const std::string& input : inputs) {
    clients.push_back(sockets.connect());
    ASSERT_EQ(::write(clients.back().get(), input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::shutdown(clients.back().get(), SHUT_WR);
  }
  clients[0] = vyx::net::Fd();
  clients[3] = vyx::net::Fd();
  std::vector<std::string> seen;
  cli::LineHandler handler = [&seen](std::string_view line, vyx::Writer& reply) {
    seen.emplace_back(line.substr(0, 10));
    return reply.writeAll("got " + std::string(line) + "\n");
  };
  auto served = cli::serveTcp(**listener, handler);
  ASSERT_FALSE(served);
  EXPECT_EQ(served.error(), Error::Canceled);  // the fake's end of clients
  EXPECT_EQ(readAll(clients[1].get()), "");
  EXPECT_EQ(readAll(clients[2].get()), "");
  EXPECT_EQ(readAll(clients[4].get()), "got last\n");
  // The first reply to a gone client fails; nothing more is read from it.
  EXPECT_EQ(seen, (std::vector<std::string>{"{\"id\":1,\"m", "{\"id\":1,\"m", "last"}));
}

// Start-up through runServe/runMcp with fake sockets and a fake process runner.
struct Startup {
  TempDir dir;
  vyx::test::FakeProcessRunner runner;
  vyx::FakeClock clock;
  vyx::test::FakeSockets sockets;

  vyx::Status run(std::vector<std::string_view> args, bool serve, const std::string& input = "") {
    writeFile(dir.file("in"), input);
    int in = ::open(dir.file("in").c_str(), O_RDONLY);
    int out = ::open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    cli::Environment env{runner, clock, sockets, in, out};
    vyx::ArgIterator it(std::move(args));
    vyx::Status s = serve ? cli::runServe(it, env) : cli::runMcp(it, env);
    ::close(in);
    ::close(out);
    return s;
  }
};

TEST(ServeStartup, TraceManifestAndConfigurationPaths) {
  Startup s;
  std::string trace = s.dir.file("trace");
  ASSERT_TRUE(s.run({"--trace-dir", trace}, true, "{\"id\":1,\"method\":\"app.launch\"}\n"));
  std::string manifest = readFile(trace + "/trace.json");
  EXPECT_NE(manifest.find(R"("scenarioName":"json-rpc session")"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find(R"("status":"running")"), std::string::npos) << manifest;
  EXPECT_EQ(readFile(s.dir.file("out")), R"({"jsonrpc":"2.0","id":1,"result":true})" "\n");
  ASSERT_FALSE(s.runner.calls.empty());
  EXPECT_EQ(s.runner.calls[0].argv[0], "adb");

  // Configuration: a relative traceDir lands under the app root; "--adb adb"
  // still takes the configuration's tool.
  writeFile(s.dir.file("app/.vyx/config.json"),
            R"({"schemaVersion":1,"android":{"traceDir":"traces/live"},"tools":{"adbPath":"tools/adb"}})");
  s.runner.calls.clear();
  ASSERT_TRUE(s.run({"--config", s.dir.file("app/.vyx/config.json"), "--adb", "adb"}, false,
                    "{\"id\":1,\"method\":\"tools/call\",\"params\":{\"name\":\"launch_app\"}}\n"));
  manifest = readFile(s.dir.file("app/traces/live/trace.json"));
  EXPECT_NE(manifest.find(R"("scenarioName":"mcp session")"), std::string::npos) << manifest;
  ASSERT_FALSE(s.runner.calls.empty());
  EXPECT_EQ(s.runner.calls[0].argv[0], s.dir.file("app") + "/tools/adb");
}

TEST(ServeStartup, EarlyFailures) {
  Startup s;
  std::string trace = s.dir.file("trace");
  s.sockets.listenError = Error::AddressInUse;
  auto served = s.run({"--transport", "tcp", "--port", "+8_766", "--trace-dir", trace}, true);
  ASSERT_FALSE(served);
  EXPECT_EQ(served.error(), Error::AddressInUse);
  EXPECT_EQ(s.sockets.listenedPort.value_or(0), 8766);
  // The trace was started before the listener was opened.
  EXPECT_NE(readFile(trace + "/trace.json").find("json-rpc session"), std::string::npos);

  served = s.run({"--config", s.dir.file("missing.json")}, true);
  ASSERT_FALSE(served);
  EXPECT_EQ(served.error(), Error::FileNotFound);

  // A port given with the standard streams is checked and then not used.
  s.sockets.listenedPort.reset();
  EXPECT_TRUE(s.run({"--port", "1"}, true, "\n"));
  EXPECT_FALSE(s.sockets.listenedPort);
}

TEST(ServeStartup, ReadFailureOnStandardInputEndsTheCommand) {
  Startup s;
  int dirFd = ::open(s.dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  int out = ::open(s.dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  cli::Environment env{s.runner, s.clock, s.sockets, dirFd, out};
  vyx::ArgIterator args;
  auto served = cli::runMcp(args, env);
  ::close(dirFd);
  ::close(out);
  ASSERT_FALSE(served);
  EXPECT_EQ(served.error(), Error::ReadFailed);
  EXPECT_EQ(readFile(s.dir.file("out")), R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"ReadFailed"}})" "\n");
}

}  // namespace
