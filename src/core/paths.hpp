#pragma once
// Joining paths as text. Both joins are purely lexical: nothing is looked up
// on the file system, nothing is normalised, and a right side that begins
// with "/" is still joined onto the left (it never replaces it, unlike
// std::filesystem::path's operator/).

#include <string>
#include <string_view>

namespace vyx::paths {

// `dir`, one "/" and `name`, each exactly as given: join("t", "trace.json")
// is "t/trace.json", join("t/", "a") is "t//a", join("", "a") is "/a". The
// files of a trace directory are named this way (core/trace_layout.hpp).
std::string join(std::string_view dir, std::string_view name);

// `a` and `b` with one "/" at the joint: none is added when `a` ends with "/"
// or `b` begins with one, one of the two is dropped when both do, and an
// empty side is left out: joinOnce("a", "b") and joinOnce("a/", "/b") are
// "a/b", joinOnce("", "b") is "b", joinOnce("a", "/b") is "a/b". For paths a
// person or a configuration file gives, joined onto a directory.
std::string joinOnce(std::string_view a, std::string_view b);

// The directory part of `path`: everything before its last "/", "/" itself
// for a name directly under the root, "." when there is no "/".
std::string_view directoryOf(std::string_view path);

// The last component of `path`: everything after its last "/" (all of it
// when there is none, "" when it ends with "/").
std::string_view baseName(std::string_view path);

}  // namespace vyx::paths
