#pragma once
// The command-line arguments not yet consumed.

#include <optional>
#include <string_view>
#include <vector>

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

}  // namespace vyx
