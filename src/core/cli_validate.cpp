#include "core/cli_validate.hpp"

#include <cstdlib>
#include <optional>
#include <string>

#include "core/cli_output.hpp"

namespace vyx::cli_validate {

Status writeText(Writer& w, std::string_view scenarioPath, const validation::Result& r) {
  if (auto s = w.writeAll(scenarioPath); !s) return s;
  if (r.ok) {
    if (auto s = w.writeAll(": ok ("); !s) return s;
    if (auto s = w.writeAll(r.name ? std::string_view(*r.name) : std::string_view()); !s) return s;
    if (auto s = w.writeAll(", "); !s) return s;
    if (auto s = w.writeUint(r.stepCount); !s) return s;
    return w.writeAll(" steps)\n");
  }
  if (auto s = w.writeAll(": invalid ["); !s) return s;
  if (auto s = w.writeAll(r.code); !s) return s;
  if (auto s = w.writeAll("] "); !s) return s;
  if (auto s = w.writeAll(r.message); !s) return s;
  if (r.path) {
    if (auto s = w.writeAll(" at "); !s) return s;
    if (auto s = w.writeAll(*r.path); !s) return s;
  }
  if (r.line) {
    if (auto s = w.writeAll(" line "); !s) return s;
    if (auto s = w.writeUint(*r.line); !s) return s;
    if (r.column) {
      if (auto s = w.writeAll(" column "); !s) return s;
      if (auto s = w.writeUint(*r.column); !s) return s;
    }
  }
  return w.writeAll("\n");
}

Status run(ArgIterator& args) {
  bool json = false;
  std::optional<std::string> path;
  while (auto arg = args.next()) {
    if (*arg == "--json") {
      json = true;
    } else if (arg->starts_with("--")) {
      return fail(Error::unknownFlag);
    } else if (path) {
      return fail(Error::unknownFlag);
    } else {
      path = std::string(*arg);
    }
  }
  if (!path) return fail(Error::MissingScenarioPath);

  validation::Result result = validation::validateFile(*path);
  Output out;
  Status written = json ? cli_output::writeValidationJson(out, *path, result)
                        : writeText(out, *path, result);
  if (written) written = out.flush();
  if (!written) return written;
  if (!result.ok) std::_Exit(1);
  return {};
}

}  // namespace vyx::cli_validate
