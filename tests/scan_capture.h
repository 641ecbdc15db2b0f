// A simulated scanner for the tests and benchmarks of the scan reader: the disc face
// as the preview renders it, laid on a bed larger than the disc, turned, moved,
// mirrored or photographed at a tilt, and degraded (low pattern contrast, uneven
// light, a bright band fixed to the capture, blur, noise, JPEG), with the truth that
// made it kept, so that a reading can be checked against where the lines really are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/track_model.h"

// How the capture is taken. Shades are on the 8-bit scale whatever the output depth.
struct CaptureConditions {
    TrackModel disc{23000, 1.388};  // the burned disc's true track
    double dpi = 600;               // capture pixels per inch, on the disc's plane at its centre
    double bed_mm = 130;            // side of the square bed
    double contrast = 0.25;         // the pattern's dark-to-light range, a fraction of the full scale
    double gradient = 0;            // illumination: the bed's far corner this fraction brighter than its near one
    double band = 0;                // the band's peak brightness, a fraction of the full scale
    double band_angle = 35;         // its direction on the capture, degrees clockwise from the top
    double blur = 0;                // Gaussian blur, one standard deviation in capture pixels
    double noise = 0;               // Gaussian noise, one standard deviation in shades
    double offset_x_mm = 0;         // the disc's centre from the bed's, to the right
    double offset_y_mm = 0;         // and downwards
    double rotation = 0;            // degrees clockwise (see CaptureTruth)
    bool mirror = false;            // the recorded side seen through the disc, as in a mirror
    double tilt = 0;                // a phone's tilt about the capture's horizontal axis, degrees
    int jpeg_quality = 0;           // 1..100: saved as JPEG; 0: PNG
    int bits = 8;                   // 8 or 16 (PNG only)
    bool colour = false;            // three channels, each seeing the pattern at its own strength
    double lid = 225;               // shade of the lid, seen around the disc and through its hole
    unsigned seed = 1;              // of the noise
};

// Where the disc is on the capture. Angles are clockwise from the top as the recorded
// side is seen face on (common/disc_geometry.h); an angle a on the disc appears at
// a + rotation on the capture, or at rotation - a when mirrored, both modulo 360.
// Pixel coordinates have (0, 0) at the top left corner of the first pixel.
struct CaptureTruth {
    TrackModel disc{0, 0};
    double rotation = 0;       // degrees
    bool mirrored = false;
    double tilt = 0;           // degrees; 0 for a scanner
    double pixels_per_mm = 0;  // on the disc's plane at the capture's centre
    double centre_x = 0;       // the disc's centre on the capture, pixels
    double centre_y = 0;
    int width = 0;             // the capture's size, pixels
    int height = 0;
    // Disc millimetres (x right, y down, the disc face on, unturned) to capture pixels:
    // (u, v, w) = H (x, y, 1), pixel (u / w, v / w).
    double homography[3][3] = {};
};

// The capture's samples, rows from the top, channels interleaved (grey, or R G B);
// each sample 0..255 or, at 16 bits, 0..65535.
struct Capture {
    int width = 0;
    int height = 0;
    int channels = 1;
    int bits = 8;
    std::vector<std::uint16_t> samples;
};

// The face of the disc as the preview draws it: each pixel the mean shade of the
// image bytes that fall in it, or no_bytes where none does.
struct DiscFace {
    int side = 0;               // pixels, over the whole 120 mm disc
    std::vector<float> shades;  // side * side, rows from the top
};
constexpr float no_bytes = -1;

// Renders the image file at image_path on a disc that follows `disc`, in a square
// of `side` pixels. False when the file cannot be read: the preview's reader has
// then said why on standard error, or why holds the reason.
bool render_disc_face(const char* image_path, TrackModel disc, int side, DiscFace& face, std::string& why);

// The side that gives a face of the capture's resolution: dpi * 120 / 25.4.
int face_side(double dpi);

// Takes the capture of `face` under `conditions` and says where the disc landed.
void simulate_capture(const DiscFace& face, const CaptureConditions& conditions, Capture& capture,
                      CaptureTruth& truth);

// Where a disc angle (degrees, clockwise from the top) appears on the capture, and
// the capture pixel of the disc point at radius_mm and that angle.
double capture_angle(const CaptureTruth& truth, double disc_degrees);
void capture_point(const CaptureTruth& truth, double radius_mm, double disc_degrees, double& x, double& y);

// Writes the capture as PNG (or as JPEG at jpeg_quality 1..100, 8 bits only). False
// with the reason in why, and no file left at path, when it cannot.
bool write_capture(const Capture& capture, int jpeg_quality, const char* path, std::string& why);

// The truth as one line of name/value pairs, as simulate-scan prints it.
std::string truth_line(const CaptureTruth& truth);
