#include "authoring/cli_init.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/output_file.hpp"
#include "authoring/scaffold.hpp"
#include "core/cli_output.hpp"
#include "core/files.hpp"
#include "core/json_writer.hpp"
#include "core/paths.hpp"
#include "core/run_options.hpp"
#include "core/writer.hpp"

namespace vyx::cli_init {

namespace {

constexpr std::string_view kDefaultScenarioPath = "vyx-scenario.json";

struct Options {
  std::string appId{kPlaceholderAppId};
  std::string dir = ".";
  std::optional<std::string> scenarioPath{};
  bool app = false;
  bool force = false;
  bool json = false;
};

Expected<Options> parseArgs(ArgIterator& args) {
  Options o;
  while (auto arg = args.next()) {
    if (*arg == "--app-id") {
      VYX_TRY(takeValue(args, Error::MissingAppId, o.appId));
    } else if (*arg == "--dir") {
      VYX_TRY(takeValue(args, Error::MissingDirectory, o.dir));
    } else if (*arg == "--app") {
      o.app = true;
    } else if (*arg == "--force") {
      o.force = true;
    } else if (*arg == "--json") {
      o.json = true;
    } else if (arg->starts_with("--") || o.scenarioPath || o.app) {
      return fail(Error::unknownFlag);
    } else {
      o.scenarioPath = std::string(*arg);
    }
  }
  // The configuration loader refuses an empty app id, so app mode would
  // write a project that none of the other commands can read.
  if (o.app && o.appId.empty()) return fail(Error::MissingAppId);
  return o;
}

std::string shellWord(std::string_view value) {
  StringWriter w;
  (void)cli_output::writeShellArg(w, value);
  return w.take();
}

// The directory and a relative path as one shell word.
std::string joinedWord(std::string_view dir, std::string_view file) {
  StringWriter w;
  (void)cli_output::writeJoinedPathShellArg(w, dir, file);
  return w.take();
}

Status runScenario(const Options& o) {
  const std::string path = o.scenarioPath ? *o.scenarioPath : std::string(kDefaultScenarioPath);
  if (!o.force) {
    VYX_TRY_ASSIGN(auto exists, scaffold::pathExists(path));
    if (exists) return fail(Error::PathAlreadyExists);
  }
  VYX_TRY(output_file::writeWhole(path, scaffold::scenarioText(scaffold::kStarterScenarioName, o.appId), o.force));

  const std::string word = shellWord(path);
  Output out;
  if (o.json) {
    JsonObjectWriter doc(out);
    doc.flag("ok", true).str("mode", "scenario").str("appId", o.appId);
    doc.value("created", [&](Writer& w) { return JsonArrayWriter(w).str(path).finish(); });
    doc.str("next", "vyx validate " + word);
    doc.value("nextCommands", [&](Writer& w) {
      return JsonArrayWriter(w)
          .str("vyx validate --json " + word)
          .str("vyx run " + word + " --json --trace-dir traces/vyx-run")
          .finish();
    });
    VYX_TRY(doc.finish());
    VYX_TRY(out.writeByte('\n'));
  } else {
    VYX_TRY(out.writeAll("created " + path + "\nnext: vyx validate " + word + "\n"));
  }
  return out.flush();
}

// The five files of app mode, relative to the app root, with the member
// that names each in the JSON result.
struct AppFile {
  std::string_view relPath;
  std::string_view member;
};
constexpr AppFile kAppFiles[] = {
    {".vyx/config.json", "configPath"},
    {".vyx/android-smoke.json", "androidScenarioPath"},
    {".vyx/ios-smoke.json", "iosScenarioPath"},
    {".vyx/device-matrix.json", "deviceMatrixPath"},
    {".vyx/AGENTS.md", "agentInstructionsPath"},
};

Status writeAppFiles(const Options& o) {
  const std::string vyxDir = paths::joinOnce(o.dir, ".vyx");
  VYX_TRY(files::makePath(vyxDir));
  VYX_TRY(output_file::writeWhole(paths::joinOnce(vyxDir, "config.json"), scaffold::configText(o.appId), true));
  VYX_TRY(scaffold::writePlatformSmoke(paths::joinOnce(vyxDir, "android-smoke.json"), scaffold::kAndroidSmokeName,
                                       o.appId, o.force));
  VYX_TRY(scaffold::writePlatformSmoke(paths::joinOnce(vyxDir, "ios-smoke.json"), scaffold::kIosSmokeName, o.appId,
                                       o.force));
  VYX_TRY(output_file::writeWhole(paths::joinOnce(vyxDir, "device-matrix.json"),
                                    scaffold::deviceMatrixText(o.appId), true));
  VYX_TRY(output_file::writeWhole(paths::joinOnce(vyxDir, "AGENTS.md"), scaffold::agentInstructionsText(o.appId),
                                    true));
  return scaffold::updateGitignore(paths::joinOnce(o.dir, ".gitignore"));
}

Status writeAppJson(Writer& out, const Options& o, const std::string& doctorCommand) {
  JsonObjectWriter doc(out);
  doc.flag("ok", true).str("mode", "app").str("dir", o.dir).str("appId", o.appId);
  doc.value("created", [&](Writer& w) {
    JsonArrayWriter list(w);
    for (const AppFile& f : kAppFiles) list.str(paths::joinOnce(o.dir, f.relPath));
    return list.finish();
  });
  for (const AppFile& f : kAppFiles) doc.str(f.member, paths::joinOnce(o.dir, f.relPath));
  doc.str("next", doctorCommand);
  doc.value("nextCommands", [&](Writer& w) {
    return JsonArrayWriter(w)
        .str(doctorCommand)
        .str("vyx schemas --json")
        .str("vyx validate --json " + joinedWord(o.dir, ".vyx/android-smoke.json"))
        .str("vyx validate --json " + joinedWord(o.dir, ".vyx/ios-smoke.json"))
        .finish();
  });
  doc.value("smokeCommands", [&](Writer& w) {
    return JsonArrayWriter(w)
        .str("vyx run " + joinedWord(o.dir, ".vyx/android-smoke.json") + " --device emulator-5554 --trace-dir " +
             joinedWord(o.dir, "traces/vyx-android"))
        .str("vyx run " + joinedWord(o.dir, ".vyx/ios-smoke.json") + " --platform ios --device booted --trace-dir " +
             joinedWord(o.dir, "traces/vyx-ios"))
        .finish();
  });
  const std::vector<scaffold::Script> list = scaffold::scripts(o.appId);
  doc.unum("scriptCount", list.size());
  doc.value("scriptNames", [&](Writer& w) {
    JsonArrayWriter names(w);
    for (const scaffold::Script& s : list) names.str(s.name);
    return names.finish();
  });
  VYX_TRY(doc.finish());
  return out.writeByte('\n');
}

Status runApp(const Options& o) {
  VYX_TRY(writeAppFiles(o));
  const std::string doctorCommand =
      "vyx doctor --strict --json --config " + joinedWord(o.dir, ".vyx/config.json");
  Output out;
  if (o.json) {
    VYX_TRY(writeAppJson(out, o, doctorCommand));
  } else {
    std::string text;
    for (const AppFile& f : kAppFiles) text += "created " + paths::joinOnce(o.dir, f.relPath) + "\n";
    text += "next: " + doctorCommand + "\n";
    VYX_TRY(out.writeAll(text));
  }
  return out.flush();
}

}  // namespace

Status run(ArgIterator& args) {
  VYX_TRY_ASSIGN(auto options, parseArgs(args));
  return options.app ? runApp(options) : runScenario(options);
}

}  // namespace vyx::cli_init
