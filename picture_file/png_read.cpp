// PNG through libpng's row interface. libpng reports errors by longjmp to the setjmp
// in read_png_stream, the only way it offers. What it may take is bounded three ways:
// every allocation is counted against the decoder's memory, ancillary chunks other
// than transparency are skipped unread (a text chunk that claims 2 GB costs nothing),
// and the sides are checked by the reader's own rule, not libpng's default.
#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "picture_file/decoders.h"

namespace {

struct PngReadState {
    std::FILE* file = nullptr;
    PictureError* error = nullptr;
    bool refused = false;            // error holds the reason already
    std::uint64_t memory_used = 0;   // bytes libpng holds, with their size headers
    std::uint64_t memory_bound = 0;  // bytes it may hold
    bool out_of_memory = false;      // an allocation would have gone past the bound
    DecodedPicture picture;
    std::uint8_t* row = nullptr;     // a row of samples, from libpng's allocator
    std::jmp_buf jump = {};
};

// Static rather than automatic: it changes between the setjmp and a longjmp, and is
// read after it. One picture is read at a time, by the main thread.
PngReadState state;

PngReadState* state_of(png_structp png) { return static_cast<PngReadState*>(png_get_error_ptr(png)); }

[[noreturn]] void on_png_error(png_structp png, png_const_charp message)
{
    PngReadState* s = state_of(png);
    if (!s->refused && s->out_of_memory)
        refuse(*s->error, "decoding it needs more than the %llu MiB of memory a decoder may use",
               static_cast<unsigned long long>(s->memory_bound >> 20));
    else if (!s->refused)
        refuse(*s->error, "%s", message);
    s->refused = true;
    std::longjmp(s->jump, 1);  // NOLINT(cert-err52-cpp): libpng's error channel
}

void on_png_warning(png_structp /*png*/, png_const_charp /*message*/) {}

// libpng would say "Read Error" whether the file ended early or could not be read;
// the stream knows which.
void read_bytes(png_structp png, png_bytep data, png_size_t length)
{
    PngReadState* s = static_cast<PngReadState*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, s->file) != length) {
        refuse_short_read(*s->error, s->file);
        s->refused = true;
        png_error(png, "read failed");
    }
}

// Each block carries its size ahead of it, so that the count can be given back.
constexpr std::size_t size_header = alignof(std::max_align_t);

png_voidp take_memory(png_structp png, png_alloc_size_t size)
{
    PngReadState* s = state_of(png);
    if (size > s->memory_bound || s->memory_used + size + size_header > s->memory_bound) {
        s->out_of_memory = true;
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(size + size_header));
    if (block == nullptr)
        return nullptr;
    s->memory_used += size + size_header;
    std::memcpy(block, &size, sizeof size);
    return block + size_header;
}

void give_memory(png_structp png, png_voidp memory)
{
    if (memory == nullptr)
        return;
    unsigned char* block = static_cast<unsigned char*>(memory) - size_header;
    png_alloc_size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    state_of(png)->memory_used -= size + size_header;
    std::free(block);
}

// Where libpng may write the row starting at pixel `at` in place, when its samples
// are already as kept; null when the row needs converting.
png_bytep row_in_place(int channels, bool interlaced, std::int64_t at)
{
    const SamplePicture& samples = state.picture.samples;
    if (interlaced)
        return nullptr;
    if (samples.samples == nullptr)
        return channels == 1 ? state.picture.grey.pixels + at : nullptr;
    if (samples.bits != 16 || channels != samples.channels)
        return nullptr;
    return reinterpret_cast<png_bytep>(samples.samples + at * channels);
}

// One row of `columns` pixels, put at pixel `at` and every step-th on.
void read_one_row(png_structp png, int channels, std::uint32_t columns, bool interlaced, std::int64_t at,
                  std::int64_t step)
{
    png_bytep in_place = row_in_place(channels, interlaced, at);
    png_read_row(png, in_place != nullptr ? in_place : state.row, nullptr);
    if (in_place == nullptr)
        put_row(state.row, channels, columns, state.picture, at, step);
}

// The rows of one pass (all of a plain picture; one of seven of an interlaced one),
// each turned to grey (or kept as samples) and put at its place.
void read_pass(png_structp png, std::uint32_t width, std::uint32_t height, int channels, int pass, bool interlaced)
{
    const std::uint32_t columns = interlaced ? PNG_PASS_COLS(width, pass) : width;
    const std::uint32_t rows = interlaced ? PNG_PASS_ROWS(height, pass) : height;
    if (columns == 0 || rows == 0)
        return;
    const std::uint32_t first_column = interlaced ? PNG_PASS_START_COL(pass) : 0;
    const std::int64_t step = interlaced ? std::int64_t{1} << PNG_PASS_COL_SHIFT(pass) : 1;
    for (std::uint32_t r = 0; r < rows; ++r) {
        const std::uint32_t y = interlaced ? PNG_ROW_FROM_PASS_ROW(r, pass) : r;
        read_one_row(png, channels, columns, interlaced, std::int64_t{y} * width + first_column, step);
    }
}

// Samples are kept in the host's order, libpng's are big-endian.
bool host_is_little_endian()
{
    const std::uint16_t probe = 1;
    std::uint8_t first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

}  // namespace

bool read_png_stream(const PictureStream& stream, DecodedPicture& picture, PictureError& error)
{
    state = PngReadState{};
    state.file = stream.file;
    state.error = &error;
    // The pixels are not known yet; the header is read within the whole bound.
    state.memory_bound = decoder_memory(stream, 0);
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &state, on_png_error, on_png_warning, &state,
                                               take_memory, give_memory);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return refuse(error, "%s", std::strerror(ENOMEM));
    }
    const bool keep_samples = stream.samples;
    // Nothing below changes png or info, so both are intact after a longjmp.
    if (setjmp(state.jump) != 0) {  // NOLINT(cert-err52-cpp): libpng's error channel
        png_free(png, state.row);
        png_destroy_read_struct(&png, &info, nullptr);
        free_decoded_picture(state.picture);
        return false;
    }
    png_set_read_fn(png, &state, read_bytes);
    png_set_sig_bytes(png, static_cast<int>(stream.prefix_bytes));
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(png, std::size_t{1} << 20);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);
    const std::uint32_t width = png_get_image_width(png, info);
    const std::uint32_t height = png_get_image_height(png, info);
    const int colour_type = png_get_color_type(png, info);
    const int bits = png_get_bit_depth(png, info) == 16 ? 16 : 8;
    const int kept_channels = (colour_type & PNG_COLOR_MASK_COLOR) != 0 ? 3 : 1;
    if (!allocate_picture(stream, width, height, kept_channels, bits, state.picture, error)) {
        state.refused = true;
        png_error(png, "refused");
    }
    state.memory_bound = decoder_memory(stream, std::uint64_t{width} * height);
    // Palette to colour, transparency to alpha, small greys to 8 bits; for grey, 16
    // bits to 8, and for samples alpha dropped.
    png_set_expand(png);
    if (!keep_samples)
        png_set_scale_16(png);
    if (keep_samples)
        png_set_strip_alpha(png);
    if (keep_samples && bits == 16 && host_is_little_endian())
        png_set_swap(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    const bool interlaced = png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7;
    state.row = static_cast<std::uint8_t*>(png_malloc(png, png_get_rowbytes(png, info)));
    for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass)
        read_pass(png, width, height, channels, pass, interlaced);
    png_read_end(png, nullptr);
    png_free(png, state.row);
    png_destroy_read_struct(&png, &info, nullptr);
    picture = state.picture;
    return true;
}
