// JPEG through libjpeg. Its errors arrive at error_exit, which must not return:
// it longjmps to the setjmp in read_jpeg_stream, so a bad file never ends the
// process. The file is read through a source of our own, which starts with the bytes
// already read to tell the format, knows when the file ended early, and keeps the
// first EXIF block for its orientation. libjpeg's memory is held to the decoder's
// bound, so that a progressive picture that needs more is refused, not decoded.
#include <cstdio>  // before jpeglib.h, which uses FILE and size_t

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>

#include "picture_file/decoders.h"
#include "picture_file/exif_orientation.h"

namespace {

struct JpegReadState {
    jpeg_decompress_struct jpeg{};
    jpeg_error_mgr errors{};
    jpeg_source_mgr source{};
    std::FILE* file = nullptr;
    PictureError* error = nullptr;
    std::uint64_t memory_bound = 0;  // bytes libjpeg may hold
    bool refused = false;            // error holds the reason already
    bool ended = false;              // the file ended (or failed) before libjpeg was done
    int read_errno = 0;              // errno of a failed read, 0 at an end of file
    bool exif_seen = false;          // later EXIF blocks are not looked at
    int orientation = 1;
    DecodedPicture picture;
    std::jmp_buf jump = {};
    JOCTET buffer[65536] = {};
    std::uint8_t exif[65536] = {};  // an APP1 segment holds at most 65533 bytes
};

// Static rather than automatic: it changes between the setjmp and a longjmp, and is
// read after it. One picture is read at a time, by the main thread.
JpegReadState state;

[[noreturn]] void give_up()
{
    state.refused = true;
    std::longjmp(state.jump, 1);  // NOLINT(cert-err52-cpp): libjpeg's error channel
}

[[noreturn]] void refuse_cut_short()
{
    if (state.read_errno != 0)
        refuse(*state.error, "%s", std::strerror(state.read_errno));
    else
        refuse(*state.error, "the file ends before the picture does");
    give_up();
}

[[noreturn]] void on_jpeg_error(j_common_ptr jpeg)
{
    if (state.refused)
        give_up();
    if (state.ended)
        refuse_cut_short();
    const int code = jpeg->err->msg_code;
    if (code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE) {
        refuse(*state.error, "decoding it needs more than the %llu MiB of memory a decoder may use",
               static_cast<unsigned long long>(state.memory_bound >> 20));
    } else {
        char message[JMSG_LENGTH_MAX] = {};
        (*jpeg->err->format_message)(jpeg, message);
        refuse(*state.error, "%s", message);
    }
    give_up();
}

// Warnings (corrupt data that libjpeg works round) are not printed; an early end of
// the file is caught where the source meets it.
void on_jpeg_message(j_common_ptr /*jpeg*/, int /*level*/) {}

void start_source(j_decompress_ptr /*jpeg*/) {}
void end_source(j_decompress_ptr /*jpeg*/) {}

// At the end of the file libjpeg is given an end-of-image marker, so that it
// stops; the picture is then refused as cut short.
boolean fill_source(j_decompress_ptr /*jpeg*/)
{
    std::size_t got = std::fread(state.buffer, 1, sizeof state.buffer, state.file);
    if (got == 0) {
        if (!state.ended && std::ferror(state.file) != 0)
            state.read_errno = errno;
        state.ended = true;
        state.buffer[0] = 0xFF;
        state.buffer[1] = JPEG_EOI;
        got = 2;
    }
    state.source.next_input_byte = state.buffer;
    state.source.bytes_in_buffer = got;
    return TRUE;
}

void skip_source(j_decompress_ptr jpeg, long bytes)  // NOLINT(google-runtime-int): libjpeg's type
{
    if (bytes <= 0)
        return;
    auto left = static_cast<std::size_t>(bytes);
    while (left > state.source.bytes_in_buffer) {
        left -= state.source.bytes_in_buffer;
        fill_source(jpeg);
        if (state.ended)
            return;
    }
    state.source.next_input_byte += left;
    state.source.bytes_in_buffer -= left;
}

std::uint8_t next_byte(j_decompress_ptr jpeg)
{
    if (state.source.bytes_in_buffer == 0)
        fill_source(jpeg);
    --state.source.bytes_in_buffer;
    return *state.source.next_input_byte++;
}

// An APP1 segment: read whole into a fixed buffer; the first that is EXIF gives the
// orientation.
boolean read_app1(j_decompress_ptr jpeg)
{
    std::size_t length = std::size_t{next_byte(jpeg)} << 8;
    length |= next_byte(jpeg);
    length = length >= 2 ? length - 2 : 0;
    for (std::size_t k = 0; k < length && !state.ended; ++k)
        state.exif[k] = next_byte(jpeg);
    if (!state.exif_seen && length >= 6 && std::memcmp(state.exif, "Exif\0\0", 6) == 0) {
        state.exif_seen = true;
        state.orientation = exif_orientation(state.exif, length);
    }
    return TRUE;
}

void start_reading(const PictureStream& stream)
{
    jpeg_decompress_struct& jpeg = state.jpeg;
    jpeg.err = jpeg_std_error(&state.errors);
    state.errors.error_exit = on_jpeg_error;
    state.errors.emit_message = on_jpeg_message;
    jpeg_create_decompress(&jpeg);
    state.memory_bound = decoder_memory(stream, 0);
    jpeg.mem->max_memory_to_use = static_cast<long>(state.memory_bound);  // NOLINT(google-runtime-int)
    std::memcpy(state.buffer, stream.prefix, stream.prefix_bytes);
    state.source.next_input_byte = state.buffer;
    state.source.bytes_in_buffer = stream.prefix_bytes;
    state.source.init_source = start_source;
    state.source.fill_input_buffer = fill_source;
    state.source.skip_input_data = skip_source;
    state.source.resync_to_restart = jpeg_resync_to_restart;
    state.source.term_source = end_source;
    jpeg.src = &state.source;
    jpeg_set_marker_processor(&jpeg, JPEG_APP0 + 1, read_app1);
}

// Grey stays grey; every other kind of colour is asked for as RGB, which the
// reader turns to grey as it does a PNG's colour.
int output_channels(jpeg_decompress_struct& jpeg)
{
    switch (jpeg.jpeg_color_space) {
    case JCS_GRAYSCALE: jpeg.out_color_space = JCS_GRAYSCALE; return 1;
    case JCS_YCbCr:
    case JCS_RGB: jpeg.out_color_space = JCS_RGB; return 3;
    default:
        refuse(*state.error, "a JPEG in CMYK or another colour space than grey and RGB is not read");
        give_up();
    }
}

}  // namespace

