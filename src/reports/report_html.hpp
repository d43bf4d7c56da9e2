#pragma once
// Pieces shared by the report writers: HTML/XML escaping, the link to a
// trace's event log, and the buffer every document is written through.

#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/writer.hpp"

namespace vyx::report_html {

// The text with & < > " ' written as &amp; &lt; &gt; &quot; &#39;, and
// U+FFFD in place of each control character other than tab, line feed and
// carriage return and of each ill-formed UTF-8 subpart (as the JSON writers
// do); valid text without controls is otherwise unchanged. Used for HTML and
// XML alike.
Status escape(Writer& w, std::string_view text);

// <a href="file://<canonical path>">events.jsonl</a>: the path resolved to
// its canonical absolute form (at most 1024 bytes), or taken exactly as given
// when that fails (a missing file, for one).
Status writeArtifactLink(Writer& w, std::string_view path);

// The buffer a document is written through into its file
// (atomic_file::AtomicFile).
inline constexpr size_t kOutputBuffer = 256 * 1024;

}  // namespace vyx::report_html
