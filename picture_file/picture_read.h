// Reading a picture for the tools that draw one on a disc: a PNG (grey, RGB or
// palette, 1 to 16 bits, with or without alpha), a JPEG (grey or colour, turned
// upright by its EXIF orientation) or a TIFF (as a scanner saves it), told apart by content, becomes one 8-bit grey
// value per pixel, alpha composited onto white, the whole picture in memory at once.
#pragma once

#include <cstdint>

#include "picture_file/grey_picture.h"

// No side of a picture may be longer: the decoder's rows for one of that width
// (up to 20 bytes a pixel) are what max_decoder_bytes leaves room for.
constexpr std::uint32_t max_picture_side = 1000000;

// What a decoder may hold beside the picture's pixels: rows and tables, or for a
// progressive JPEG its coefficients, plus whatever max_pixels leaves unused.
constexpr std::uint64_t max_decoder_bytes = std::uint64_t{24} << 20;

// Why a picture was not read: one line of text, no newline.
struct PictureError {
    char text[256] = {};
};

// Reads the PNG, JPEG or TIFF file at path (a PNG or JPEG is read as a stream, so a pipe or FIFO serves)
// into picture, whose pixels it allocates (free them with free_grey_picture). A
// picture of more than max_pixels pixels, or with a side over max_picture_side, is
// refused before any of it is decoded; so is one that would need more memory than
// the bound allows. Returns false, picture left empty and the reason in error, when
// the file cannot be opened, is none of the formats, is damaged or cut short, or is too
// large.
bool read_grey_picture(const char* path, std::uint64_t max_pixels, GreyPicture& picture, PictureError& error);

void free_grey_picture(GreyPicture& picture);
