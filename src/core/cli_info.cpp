#include "core/cli_info.hpp"

#include <iterator>
#include <string>

#include "core/json_writer.hpp"
#include "core/version.hpp"
#include "core/writer.hpp"

namespace vyx::cli_info {

namespace {

struct SchemaRow {
  std::string_view name;
  std::string_view description;
};

constexpr std::string_view kSchemaHost = "https://schemas.vyx.dev";

constexpr SchemaRow kSchemas[] = {
    {"json-rpc", "JSON-RPC requests and responses used by vyx serve"},
    {"scenario", "Scenario files consumed by vyx run and vyx validate"},
    {"snapshot", "ObservationSnapshot JSON emitted by live RPC and persisted trace snapshots"},
    {"semantic-snapshot", "Agent-optimized semantic snapshot emitted by observe.semanticSnapshot and vyx mcp"},
    {"action-result", "Typed action result shape reserved for richer protocol responses"},
    {"trace-event", "One JSONL event row from events.jsonl"},
    {"trace-manifest", "trace.json summary for one traced run"},
    {"vyx-config", "App-local .vyx/config.json defaults used by the CLI and npm wizard"},
    {"doctor-output", "Machine-readable vyx doctor --json setup diagnostics"},
    {"init-output", "Machine-readable vyx init --json bootstrap output"},
    {"import-output", "Machine-readable vyx import --json migration output"},
    {"devices-output", "Machine-readable vyx devices --json discovery output"},
    {"validate-output", "Machine-readable vyx validate --json scenario preflight output"},
    {"version-output", "Machine-readable vyx version --json compatibility output"},
    {"capabilities-output", "Machine-readable runner.capabilities JSON-RPC result"},
    {"explain-output", "Machine-readable vyx explain --json failure triage output"},
    {"run-output", "Machine-readable vyx run --json terminal summary output"},
    {"inspect-output", "Machine-readable vyx inspect --json app and agent handoff output"},
    {"discover-output", "Machine-readable vyx discover --json trace-backed scenario discovery output"},
    {"explore-output", "Machine-readable vyx explore --json review-first trace exploration output"},
    {"draft-output", "Machine-readable vyx draft --json scenario draft output"},
    {"release-manifest", "Machine-readable RELEASE_MANIFEST.json emitted with release archives"},
    {"release-readiness-output", "Machine-readable vyx-release-readiness --json release evidence gate output"},
    {"schemas-output", "Machine-readable vyx schemas --json public schema index"},
};

std::string schemaPath(std::string_view name) {
  std::string path = "schemas/";
  path += name;
  path += ".schema.json";
  return path;
}

Status writeVersion(Writer& w, bool json) {
  if (!json) {
    std::string line = "vyx ";
    line += version::kRunner;
    line += " protocol ";
    line += version::kProtocol;
    line += '\n';
    return w.writeAll(line);
  }
  JsonObjectWriter o(w);
  o.str("name", kName)
      .str("version", version::kRunner)
      .str("protocolVersion", version::kProtocol)
      .str("minimumCompatibleProtocolVersion", version::kMinimumCompatibleProtocol)
      .str("stability", kStability)
      .str("breakingChangePolicy", kBreakingChangePolicy);
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

Status writeSchemas(Writer& w, bool json) {
  if (!json) {
    for (const SchemaRow& row : kSchemas) {
      std::string line(row.name);
      line += '\t';
      line += schemaPath(row.name);
      line += '\n';
      VYX_TRY(w.writeAll(line));
    }
    return {};
  }
  JsonObjectWriter o(w);
  o.flag("ok", true).unum("count", std::size(kSchemas)).array("schemas", [&](JsonArrayWriter& a) {
    for (const SchemaRow& row : kSchemas) {
      std::string path = schemaPath(row.name);
      std::string id = std::string(kSchemaHost) + "/" + path;
      a.object([&](JsonObjectWriter& item) {
        item.str("name", row.name).str("path", path).str("id", id).str("description", row.description);
      });
    }
  });
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

}  // namespace

Expected<bool> parseArgIterator(ArgIterator& args) {
  bool json = false;
  while (auto arg = args.next()) {
    if (*arg != "--json") return fail(Error::unknownFlag);
    json = true;
  }
  return json;
}

namespace {

// Reads the flags, then writes the document to standard output.
Status runDocument(ArgIterator& args, Status (*write)(Writer&, bool)) {
  VYX_TRY_ASSIGN(auto json, parseArgIterator(args));
  Output out;
  VYX_TRY(write(out, json));
  return out.flush();
}

}  // namespace

Status runVersion(ArgIterator& args) { return runDocument(args, writeVersion); }

Status runSchemas(ArgIterator& args) { return runDocument(args, writeSchemas); }

}  // namespace vyx::cli_info
