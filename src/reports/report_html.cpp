#include "reports/report_html.hpp"

#include <limits.h>
#include <stdlib.h>

#include <cstring>

#include "core/trace_json.hpp"
#include "core/trace_layout.hpp"

namespace vyx::report_html {
namespace {

// The longest canonical path a link is made from.
constexpr size_t kMaxLinkPath = 1024;

}  // namespace

Status escape(Writer& w, std::string_view text) {
  // A trace or results file from elsewhere may hold bytes that are not
  // UTF-8, or control characters that XML allows in no form: each becomes
  // U+FFFD, so the page and the JUnit file still parse.
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::string_view entity;
    switch (c) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      case '"': entity = "&quot;"; break;
      case '\'': entity = "&#39;"; break;
      case '\t':
      case '\n':
      case '\r': continue;
      default:
        if (c >= 0x20) continue;
        entity = "\xEF\xBF\xBD";
        break;
    }
    if (i > run) VYX_TRY(trace_json::writeValidUtf8(w, text.substr(run, i - run)));
    VYX_TRY(w.writeAll(entity));
    run = i + 1;
  }
  if (run < text.size()) VYX_TRY(trace_json::writeValidUtf8(w, text.substr(run)));
  return {};
}

Status writeArtifactLink(Writer& w, std::string_view path) {
  std::string given(path);
  std::string target = given;
  if (given.find('\0') == std::string::npos) {
    if (char* resolved = ::realpath(given.c_str(), nullptr)) {
      if (std::strlen(resolved) <= kMaxLinkPath) target = resolved;
      ::free(resolved);
    }
  }
  VYX_TRY(w.writeAll("<a href=\"file://"));
  VYX_TRY(escape(w, target));
  VYX_TRY(w.writeAll("\">"));
  VYX_TRY(escape(w, trace_layout::kEventsFile));
  return w.writeAll("</a>");
}

}  // namespace vyx::report_html
