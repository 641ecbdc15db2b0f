// The overlay: the capture with its contrast stretched, and on it what the reader
// saw: the disc's rim and every line boundary as fitted, each line's wedge edges
// (green where the line was read, red where it was not) and the line numbers. Shown
// at most 2048 pixels a side, written to a temporary beside the target and renamed.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "common/disc_geometry.h"
#include "picture_file/png_write.h"
#include "scan/reader_parts.h"

namespace {

constexpr int overlay_side = 2048;
// Colours as OpenCV draws them: blue, green, red.
cv::Scalar boundary_colour() { return {255, 160, 0}; }
cv::Scalar rim_colour() { return {0, 220, 255}; }
cv::Scalar read_colour() { return {0, 200, 0}; }
cv::Scalar unread_colour() { return {0, 0, 255}; }

// The grey capture stretched from its 1st to its 99th percentile, scaled, in colour.
cv::Mat stretched(const cv::Mat& grey, double scale)
{
    cv::Mat small;
    cv::resize(grey, small, cv::Size(), scale, scale, cv::INTER_AREA);
    cv::Mat sample;
    cv::resize(small, sample, cv::Size(), 0.25, 0.25, cv::INTER_NEAREST);
    std::vector<std::uint16_t> values(sample.begin<std::uint16_t>(), sample.end<std::uint16_t>());
    double low = 0;
    double high = 65535;
    if (!values.empty()) {
        const std::size_t first = values.size() / 100;
        const std::size_t last = values.size() * 99 / 100;
        std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(first), values.end());
        low = values[first];
        std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(last), values.end());
        high = values[last];
    }
    // Stretched into the middle of the range, so that the marks stand out on white
    // and on black alike.
    cv::Mat eight;
    const double span = high > low ? high - low : 1;
    small.convertTo(eight, CV_8U, 160 / span, 48 - low * 160 / span);
    cv::Mat colour;
    cv::cvtColor(eight, colour, cv::COLOR_GRAY2BGR);
    return colour;
}

// The overlay's pixel of a capture point, held within reach of the picture (a point
// that is not finite lands off it).
cv::Point overlay_pixel(const cv::Point2d& at, double scale)
{
    constexpr double reach = 1e6;
    const auto held = [](double v) { return v >= -reach && v <= reach ? static_cast<int>(std::lround(v)) : -1000000; };
    return {held(at.x * scale), held(at.y * scale)};
}

void draw_ring(cv::Mat& picture, const DiscMap& map, double rho, double scale, const cv::Scalar& colour,
               int thickness)
{
    std::vector<cv::Point> points;
    for (int k = 0; k < 720; ++k) {
        const cv::Point2d at = capture_point(map, rho, k * 0.5);
        points.push_back(overlay_pixel(at, scale));
    }
    cv::polylines(picture, points, true, colour, thickness, cv::LINE_AA);
}

void draw_map(cv::Mat& picture, const DiscMap& map, const BurnedImage& image, const CaptureTraces& traces,
              const CaptureReading& reading, double scale)
{
    // The rim from the track's own scale: turn 0 lies at the program area's inner radius.
    draw_ring(picture, map, map_radius(map, 0) * disc_radius_mm / program_inner_radius_mm, scale, rim_colour(), 2);
    for (int k = 0; k < image.line_count; ++k)
        draw_ring(picture, map, map_radius(map, image.lines[k].line_start), scale, boundary_colour(), 1);
    if (image.line_count > 0)
        draw_ring(picture, map, map_radius(map, image.lines[image.line_count - 1].line_end), scale, boundary_colour(), 1);
    for (int k = 0; k < image.line_count; ++k) {
        const LineTrace& trace = traces.lines[k];
        for (int r = 0; r < trace.rows; ++r) {
            const bool good = reading.lines[k].read && trace.found[r];
            const cv::Point2d at = capture_point(map, trace.rho[r], trace.angle[r]);
            cv::circle(picture, overlay_pixel(at, scale), 2,
                       good ? read_colour() : unread_colour(), cv::FILLED);
        }
        const double middle = map_radius(map, 0.5 * (image.lines[k].line_start + image.lines[k].line_end));
        const cv::Point2d at = capture_point(map, middle, 270 + 6.0 * (k % 4));
        const cv::Point place = overlay_pixel(at, scale) + cv::Point(-6, 5);
        cv::putText(picture, std::to_string(k), place, cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(0, 0, 0), 3,
                    cv::LINE_AA);
        cv::putText(picture, std::to_string(k), place, cv::FONT_HERSHEY_SIMPLEX, 0.5,
                    reading.lines[k].read ? read_colour() : unread_colour(), 1, cv::LINE_AA);
    }
}

// Writes the picture (BGR, as OpenCV draws) as an RGB PNG to an open file.
bool write_picture(std::FILE* file, const cv::Mat& picture)
{
    cv::Mat rgb;
    cv::cvtColor(picture, rgb, cv::COLOR_BGR2RGB);
    const PngWriteResult result = write_colour_png(file, static_cast<std::uint32_t>(rgb.cols),
                                                   static_cast<std::uint32_t>(rgb.rows), rgb.ptr<std::uint8_t>(0), nullptr);
    return result.status == PngWriteStatus::written;
}

}  // namespace

bool write_overlay(const char* path, const cv::Mat& grey, const BurnedImage& image, const DiscMap* map,
                   const CaptureTraces& traces, const CaptureReading& reading, char* why, std::size_t why_size)
{
    std::string temporary = std::string(path) + ".XXXXXX";
    try {
        const double scale = std::min(1.0, static_cast<double>(overlay_side) / std::max(grey.cols, grey.rows));
        cv::Mat picture = stretched(grey, scale);
        if (map != nullptr)
            draw_map(picture, *map, image, traces, reading, scale);
        const int fd = mkstemp(temporary.data());
        // mkstemp's owner-only mode, widened to what the user's umask gives a new file.
        const mode_t mask = umask(0);
        umask(mask);
        if (fd >= 0)
            fchmod(fd, 0666 & ~mask);
        std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
        if (file == nullptr) {
            const int error = errno;
            if (fd >= 0) {
                close(fd);
                std::remove(temporary.c_str());
            }
            std::snprintf(why, why_size, "overlay \"%s\": %s", path, std::strerror(error));
            return false;
        }
        const bool written = write_picture(file, picture);
        const int error = errno;
        if (std::fclose(file) != 0 || !written) {
            std::remove(temporary.c_str());
            std::snprintf(why, why_size, "overlay \"%s\": cannot be written: %s", path, std::strerror(error));
            return false;
        }
    } catch (const cv::Exception& error) {
        std::remove(temporary.c_str());
        std::snprintf(why, why_size, "overlay \"%s\": cannot be drawn: %s", path, error.what());
        return false;
    }
    if (std::rename(temporary.c_str(), path) != 0) {
        const int error = errno;
        std::remove(temporary.c_str());
        std::snprintf(why, why_size, "overlay \"%s\": %s", path, std::strerror(error));
        return false;
    }
    return true;
}
