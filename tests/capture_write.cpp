// The simulated capture's file: PNG through libpng (8 or 16 bits, grey or RGB) or
// JPEG through libjpeg, as a scanner or a phone saves it. Both libraries report errors
// by longjmp; each writer keeps what changes across the jump outside the frame.
#include <cstdio>  // before jpeglib.h, which uses FILE and size_t

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <vector>

#include "scan_capture.h"

namespace {

struct JpegErrors {
    jpeg_error_mgr manager{};
    std::jmp_buf jump = {};
    char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void on_jpeg_error(j_common_ptr jpeg)
{
    auto* errors = reinterpret_cast<JpegErrors*>(jpeg->err);  // NOLINT: manager is its first member
    jpeg->err->format_message(jpeg, errors->message);
    std::longjmp(errors->jump, 1);  // NOLINT(cert-err52-cpp): libjpeg's error channel
}

bool write_jpeg(const Capture& capture, int quality, std::FILE* file, std::string& why)
{
    static JpegErrors errors;
    static jpeg_compress_struct jpeg;
    static std::vector<std::uint8_t> row;
    jpeg = jpeg_compress_struct{};
    jpeg.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = on_jpeg_error;
    if (setjmp(errors.jump) != 0) {  // NOLINT(cert-err52-cpp)
        jpeg_destroy_compress(&jpeg);
        why = errors.message;
        return false;
    }
    jpeg_create_compress(&jpeg);
    jpeg_stdio_dest(&jpeg, file);
    jpeg.image_width = static_cast<JDIMENSION>(capture.width);
    jpeg.image_height = static_cast<JDIMENSION>(capture.height);
    jpeg.input_components = capture.channels;
    jpeg.in_color_space = capture.channels == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&jpeg);
    jpeg_set_quality(&jpeg, quality, TRUE);
    jpeg_start_compress(&jpeg, TRUE);
    const std::size_t row_samples = static_cast<std::size_t>(capture.width) * capture.channels;
    row.resize(row_samples);
    while (jpeg.next_scanline < jpeg.image_height) {
        const std::size_t first = jpeg.next_scanline * row_samples;
        for (std::size_t k = 0; k < row_samples; ++k)
            row[k] = static_cast<std::uint8_t>(capture.samples[first + k]);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&jpeg, rows, 1);
    }
    jpeg_finish_compress(&jpeg);
    jpeg_destroy_compress(&jpeg);
    return true;
}

[[noreturn]] void on_png_error(png_structp png, png_const_charp message)
{
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    std::longjmp(png_jmpbuf(png), 1);  // NOLINT(cert-err52-cpp): libpng's error channel
}

void on_png_warning(png_structp /*png*/, png_const_charp /*message*/) {}

bool write_png(const Capture& capture, std::FILE* file, std::string& why)
{
    static png_structp png = nullptr;
    static png_infop info = nullptr;
    static std::vector<std::uint8_t> row;
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &why, on_png_error, on_png_warning);
    info = png == nullptr ? nullptr : png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        why = "libpng cannot start";
        return false;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {  // NOLINT(cert-err52-cpp)
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(capture.width), static_cast<png_uint_32>(capture.height),
                 capture.bits, capture.channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);  // a capture is written once and read a few times
    png_write_info(png, info);
    const std::size_t row_samples = static_cast<std::size_t>(capture.width) * capture.channels;
    const std::size_t sample_bytes = capture.bits == 16 ? 2 : 1;
    row.resize(row_samples * sample_bytes);
    for (int y = 0; y < capture.height; ++y) {
        const std::uint16_t* samples = capture.samples.data() + static_cast<std::size_t>(y) * row_samples;
        for (std::size_t k = 0; k < row_samples; ++k) {
            if (sample_bytes == 2) {  // PNG's samples are big-endian
                row[2 * k] = static_cast<std::uint8_t>(samples[k] >> 8);
                row[2 * k + 1] = static_cast<std::uint8_t>(samples[k] & 0xFF);
            } else {
                row[k] = static_cast<std::uint8_t>(samples[k]);
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool write_capture(const Capture& capture, int jpeg_quality, const char* path, std::string& why)
{
    if (jpeg_quality > 0 && capture.bits != 8) {
        why = "a JPEG holds 8 bits a sample";
        return false;
    }
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        why = std::string("cannot create \"") + path + "\"";
        return false;
    }
    bool written = jpeg_quality > 0 ? write_jpeg(capture, jpeg_quality, file, why) : write_png(capture, file, why);
    if (std::fclose(file) != 0 && written) {
        why = std::string("cannot write \"") + path + "\"";
        written = false;
    }
    if (!written)
        std::remove(path);
    return written;
}
