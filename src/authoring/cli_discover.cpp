#include "authoring/cli_discover.hpp"

#include <cstdlib>

#include "authoring/discover.hpp"
#include "authoring/draft_flags.hpp"
#include "core/writer.hpp"

namespace vyx::cli_discover {

namespace {

Status writeText(Writer& w, const discover::OwnedDiscover& result) {
  const std::string& path = result.draft.out;
  VYX_TRY(w.writeAll("wrote "));
  VYX_TRY(w.writeAll(path));
  VYX_TRY(w.writeByte('\n'));
  if (result.validation) {
    VYX_TRY(w.writeAll(result.validation->ok ? "validated " : "validation failed "));
    VYX_TRY(w.writeAll(path));
    VYX_TRY(w.writeByte('\n'));
  }
  return discover::writeNextLine(w, path);
}

}  // namespace

Status run(ArgIterator& args) {
  VYX_TRY_ASSIGN(auto flags, draft_flags::parse(args, {.validate = true}));
  VYX_TRY_ASSIGN(auto result, discover::discoverFromTrace(flags.options));

  Output out;
  Status written = flags.options.json ? discover::writeJsonWithOptions(out, result, discover::kDiscoverForm)
                                       : writeText(out, result);
  if (!written) return fail(Error::WriteFailed);
  VYX_TRY(out.flush());
  if (!result.ok) std::_Exit(1);
  return {};
}

}  // namespace vyx::cli_discover
