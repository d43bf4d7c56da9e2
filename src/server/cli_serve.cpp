#include "server/cli_serve.hpp"

#include <memory>
#include <utility>
#include <vector>

#include "core/stdio.hpp"
#include "core/text.hpp"
#include "core/trace.hpp"
#include "devices/device.hpp"
#include "devices/device_factory.hpp"
#include "server/json_rpc.hpp"
#include "server/json_rpc_protocol.hpp"
#include "server/mcp.hpp"

namespace vyx::cli_serve {
namespace {

// The ten flags both commands take.
Status parseCommonArg(std::string_view flag, ArgIterator& args, ServeFlags& f) {
  ServeCliOptions& o = f.options;
  if (flag == "--device") return takeValue(args, Error::MissingDeviceSerial, o.device);
  if (flag == "--app-id") return takeValue(args, Error::MissingAppId, o.appId);
  if (flag == "--trace-dir") return takeValue(args, Error::MissingTraceDir, o.traceDir);
  if (flag == "--adb") return takeValue(args, Error::MissingAdbPath, o.adbPath);
  if (flag == "--android-shim") return takeValue(args, Error::MissingAndroidShimPath, o.androidShim);
  if (flag == "--xcrun") return takeValue(args, Error::MissingXcrunPath, o.xcrunPath);
  if (flag == "--ios-shim") return takeValue(args, Error::MissingIosShimPath, o.iosShim);
  if (flag == "--config") return takeValue(args, Error::MissingConfigPath, f.configPath);
  if (flag == "--platform") return takeParsed(args, Error::MissingPlatform, parsePlatform, o.platform);
  if (flag == "--ios-device-type") {
    return takeParsed(args, Error::MissingIosDeviceType, parseIosDeviceType, o.iosDeviceType);
  }
  return fail(Error::unknownFlag);
}

// --- The session ---------------------------------------------------------------

enum class Protocol { jsonRpc, mcp };

Status runCommand(ArgIterator& args, Environment& env, Protocol protocol) {
  VYX_TRY_ASSIGN(const ServeFlags flags, parseFlags(args, protocol == Protocol::jsonRpc));
  VYX_TRY_ASSIGN(const LoadedConfig loaded, run_options::loadConfig(flags.configPath));
  const ServeSettings settings = run_options::resolveServe(flags.options, loaded);

  std::unique_ptr<Device> device =
      device_factory::makeDevice(settings.deviceSettings(), settings.appId, env.runner, env.clock);

  std::optional<TraceWriter> trace;
  if (settings.traceDir) {
    VYX_TRY_ASSIGN(trace, TraceWriter::create(*settings.traceDir, settings.traceOptions, env.clock));
    // A session outlives what its event log can hold: once the log is full,
    // requests are answered as before and their events only counted.
    trace->setFullLog(FullLog::Skip);
    VYX_TRY(trace->startManifest(protocol == Protocol::jsonRpc ? "json-rpc session" : "mcp session",
                                 settings.appId));
  }

  json_rpc::Session session{*device, trace ? &*trace : nullptr, env.clock};
  LineHandler handler;
  if (protocol == Protocol::jsonRpc) {
    handler = [&session](std::string_view line, Writer& reply) {
      return json_rpc::dispatchLineWithTrace(session, line, reply);
    };
  } else {
    handler = [&session](std::string_view line, Writer& reply) { return mcp::dispatchLine(session, line, reply); };
  }

  if (flags.transport == "tcp") {
    VYX_TRY_ASSIGN(auto listener, env.sockets.listenLoopback(flags.port));
    return serveTcp(*listener, handler);
  }
  FdWriter out(env.outFd);
  VYX_TRY_ASSIGN(StreamEnd end, serveStream(env.inFd, out, handler, false, false));
  if (end == StreamEnd::readFailed) return fail(Error::ReadFailed);
  return {};
}

}  // namespace

Expected<uint16_t> parsePort(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() == '_' || text.back() == '_') return fail(Error::InvalidCharacter);
  uint32_t value = 0;
  for (char c : text) {
    if (c == '_') continue;
    if (c < '0' || c > '9') return fail(Error::InvalidCharacter);
    uint32_t digit = static_cast<uint32_t>(c - '0');
    if (negative) {
      if (digit != 0) return fail(Error::Overflow);
      continue;
    }
    value = value * 10 + digit;
    if (value > 65535) return fail(Error::Overflow);
  }
  return static_cast<uint16_t>(value);
}

