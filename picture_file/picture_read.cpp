// The picture reader's front: the file opened and read as a stream (no seek, so a
// pipe works, except for a TIFF), its first bytes telling PNG, JPEG and TIFF apart, and what the decoders share:
// size checks, the pixels' memory, the upright layout and the grey or samples of a row.
#include "picture_file/picture_read.h"

#include <png.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/huge_pages.h"
#include "picture_file/decoders.h"

namespace {

// A large picture is given huge pages where the system lends them on request:
// decoding then takes a page fault per 2 MiB, not per 4 KiB.
void* allocate_pixels(std::uint64_t bytes)
{
    if (bytes < huge_page_bytes)
        return std::malloc(bytes);
    const std::size_t size = in_huge_pages(bytes);
    void* buffer = std::aligned_alloc(huge_page_bytes, size);
    if (buffer != nullptr)
        use_huge_pages(buffer, size);
    return buffer;
}

bool is_jpeg(const PictureStream& stream)
{
    return stream.prefix_bytes >= 3 && stream.prefix[0] == 0xFF && stream.prefix[1] == 0xD8 && stream.prefix[2] == 0xFF;
}

// Either byte order, classic or big TIFF.
bool is_tiff(const PictureStream& stream)
{
    const std::uint8_t* p = stream.prefix;
    return stream.prefix_bytes >= 4 && ((p[0] == 'I' && p[1] == 'I' && (p[2] == 42 || p[2] == 43) && p[3] == 0) ||
                                        (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && (p[3] == 42 || p[3] == 43)));
}

bool is_png(const PictureStream& stream)
{
    return stream.prefix_bytes == sizeof stream.prefix && png_sig_cmp(stream.prefix, 0, sizeof stream.prefix) == 0;
}

// The sRGB curves as tables: 8-bit sample to linear light in 16 bits, and back.
struct SrgbTables {
    std::array<std::uint16_t, 256> linear{};
    std::array<std::uint8_t, 65536> encoded{};
};

SrgbTables make_srgb_tables()
{
    SrgbTables tables;
    for (int v = 0; v < 256; ++v) {
        const double c = v / 255.0;
        const double l = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        tables.linear[v] = static_cast<std::uint16_t>(std::lround(l * 65535));
    }
    for (int i = 0; i < 65536; ++i) {
        const double l = i / 65535.0;
        const double c = l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
        tables.encoded[i] = static_cast<std::uint8_t>(std::lround(c * 255));
    }
    return tables;
}

const SrgbTables& srgb_tables()
{
    static const SrgbTables tables = make_srgb_tables();
    return tables;
}

// Rec. 709 luminance weights in 1/32768ths, summing to 32768 so that grey stays grey.
constexpr std::uint32_t red_weight = 6968;
constexpr std::uint32_t green_weight = 23434;
constexpr std::uint32_t blue_weight = 2366;

std::uint32_t over_white(std::uint32_t linear, std::uint32_t alpha)
{
    return (linear * alpha + 65535 * (255 - alpha) + 127) / 255;
}

}  // namespace

bool refuse(PictureError& error, const char* reason)
{
    std::snprintf(error.text, sizeof error.text, "%s", reason);
    return false;
}

bool refuse_short_read(PictureError& error, std::FILE* file)
{
    if (std::ferror(file) != 0)
        return refuse(error, "%s", std::strerror(errno));
    return refuse(error, "the file ends before the picture does");
}

PictureLayout upright_layout(std::uint32_t stored_width, std::uint32_t stored_height, int orientation)
{
    const std::int64_t w = stored_width;
    const std::int64_t h = stored_height;
    const bool turned = orientation >= 5 && orientation <= 8;
    PictureLayout layout{turned ? stored_height : stored_width, turned ? stored_width : stored_height, 0, 1, 0};
    const std::int64_t row = layout.width;  // pixels from one upright row to the next
    switch (orientation) {
    case 2: layout = {layout.width, layout.height, w - 1, -1, row}; break;                    // mirrored
    case 3: layout = {layout.width, layout.height, (h - 1) * row + w - 1, -1, -row}; break;  // turned half round
    case 4: layout = {layout.width, layout.height, (h - 1) * row, 1, -row}; break;           // upside down
    case 5: layout = {layout.width, layout.height, 0, row, 1}; break;                        // transposed
    case 6: layout = {layout.width, layout.height, h - 1, row, -1}; break;                   // stored turned left
    case 7: layout = {layout.width, layout.height, (w - 1) * row + h - 1, -row, -1}; break;  // transposed the other way
    case 8: layout = {layout.width, layout.height, (w - 1) * row, -row, 1}; break;           // stored turned right
    default: layout.step_y = row; break;
    }
    return layout;
}

