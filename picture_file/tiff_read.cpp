// TIFF through libtiff, for scanners that save it. A TIFF is read by seeking (its
// directories may stand anywhere in the file), so it must be a regular file. libtiff's
// RGBA reader takes every layout (strips or tiles, 1 to 16 bits, grey, palette or
// colour, any orientation tag) and hands it out in slices of rows, so that beside the
// picture only one slice is held. It gives 8 bits, so samples kept at 16 bits are
// read a row at a time where the layout is a scanner's plain one (strips, grey or RGB
// interleaved, 8 or 16 bits, top row first). libtiff reports through process-wide
// handlers: errors are kept as the reason, warnings are dropped.
#include <tiffio.h>

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "picture_file/decoders.h"

namespace {

char tiff_error[200];  // libtiff's last error, for the reason; one picture is read at a time

void keep_error(const char* /*module*/, const char* format, std::va_list values)
{
    std::vsnprintf(tiff_error, sizeof tiff_error, format, values);
}

void drop_warning(const char* /*module*/, const char* /*format*/, std::va_list /*values*/) {}

// The rows of one slice: enough that a strip is not read many times over.
constexpr std::uint32_t slice_rows = 64;

// One row of the RGBA reader's packed pixels as samples (4 a pixel, or grey and
// alpha, 2 a pixel), put at its place.
void put_rgba_row(const std::uint32_t* pixel, std::uint32_t width, bool premultiplied, bool grey,
                  std::uint8_t* samples, DecodedPicture& picture, std::int64_t at)
{
    for (std::uint32_t x = 0; x < width; ++x) {
        std::uint8_t* sample = samples + std::size_t{4} * x;
        sample[0] = static_cast<std::uint8_t>(TIFFGetR(pixel[x]));
        sample[1] = static_cast<std::uint8_t>(TIFFGetG(pixel[x]));
        sample[2] = static_cast<std::uint8_t>(TIFFGetB(pixel[x]));
        sample[3] = static_cast<std::uint8_t>(TIFFGetA(pixel[x]));
        // With alpha, the RGBA reader gives the colour already multiplied by it.
        if (premultiplied && sample[3] != 0)
            for (int c = 0; c < 3; ++c)
                sample[c] = static_cast<std::uint8_t>((sample[c] * 255 + sample[3] / 2) / sample[3]);
    }
    if (grey)
        for (std::uint32_t x = 0; x < width; ++x) {
            samples[std::size_t{2} * x] = samples[std::size_t{4} * x];
            samples[std::size_t{2} * x + 1] = samples[std::size_t{4} * x + 3];
        }
    put_row(samples, grey ? 2 : 4, width, picture, at, 1);
}

struct TiffLayout {
    std::uint16_t bits = 0;
    std::uint16_t channels = 0;
    std::uint16_t photometric = 0;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    bool tiled = false;
};

TiffLayout layout_of(TIFF* tiff)
{
    TiffLayout layout;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &layout.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &layout.channels);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &layout.planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &layout.orientation);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &layout.format);
    if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &layout.photometric) == 0)
        layout.photometric = PHOTOMETRIC_MINISWHITE;  // unknown: not read row by row
    layout.tiled = TIFFIsTiled(tiff) != 0;
    return layout;
}

// The plain layout whose rows hold the samples as kept.
bool rows_as_kept(const TiffLayout& layout)
{
    const bool grey = layout.photometric == PHOTOMETRIC_MINISBLACK && (layout.channels == 1 || layout.channels == 2);
    const bool colour = layout.photometric == PHOTOMETRIC_RGB && (layout.channels == 3 || layout.channels == 4);
    return !layout.tiled && layout.planar == PLANARCONFIG_CONTIG && layout.orientation == ORIENTATION_TOPLEFT &&
           layout.format == SAMPLEFORMAT_UINT && (layout.bits == 8 || layout.bits == 16) && (grey || colour);
}

