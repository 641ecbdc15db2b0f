// The reader's steps, shared by its files: the capture as a grey picture, the map
// from the disc face to the capture that the line boundaries fix, each line's
// detected wedge edges, the model from the twists, the guards and the overlay.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

#include <opencv2/core.hpp>

#include "picture_file/picture_read.h"
#include "scan/capture_reading.h"

// Where the disc face lies on the capture. A point at distance rho (in the map's
// units, which are about capture pixels) and angle a (degrees clockwise from the
// top as the recorded side is seen) lands at centre + s * (sin a, -cos a) * rho, or
// with the sine's sign turned for a mirrored capture. The track's own rings fix rho:
// rho^2 = a + b * p at stream position p.
struct DiscMap {
    double cx = 0;           // the track's centre on the capture, pixels
    double cy = 0;
    double s[2][2] = {{1, 0}, {0, 1}};  // the capture's shape (affine), symmetric
    double a = 0;            // rho^2 at stream position 0, map units squared
    double b = 0;            // growth of rho^2 per stream byte
    bool mirrored = false;   // the track runs anticlockwise on the capture
    int boundary_points = 0; // edge points the fit used
    double boundary_rms = 0; // their distance from the fitted rings, pixels
    double blur = 0;         // the boundaries' Gaussian width (pixels and blur together), pixels
};

inline cv::Point2d capture_point(const DiscMap& map, double rho, double angle_degrees)
{
    const double t = angle_degrees * 0.017453292519943295;
    const double ux = (map.mirrored ? -1 : 1) * std::sin(t) * rho;
    const double uy = -std::cos(t) * rho;
    return {map.cx + map.s[0][0] * ux + map.s[0][1] * uy, map.cy + map.s[1][0] * ux + map.s[1][1] * uy};
}

inline double map_radius(const DiscMap& map, double position) { return std::sqrt(std::max(0.0, map.a + map.b * position)); }

// The wedge edges found on one line, row by row across its band, for the overlay.
constexpr int max_trace_rows = 256;

struct LineTrace {
    int rows = 0;
    double rho[max_trace_rows] = {};    // the row's radius, map units
    double angle[max_trace_rows] = {};  // the edge found there, degrees, 0..360
    bool found[max_trace_rows] = {};    // an edge stood out in the row
};

struct CaptureTraces {
    LineTrace lines[max_capture_lines];
};

// Reads the capture as one grey channel of 16 bits: a grey capture's own samples
// (grey looks at them in place), a colour one's mean, its samples kept for
// weigh_channels. False with the reason, naming the file, when it cannot be decoded.
bool load_capture(const char* path, SamplePicture& samples, cv::Mat& grey, char* why, std::size_t why_size);

// Rewrites grey as the sum of a colour capture's channels that best shows the
// pattern: each weighted by its step across the line boundaries that the map places,
// against the scatter of those steps. Returns the weights (red, green, blue; their
// sizes add to one), or zeros, grey left as it is, when the steps cannot be measured.
cv::Vec3d weigh_channels(const SamplePicture& samples, const BurnedImage& image, const DiscMap& map, cv::Mat& grey);

// Finds the track on the capture and fits the map from its line boundaries. False
// with the reason when no disc or too few boundaries are found.
bool find_disc(const cv::Mat& grey, const BurnedImage& image, DiscMap& map, char* why, std::size_t why_size);

// Reads every line's wedge; decides the capture's handedness first for an image with
// a direction mark. False with the reason when the handedness cannot be told.
bool read_lines(const cv::Mat& grey, const BurnedImage& image, DiscMap& map, CaptureReading& reading,
                CaptureTraces& traces, char* why, std::size_t why_size);

// The track model that the twists fix, when they fix one (has_model, model, covariance).
void fit_twist_model(const BurnedImage& image, CaptureReading& reading);

// The guards against a confident wrong answer, on one capture, and the check of a
// second capture (the disc turned) against the first. Each refuses the reading with
// the reason when in doubt.
void guard_reading(const BurnedImage& image, const char* capture, CaptureReading& reading);
void check_turned_capture(const CaptureReading& second, const char* second_capture, CaptureReading& reading);

// Writes the overlay PNG (via a temporary beside it, renamed). False with the reason.
bool write_overlay(const char* path, const cv::Mat& grey, const BurnedImage& image, const DiscMap* map,
                   const CaptureTraces& traces, const CaptureReading& reading, char* why, std::size_t why_size);
