// PNG to grey through libpng's simplified reading interface, which converts every
// colour type and depth itself: colour becomes luminance in linear light (as the
// sRGB curves define it) and alpha is composited onto the background given here.
#include "picture_file/png_read.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/huge_pages.h"

namespace {

bool refuse(PngError& error, const char* reason)
{
    std::snprintf(error.text, sizeof error.text, "%s", reason);
    return false;
}

// libpng says "Read Error" whether the file ended early or could not be read;
// the stream knows which.
bool refuse_failed_read(PngError& error, std::FILE* file, const char* libpng_message)
{
    if (std::ferror(file) != 0)
        return refuse(error, std::strerror(errno));
    if (std::feof(file) != 0)
        return refuse(error, "the file ends before the picture does");
    return refuse(error, libpng_message);
}

// A large picture is given huge pages where the system lends them on request:
// decoding then takes a page fault per 2 MiB, not per 4 KiB.
std::uint8_t* allocate_pixels(std::uint64_t pixels)
{
    if (pixels < huge_page_bytes)
        return static_cast<std::uint8_t*>(std::malloc(pixels));
    const std::size_t size = in_huge_pages(pixels);
    void* buffer = std::aligned_alloc(huge_page_bytes, size);
    if (buffer != nullptr)
        use_huge_pages(buffer, size);
    return static_cast<std::uint8_t*>(buffer);
}

// Reads the open file's header and pixels; the caller closes the file.
bool read_open_png(std::FILE* file, std::uint64_t max_pixels, GreyPicture& picture, PngError& error)
{
    png_byte signature[8] = {};
    const std::size_t got = std::fread(signature, 1, sizeof signature, file);
    if (std::ferror(file) != 0)
        return refuse(error, std::strerror(errno));
    if (png_sig_cmp(signature, 0, got) != 0 || got < sizeof signature)
        return refuse(error, "not a PNG file");
    std::rewind(file);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_stdio(&image, file) == 0)
        return refuse_failed_read(error, file, image.message);
    const std::uint64_t pixels = std::uint64_t{image.width} * image.height;
    if (pixels > max_pixels) {
        std::snprintf(error.text, sizeof error.text,
                      "%u x %u pixels is more than the %llu pixels that may be decoded",
                      image.width, image.height, static_cast<unsigned long long>(max_pixels));
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_GRAY;
    auto* buffer = allocate_pixels(pixels);
    if (buffer == nullptr) {
        png_image_free(&image);
        return refuse(error, std::strerror(ENOMEM));
    }
    // sRGB white; for grey output libpng takes the green channel.
    const png_color white{255, 255, 255};
    if (png_image_finish_read(&image, &white, buffer, 0, nullptr) == 0) {
        std::free(buffer);
        return refuse_failed_read(error, file, image.message);
    }
    picture = {image.width, image.height, buffer};
    return true;
}

}  // namespace

bool read_grey_png(const char* path, std::uint64_t max_pixels, GreyPicture& picture, PngError& error)
{
    picture = GreyPicture{};
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return refuse(error, std::strerror(errno));
    errno = 0;
    const bool read = read_open_png(file, max_pixels, picture, error);
    std::fclose(file);
    return read;
}

void free_grey_picture(GreyPicture& picture)
{
    std::free(picture.pixels);
    picture = GreyPicture{};
}
