#include "core/types.hpp"

namespace vyx {

bool Selector::empty() const {
  return !resourceId && !text && !textContains && !contentDesc && !contentDescContains &&
         !className;
}

}  // namespace vyx
