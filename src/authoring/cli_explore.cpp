#include "authoring/cli_explore.hpp"

#include <cstdlib>

#include "authoring/discover.hpp"
#include "authoring/draft_flags.hpp"
#include "core/writer.hpp"

namespace vyx::cli_explore {

namespace {

Status writeText(Writer& w, const discover::OwnedDiscover& result, const std::optional<std::string>& goal) {
  VYX_TRY(w.writeAll("wrote "));
  VYX_TRY(w.writeAll(result.draft.out));
  VYX_TRY(w.writeByte('\n'));
  if (goal) {
    VYX_TRY(w.writeAll("goal: "));
    VYX_TRY(w.writeAll(*goal));
    VYX_TRY(w.writeByte('\n'));
  }
  VYX_TRY(w.writeAll("review required: true\n"));
  return discover::writeNextLine(w, result.draft.out);
}

}  // namespace

Status run(ArgIterator& args) {
  VYX_TRY_ASSIGN(auto flags, draft_flags::parse(args, {.validate = true, .goal = true}));
  VYX_TRY_ASSIGN(auto result, discover::discoverFromTrace(flags.options));

  Output out;
  std::optional<std::string_view> goal;
  if (flags.goal) goal = *flags.goal;
  Status written = flags.options.json
                       ? discover::writeJsonWithOptions(out, result, discover::exploreForm(goal))
                       : writeText(out, result, flags.goal);
  if (!written) return fail(Error::WriteFailed);
  VYX_TRY(out.flush());
  if (!result.ok) std::_Exit(1);
  return {};
}

}  // namespace vyx::cli_explore
