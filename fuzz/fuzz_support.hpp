#pragma once
// Shared by the fuzz programs: the input as text, a check that ends the run
// with a message when a property does not hold (libFuzzer then keeps the
// input as a crash), and a scratch directory for readers that take paths.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/files.hpp"
#include "core/json.hpp"

namespace vyx::fuzz {

inline std::string_view asText(const uint8_t* data, size_t size) {
  return size == 0 ? std::string_view() : std::string_view(reinterpret_cast<const char*>(data), size);
}

[[noreturn]] inline void checkFailed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

#define VYX_FUZZ_CHECK(cond) ((cond) ? (void)0 : ::vyx::fuzz::checkFailed(#cond, __FILE__, __LINE__))

// A directory of this process's own, made on first use and removed at exit:
// in memory under /dev/shm where there is one (readers that take paths then
// cost no disk writes per input), else under TMPDIR, else under /tmp.
inline const std::string& scratchDir() {
  // Never destroyed, so the exit handler below can still use it.
  static const std::string& dir = *[] {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm"
                       : tmp != nullptr && *tmp != '\0'       ? tmp
                                                               : "/tmp";
    auto* path = new std::string(base + "/vyx-fuzz-" + std::to_string(::getpid()));
    (void)files::removeTree(*path);
    if (!files::makePath(*path)) checkFailed("scratch directory", __FILE__, __LINE__);
    std::atexit([] { (void)files::removeTree(scratchDir()); });
    return path;
  }();
  return dir;
}

// True when the text is one JSON document that the program's own reader accepts.
inline bool readsBack(std::string_view json) { return json::parse(json).has_value(); }

}  // namespace vyx::fuzz
