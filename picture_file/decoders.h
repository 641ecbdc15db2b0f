// What the PNG, JPEG and TIFF decoders share inside the picture reader: the stream with
// the bytes already read to tell the formats apart, the size checks and allocation,
// the grey (or the 16-bit samples) of a row, and the layout that stands a picture
// upright.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "picture_file/picture_read.h"

struct PictureStream {
    std::FILE* file = nullptr;
    std::uint8_t prefix[8] = {};   // the file's first bytes, already read
    std::size_t prefix_bytes = 0;  // how many of them there are
    std::uint64_t max_pixels = 0;  // of the picture, upright
    bool samples = false;          // keep 16-bit samples and channels, not 8-bit grey
};

// What a decoder fills: grey, or samples when the stream asks for them.
struct DecodedPicture {
    GreyPicture grey;
    SamplePicture samples;
};

// Writes the reason into error; returns false, for `return refuse(...)`.
bool refuse(PictureError& error, const char* reason);

// The same with a printf format and its values.
template <typename... Values>
bool refuse(PictureError& error, const char* format, Values... values)
{
    std::snprintf(error.text, sizeof error.text, format, values...);
    return false;
}

// The reason a read of the stream came up short: the system's, or the end of the file.
bool refuse_short_read(PictureError& error, std::FILE* file);

// Where the decoded pixels go: pixel (x, y) as stored lands at pixels[origin +
// x * step_x + y * step_y] of the upright picture, which is width x height.
struct PictureLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int64_t origin = 0;
    std::int64_t step_x = 1;
    std::int64_t step_y = 0;
};

// The layout for a stored picture under an EXIF orientation (1 to 8; anything else
// is taken as 1, upright as stored).
PictureLayout upright_layout(std::uint32_t stored_width, std::uint32_t stored_height, int orientation);

// Refuses a picture of more than the stream's max_pixels or a side over
// max_picture_side, else allocates its pixels (grey, or `channels` 16-bit samples a
// pixel, of the file's `bits`); false with the reason in error.
bool allocate_picture(const PictureStream& stream, std::uint32_t width, std::uint32_t height, int channels, int bits,
                      DecodedPicture& picture, PictureError& error);

void free_decoded_picture(DecodedPicture& picture);

// Bytes a decoder may hold beside a picture of `pixels` pixels.
std::uint64_t decoder_memory(const PictureStream& stream, std::uint64_t pixels);

// Writes the grey of `count` pixels of 8-bit samples, `channels` to a pixel (grey,
// grey and alpha, RGB, RGBA), to out[0], out[step], ...: colour becomes its
// luminance and alpha is composited onto white, both in linear light with the sRGB
// curves; grey without alpha stays as stored.
void put_grey_row(const std::uint8_t* samples, int channels, std::uint32_t count, std::uint8_t* out,
                  std::int64_t step);

// Writes `count` pixels of samples of `bits` (8, or 16 in the host's order),
// `channels` to a pixel (grey, grey and alpha, RGB, RGBA), to out[0], out[step], ...
// in pixels of 16-bit samples: grey or RGB, alpha dropped, 8 bits widened.
void put_sample_row(const void* samples, int channels, int bits, std::uint32_t count, std::uint16_t* out,
                    std::int64_t step);

// The grey of a row, or its samples, at pixel `at` of the upright picture, every
// step-th pixel on; the samples are 8-bit unless the picture keeps 16.
void put_row(const void* samples, int channels, std::uint32_t count, DecodedPicture& picture, std::int64_t at,
             std::int64_t step);

bool read_png_stream(const PictureStream& stream, DecodedPicture& picture, PictureError& error);
bool read_jpeg_stream(const PictureStream& stream, DecodedPicture& picture, PictureError& error);
bool read_tiff_stream(const PictureStream& stream, DecodedPicture& picture, PictureError& error);
