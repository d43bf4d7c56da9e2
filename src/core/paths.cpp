#include "core/paths.hpp"

namespace vyx::paths {

std::string join(std::string_view dir, std::string_view name) {
  std::string out;
  out.reserve(dir.size() + 1 + name.size());
  out.append(dir);
  out.push_back('/');
  out.append(name);
  return out;
}

std::string joinOnce(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (b.empty()) return std::string(a);
  std::string out;
  out.reserve(a.size() + 1 + b.size());
  out.append(a);
  if (out.back() == '/') {
    if (b.front() == '/') b.remove_prefix(1);
  } else if (b.front() != '/') {
    out.push_back('/');
  }
  out.append(b);
  return out;
}

std::string_view directoryOf(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string_view baseName(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace vyx::paths
