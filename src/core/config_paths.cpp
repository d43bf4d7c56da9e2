#include "core/config_paths.hpp"

#include "core/paths.hpp"

namespace vyx::config_paths {

std::string rootForPath(std::string_view configPath) {
  std::string_view dir = paths::directoryOf(configPath);
  if (paths::baseName(dir) == ".vyx") return std::string(paths::directoryOf(dir));
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
