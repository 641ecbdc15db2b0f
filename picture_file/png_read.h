// Reading a picture for the tools that draw one on a disc: any PNG that libpng reads
// (grey, RGB or palette, 8 or 16 bits, with or without alpha) becomes one 8-bit grey
// value per pixel, alpha composited onto white, the whole picture in memory at once.
#pragma once

#include <cstddef>
#include <cstdint>

struct GreyPicture {
    std::uint32_t width = 0;         // pixels
    std::uint32_t height = 0;        // pixels
    std::uint8_t* pixels = nullptr;  // width * height values, rows from the top; 0 black, 255 white
};

// Why a picture was not read: one line of text, no newline.
struct PngError {
    char text[256] = {};
};

// Reads the PNG file at path into picture, whose pixels it allocates (free them with
// free_grey_picture). A picture of more than max_pixels pixels is refused before any
// of it is decoded, so that the decoded picture stays within a memory bound. Returns
// false, picture left empty and the reason in error, when the file cannot be opened,
// is not a PNG, is damaged or cut short, or is too large.
bool read_grey_png(const char* path, std::uint64_t max_pixels, GreyPicture& picture, PngError& error);

void free_grey_picture(GreyPicture& picture);
