#include "authoring/scaffold.hpp"

#include <unistd.h>

#include <cerrno>

#include "authoring/output_file.hpp"
#include "core/cli_output.hpp"
#include "core/files.hpp"
#include "core/trace_json.hpp"
#include "core/writer.hpp"

namespace vyx::scaffold {

namespace {

// The writers below only write into strings, which cannot fail.
std::string shellWord(std::string_view value) {
  StringWriter w;
  (void)cli_output::writeShellArg(w, value);
  return w.take();
}

std::string jsonString(std::string_view value) {
  StringWriter w;
  (void)trace_json::writeJsonString(w, value);
  return w.take();
}

// Lines of the agent instructions that repeat a script's command.
const std::string& commandOf(const std::vector<Script>& list, std::string_view name) {
  for (const Script& s : list) {
    if (s.name == name) return s.command;
  }
  static const std::string kNone;
  return kNone;
}

}  // namespace

std::vector<Script> scripts(std::string_view appId) {
  const std::string word = shellWord(appId);
  std::vector<Script> list;
  list.reserve(16);
  list.push_back({"doctor", "vyx doctor --strict --json --config .vyx/config.json"});
  list.push_back({"schemas", "vyx schemas --json"});
  list.push_back(
      {"validate", "vyx validate --json .vyx/android-smoke.json && vyx validate --json .vyx/ios-smoke.json"});
  list.push_back({"android", "vyx run .vyx/android-smoke.json --device emulator-5554 --trace-dir traces/vyx-android"});
  list.push_back({"androidReport",
                  "vyx report traces/vyx-android --out traces/vyx-android/report.html --junit "
                  "traces/vyx-android/junit.xml"});
  list.push_back({"androidReliability",
                  "export VYX_BIN=\"${VYX_BIN:-vyx}\"; vyx-benchmark --vyx .vyx/android-smoke.json --device "
                  "emulator-5554 --app-id " +
                      word +
                      " --runs 20 --trace-root traces/vyx-android-reliability --min-pass-rate 100 --max-failures 0 "
                      "--max-p95-ms 30000 && \"$VYX_BIN\" report traces/vyx-android-reliability --out "
                      "traces/vyx-android-reliability/report.html --junit traces/vyx-android-reliability/junit.xml"});
  list.push_back({"ios", "vyx run .vyx/ios-smoke.json --platform ios --device booted --trace-dir traces/vyx-ios"});
  list.push_back(
      {"iosReport", "vyx report traces/vyx-ios --out traces/vyx-ios/report.html --junit traces/vyx-ios/junit.xml"});
  list.push_back({"iosReliability",
                  "export VYX_BIN=\"${VYX_BIN:-vyx}\"; vyx-benchmark --vyx .vyx/ios-smoke.json --platform ios "
                  "--device booted --app-id " +
                      word +
                      " --xcrun xcrun --runs 20 --trace-root traces/vyx-ios-reliability --min-pass-rate 100 "
                      "--max-failures 0 --max-p95-ms 45000 && \"$VYX_BIN\" report traces/vyx-ios-reliability --out "
                      "traces/vyx-ios-reliability/report.html --junit traces/vyx-ios-reliability/junit.xml"});
  list.push_back({"matrix",
                  "VYX_BIN=${VYX_BIN:-vyx} vyx-device-matrix --matrix .vyx/device-matrix.json --trace-root "
                  "traces/vyx-matrix --min-pass-rate 100 --max-failures 0"});
  list.push_back({"pilotGate", "vyx-pilot-gate --android --ios --android-app-root . --android-app-id " + word +
                                   " --android-device emulator-5554 --ios-app-root . --ios-app-path "
                                   "./build/Debug-iphonesimulator/Sample.app --ios-app-id " +
                                   word +
                                   " --ios-device booted --runs 20 --min-pass-rate 100 --max-failures 0 "
                                   "--evidence-out traces/vyx-pilots/evidence.jsonl"});
  list.push_back(
      {"readiness", "vyx-release-readiness --evidence traces/vyx-pilots/evidence.jsonl --target production --json"});
  list.push_back({"serve", "vyx serve --transport stdio --config .vyx/config.json --trace-dir traces/vyx-agent"});
  list.push_back({"mcp", "vyx mcp --config .vyx/config.json --trace-dir traces/vyx-agent"});
  list.push_back({"explain", "vyx explain traces/vyx-agent --json"});
  list.push_back({"exportTrace", "vyx export traces/vyx-agent --out traces/vyx-agent-redacted.vyxtrace --redact"});
  return list;
}

std::string scenarioText(std::string_view name, std::string_view appId) {
  std::string out = "{\n  \"name\": ";
  out += jsonString(name);
  out += ",\n  \"appId\": ";
  out += jsonString(appId);
  out +=
      ",\n"
      "  \"steps\": [\n"
      "    { \"action\": \"launch\" },\n"
      "    { \"action\": \"assertHealthy\" },\n"
      "    { \"action\": \"snapshot\" }\n"
      "  ]\n"
      "}\n";
  return out;
}

std::string configText(std::string_view appId) {
  std::string out =
      "{\n"
      "  \"schemaVersion\": 1,\n"
      "  \"appId\": ";
  out += jsonString(appId);
  out +=
      ",\n"
      "  \"android\": {\n"
      "    \"enabled\": true,\n"
      "    \"defaultDevice\": \"emulator-5554\",\n"
      "    \"smokeScenario\": \".vyx/android-smoke.json\",\n"
      "    \"traceDir\": \"traces/vyx-android\"\n"
      "  },\n"
      "  \"ios\": {\n"
      "    \"enabled\": true,\n"
      "    \"defaultDevice\": \"booted\",\n"
      "    \"smokeScenario\": \".vyx/ios-smoke.json\",\n"
      "    \"traceDir\": \"traces/vyx-ios\"\n"
      "  },\n"
      "  \"artifacts\": {\n"
      "    \"screenshots\": true,\n"
      "    \"hierarchy\": true,\n"
      "    \"logs\": true,\n"
      "    \"screenRecording\": false\n"
      "  },\n"
      "  \"scripts\": {\n";
  const std::vector<Script> list = scripts(appId);
  for (size_t i = 0; i < list.size(); ++i) {
    out += "    ";
    out += jsonString(list[i].name);
    out += ": ";
    out += jsonString(list[i].command);
    out += i + 1 < list.size() ? ",\n" : "\n";
  }
  out +=
      "  }\n"
      "}\n";
  return out;
}

std::string deviceMatrixText(std::string_view appId) {
  std::string out =
      "{\n"
      "  \"runs\": 1,\n"
      "  \"appId\": ";
  out += jsonString(appId);
  out +=
      ",\n"
      "  \"devices\": [\n"
      "    {\n"
      "      \"name\": \"android-emulator\",\n"
      "      \"platform\": \"android\",\n"
      "      \"serial\": \"emulator-5554\",\n"
      "      \"scenario\": \".vyx/android-smoke.json\",\n"
      "      \"adb\": \"adb\"\n"
      "    },\n"
      "    {\n"
      "      \"name\": \"ios-simulator\",\n"
      "      \"platform\": \"ios\",\n"
      "      \"iosDeviceType\": \"simulator\",\n"
      "      \"serial\": \"booted\",\n"
      "      \"scenario\": \".vyx/ios-smoke.json\",\n"
      "      \"xcrun\": \"xcrun\"\n"
      "    }\n"
      "  ]\n"
      "}\n";
  return out;
}

std::string agentInstructionsText(std::string_view appId) {
  const std::vector<Script> list = scripts(appId);
  auto cmd = [&](std::string_view name) -> const std::string& { return commandOf(list, name); };
  const std::string_view kInspect = "vyx inspect --json --dir .";
  const std::string_view kDiscoverReplay =
      "vyx discover --from-trace traces/vyx-agent --out .vyx/discovered/replay-smoke.json --include-actions "
      "--validate --json";

  std::string out;
  auto line = [&out](std::string_view text) {
    out += text;
    out += '\n';
  };
  line("# VYX Agent Instructions");
  line("");
  out += "App id: `";
  out += appId;
  line("`");
  line("");
  line("Start from the app checkout. Keep generated scenarios and config under `.vyx/`, and write run output under "
       "`traces/`.");
  line("");
  line("## Setup Checks");
  line("");
  line("```bash");
  line(kInspect);
  line(cmd("doctor"));
  line(cmd("schemas"));
  line(cmd("validate"));
  line("```");
  line("");
  line("## Interactive Agent Session");
  line("");
  line("```bash");
  line(cmd("serve"));
  line(cmd("mcp"));
  line("```");
  line("");
  line("Use `semantic_snapshot` before choosing tap or type actions. Prefer selectors from accessibility "
       "identifiers, resource ids, labels, or exact text before coordinates. Export redacted traces before sharing "
       "artifacts.");
  line("");
  line("## Discover From Trace");
  line("");
  line("```bash");
  line("vyx explore --from-trace traces/vyx-agent --out .vyx/discovered/login-smoke.json --goal \"find a stable "
       "login smoke\" --include-actions --validate --json");
  line(kDiscoverReplay);
  line("vyx draft --from-trace traces/vyx-agent --out .vyx/discovered/surface-smoke.json --json");
  line("vyx validate --json .vyx/discovered/surface-smoke.json");
  line("vyx draft --from-trace traces/vyx-agent --out .vyx/discovered/replay-smoke.json --include-actions --json");
  line("vyx validate --json .vyx/discovered/replay-smoke.json");
  line("```");
  line("");
  line("Prefer `vyx explore` for CLI agent loops when the goal should travel with the generated candidate. Its JSON "
       "includes `autonomous:false`, `reviewRequired:true`, `guardrails`, replay coverage, validation, and "
       "deterministic next commands. Treat discover output as a lower-level reviewable starting point. It writes "
       "from trace evidence and validates the generated file when `--validate` is present, but it does not crawl, "
       "invent missing actions, discover credentials, or commit tests. Treat draft output as a reviewable starting "
       "point when using the lower-level split workflow. The default draft contains only `launch`, `snapshot`, and "
       "conservative `assertVisible` checks. Use `--include-actions` only when the trace came from a reviewed agent "
       "session; unsupported events are skipped with warnings instead of guessed. Do not commit a discovered or "
       "drafted scenario until a human has reviewed and rerun it.");
  line("");
  line("## Failure Triage");
  line("");
  line("```bash");
  line(cmd("explain"));
  line("```");
  line("");
  line("Use the JSON explanation before editing selectors. It includes the terminal status, partial visual-capture "
       "diagnostics, and the last useful failure context.");
  line("");
  line("## Trace Sharing");
  line("");
  line("```bash");
  line(cmd("exportTrace"));
  line("```");
  line("");
  line("Add `--omit-screenshots` when visual artifacts may contain sensitive data.");
  line("");
  line("## Direct Smoke Runs");
  line("");
  line("```bash");
  for (std::string_view name : {"android", "androidReport", "androidReliability", "ios", "iosReport", "iosReliability"}) {
    line(cmd(name));
  }
  line("```");
  line("");
  line("## Release Claims");
  line("");
  line("```bash");
  line(cmd("readiness"));
  line("```");
  line("");
  line("Do not claim production readiness from smoke runs alone. Use `satisfied` for proven requirements; do not "
       "infer readiness from raw `passed` evidence. Use `recommendedWording` and keep `claimLimitations` intact when "
       "summarizing readiness. When readiness is blocked, follow `nextSteps[].commands` in order.");
  line("");
  line("## App Commands");
  line("");
  line("```bash");
  line(kInspect);
  // The scripts in their order, with the replay discovery before "explain".
  for (const Script& s : list) {
    if (s.name == "explain") line(kDiscoverReplay);
    line(s.command);
  }
  line("```");
  return out;
}

Expected<bool> pathExists(const std::string& path) {
  if (::access(path.c_str(), F_OK) == 0) return true;
  if (errno == ENOENT) return false;
  return fail(errorFromErrno(errno, Error::Unexpected));
}

Status writePlatformSmoke(const std::string& path, std::string_view name, std::string_view appId, bool force) {
  if (!force) {
    VYX_TRY_ASSIGN(auto exists, pathExists(path));
    if (exists) return {};
  }
  return output_file::writeWhole(path, scenarioText(name, appId), force);
}

Status updateGitignore(const std::string& path) {
  std::string old;
  if (auto text = files::readFileLimited(path, kMaxGitignoreBytes + 1)) {
    old = std::move(*text);
  } else if (text.error() != Error::FileNotFound) {
    return fail(text.error());
  }
  if (old.find(kGitignoreMarker) != std::string::npos) return {};
  std::string addition;
  if (!old.empty()) addition = old.back() == '\n' ? "\n" : "\n\n";
  addition += kGitignoreBlock;
  // Appending gives the same bytes as rewriting the file with its old text
  // first, without ever truncating what the user wrote.
  return files::appendWithinLimit(path, addition, kMaxGitignoreBytes + 1);
}

}  // namespace vyx::scaffold
