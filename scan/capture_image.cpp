// The capture as the reader works on it: one grey channel of 16 bits, whatever the
// file held (8 or 16 bits, grey or colour, PNG, JPEG or TIFF). A colour capture gives
// the channel in which the pattern stands out most: the spread of its values.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "scan/reader_parts.h"

namespace {

// The channel whose values spread most, judged on a small copy.
int contrast_channel(const cv::Mat& colour)
{
    cv::Mat small;
    const double scale = std::min(1.0, 512.0 / std::max(colour.cols, colour.rows));
    cv::resize(colour, small, cv::Size(), scale, scale, cv::INTER_AREA);
    cv::Scalar mean;
    cv::Scalar spread;
    cv::meanStdDev(small, mean, spread);
    int best = 0;
    for (int c = 1; c < std::min(3, colour.channels()); ++c)
        if (spread[c] > spread[best])
            best = c;
    return best;
}

}  // namespace

bool load_capture(const char* path, cv::Mat& grey, char* why, std::size_t why_size)
{
    struct stat info {};
    if (stat(path, &info) != 0 || S_ISDIR(info.st_mode)) {
        std::snprintf(why, why_size, "scan \"%s\": %s", path,
                      S_ISDIR(info.st_mode) ? "is a folder, not a picture" : std::strerror(errno));
        return false;
    }
    try {
        cv::Mat file = cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
        if (file.empty()) {
            std::snprintf(why, why_size, "scan \"%s\": is not a picture that can be read (PNG, JPEG or TIFF)", path);
            return false;
        }
        cv::Mat channel = file;
        if (file.channels() > 1) {
            cv::extractChannel(file, channel, contrast_channel(file));
            file.release();
        }
        switch (channel.depth()) {
        case CV_8U:
            channel.convertTo(grey, CV_16U, 257);
            break;
        case CV_16U:
            grey = channel;
            break;
        default: {
            double low = 0;
            double high = 0;
            cv::minMaxLoc(channel, &low, &high);
            const double scale = high > low ? 65535 / (high - low) : 1;
            channel.convertTo(grey, CV_16U, scale, -low * scale);
        }
        }
        return true;
    } catch (const cv::Exception& error) {
        std::snprintf(why, why_size, "scan \"%s\": cannot be decoded: %s", path, error.what());
        return false;
    } catch (const std::bad_alloc&) {
        std::snprintf(why, why_size, "scan \"%s\": not enough memory to decode it", path);
        return false;
    }
}
