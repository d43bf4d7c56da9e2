#pragma once
// Reads the pixel size of a PNG image from its header.

#include <string_view>

#include "core/types.hpp"

namespace vyx::png {

// Width and height from the IHDR chunk when the bytes are at least 24 long,
// start with the PNG signature and hold "IHDR" at offsets 12 to 15; 0 by 0
// otherwise. Nothing else of the image is examined.
Viewport size(std::string_view bytes);

}  // namespace vyx::png
