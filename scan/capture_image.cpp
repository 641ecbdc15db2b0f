// The capture as the reader works on it: one grey channel of 16 bits. The file is
// decoded by the tools' own picture reader (PNG or JPEG, 8 or 16 bits, grey or
// colour, told by content), which gives 8-bit grey: colour by its luminance.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "picture_file/picture_read.h"
#include "scan/reader_parts.h"

namespace {

// A 1200-dpi scan of a whole A4 bed, and some room.
constexpr std::uint64_t max_capture_pixels = 160000000;

}  // namespace

bool load_capture(const char* path, cv::Mat& grey, char* why, std::size_t why_size)
{
    struct stat info {};
    if (stat(path, &info) != 0 || S_ISDIR(info.st_mode)) {
        std::snprintf(why, why_size, "scan \"%s\": %s", path,
                      S_ISDIR(info.st_mode) ? "is a folder, not a picture" : std::strerror(errno));
        return false;
    }
    GreyPicture picture;
    PictureError error;
    if (!read_grey_picture(path, max_capture_pixels, picture, error)) {
        std::snprintf(why, why_size, "scan \"%s\": %s", path, error.text);
        return false;
    }
    try {
        const cv::Mat file(static_cast<int>(picture.height), static_cast<int>(picture.width), CV_8U, picture.pixels);
        file.convertTo(grey, CV_16U, 257);
    } catch (const cv::Exception& failure) {
        free_grey_picture(picture);
        std::snprintf(why, why_size, "scan \"%s\": cannot be read: %s", path, failure.what());
        return false;
    } catch (const std::bad_alloc&) {
        free_grey_picture(picture);
        std::snprintf(why, why_size, "scan \"%s\": not enough memory to read it", path);
        return false;
    }
    free_grey_picture(picture);
    return true;
}
