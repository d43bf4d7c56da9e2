#pragma once
// The read-only look at an app checkout (configuration, agent
// instructions, the platform sections and their smoke scenarios) with a
// readiness status and, in JSON, the commands to run next.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/args.hpp"
#include "core/config.hpp"
#include "core/errors.hpp"
#include "core/writer.hpp"

namespace vyx::cli_readiness {

struct PlatformReadiness {
  std::string_view name;  // "android" or "ios"
  bool enabled = false;
  std::optional<std::string> defaultDevice{};
  std::optional<std::string> smokeScenario{};  // resolved against the checkout directory
  bool smokeScenarioExists = false;
  std::optional<std::string> traceDir{};       // as configured
};

struct CheckoutReadiness {
  std::string dir{};
  std::string configPath{};
  std::string agentInstructionsPath{};
  bool configExists = false;
  bool agentInstructionsExists = false;
  bool ok = false;  // the configuration was loaded: status "ready"
  std::vector<PlatformReadiness> platforms{};

  std::string_view status() const { return ok ? "ready" : "needs-setup"; }
};

Status run(ArgIterator& args);

// Looks at the directory (and the configuration path when given); fails only
// when a present configuration cannot be loaded.
Expected<CheckoutReadiness> readiness(const std::string& dir, const std::optional<std::string>& configPath);

// One shell word inside a JSON string: bare when every byte is a letter, a
// digit or one of - . / : = _, else single-quoted with each single quote
// written as '"'"'; the empty text as ''.
Status writeShellArgJsonContent(Writer& w, std::string_view text);

Status writeJson(Writer& w, const CheckoutReadiness& checkout);
Status writeText(Writer& w, const CheckoutReadiness& checkout);

}  // namespace vyx::cli_readiness
