// The one picture record of the tools: 8-bit grey, a byte a pixel, rows from the
// top. The picture reader fills it from a PNG, JPEG or TIFF; the preview's PNG writer
// writes one out.
#pragma once

#include <cstdint>

struct GreyPicture {
    std::uint32_t width = 0;         // pixels
    std::uint32_t height = 0;        // pixels
    std::uint8_t* pixels = nullptr;  // width * height values, rows from the top; 0 black, 255 white
};