bool read_jpeg_stream(const PictureStream& stream, DecodedPicture& picture, PictureError& error)
{
    state = JpegReadState{};
    state.file = stream.file;
    state.error = &error;
    jpeg_decompress_struct& jpeg = state.jpeg;
    // Nothing below changes jpeg's address, so it is intact after a longjmp.
    if (setjmp(state.jump) != 0) {  // NOLINT(cert-err52-cpp): libjpeg's error channel
        jpeg_destroy_decompress(&jpeg);
        free_decoded_picture(state.picture);
        return false;
    }
    start_reading(stream);
    jpeg_read_header(&jpeg, TRUE);
    if (state.ended)
        refuse_cut_short();
    const int channels = output_channels(jpeg);
    const PictureLayout layout = upright_layout(jpeg.image_width, jpeg.image_height, state.orientation);
    if (!allocate_picture(stream, layout.width, layout.height, channels, 8, state.picture, error))
        give_up();
    if (channels == 3 && jpeg.jpeg_color_space == JCS_YCbCr && jpeg.num_components == 3) {
        const jpeg_component_info* parts = jpeg.comp_info;
        for (int c = 1; c < 3; ++c)
            if (parts[c].h_samp_factor < parts[0].h_samp_factor || parts[c].v_samp_factor < parts[0].v_samp_factor)
                state.picture.samples.coarse_colour = true;
    }
    state.memory_bound = decoder_memory(stream, std::uint64_t{layout.width} * layout.height);
    jpeg.mem->max_memory_to_use = static_cast<long>(state.memory_bound);  // NOLINT(google-runtime-int)
    jpeg_start_decompress(&jpeg);
    JSAMPARRAY row = (*jpeg.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&jpeg), JPOOL_IMAGE,
                                               jpeg.output_width * static_cast<JDIMENSION>(channels), 1);
    while (jpeg.output_scanline < jpeg.output_height) {
        const std::int64_t y = jpeg.output_scanline;
        jpeg_read_scanlines(&jpeg, row, 1);
        put_row(row[0], channels, jpeg.output_width, state.picture, layout.origin + y * layout.step_y, layout.step_x);
    }
    jpeg_finish_decompress(&jpeg);
    if (state.ended)
        refuse_cut_short();
    jpeg_destroy_decompress(&jpeg);
    picture = state.picture;
    return true;
}
