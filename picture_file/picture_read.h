// Reading a picture for the tools that draw one on a disc: a PNG (grey, RGB or
// palette, 1 to 16 bits, with or without alpha), a JPEG (grey or colour, turned
// upright by its EXIF orientation) or a TIFF (as a scanner saves it), told apart by content, becomes one 8-bit grey
// value per pixel, alpha composited onto white, the whole picture in memory at once.
// A second mode keeps what a capture holds: 16-bit samples with their channels.
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

// A picture's samples as stored, for a reader that measures them: grey, or red,
// green and blue, on the 16-bit scale whatever the file's depth.
struct SamplePicture {
    std::uint32_t width = 0;             // pixels
    std::uint32_t height = 0;            // pixels
    int channels = 0;                    // 1 grey, 3 red green blue
    int bits = 0;                        // the file's depth: 8 (each sample v * 257) or 16
    std::uint16_t* samples = nullptr;    // width * height * channels, rows from the top, channels interleaved
    bool coarse_colour = false;          // the file holds its colour at a lower resolution than its
                                         // brightness (a JPEG's subsampled chroma)
};

// Reads the file as read_grey_picture does, with the same bounds, but keeps its
// channels and depth: a PNG or TIFF of 16 bits keeps them, any other depth (a JPEG,
// a palette, 1 to 8 bits) is widened to 16; palette becomes colour, alpha is
// dropped, a picture is stood upright as read_grey_picture stands it. Up to 6 bytes
// a pixel. Free with free_sample_picture.
bool read_sample_picture(const char* path, std::uint64_t max_pixels, SamplePicture& picture, PictureError& error);

void free_sample_picture(SamplePicture& picture);