// The samples of a plain layout, row by row at their own depth.
bool decode_rows(TIFF* tiff, const PictureStream& stream, const TiffLayout& layout, DecodedPicture& picture,
                 PictureError& error)
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    if (!allocate_picture(stream, width, height, layout.channels >= 3 ? 3 : 1, layout.bits, picture, error))
        return false;
    const auto row_bytes = static_cast<std::uint64_t>(TIFFScanlineSize64(tiff));
    const std::uint64_t needed = std::uint64_t{width} * layout.channels * (layout.bits / 8);
    if (row_bytes < needed || row_bytes > decoder_memory(stream, std::uint64_t{width} * height)) {
        free_decoded_picture(picture);
        return refuse(error, "a TIFF whose rows do not hold its pixels, or more than the decoder's memory");
    }
    std::vector<std::uint8_t> row(row_bytes);
    for (std::uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tiff, row.data(), y, 0) < 0) {
            free_decoded_picture(picture);
            return refuse(error, "a damaged TIFF: %s", tiff_error[0] != '\0' ? tiff_error : "its pixels cannot be read");
        }
        put_row(row.data(), layout.channels, width, picture, std::int64_t{y} * width, 1);
    }
    return true;
}

bool decode(TIFF* tiff, const PictureStream& stream, DecodedPicture& picture, PictureError& error)
{
    const TiffLayout layout = layout_of(tiff);
    if (stream.samples && rows_as_kept(layout))
        return decode_rows(tiff, stream, layout, picture, error);
    char why[1024] = {};
    TIFFRGBAImage image{};
    if (TIFFRGBAImageOK(tiff, why) == 0 || TIFFRGBAImageBegin(&image, tiff, 0, why) == 0)
        return refuse(error, "a TIFF this reader does not take: %s", why);
    image.req_orientation = ORIENTATION_TOPLEFT;
    const std::uint32_t width = image.width;
    const std::uint32_t height = image.height;
    // Samples of a grey TIFF stay one channel; the grey picture takes every TIFF's RGBA as before.
    const bool grey = stream.samples &&
                      (layout.photometric == PHOTOMETRIC_MINISBLACK || layout.photometric == PHOTOMETRIC_MINISWHITE);
    bool read = allocate_picture(stream, width, height, grey ? 1 : 3, 8, picture, error);
    const std::uint64_t slice_bytes = std::uint64_t{width} * (slice_rows + 1) * 4;
    if (read && slice_bytes > decoder_memory(stream, std::uint64_t{width} * height)) {
        free_decoded_picture(picture);
        read = refuse(error, "%u pixels a row is more than the decoder's memory holds", width);
    }
    std::vector<std::uint32_t> slice;
    std::vector<std::uint8_t> samples;
    if (read) {
        slice.resize(std::size_t{width} * slice_rows);
        samples.resize(std::size_t{4} * width);
    }
    const bool premultiplied = image.alpha != 0;
    for (std::uint32_t top = 0; read && top < height; top += slice_rows) {
        const std::uint32_t rows = height - top < slice_rows ? height - top : slice_rows;
        image.row_offset = static_cast<int>(top);
        if (TIFFRGBAImageGet(&image, slice.data(), width, rows) == 0) {
            free_decoded_picture(picture);
            read = refuse(error, "a damaged TIFF: %s", tiff_error[0] != '\0' ? tiff_error : "its pixels cannot be read");
            break;
        }
        for (std::uint32_t y = 0; y < rows; ++y)
            put_rgba_row(slice.data() + std::size_t{y} * width, width, premultiplied, grey, samples.data(), picture,
                         std::int64_t{top + y} * width);
    }
    TIFFRGBAImageEnd(&image);
    return read;
}

}  // namespace

bool read_tiff_stream(const PictureStream& stream, DecodedPicture& picture, PictureError& error)
{
    if (lseek(fileno(stream.file), 0, SEEK_SET) != 0)
        return refuse(error, "a TIFF is read by seeking, and this file cannot seek (a pipe?)");
    TIFFSetErrorHandler(keep_error);
    TIFFSetWarningHandler(drop_warning);
    tiff_error[0] = '\0';
    // libtiff reads through a descriptor of its own, which its close closes.
    const int fd = dup(fileno(stream.file));
    if (fd < 0)
        return refuse(error, "%s", std::strerror(errno));
    TIFF* tiff = TIFFFdOpen(fd, "capture", "r");
    if (tiff == nullptr)
        close(fd);
    if (tiff == nullptr)
        return refuse(error, "a damaged TIFF: %s", tiff_error[0] != '\0' ? tiff_error : "its header cannot be read");
    const bool read = decode(tiff, stream, picture, error);
    TIFFClose(tiff);
    return read;
}
