#include "core/cli_output.hpp"

#include <string>

#include "core/json_writer.hpp"
#include "core/paths.hpp"
#include "core/trace_json.hpp"
#include "core/validation.hpp"

namespace vyx::cli_output {

namespace {

bool isShellSafeByte(char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '%': case '+': case ',': case '-': case '.': case '/': case ':': case '=': case '@': case '_':
      return true;
    default:
      return false;
  }
}

bool allShellSafe(std::string_view text) {
  for (char c : text) {
    if (!isShellSafeByte(c)) return false;
  }
  return true;
}

// Where the shell forms go: straight to the writer, or as JSON string content.
enum class Target { Raw, JsonContent };

Status emit(Writer& w, Target target, std::string_view bytes) {
  if (target == Target::Raw) return w.writeAll(bytes);
  return trace_json::writeJsonStringContent(w, bytes);
}

// The text for use between single quotes: every single quote closes the
// quoting, adds an escaped quote and reopens it.
Status emitQuotedBody(Writer& w, Target target, std::string_view text) {
  size_t start = 0;
  for (;;) {
    size_t quote = text.find('\'', start);
    if (quote == std::string_view::npos) break;
    if (quote > start) VYX_TRY(emit(w, target, text.substr(start, quote - start)));
    VYX_TRY(emit(w, target, "'\\''"));
    start = quote + 1;
  }
  if (start < text.size()) VYX_TRY(emit(w, target, text.substr(start)));
  return {};
}

Status emitShellArg(Writer& w, Target target, std::string_view arg, std::string_view suffix) {
  if (isShellSafe(arg)) {
    VYX_TRY(emit(w, target, arg));
    return suffix.empty() ? Status{} : emit(w, target, suffix);
  }
  VYX_TRY(emit(w, target, "'"));
  VYX_TRY(emitQuotedBody(w, target, arg));
  if (!suffix.empty()) VYX_TRY(emit(w, target, suffix));
  return emit(w, target, "'");
}

// Directory and file joined with one "/" as one word; with no directory
// the word is quoted all the same.
Status emitJoinedPathShellArg(Writer& w, Target target, std::string_view dir, std::string_view file) {
  std::string joined = paths::joinOnce(dir, file);
  if (!dir.empty() && isShellSafe(joined)) return emit(w, target, joined);
  VYX_TRY(w.writeAll("'"));
  VYX_TRY(emitQuotedBody(w, target, joined));
  return w.writeAll("'");
}

}  // namespace

bool isShellSafe(std::string_view arg) { return !arg.empty() && allShellSafe(arg); }

Status writeJsonStringContent(Writer& w, std::string_view bytes) { return trace_json::writeJsonStringContent(w, bytes); }

Status writeShellArg(Writer& w, std::string_view arg) { return emitShellArg(w, Target::Raw, arg, {}); }

Status writeShellArgJsonContent(Writer& w, std::string_view arg) {
  return emitShellArg(w, Target::JsonContent, arg, {});
}

Status writeJoinedPathShellArgJsonContent(Writer& w, std::string_view dir, std::string_view file) {
  return emitJoinedPathShellArg(w, Target::JsonContent, dir, file);
}

Status writeJoinedPathShellArg(Writer& w, std::string_view dir, std::string_view file) {
  return emitJoinedPathShellArg(w, Target::Raw, dir, file);
}

Status writePathWithSuffixShellArgJsonContent(Writer& w, std::string_view path) {
  return emitShellArg(w, Target::JsonContent, path, ".vyxtrace");
}

Status writeValidationJson(Writer& w, std::string_view scenarioPath, const validation::Result& result) {
  JsonObjectWriter o(w);
  o.flag("ok", result.ok).str("path", scenarioPath);
  if (result.ok) {
    o.str("name", result.name.value_or(std::string())).optStr("appId", result.appId).unum("stepCount", result.stepCount);
    o.array("nextCommands", [&](JsonArrayWriter& a) {
      a.value([&](Writer& out) -> Status {
        VYX_TRY(out.writeAll("\"vyx run "));
        VYX_TRY(writeShellArgJsonContent(out, scenarioPath));
        return out.writeAll(" --json --trace-dir traces/vyx-run\"");
      });
    });
  } else {
    o.str("errorCode", result.code)
        .str("message", result.message)
        .optStr("fieldPath", result.path)
        .optUnum("line", result.line)
        .optUnum("column", result.column);
  }
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

}  // namespace vyx::cli_output
