#pragma once
// The command-line arguments not yet consumed.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"

namespace vyx {

class ArgIterator {
 public:
  ArgIterator() = default;
  ArgIterator(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) args_.emplace_back(argv[i]);
  }
  explicit ArgIterator(std::vector<std::string_view> args) : args_(std::move(args)) {}

  std::optional<std::string_view> next() {
    if (pos_ >= args_.size()) return std::nullopt;
    return args_[pos_++];
  }
  size_t remaining() const { return args_.size() - pos_; }

 private:
  std::vector<std::string_view> args_;
  size_t pos_ = 0;
};

// Takes the next argument as a flag's value; fails with `missing` when the
// arguments have run out.
inline Status takeValue(ArgIterator& args, Error missing, std::string& out) {
  auto value = args.next();
  if (!value) return fail(missing);
  out = std::string(*value);
  return {};
}
inline Status takeValue(ArgIterator& args, Error missing, std::optional<std::string>& out) {
  std::string value;
  VYX_TRY(takeValue(args, missing, value));
  out = std::move(value);
  return {};
}

// Takes the next argument as a flag's value and parses it; fails with
// `missing` when the arguments have run out, else with the parser's error.
template <class T>
Status takeParsed(ArgIterator& args, Error missing, Expected<T> (*parse)(std::string_view), T& out) {
  auto value = args.next();
  if (!value) return fail(missing);
  VYX_TRY_ASSIGN(out, parse(*value));
  return {};
}

}  // namespace vyx
