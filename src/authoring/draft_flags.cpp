#include "authoring/draft_flags.hpp"

#include <string_view>
#include <vector>

namespace vyx::draft_flags {

namespace {

Status takeValue(const std::vector<std::string_view>& list, size_t& i, Error missing,
                 std::optional<std::string>& into) {
  if (i + 1 >= list.size()) return fail(missing);
  into = std::string(list[++i]);
  return {};
}

}  // namespace

Expected<DraftFlags> parse(ArgIterator& args, Accepted accepted) {
  std::vector<std::string_view> list;
  while (auto arg = args.next()) list.push_back(*arg);
  if (list.empty()) return fail(Error::MissingTraceDir);

  DraftFlags flags;
  draft::DraftOptions& o = flags.options;
  for (size_t i = 0; i < list.size(); ++i) {
    std::string_view a = list[i];
    if (a == "--from-trace") {
      VYX_TRY(takeValue(list, i, Error::MissingTraceDir, o.traceDir));
    } else if (a == "--out") {
      VYX_TRY(takeValue(list, i, Error::MissingDraftOut, o.out));
    } else if (a == "--goal" && accepted.goal) {
      VYX_TRY(takeValue(list, i, Error::MissingParam, flags.goal));
    } else if (a == "--name") {
      VYX_TRY(takeValue(list, i, Error::MissingParam, o.name));
    } else if (a == "--app-id") {
      VYX_TRY(takeValue(list, i, Error::MissingAppId, o.appId));
    } else if (a == "--include-actions") {
      o.includeActions = true;
    } else if (a == "--validate" && accepted.validate) {
      o.validate = true;
    } else if (a == "--force") {
      o.force = true;
    } else if (a == "--json") {
      o.json = true;
    } else {
      return fail(Error::unknownFlag);
    }
  }
  if (!o.traceDir) return fail(Error::MissingTraceDir);
  if (!o.out) return fail(Error::MissingDraftOut);
  return flags;
}

}  // namespace vyx::draft_flags
