#include "authoring/discover.hpp"

#include "core/cli_output.hpp"
#include "core/json_writer.hpp"
#include "core/version.hpp"

namespace vyx::discover {

namespace {

// "ok", "mode" and the version members that open every result document.
void writeHead(JsonObjectWriter& o, bool ok, std::string_view mode) {
  o.flag("ok", ok)
      .str("mode", mode)
      .num("schemaVersion", 1)
      .str("runnerVersion", version::kRunner)
      .str("protocolVersion", version::kProtocol);
}

// "out" through "warnings".
void writeDraftMembers(JsonObjectWriter& o, const OwnedDraft& d) {
  o.str("out", d.out)
      .str("traceDir", d.traceDir)
      .str("sourceSnapshot", d.sourceSnapshot)
      .str("name", d.name)
      .strOrNull("appId", d.appId ? std::optional<std::string_view>(*d.appId) : std::nullopt)
      .unum("selectorCount", d.selectorCount)
      .unum("stepCount", d.stepCount);
  // The replay fragment brings its own leading comma.
  if (o.status()) o.track(replay::writeReplayJson(o.writer(), d.replay));
  o.value("warnings", [&](Writer& w) {
    JsonArrayWriter a(w);
    for (const std::string& warning : d.warnings) a.str(warning);
    return a.finish();
  });
}

Status writeValidation(Writer& w, std::string_view path, const validation::Result& r) {
  JsonObjectWriter o(w);
  o.flag("ok", r.ok).str("path", path);
  if (r.ok) {
    o.str("name", r.name ? std::string_view(*r.name) : std::string_view())
        .strOrNull("appId", r.appId ? std::optional<std::string_view>(*r.appId) : std::nullopt)
        .unum("stepCount", r.stepCount);
  } else {
    o.str("errorCode", r.code).str("message", r.message);
    o.optStr("fieldPath", r.path ? std::optional<std::string_view>(*r.path) : std::nullopt);
    if (r.line) o.unum("line", *r.line);
    if (r.column) o.unum("column", *r.column);
  }
  return o.finish();
}

// ["vyx validate --json <out>","vyx run <out> --json --trace-dir <traceDir>"]
Status writeNextCommands(Writer& w, const OwnedDraft& d) {
  VYX_TRY(w.writeAll("[\"vyx validate --json "));
  VYX_TRY(cli_output::writeShellArgJsonContent(w, d.out));
  VYX_TRY(w.writeAll("\",\"vyx run "));
  VYX_TRY(cli_output::writeShellArgJsonContent(w, d.out));
  VYX_TRY(w.writeAll(" --json --trace-dir "));
  VYX_TRY(cli_output::writeShellArgJsonContent(w, d.traceDir));
  return w.writeAll("\"]");
}

}  // namespace

Expected<OwnedDiscover> discoverFromTrace(const DraftOptions& options) {
  VYX_TRY_ASSIGN(auto drafted, draft::draftFromTrace(options));
  OwnedDiscover result;
  result.draft = std::move(drafted);
  result.validated = options.validate;
  result.ok = result.draft.ok;
  if (options.validate) {
    result.validation = validation::validateFile(result.draft.out);
    result.ok = result.ok && result.validation->ok;
  }
  return result;
}

Status writeJsonWithOptions(Writer& w, const OwnedDiscover& result, const DiscoverJsonOptions& options) {
  JsonObjectWriter o(w);
  writeHead(o, result.ok, options.mode);
  o.optStr("goal", options.goal);
  if (options.autonomous) o.flag("autonomous", *options.autonomous);
  if (options.reviewRequired) o.flag("reviewRequired", *options.reviewRequired);
  if (!options.guardrails.empty()) {
    o.value("guardrails", [&](Writer& aw) {
      JsonArrayWriter a(aw);
      for (std::string_view g : options.guardrails) a.str(g);
      return a.finish();
    });
  }
  writeDraftMembers(o, result.draft);
  o.flag("validated", result.validated);
  if (result.validation) {
    o.value("validation", [&](Writer& vw) { return writeValidation(vw, result.draft.out, *result.validation); });
  } else {
    o.null("validation");
  }
  o.value("nextCommands", [&](Writer& nw) { return writeNextCommands(nw, result.draft); });
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

Status writeDraftJson(Writer& w, const OwnedDraft& draft) {
  JsonObjectWriter o(w);
  writeHead(o, draft.ok, "draft");
  writeDraftMembers(o, draft);
  o.value("nextCommands", [&](Writer& nw) { return writeNextCommands(nw, draft); });
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

Status writeNextLine(Writer& w, std::string_view out) {
  VYX_TRY(w.writeAll("next: vyx validate --json "));
  VYX_TRY(cli_output::writeShellArg(w, out));
  return w.writeByte('\n');
}

}  // namespace vyx::discover
