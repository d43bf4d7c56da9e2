#pragma once
// `vyx serve` (JSON-RPC 2.0 over standard input and output, or TCP on the
// loopback address) and `vyx mcp` (the Model Context Protocol over standard
// input and output): the flags, the configuration, the session's device and
// trace, and the transport loops that hand each request line to a protocol
// handler and write its one reply.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/args.hpp"
#include "core/clock.hpp"
#include "core/command.hpp"
#include "core/errors.hpp"
#include "core/run_options.hpp"
#include "core/socket.hpp"
#include "core/writer.hpp"

namespace vyx::cli_serve {

inline constexpr uint16_t kDefaultPort = 8765;

// Everything the command line of `serve` or `mcp` says.
struct ServeFlags {
  ServeCliOptions options;  // the tool paths too
  std::optional<std::string> configPath;
  std::string transport = "stdio";  // "stdio" or "tcp"
  uint16_t port = kDefaultPort;
};

// The port value: an optional "+", decimal digits with "_" allowed between
// them; "-" only before zeros. InvalidCharacter or Overflow otherwise.
Expected<uint16_t> parsePort(std::string_view text);

// Parses the arguments after the command word. `serve` also takes
// --transport and --port; any unknown argument fails with unknownFlag.
Expected<ServeFlags> parseFlags(ArgIterator& args, bool serve);

// One request line's handler: writes the whole reply into `reply`; fails only
// when recording a trace event failed (or writing to memory did).
using LineHandler = std::function<Status(std::string_view line, Writer& reply)>;

// How serving one stream ended.
enum class StreamEnd {
  endOfInput,   // the client closed its side
  readFailed,   // a read failed; it was answered once
  refused,      // TCP: the first line was an HTTP request line
  writeFailed,  // TCP: a reply could not be written (the client has gone)
};

// Serves one stream: reads request lines from `inFd`, skips blank ones, and
// writes one reply per line to `out`, flushed after each. An over-long line
// gets one -32700 "StreamTooLong" reply and is dropped up to its line feed.
// With `refuseHttp`, a first line that is an HTTP request line (up to its
// first carriage return or line feed) ends the stream unanswered. A failed write ends the stream: on a `connection` with
// writeFailed, otherwise as a failure with the writer's cause. A failed
// handler fails with its error.
Expected<StreamEnd> serveStream(int inFd, FdWriter& out, const LineHandler& handler, bool refuseHttp,
                                bool connection);

// Serves clients of the listener one after the other. A connection ends when
// its client closes it, a read on it fails or a reply cannot be written to
// it; the next one is then accepted. Only a failed accept or a failed
// handler ends the server.
Status serveTcp(net::Listener& listener, const LineHandler& handler);

// True for "<method> <target> HTTP/1.0", "HTTP/1.1" or "HTTP/2.0", ended by
// the end of the text or by a carriage return (what follows it is not read).
bool isHttpRequestLine(std::string_view line);

// The outside world of the two commands.
struct Environment {
  command::ProcessRunner& runner;
  Clock& clock;
  net::Sockets& sockets;
  int inFd = 0;
  int outFd = 1;
};

Status runServe(ArgIterator& args);
Status runServe(ArgIterator& args, Environment& env);
Status runMcp(ArgIterator& args);
Status runMcp(ArgIterator& args, Environment& env);

}  // namespace vyx::cli_serve
