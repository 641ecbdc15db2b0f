// The orientation tag of a JPEG's EXIF block: how the stored picture must be turned
// or mirrored to stand upright, as a camera that was held on its side records it.
#pragma once

#include <cstddef>
#include <cstdint>

// The orientation (1 to 8, 1 upright as stored) in an APP1 segment's data, which
// starts "Exif\0\0" and holds a TIFF header and its first directory. Anything that is
// not such data, or holds no orientation from 1 to 8, gives 1. Reads only within size.
int exif_orientation(const std::uint8_t* data, std::size_t size);
