#include "core/config_paths.hpp"

namespace vyx::config_paths {

namespace {

// The directory part of a path: everything before its last "/", "/" itself
// for a file directly under the root, "." when there is no "/".
std::string_view dirname(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string_view basename(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string join(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (b.empty()) return std::string(a);
  std::string out(a);
  if (out.back() == '/') {
    if (b.front() == '/') b.remove_prefix(1);
  } else if (b.front() != '/') {
    out.push_back('/');
  }
  out.append(b);
  return out;
}

}  // namespace

std::string rootForPath(std::string_view configPath) {
  std::string_view dir = dirname(configPath);
  if (basename(dir) == ".vyx") return std::string(dirname(dir));
  return std::string(dir);
}

std::string ownFilePath(std::string_view root, std::string_view path) {
  if (path.starts_with('/')) return std::string(path);
  return join(root, path);
}

std::string ownCommandPath(std::string_view root, std::string_view value) {
  if (value.find('/') == std::string_view::npos && !value.starts_with('.')) {
    return std::string(value);
  }
  return ownFilePath(root, value);
}

}  // namespace vyx::config_paths
