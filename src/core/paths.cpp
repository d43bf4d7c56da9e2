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

}  // namespace vyx::paths
