#pragma once
// Standard Base64 (the RFC 4648 alphabet with "=" padding), decoded strictly.

#include <string>
#include <string_view>

#include "core/errors.hpp"

namespace vyx::base64 {

// Decodes `text` strictly: its length must be a multiple of 4, every
// character must be in the alphabet, "=" may only close the last group (one
// or two of them), and the bits left over by a padded group must be zero.
// Fails with InvalidCharacter for a character outside the alphabet and with
// InvalidPadding for every other fault. The empty text decodes to nothing.
Expected<std::string> decode(std::string_view text);

}  // namespace vyx::base64
