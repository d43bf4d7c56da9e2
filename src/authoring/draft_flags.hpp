#pragma once
// The command line shared by `draft`, `discover` and `explore`.

#include <optional>
#include <string>

#include "authoring/draft.hpp"
#include "core/args.hpp"
#include "core/errors.hpp"

namespace vyx::draft_flags {

// Which of the optional flags the command takes.
struct Accepted {
  bool validate = false;  // --validate (discover, explore)
  bool goal = false;      // --goal <goal> (explore)
};

struct DraftFlags {
  draft::DraftOptions options;
  std::optional<std::string> goal;
};

// Takes every remaining argument. A value flag takes the next argument
// whatever it looks like; a repeated flag keeps its last value; anything
// else, positional arguments included, fails with unknownFlag. No arguments
// at all, or no --from-trace, fail with MissingTraceDir; no --out with
// MissingDraftOut.
Expected<DraftFlags> parse(ArgIterator& args, Accepted accepted);

}  // namespace vyx::draft_flags