bool allocate_picture(const PictureStream& stream, std::uint32_t width, std::uint32_t height, int channels, int bits,
                      DecodedPicture& picture, PictureError& error)
{
    const std::uint64_t pixels = std::uint64_t{width} * height;
    if (pixels > stream.max_pixels)
        return refuse(error, "%u x %u pixels is more than the %llu pixels that may be decoded", width, height,
                      static_cast<unsigned long long>(stream.max_pixels));
    if (width > max_picture_side || height > max_picture_side)
        return refuse(error, "%u x %u pixels has a side longer than the %u pixels a side may have", width, height,
                      max_picture_side);
    if (pixels == 0)
        return refuse(error, "the picture has no pixels");
    const std::uint64_t bytes = stream.samples ? pixels * channels * sizeof(std::uint16_t) : pixels;
    void* buffer = allocate_pixels(bytes);
    if (buffer == nullptr)
        return refuse(error, "%s getting %llu bytes for its pixels", std::strerror(ENOMEM),
                      static_cast<unsigned long long>(bytes));
    if (stream.samples)
        picture.samples = {width, height, channels, bits, static_cast<std::uint16_t*>(buffer)};
    else
        picture.grey = {width, height, static_cast<std::uint8_t*>(buffer)};
    return true;
}

void free_decoded_picture(DecodedPicture& picture)
{
    free_grey_picture(picture.grey);
    free_sample_picture(picture.samples);
}

std::uint64_t decoder_memory(const PictureStream& stream, std::uint64_t pixels)
{
    return max_decoder_bytes + (stream.max_pixels > pixels ? stream.max_pixels - pixels : 0);
}

void put_grey_row(const std::uint8_t* samples, int channels, std::uint32_t count, std::uint8_t* out,
                  std::int64_t step)
{
    const SrgbTables& srgb = srgb_tables();
    const auto& l = srgb.linear;
    for (std::uint32_t k = 0; k < count; ++k, samples += channels, out += step) {
        switch (channels) {
        case 1: *out = samples[0]; break;
        case 2: *out = srgb.encoded[over_white(l[samples[0]], samples[1])]; break;
        default: {
            const std::uint32_t luminance =
                (red_weight * l[samples[0]] + green_weight * l[samples[1]] + blue_weight * l[samples[2]] + 16384) >> 15;
            *out = srgb.encoded[channels == 4 ? over_white(luminance, samples[3]) : luminance];
        }
        }
    }
}

void put_sample_row(const void* samples, int channels, int bits, std::uint32_t count, std::uint16_t* out,
                    std::int64_t step)
{
    const int kept = channels >= 3 ? 3 : 1;
    const std::int64_t stride = step * kept;
    if (bits == 16) {
        const auto* in = static_cast<const std::uint16_t*>(samples);
        for (std::uint32_t k = 0; k < count; ++k, in += channels, out += stride)
            for (int c = 0; c < kept; ++c)
                out[c] = in[c];
        return;
    }
    const auto* in = static_cast<const std::uint8_t*>(samples);
    for (std::uint32_t k = 0; k < count; ++k, in += channels, out += stride)
        for (int c = 0; c < kept; ++c)
            out[c] = static_cast<std::uint16_t>(in[c] * 257);
}

void put_row(const void* samples, int channels, std::uint32_t count, DecodedPicture& picture, std::int64_t at,
             std::int64_t step)
{
    if (picture.samples.samples != nullptr)
        put_sample_row(samples, channels, picture.samples.bits, count,
                       picture.samples.samples + at * picture.samples.channels, step);
    else
        put_grey_row(static_cast<const std::uint8_t*>(samples), channels, count, picture.grey.pixels + at, step);
}

namespace {

bool read_picture(const char* path, PictureStream& stream, DecodedPicture& picture, PictureError& error)
{
    stream.file = std::fopen(path, "rb");
    if (stream.file == nullptr)
        return refuse(error, "%s", std::strerror(errno));
    errno = 0;
    stream.prefix_bytes = std::fread(stream.prefix, 1, sizeof stream.prefix, stream.file);
    bool read = false;
    if (std::ferror(stream.file) != 0)
        refuse(error, "%s", std::strerror(errno));
    else if (is_png(stream))
        read = read_png_stream(stream, picture, error);
    else if (is_jpeg(stream))
        read = read_jpeg_stream(stream, picture, error);
    else if (is_tiff(stream))
        read = read_tiff_stream(stream, picture, error);
    else
        refuse(error, "neither a PNG, a JPEG nor a TIFF file");
    std::fclose(stream.file);
    return read;
}

}  // namespace

bool read_grey_picture(const char* path, std::uint64_t max_pixels, GreyPicture& picture, PictureError& error)
{
    PictureStream stream;
    stream.max_pixels = max_pixels;
    DecodedPicture decoded;
    const bool read = read_picture(path, stream, decoded, error);
    picture = decoded.grey;
    return read;
}

bool read_sample_picture(const char* path, std::uint64_t max_pixels, SamplePicture& picture, PictureError& error)
{
    PictureStream stream;
    stream.max_pixels = max_pixels;
    stream.samples = true;
    DecodedPicture decoded;
    const bool read = read_picture(path, stream, decoded, error);
    picture = decoded.samples;
    return read;
}

void free_grey_picture(GreyPicture& picture)
{
    std::free(picture.pixels);
    picture = GreyPicture{};
}

void free_sample_picture(SamplePicture& picture)
{
    std::free(picture.samples);
    picture = SamplePicture{};
}
