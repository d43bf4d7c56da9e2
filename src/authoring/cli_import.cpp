#include "authoring/cli_import.hpp"

#include <optional>
#include <string>
#include <vector>

#include "authoring/importer.hpp"
#include "core/cli_output.hpp"
#include "core/json_writer.hpp"
#include "core/writer.hpp"

namespace vyx::cli_import {

namespace {

struct Args {
  std::optional<std::string_view> format;
  std::optional<std::string_view> path;
  std::optional<std::string_view> out;
  importer::ImportOptions options;
  bool json = false;
};

Expected<Args> parseArgs(ArgIterator& it) {
  std::vector<std::string_view> all;
  while (auto a = it.next()) all.push_back(*a);
  if (all.empty()) return fail(Error::MissingImportFormat);

  Args args;
  for (size_t i = 0; i < all.size(); ++i) {
    std::string_view a = all[i];
    // A value flag takes the next argument, whatever it looks like.
    auto value = [&]() -> std::optional<std::string_view> {
      if (i + 1 >= all.size()) return std::nullopt;
      return all[++i];
    };
    if (a == "--out") {
      args.out = value();
      if (!args.out) return fail(Error::MissingImportOut);
    } else if (a == "--name") {
      args.options.name = value();
      if (!args.options.name) return fail(Error::MissingImportName);
    } else if (a == "--app-id") {
      args.options.appId = value();
      if (!args.options.appId) return fail(Error::MissingAppId);
    } else if (a == "--force") {
      args.options.force = true;
    } else if (a == "--json") {
      args.json = true;
    } else if (a.size() >= 2 && a.starts_with("--")) {
      return fail(Error::unknownFlag);
    } else if (!args.format) {
      args.format = a;
    } else if (!args.path) {
      args.path = a;
    } else {
      return fail(Error::unknownFlag);
    }
  }
  if (!args.format) return fail(Error::MissingImportFormat);
  if (!args.path) return fail(Error::MissingImportPath);
  if (!args.out) return fail(Error::MissingImportOut);
  if (*args.format != "flow-yaml") return fail(Error::UnsupportedImportFormat);
  return args;
}

// A quoted JSON string made of a fixed prefix, the shell-quoted path and a
// fixed suffix.
Status writeCommandJson(Writer& w, std::string_view prefix, std::string_view path, std::string_view suffix) {
  VYX_TRY(w.writeByte('"'));
  VYX_TRY(w.writeAll(prefix));
  VYX_TRY(cli_output::writeShellArgJsonContent(w, path));
  VYX_TRY(w.writeAll(suffix));
  return w.writeByte('"');
}

Status writeJsonResult(Writer& w, const Args& args, const importer::ImportResult& r) {
  JsonObjectWriter o(w);
  o.flag("ok", true)
      .str("format", *args.format)
      .str("source", *args.path)
      .str("out", r.out)
      .str("name", r.name)
      .strOrNull("appId", r.appId)
      .unum("stepCount", r.stepCount)
      .value("next", [&](Writer& out) { return writeCommandJson(out, "vyx validate ", r.out, ""); })
      .value("nextCommands", [&](Writer& out) {
        JsonArrayWriter a(out);
        a.value([&](Writer& x) { return writeCommandJson(x, "vyx validate --json ", r.out, ""); });
        a.value([&](Writer& x) {
          return writeCommandJson(x, "vyx run ", r.out, " --json --trace-dir traces/vyx-run");
        });
        return a.finish();
      });
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

Status writeTextResult(Writer& w, const importer::ImportResult& r) {
  VYX_TRY(w.writeAll("wrote "));
  VYX_TRY(w.writeAll(r.out));
  VYX_TRY(w.writeAll("\nnext: vyx validate "));
  VYX_TRY(cli_output::writeShellArg(w, r.out));
  return w.writeByte('\n');
}

}  // namespace

Status run(ArgIterator& it) {
  VYX_TRY_ASSIGN(auto args, parseArgs(it));
  auto result = importer::importFlowYamlFile(std::string(*args.path), std::string(*args.out), args.options);
  if (!result) return fail(result.error().error);
  Output out;
  Status written = args.json ? writeJsonResult(out, args, *result) : writeTextResult(out, *result);
  if (!written) return fail(Error::WriteFailed);
  return out.flush();
}

}  // namespace vyx::cli_import
