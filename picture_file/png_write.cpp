// libpng's write side. libpng reports errors by longjmp to the setjmp in the
// writer's core, the only way it offers; writes go through our own callback so that
// a failed write is seen at once, with its errno, instead of at the close.
#include "picture_file/png_write.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>

namespace {

struct WriteState {
    std::FILE* file = nullptr;
    const volatile std::sig_atomic_t* stop = nullptr;
    PngWriteResult result;
    std::jmp_buf jump = {};
};

// Static rather than automatic: it changes between the setjmp and a longjmp, and is
// read after it. One PNG is written at a time.
WriteState state;

WriteState* state_of(png_structp png) { return static_cast<WriteState*>(png_get_error_ptr(png)); }

[[noreturn]] void on_png_error(png_structp png, png_const_charp message)
{
    WriteState* state = state_of(png);
    if (state->result.status == PngWriteStatus::written) {
        state->result.status = PngWriteStatus::refused;
        std::snprintf(state->result.message, sizeof state->result.message, "%s", message);
    }
    std::longjmp(state->jump, 1);  // NOLINT(cert-err52-cpp): libpng's error channel
}

void on_png_warning(png_structp /*png*/, png_const_charp /*message*/) {}

void write_bytes(png_structp png, png_bytep data, png_size_t length)
{
    WriteState* state = state_of(png);
    if (std::fwrite(data, 1, length, state->file) != length) {
        state->result.status = PngWriteStatus::write_failed;
        state->result.error_number = errno;
        png_error(png, "write failed");
    }
}

void flush_nothing(png_structp /*png*/) {}

void after_row(png_structp png, png_uint_32 /*row*/, int /*pass*/)
{
    WriteState* state = state_of(png);
    if (state->stop != nullptr && *state->stop != 0) {
        state->result.status = PngWriteStatus::stopped;
        png_error(png, "stopped");
    }
}

}  // namespace

namespace {

// The writer's core for both kinds: rows of `channels` bytes a pixel.
PngWriteResult write_png_rows(std::FILE* file, std::uint32_t width, std::uint32_t height, const std::uint8_t* pixels,
                              int channels, const volatile std::sig_atomic_t* stop)
{
    state = WriteState{};
    state.file = file;
    state.stop = stop;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, on_png_error, on_png_warning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        state.result.status = PngWriteStatus::refused;
        std::snprintf(state.result.message, sizeof state.result.message, "out of memory");
        return state.result;
    }
    // Nothing below changes png or info, so both are intact after a longjmp.
    if (setjmp(state.jump) != 0) {  // NOLINT(cert-err52-cpp): libpng's error channel
        png_destroy_write_struct(&png, &info);
        return state.result;
    }
    png_set_write_fn(png, &state, write_bytes, flush_nothing);
    png_set_write_status_fn(png, after_row);
    png_set_IHDR(png, info, width, height, 8, channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const std::size_t row_bytes = std::size_t{width} * static_cast<std::size_t>(channels);
    for (std::uint32_t row = 0; row < height; ++row)
        png_write_row(png, pixels + std::size_t{row} * row_bytes);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file) != 0) {
        state.result.status = PngWriteStatus::write_failed;
        state.result.error_number = errno;
    }
    return state.result;
}

}  // namespace

PngWriteResult write_grey_png(std::FILE* file, const GreyPicture& picture, const volatile std::sig_atomic_t* stop)
{
    return write_png_rows(file, picture.width, picture.height, picture.pixels, 1, stop);
}

PngWriteResult write_colour_png(std::FILE* file, std::uint32_t width, std::uint32_t height, const std::uint8_t* rgb,
                                const volatile std::sig_atomic_t* stop)
{
    return write_png_rows(file, width, height, rgb, 3, stop);
}
