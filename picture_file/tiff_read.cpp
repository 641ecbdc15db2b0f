// TIFF through libtiff, for scanners that save it. A TIFF is read by seeking (its
// directories may stand anywhere in the file), so it must be a regular file. libtiff's
// RGBA reader takes every layout (strips or tiles, 1 to 16 bits, grey, palette or
// colour, any orientation tag) and hands it out in slices of rows, so that beside the
// picture only one slice is held. libtiff reports through process-wide handlers:
// errors are kept as the reason, warnings are dropped.
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

// The grey of one row of the RGBA reader's packed pixels, through samples (4 a pixel).
void put_rgba_row(const std::uint32_t* pixel, std::uint32_t width, bool premultiplied, std::uint8_t* samples,
                  std::uint8_t* out)
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
    put_grey_row(samples, 4, width, out, 1);
}

bool decode(TIFF* tiff, const PictureStream& stream, GreyPicture& picture, PictureError& error)
{
    char why[1024] = {};
    TIFFRGBAImage image{};
    if (TIFFRGBAImageOK(tiff, why) == 0 || TIFFRGBAImageBegin(&image, tiff, 0, why) == 0)
        return refuse(error, "a TIFF this reader does not take: %s", why);
    image.req_orientation = ORIENTATION_TOPLEFT;
    const std::uint32_t width = image.width;
    const std::uint32_t height = image.height;
    bool read = allocate_picture(stream, width, height, picture, error);
    const std::uint64_t slice_bytes = std::uint64_t{width} * (slice_rows + 1) * 4;
    if (read && slice_bytes > decoder_memory(stream, std::uint64_t{width} * height)) {
        free_grey_picture(picture);
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
            free_grey_picture(picture);
            read = refuse(error, "a damaged TIFF: %s", tiff_error[0] != '\0' ? tiff_error : "its pixels cannot be read");
            break;
        }
        for (std::uint32_t y = 0; y < rows; ++y)
            put_rgba_row(slice.data() + std::size_t{y} * width, width, premultiplied, samples.data(),
                         picture.pixels + std::size_t{top + y} * width);
    }
    TIFFRGBAImageEnd(&image);
    return read;
}

}  // namespace

bool read_tiff_stream(const PictureStream& stream, GreyPicture& picture, PictureError& error)
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
