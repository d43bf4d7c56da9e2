#include "authoring/cli_draft.hpp"

#include "authoring/discover.hpp"
#include "authoring/draft_flags.hpp"
#include "core/writer.hpp"

namespace vyx::cli_draft {

Status run(ArgIterator& args) {
  VYX_TRY_ASSIGN(auto flags, draft_flags::parse(args, {}));
  VYX_TRY_ASSIGN(auto drafted, draft::draftFromTrace(flags.options));

  Output out;
  Status written;
  if (flags.options.json) {
    written = discover::writeDraftJson(out, drafted);
  } else {
    written = out.writeAll("wrote ");
    if (written) written = out.writeAll(drafted.out);
    if (written) written = out.writeByte('\n');
    if (written) written = discover::writeNextLine(out, drafted.out);
  }
  if (!written) return fail(Error::WriteFailed);
  return out.flush();
}

}  // namespace vyx::cli_draft
