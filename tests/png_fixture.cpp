// Test PNGs through libpng's own writer, samples packed by hand for the small depths;
// test JPEGs through libjpeg's, into memory.
#include "png_fixture.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <jpeglib.h>

namespace {

int channels(int colour_type)
{
    switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
    }
}

// Row y of layout as the file stores it: samples packed most significant bits first,
// 16-bit samples big-endian.
std::vector<png_byte> packed_row(const PngSpec& layout, std::uint32_t y)
{
    const std::size_t per_row = static_cast<std::size_t>(layout.width) * channels(layout.colour_type);
    std::vector<png_byte> row((per_row * layout.bit_depth + 7) / 8, 0);
    for (std::size_t k = 0; k < per_row; ++k) {
        const std::uint16_t sample = layout.samples[y * per_row + k];
        if (layout.bit_depth == 16) {
            row[2 * k] = static_cast<png_byte>(sample >> 8);
            row[2 * k + 1] = static_cast<png_byte>(sample & 0xFF);
        } else {
            const std::size_t bit = k * layout.bit_depth;
            row[bit / 8] |= static_cast<png_byte>(sample << (8 - layout.bit_depth - bit % 8));
        }
    }
    return row;
}

void put_chunk(std::string& file, const char* type, const std::string& data)
{
    const auto length = static_cast<std::uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(static_cast<char>(length >> shift & 0xFF));
    const std::string typed = std::string(type, 4) + data;
    file += typed;
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size())));
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(static_cast<char>(crc >> shift & 0xFF));
}

}  // namespace

bool write_png_file(const std::string& path, const PngSpec& layout)
{
    // Everything with a destructor is made before setjmp, which a libpng error
    // returns to past any later frame.
    std::vector<std::vector<png_byte>> rows;
    for (std::uint32_t y = 0; y < layout.height; ++y)
        rows.push_back(packed_row(layout, y));
    std::vector<png_bytep> row_pointers;
    for (std::vector<png_byte>& row : rows)
        row_pointers.push_back(row.data());
    std::vector<png_color> palette;
    for (std::size_t k = 0; k + 2 < layout.palette.size(); k += 3)
        palette.push_back({layout.palette[k], layout.palette[k + 1], layout.palette[k + 2]});
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, layout.width, layout.height, layout.bit_depth, layout.colour_type,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!layout.palette_alpha.empty())
        png_set_tRNS(png, info, layout.palette_alpha.data(), static_cast<int>(layout.palette_alpha.size()), nullptr);
    png_set_rows(png, info, row_pointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

bool write_grey_png(const std::string& path, std::uint32_t width, std::uint32_t height,
                    const std::vector<std::uint8_t>& grey)
{
    PngSpec layout;
    layout.width = width;
    layout.height = height;
    layout.colour_type = PNG_COLOR_TYPE_GRAY;
    layout.samples.assign(grey.begin(), grey.end());
    return write_png_file(path, layout);
}

std::string png_header_only(std::uint32_t width, std::uint32_t height)
{
    std::string file = "\x89PNG\r\n\x1a\n";
    std::string header;
    for (std::uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            header.push_back(static_cast<char>(value >> shift & 0xFF));
    header += std::string("\x08\x00\x00\x00\x00", 5);  // 8 bits, grey, deflate, no filter, not interlaced
    put_chunk(file, "IHDR", header);
    put_chunk(file, "IDAT", "");
    put_chunk(file, "IEND", "");
    return file;
}

namespace {

// An APP1 EXIF block holding one directory with one entry: the orientation.
std::string exif_block(int orientation, bool little_endian)
{
    std::string block = std::string("Exif\0\0", 6) + (little_endian ? std::string("II*\0", 4) : std::string("MM\0*", 4));
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int k = 0; k < bytes; ++k) {
            const int shift = 8 * (little_endian ? k : bytes - 1 - k);
            block.push_back(static_cast<char>(value >> shift & 0xFF));
        }
    };
    put(8, 4);       // the first directory, right after the header
    put(1, 2);       // one entry
    put(0x0112, 2);  // orientation
    put(3, 2);       // SHORT
    put(1, 4);       // one value, held in the entry
    put(static_cast<std::uint32_t>(orientation), 2);
    put(0, 2);
    put(0, 4);  // no next directory
    return block;
}

}  // namespace

std::string jpeg_bytes(const JpegLayout& layout)
{
    jpeg_compress_struct jpeg{};
    jpeg_error_mgr errors{};
    jpeg.err = jpeg_std_error(&errors);
    jpeg_create_compress(&jpeg);
    unsigned char* memory = nullptr;
    unsigned long size = 0;  // NOLINT(google-runtime-int): libjpeg's type
    jpeg_mem_dest(&jpeg, &memory, &size);
    jpeg.image_width = layout.width;
    jpeg.image_height = layout.height;
    jpeg.input_components = layout.channels;
    jpeg.in_color_space = layout.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&jpeg);
    jpeg_set_quality(&jpeg, layout.quality, TRUE);
    if (layout.progressive)
        jpeg_simple_progression(&jpeg);
    if (layout.full_colour)
        jpeg.comp_info[0].h_samp_factor = jpeg.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&jpeg, TRUE);
    if (layout.orientation != 0) {
        const std::string block = exif_block(layout.orientation, layout.little_endian_exif);
        jpeg_write_marker(&jpeg, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(block.data()),
                          static_cast<unsigned>(block.size()));
    }
    const std::size_t row_bytes = std::size_t{layout.width} * static_cast<std::size_t>(layout.channels);
    while (jpeg.next_scanline < jpeg.image_height) {
        auto* row = const_cast<JSAMPLE*>(layout.samples.data() + jpeg.next_scanline * row_bytes);
        jpeg_write_scanlines(&jpeg, &row, 1);
    }
    jpeg_finish_compress(&jpeg);
    jpeg_destroy_compress(&jpeg);
    std::string bytes(reinterpret_cast<const char*>(memory), size);
    std::free(memory);
    return bytes;
}

std::string jpeg_claiming(std::uint16_t width, std::uint16_t height)
{
    JpegLayout layout;
    layout.width = layout.height = 16;
    layout.samples.assign(256, 128);
    std::string bytes = jpeg_bytes(layout);
    const std::size_t frame = bytes.find("\xFF\xC0");
    for (auto [at, value] : {std::pair{frame + 5, height}, std::pair{frame + 7, width}}) {
        bytes[at] = static_cast<char>(value >> 8);
        bytes[at + 1] = static_cast<char>(value & 0xFF);
    }
    return bytes;
}
