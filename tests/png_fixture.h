// Picture files made by the tests: PNGs in any colour type and depth that libpng
// writes, and JPEGs through libjpeg (grey or colour, with an EXIF orientation), so
// that the picture reader and the picture writer can be given every kind of input.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PngSpec {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int colour_type = 0;       // PNG_COLOR_TYPE_*
    int bit_depth = 8;         // 1, 2, 4, 8 or 16 as the colour type allows
    bool interlaced = false;
    std::vector<std::uint16_t> samples;  // row by row, the colour type's channels per pixel
    std::vector<std::uint8_t> palette;   // palette images: r, g, b per entry
    std::vector<std::uint8_t> palette_alpha;  // palette images: tRNS alpha per entry, if any
};

// Writes layout to path; false when libpng refuses it.
bool write_png_file(const std::string& path, const PngSpec& layout);

// An 8-bit grey picture, rows from the top.
bool write_grey_png(const std::string& path, std::uint32_t width, std::uint32_t height,
                    const std::vector<std::uint8_t>& grey);

// The bytes of a PNG file that holds only a signature, an IHDR chunk for a width x
// height 8-bit grey picture, an empty IDAT and IEND: a reader learns the size, then
// finds no pixels.
std::string png_header_only(std::uint32_t width, std::uint32_t height);

struct JpegLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int channels = 1;                   // 1 grey, 3 RGB
    std::vector<std::uint8_t> samples;  // row by row, channels per pixel
    int quality = 95;
    int orientation = 0;                // EXIF orientation to record, 0 for no EXIF block
    bool little_endian_exif = false;    // the EXIF block's byte order: "II" rather than "MM"
    bool progressive = false;
    bool full_colour = false;           // colour kept at the brightness's resolution, not halved
};

// The bytes of a JPEG file of layout, made by libjpeg.
std::string jpeg_bytes(const JpegLayout& layout);

// The bytes of a small grey JPEG whose frame header claims width x height instead.
std::string jpeg_claiming(std::uint16_t width, std::uint16_t height);
