#include "authoring/cli_readiness.hpp"

#include "core/files.hpp"
#include "core/json_writer.hpp"
#include "core/paths.hpp"
#include "core/trace_json.hpp"
#include "core/version.hpp"

namespace vyx::cli_readiness {

namespace {

constexpr std::string_view kClaimsPolicy[] = {
    "verify runs with trace evidence before making readiness claims",
    "do not claim Flutter widget-tree inspection",
};
constexpr std::string_view kLimitations[] = {
    "inspect is read-only and does not launch devices",
    "autonomous crawling is not shipped; generate or edit scenarios for human review",
};

bool isSafeByte(char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return c == '-' || c == '.' || c == '/' || c == ':' || c == '=' || c == '_';
}

std::string shellText(std::string_view text) {
  if (text.empty()) return "''";
  bool safe = true;
  for (char c : text) safe = safe && isSafeByte(c);
  if (safe) return std::string(text);
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\"'\"'";
    } else {
      out += c;
    }
  }
  out += '\'';
  return out;
}

// A JSON string holding `prefix`, the text as a shell word, and `suffix`.
Status writeCommand(Writer& w, std::string_view prefix, std::string_view arg, std::string_view suffix) {
  VYX_TRY(w.writeByte('"'));
  VYX_TRY(trace_json::writeJsonStringContent(w, prefix));
  VYX_TRY(writeShellArgJsonContent(w, arg));
  VYX_TRY(trace_json::writeJsonStringContent(w, suffix));
  return w.writeByte('"');
}

PlatformReadiness platformEntry(std::string_view name, const PlatformConfig& section, const std::string& dir) {
  PlatformReadiness p;
  p.name = name;
  p.enabled = section.enabled;
  p.defaultDevice = section.defaultDevice;
  p.traceDir = section.traceDir;
  if (section.smokeScenario) {
    const std::string& smoke = *section.smokeScenario;
    // Relative smoke scenarios are taken from the checkout directory, not
    // from the directory that holds the configuration file.
    p.smokeScenario = smoke.starts_with('/') ? smoke : paths::joinOnce(dir, smoke);
    p.smokeScenarioExists = files::exists(*p.smokeScenario);
  }
  return p;
}

Status writePlatformJson(Writer& w, const PlatformReadiness& p) {
  auto opt = [](const std::optional<std::string>& s) -> std::optional<std::string_view> {
    if (!s) return std::nullopt;
    return std::string_view(*s);
  };
  return JsonObjectWriter(w)
      .str("name", p.name)
      .flag("enabled", p.enabled)
      .strOrNull("defaultDevice", opt(p.defaultDevice))
      .strOrNull("smokeScenario", opt(p.smokeScenario))
      .flag("smokeScenarioExists", p.smokeScenarioExists)
      .strOrNull("traceDir", opt(p.traceDir))
      .finish();
}

Status writeRecommended(Writer& w, const CheckoutReadiness& in) {
  JsonArrayWriter list(w);
  if (!in.configExists) {
    list.value([&](Writer& out) { return writeCommand(out, "vyx init --app --dir ", in.dir, ""); });
    return list.finish();
  }
  list.value([&](Writer& out) {
    return writeCommand(out, "vyx doctor --strict --json --config ", in.configPath, "");
  });
  list.str("vyx schemas --json");
  for (const PlatformReadiness& p : in.platforms) {
    if (!p.enabled || !p.smokeScenario) continue;
    list.value([&](Writer& out) { return writeCommand(out, "vyx validate --json ", *p.smokeScenario, ""); });
  }
  list.value([&](Writer& out) {
    return writeCommand(out, "vyx serve --transport stdio --config ", in.configPath, " --trace-dir traces/vyx-agent");
  });
  list.value([&](Writer& out) {
    return writeCommand(out, "vyx mcp --config ", in.configPath, " --trace-dir traces/vyx-agent");
  });
  return list.finish();
}

}  // namespace

Status writeShellArgJsonContent(Writer& w, std::string_view text) {
  return trace_json::writeJsonStringContent(w, shellText(text));
}

Expected<CheckoutReadiness> readiness(const std::string& dir, const std::optional<std::string>& configPath) {
  CheckoutReadiness in;
  in.dir = dir;
  in.configPath = configPath ? *configPath : paths::joinOnce(dir, ".vyx/config.json");
  in.agentInstructionsPath = paths::joinOnce(dir, ".vyx/AGENTS.md");
  in.configExists = files::exists(in.configPath);
  in.agentInstructionsExists = files::exists(in.agentInstructionsPath);
  if (in.configExists) {
    VYX_TRY_ASSIGN(auto config, config::parseFile(in.configPath));
    in.platforms.push_back(platformEntry("android", config.android, dir));
    in.platforms.push_back(platformEntry("ios", config.ios, dir));
    in.ok = true;
  }
  return in;
}

Status writeJson(Writer& w, const CheckoutReadiness& in) {
  JsonObjectWriter doc(w);
  doc.flag("ok", in.ok)
      .str("status", in.status())
      .num("schemaVersion", 1)
      .str("runnerVersion", version::kRunner)
      .str("protocolVersion", version::kProtocol)
      .str("dir", in.dir)
      .str("configPath", in.configPath)
      .flag("configExists", in.configExists)
      .str("agentInstructionsPath", in.agentInstructionsPath)
      .flag("agentInstructionsExists", in.agentInstructionsExists);
  doc.value("platforms", [&](Writer& out) {
    JsonArrayWriter list(out);
    for (const PlatformReadiness& p : in.platforms) list.value([&](Writer& o) { return writePlatformJson(o, p); });
    return list.finish();
  });
  doc.value("recommendedCommands", [&](Writer& out) { return writeRecommended(out, in); });
  doc.value("claimsPolicy", [](Writer& out) {
    JsonArrayWriter list(out);
    for (std::string_view s : kClaimsPolicy) list.str(s);
    return list.finish();
  });
  doc.value("limitations", [](Writer& out) {
    JsonArrayWriter list(out);
    for (std::string_view s : kLimitations) list.str(s);
    return list.finish();
  });
  VYX_TRY(doc.finish());
  return w.writeByte('\n');
}

Status writeText(Writer& w, const CheckoutReadiness& in) {
  std::string text = "status\t";
  text += in.status();
  text += "\nconfig\t";
  text += in.configExists ? "ok\t" : "missing\t";
  text += in.configPath;
  text += "\nagentInstructions\t";
  text += in.agentInstructionsExists ? "ok\t" : "missing\t";
  text += in.agentInstructionsPath;
  text += '\n';
  for (const PlatformReadiness& p : in.platforms) {
    text += p.name;
    text += p.enabled ? "\tenabled" : "\tdisabled";
    if (p.smokeScenario) {
      text += '\t';
      text += *p.smokeScenario;
    }
    text += '\n';
  }
  return w.writeAll(text);
}

Status run(ArgIterator& args) {
  bool json = false;
  std::string dir = ".";
  std::optional<std::string> configPath;
  while (auto arg = args.next()) {
    if (*arg == "--json") {
      json = true;
    } else if (*arg == "--dir" || *arg == "--config") {
      auto value = args.next();
      if (!value) return fail(Error::MissingParam);
      if (*arg == "--dir") {
        dir = *value;
      } else {
        configPath = std::string(*value);
      }
    } else {
      return fail(Error::unknownFlag);
    }
  }
  VYX_TRY_ASSIGN(auto found, readiness(dir, configPath));
  Output out;
  VYX_TRY(json ? writeJson(out, found) : writeText(out, found));
  return out.flush();
}

}  // namespace vyx::cli_readiness
