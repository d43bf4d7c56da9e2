#include "core/config_paths.hpp"

#include "core/paths.hpp"

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

}  // namespace

std::string rootForPath(std::string_view configPath) {
  std::string_view dir = dirname(configPath);
  if (basename(dir) == ".vyx") return std::string(dirname(dir));
  return std::string(dir);
}

std::string ownFilePath(std::string_view root, std::string_view path) {
  if (path.starts_with('/')) return std::string(path);
  return paths::joinOnce(root, path);
}

std::string ownCommandPath(std::string_view root, std::string_view value) {
  if (value.find('/') == std::string_view::npos && !value.starts_with('.')) {
    return std::string(value);
  }
  return ownFilePath(root, value);
}

}  // namespace vyx::config_paths
