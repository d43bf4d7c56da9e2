#include "core/cli_validate.hpp"

#include <cstdlib>
#include <optional>
#include <string>

#include "core/cli_output.hpp"

namespace vyx::cli_validate {

Status writeText(Writer& w, std::string_view scenarioPath, const validation::Result& r) {
  VYX_TRY(w.writeAll(scenarioPath));
  if (r.ok) {
    VYX_TRY(w.writeAll(": ok ("));
    VYX_TRY(w.writeAll(r.name ? std::string_view(*r.name) : std::string_view()));
    VYX_TRY(w.writeAll(", "));
    VYX_TRY(w.writeUint(r.stepCount));
    return w.writeAll(" steps)\n");
  }
  VYX_TRY(w.writeAll(": invalid ["));
  VYX_TRY(w.writeAll(r.code));
  VYX_TRY(w.writeAll("] "));
  VYX_TRY(w.writeAll(r.message));
  if (r.path) {
    VYX_TRY(w.writeAll(" at "));
    VYX_TRY(w.writeAll(*r.path));
  }
  if (r.line) {
    VYX_TRY(w.writeAll(" line "));
    VYX_TRY(w.writeUint(*r.line));
    if (r.column) {
      VYX_TRY(w.writeAll(" column "));
      VYX_TRY(w.writeUint(*r.column));
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
