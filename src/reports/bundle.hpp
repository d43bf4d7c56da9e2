#pragma once
// Trace bundles: one trace directory packed into a ustar archive
// (conventionally named <trace-dir>.vyxtrace), optionally redacted.
//
// Entries, in order: trace.json, events.jsonl, report.html when present, then
// every regular file below artifacts/ sorted bytewise by name. Symbolic
// links are never followed and get no entry, nor do directories and other
// special files. The bundle is written to a temporary file beside the output
// path and renamed over it only when complete, so a failed export leaves
// nothing new behind and an earlier bundle at that path untouched.

#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"

namespace vyx::bundle {

struct BundleExportOptions {
  bool redact = false;
  // Acts only together with `redact`; callers set both.
  bool omitScreenshots = false;
};

// Writes the bundle of `traceDir` to `outPath`; prints nothing. Fails with
// MissingTraceManifest or MissingTraceEvents when trace.json or events.jsonl
// is missing, UnsafeArchivePath for an entry name beginning with "/" or
// holding "..", ArchivePathTooLong for a name that does not fit the header,
// FileTooBig for a file of 8 GiB or more, UnexpectedEndOfStream for a file
// that shrank while it was copied, StreamTooLong for a file over 64 MiB that
// redaction must read, the JSON reader's error for a redacted trace.json
// that does not parse, or the file system's error.
Status exportTraceBundleWithOptions(std::string_view traceDir, std::string_view outPath,
                                    const BundleExportOptions& options);

}  // namespace vyx::bundle
