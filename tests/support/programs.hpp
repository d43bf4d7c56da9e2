#pragma once
// Finding outside programs (tar, python3, xmllint, chromium) that judge what
// vyx writes. Tests that need one skip with a message when it is absent.

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vyx::test {

// The first executable named `name` on PATH, or "" when there is none.
inline std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (!dir.empty()) {
      std::string candidate = dir + "/" + name;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return "";
}

}  // namespace vyx::test
