// The lines of a calibration image found from its own bytes, their markers' angles on
// a simulated disc, and how straight each line's markers stand. A line's markers are
// the runs of another byte between runs of its fill. A new line begins where the fill changes, and also, for two lines of one fill (two
// gray lines, or two images in one file), where the markers change byte, where they
// resume after the unmarked turns between lines, or after a line's 560. Runs are
// measured against the simulated disc's turn length where they start: a marker is a
// twelfth of a turn, a line opens with dozens of unmarked turns.
#pragma once

#include <cstdint>

#include "common/track_model.h"

// One line as found so far. Marker angles are unwrapped from the first one's, so
// that the least-squares slope sees no jump at 360 degrees.
struct LineRecord {
    std::int64_t start = 0;   // pixel index of the line's first byte
    std::uint8_t fill = 0;    // the byte most of the line is drawn with
    std::uint8_t marker = 0;  // its markers' byte, once it has one
    int markers = 0;          // markers found
    std::int64_t last_start = 0;  // pixel index of the latest marker's first byte
    double first_angle = 0;   // angle of the first marker's first byte, degrees
    double last_angle = 0;    // angle of the latest marker, degrees, 0..360
    double unwrapped = 0;     // the latest marker's angle less the first's, unwrapped, degrees
    double sum_angle = 0;     // sum of the unwrapped angles, degrees
    double sum_index_angle = 0;  // sum of marker index times unwrapped angle
};

// A calibration image has a few dozen lines; an image with more is not one.
constexpr int max_lines = 4096;

// Told of every marker as it is found: the line it belongs to and the pixel index of
// its first byte.
using MarkerHook = void (*)(void* context, int line, std::int64_t start);

struct LineScan {
    TrackModel model{};  // the simulated disc
    MarkerHook on_marker = nullptr;  // when set, called with marker_context for every marker
    void* marker_context = nullptr;
    // The run being read; it may go on in the next block.
    int run_byte = -1;            // -1 before the first byte
    std::int64_t run_start = 0;   // pixel index of its first byte
    std::int64_t run_length = 0;  // bytes
    // A run of another byte inside a line, waiting for the run after it: a marker
    // when the fill follows.
    bool candidate = false;
    std::uint8_t candidate_byte = 0;
    std::int64_t candidate_start = 0;
    std::int64_t candidate_length = 0;
    double candidate_turn = 0;  // the disc's turn length where it starts, bytes
    // What was found.
    int fill = -1;                 // fill byte of the current line; -1 before the first line
    int lines = 0;                 // lines found; the current one is line[lines - 1]
    bool too_many_lines = false;   // more than max_lines
    std::int64_t bytes = 0;        // pixel bytes scanned
    std::int64_t stray_bytes = 0;  // bytes in runs that are neither fill, markers nor line openings
    std::int64_t total_markers = 0;
    LineRecord line[max_lines];
};

// Starts a scan of an image on the disc `model` (scan is reset).
void start_scan(LineScan& scan, TrackModel model);

// Scans count pixel bytes that start at pixel index first, right after the bytes
// scanned before.
void scan_pixels(LineScan& scan, const std::uint8_t* pixels, std::int64_t first, int count);

// Ends the scan at the end of the pixel stream.
void finish_scan(LineScan& scan);

// A line's drift: the least-squares slope of its unwrapped marker angles over the
// marker index, scaled to a line's 560 markers, degrees; 0 for fewer than two markers.
double line_drift(const LineRecord& line);

// Whether the scan found a calibration image: markers, few enough lines, and almost
// no bytes outside fills, markers and line openings (a picture is mostly short runs).
bool is_calibration_image(const LineScan& scan);
