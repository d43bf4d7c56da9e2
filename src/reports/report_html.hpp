#pragma once
// Pieces shared by the report writers: HTML/XML escaping, the link to a
// trace's event log, and the file every document is written into.

#include <memory>
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

// A document being written: bytes go to a temporary file beside `path`
// (mode 0666 less the umask), which commit() renames over `path`. Released
// without a commit, the temporary file is removed, so a failed document never
// replaces or half-writes the file at `path`.
class OutputFile final : public Writer {
 public:
  static Expected<OutputFile> create(std::string_view path);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  ~OutputFile() override;

  Status writeAll(std::string_view bytes) override;
  Status commit();

 private:
  OutputFile(int fd, std::string temp, std::string path);
  int fd_;
  std::string temp_;
  std::string path_;
  std::unique_ptr<FdWriter> out_;
  bool done_ = false;
};

// Writes the whole file through an OutputFile.
Status writeFile(std::string_view path, std::string_view bytes);

}  // namespace vyx::report_html
