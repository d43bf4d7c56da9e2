#include "core/types.hpp"

#include <cstring>

namespace vyx {

bool Selector::empty() const {
  return !resourceId && !text && !textContains && !contentDesc && !contentDescContains &&
         !className;
}

namespace {
// Pieces are cut from chunks of this size; a larger piece gets a chunk of
// its own.
constexpr size_t kNodeTextChunk = 64 * 1024;
}  // namespace

std::string_view NodeText::adopt(std::string text) {
  source_ = std::move(text);
  return source_;
}

char* NodeText::reserve(size_t size) {
  if (size > left_ || free_ == nullptr) {
    const size_t chunk = size > kNodeTextChunk ? size : kNodeTextChunk;
    chunks_.push_back(std::make_unique_for_overwrite<char[]>(chunk));
    free_ = chunks_.back().get();
    left_ = chunk;
  }
  return free_;
}

std::string_view NodeText::commit(size_t used) {
  std::string_view piece(free_, used);
  free_ += used;
  left_ -= used;
  return piece;
}

std::string_view NodeText::keep(std::string_view bytes) {
  if (bytes.empty()) return {};
  char* room = reserve(bytes.size());
  std::memcpy(room, bytes.data(), bytes.size());
  return commit(bytes.size());
}

}  // namespace vyx
