#pragma once
// Opening the files of a trace directory without ever leaving it. A trace
// directory is foreign input (it is attached to bug reports, copied off CI
// machines, handed to agents), so every reader opens what it reads beneath
// the directory's own descriptor, one path component at a time, following no
// symbolic link, and never climbing out with "..".

#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/fd.hpp"
#include "core/files.hpp"
#include "core/json.hpp"

namespace vyx::trace_files {

// Opens the directory a person or a caller named (links in that path are
// followed: it is the directory they chose).
Expected<Fd> openDirectory(std::string_view path);

// Opens `relative` beneath the open directory `dir`, component by component
// with O_NOFOLLOW: a symbolic link anywhere on the way fails with
// SymLinkLoop, a file where a directory should be with NotDir, a socket with
// NotRegularFile. Repeated "/" only
// separate components. A path that begins with "/", has a ".." component or
// names no component at all is refused with FileNotFound: it names nothing
// inside `dir`. `flags` apply to the last component, every earlier one is
// opened as a directory.
Expected<Fd> openBeneath(int dir, std::string_view relative, int flags);

// A regular file beneath `dir`, open for reading with its size: its type is
// checked before it is opened and again on the open file, which O_NONBLOCK
// keeps from waiting for a FIFO's writer. A directory fails with IsDir, a
// FIFO, socket or device with NotRegularFile, a link as openBeneath says;
// an empty path names the directory itself (IsDir).
Expected<files::OpenFile> openFileBeneath(int dir, std::string_view relative);

// True for the failures of openBeneath that mean "nothing by that name lies
// inside the directory": FileNotFound, and a link on the way (SymLinkLoop).
bool namesNothingInside(Error e);

// A path the manifest gives relative to the trace directory. The trace's
// readers join such a path under the directory even when it begins with
// "/", so those leading slashes are dropped here; the rest is left to
// openBeneath.
std::string_view manifestRelative(std::string_view path);

// The whole file `relative` beneath the directory at `traceDir`, read with
// files::readOpenFile's limit rule. What openBeneath finds nothing inside
// the trace for (namesNothingInside) is FileNotFound, so a reader treats a
// link or a path out of the trace exactly as a missing file. Failures to
// open the directory itself are returned as they are.
Expected<std::string> readTraceFile(std::string_view traceDir, std::string_view relative, size_t limit);
// The same beneath an already open directory.
Expected<std::string> readFileBeneath(int dir, std::string_view relative, size_t limit);

// The trace's trace.json read as readTraceFile does and parsed: its parse
// error, or InvalidTraceManifest when it holds no object.
Expected<json::Value> readManifestObject(std::string_view traceDir);
// The regular file beneath `traceDir`, missing as readTraceFile says.
Expected<files::OpenFile> openTraceFile(std::string_view traceDir, std::string_view relative);

}  // namespace vyx::trace_files