Expected<ServeFlags> parseFlags(ArgIterator& args, bool serve) {
  ServeFlags f;
  while (auto arg = args.next()) {
    std::string_view flag = *arg;
    if (serve && flag == "--transport") {
      auto v = args.next();
      if (!v) return fail(Error::MissingTransport);
      if (*v != "stdio" && *v != "tcp") return fail(Error::UnsupportedTransport);
      f.transport = std::string(*v);
      continue;
    }
    if (serve && flag == "--port") {
      auto v = args.next();
      if (!v) return fail(Error::MissingPort);
      VYX_TRY_ASSIGN(f.port, parsePort(*v));
      continue;
    }
    VYX_TRY(parseCommonArg(flag, args, f));
  }
  return f;
}

bool isHttpRequestLine(std::string_view line) {
  // A carriage return ends the request line, also one without a line feed.
  line = line.substr(0, line.find('\r'));
  size_t methodEnd = line.find(' ');
  if (methodEnd == 0 || methodEnd == std::string_view::npos) return false;
  for (char c : line.substr(0, methodEnd)) {
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter) return false;
  }
  std::string_view rest = line.substr(methodEnd + 1);
  size_t targetEnd = rest.find(' ');
  if (targetEnd == 0 || targetEnd == std::string_view::npos) return false;
  std::string_view version = rest.substr(targetEnd + 1);
  // "PRI * HTTP/2.0" opens the preface of an HTTP/2 connection.
  return version == "HTTP/1.0" || version == "HTTP/1.1" || version == "HTTP/2.0";
}

Expected<StreamEnd> serveStream(int inFd, FdWriter& out, const LineHandler& handler, bool refuseHttp,
                                bool connection) {
  stdio::LineReader reader(inFd);
  if (connection) reader.acknowledgeEachRead();
  StringWriter reply;
  bool first = true;
  // Each reply goes out in one piece, in one write when the system takes it.
  auto send = [&]() -> Status {
    Status written = out.writeAll(reply.str());
    if (written) written = out.flush();
    reply.clear();
    return written;
  };
  for (;;) {
    Expected<std::optional<std::string>> line = std::optional<std::string>();
    if (first && refuseHttp) {
      // The request line of HTTP is told by its first line's head, so one
      // that ends in a lone carriage return is refused without waiting for
      // a line feed that may never come.
      auto head = reader.peekLineHead();
      if (head && isHttpRequestLine(*head)) return StreamEnd::refused;
      if (head) {
        line = reader.readLine();
      } else {
        line = fail(head.error());
      }
    } else {
      line = reader.readLine();
    }
    if (!line) {
      // An over-long line has been dropped up to its line feed and reading
      // goes on; any other failure is answered once and ends the stream.
      bool tooLong = line.error() == Error::StreamTooLong;
      Error reported = tooLong ? Error::StreamTooLong : Error::ReadFailed;
      VYX_TRY(json_rpc_protocol::writeErrorWithPublicCode(reply, nullptr, json_rpc_protocol::kParseError,
                                                          errorName(reported), std::nullopt));
      if (Status sent = send(); !sent) {
        if (connection) return StreamEnd::writeFailed;
        return fail(sent.error());
      }
      if (!tooLong) return StreamEnd::readFailed;
      first = false;
      continue;
    }
    if (!*line) return StreamEnd::endOfInput;
    first = false;
    std::string_view request = text::trimBlanks(**line);
    if (request.empty()) continue;
    Status handled = handler(request, reply);
    if (!handled) {
      // The reply that was complete before the failure still goes out.
      if (!reply.str().empty()) (void)send();
      return fail(handled.error());
    }
    if (Status sent = send(); !sent) {
      if (connection) return StreamEnd::writeFailed;
      return fail(sent.error());
    }
  }
}

Status serveTcp(net::Listener& listener, const LineHandler& handler) {
  for (;;) {
    VYX_TRY_ASSIGN(auto connection, listener.accept());
    // A client that goes away, however it does, ends its own connection
    // only; the session and its trace carry over to the next one.
    FdWriter out(connection.get());
    VYX_TRY(serveStream(connection.get(), out, handler, true, true));
  }
}

Status runServe(ArgIterator& args) {
  Environment env{command::realProcessRunner(), systemClock(), net::realSockets()};
  return runServe(args, env);
}

Status runServe(ArgIterator& args, Environment& env) { return runCommand(args, env, Protocol::jsonRpc); }

Status runMcp(ArgIterator& args) {
  Environment env{command::realProcessRunner(), systemClock(), net::realSockets()};
  return runMcp(args, env);
}

Status runMcp(ArgIterator& args, Environment& env) { return runCommand(args, env, Protocol::mcp); }

}  // namespace vyx::cli_serve
