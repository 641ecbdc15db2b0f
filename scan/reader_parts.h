// The reader's steps, shared by its files: the capture as a grey picture, the map
// from the disc face to the capture that the line boundaries fix, each line's
// detected wedge edges, the model from the twists, the guards and the overlay.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include <opencv2/core.hpp>

#include "picture_file/picture_read.h"
#include "scan/capture_reading.h"

// Where the disc face lies on the capture: a plane homography, of which a scanner's
// affine capture is the case g = 0. A face point u (map units, which are about
// capture pixels) lands at centre + s u / (1 + g . u); the point at distance rho and
// angle a (degrees clockwise from the top as the recorded side is seen) is
// u = (sin a, -cos a) * rho, or with the sine's sign turned for a mirrored capture.
// s is symmetric, so that the capture's own up is the face's zero at the centre.
// The track's own rings fix rho: rho^2 = a + b * p at stream position p.
struct DiscMap {
    double cx = 0;           // the image of the track's centre on the capture, pixels
    double cy = 0;
    double s[2][2] = {{1, 0}, {0, 1}};  // the map's linear part at the centre, symmetric
    double g[2] = {0, 0};    // its perspective, per map unit
    double a = 0;            // rho^2 at stream position 0, map units squared
    double b = 0;            // growth of rho^2 per stream byte
    bool mirrored = false;   // the track runs anticlockwise on the capture
    int boundary_points = 0; // edge points the fit used
    double boundary_rms = 0; // their distance from the fitted rings, pixels
    double blur = 0;         // the boundaries' Gaussian width (pixels and blur together), pixels
};

// The capture point of face point (ux, uy): every face-to-capture mapping goes
// through here.
inline cv::Point2d face_to_capture(const DiscMap& map, double ux, double uy)
{
    const double w = 1 / (1 + map.g[0] * ux + map.g[1] * uy);
    return {map.cx + (map.s[0][0] * ux + map.s[0][1] * uy) * w, map.cy + (map.s[1][0] * ux + map.s[1][1] * uy) * w};
}

// The face point of capture point (x, y), the inverse: u = s^-1 v / (1 - g . s^-1 v)
// with v the point from the centre. False beyond the face plane's horizon.
inline bool capture_to_face(const DiscMap& map, double x, double y, double& ux, double& uy)
{
    const double det = map.s[0][0] * map.s[1][1] - map.s[0][1] * map.s[1][0];
    const double dx = x - map.cx;
    const double dy = y - map.cy;
    const double wx = (map.s[1][1] * dx - map.s[0][1] * dy) / det;
    const double wy = (-map.s[1][0] * dx + map.s[0][0] * dy) / det;
    const double q = 1 - map.g[0] * wx - map.g[1] * wy;
    if (!(q > 0))
        return false;
    ux = wx / q;
    uy = wy / q;
    return true;
}

// The face direction of an angle (degrees), a unit vector in face coordinates.
inline cv::Point2d face_direction(const DiscMap& map, double angle_degrees)
{
    const double t = angle_degrees * 0.017453292519943295;
    return {(map.mirrored ? -1 : 1) * std::sin(t), -std::cos(t)};
}

inline cv::Point2d capture_point(const DiscMap& map, double rho, double angle_degrees)
{
    const cv::Point2d d = face_direction(map, angle_degrees);
    return face_to_capture(map, d.x * rho, d.y * rho);
}

inline double map_radius(const DiscMap& map, double position) { return std::sqrt(std::max(0.0, map.a + map.b * position)); }

// A line boundary's edge found on the capture.
struct EdgePoint {
    double x;         // on the capture, pixels
    double y;
    double position;  // the boundary's stream position
    double share;     // of the edge's height that lies within two pixels either side of it
};

// Refines the map (affine, or a homography already) to the homography that brings
// the points' rings nearest them, its face rotation held; a and b move with it.
// False, the map left alone, when no step brought them nearer.
bool refine_perspective(const std::vector<EdgePoint>& points, DiscMap& map);

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
