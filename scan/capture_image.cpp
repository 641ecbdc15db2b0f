// The capture as the reader works on it: one grey channel of 16 bits. The file is
// decoded by the tools' own picture reader (PNG, JPEG or TIFF, told by content) with
// its depth and channels kept: a grey capture is read as it stands, a colour one
// keeps its samples so that its channels can be weighed once the disc is found, and
// starts as their mean; a JPEG that holds its colour coarser than its brightness is
// read as its luma.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "scan/reader_parts.h"

namespace {

// A 1200-dpi scan of a whole A4 bed, and some room.
constexpr std::uint64_t max_capture_pixels = 160000000;

// A sum of a colour capture's three channels, (w . rgb + rounding) / divisor.
struct ChannelSum {
    std::uint32_t weight[3];
    std::uint32_t divisor;
    std::uint32_t rounding;
};

// The channels' mean, for finding the disc before they are weighed.
constexpr ChannelSum channel_mean{{1, 1, 1}, 3, 1};
// The luma a JPEG stores at full resolution: when its colour is coarser, any other
// sum of the channels would blur the pattern.
constexpr ChannelSum luma{{299, 587, 114}, 1000, 500};

void sum_channels(const SamplePicture& samples, const ChannelSum& sum, cv::Mat& grey)
{
    grey.create(static_cast<int>(samples.height), static_cast<int>(samples.width), CV_16U);
    const std::uint32_t* w = sum.weight;
    for (int y = 0; y < grey.rows; ++y) {
        const std::uint16_t* in = samples.samples + std::size_t{3} * samples.width * static_cast<std::size_t>(y);
        auto* out = grey.ptr<std::uint16_t>(y);
        for (int x = 0; x < grey.cols; ++x, in += 3)
            out[x] = static_cast<std::uint16_t>((w[0] * in[0] + w[1] * in[1] + w[2] * in[2] + sum.rounding) / sum.divisor);
    }
}

}  // namespace

bool load_capture(const char* path, SamplePicture& samples, cv::Mat& grey, char* why, std::size_t why_size)
{
    struct stat info {};
    if (stat(path, &info) != 0 || S_ISDIR(info.st_mode)) {
        std::snprintf(why, why_size, "scan \"%s\": %s", path,
                      S_ISDIR(info.st_mode) ? "is a folder, not a picture" : std::strerror(errno));
        return false;
    }
    PictureError error;
    if (!read_sample_picture(path, max_capture_pixels, samples, error)) {
        std::snprintf(why, why_size, "scan \"%s\": %s", path, error.text);
        return false;
    }
    try {
        // A grey capture's samples are the grey: looked at in place, not copied.
        if (samples.channels == 1)
            grey = cv::Mat(static_cast<int>(samples.height), static_cast<int>(samples.width), CV_16U, samples.samples);
        else if (!samples.coarse_colour)
            sum_channels(samples, channel_mean, grey);
        else {
            sum_channels(samples, luma, grey);
            free_sample_picture(samples);  // read as its luma alone: no channels to weigh
        }
    } catch (const cv::Exception& failure) {
        free_sample_picture(samples);
        std::snprintf(why, why_size, "scan \"%s\": cannot be read: %s", path, failure.what());
        return false;
    } catch (const std::bad_alloc&) {
        free_sample_picture(samples);
        std::snprintf(why, why_size, "scan \"%s\": not enough memory to read it", path);
        return false;
    }
    return true;
}
