// What a refinement session knows: the ranges it started from, the twists of a
// scanned first image, and for every burned refinement image the model it was drawn
// with and the angle read on each line, by eye or from a scan with the scan's error.
// Every fit starts again from these readings, so they are all a later session needs.
#pragma once

#include "common/track_ranges.h"

constexpr int max_refine_lines = 32;  // lines 0..31 are read
constexpr int max_burns = 64;
constexpr int max_first_twists = 64;  // lines of a first image whose twist was read

enum class ReadBy { eye, scan };

struct BurnReadings {
    TrackModel drawn{0, 0};               // the model the image was drawn with
    int line_count = 0;                   // lines the image holds (their first marker drawn)
    ReadBy source = ReadBy::eye;          // eye: every angle is as good as eye_error_degrees
    bool read[max_refine_lines] = {};     // whether the line's wedge was read
    double angle[max_refine_lines] = {};  // the reading, degrees, 0 <= a < 360, where read
    double error[max_refine_lines] = {};  // a scan's: one standard deviation of angle, degrees
    bool twist_read[max_refine_lines] = {};    // a scan's: whether the line's twist was read
    double twist[max_refine_lines] = {};       // how far the wedge turns from first marker to last, degrees
    double twist_error[max_refine_lines] = {};  // one standard deviation of twist, degrees
    int twist_turns[max_refine_lines] = {};     // marked turns the twist spans (fewer in a line the image cuts)
};

// The twist of one line of a scanned first image (lines drawn with any models): the
// stream positions of its first and last marked turns' first bytes say which stretch
// of the track it spans, whatever model drew it.
struct FirstTwist {
    int line = 0;           // the line's number in the image, for the file's reader
    double from = 0;        // stream position of the first marker's first byte
    double to = 0;          // and of the last marker's
    int marked_turns = 0;   // turns from the first marker to the last, both counted
    double twist = 0;       // degrees, signed, not wrapped
    double error = 0;       // one standard deviation, degrees
};

struct Readings {
    TrackRanges ranges;  // after a cycle of the calibration dialogue, as ringetch prints them
    int first_twist_count = 0;
    FirstTwist first_twists[max_first_twists];
    int burn_count = 0;
    BurnReadings burns[max_burns];
};

inline int lines_read(const BurnReadings& burn)
{
    int count = 0;
    for (int k = 0; k < burn.line_count; ++k)
        count += burn.read[k] ? 1 : 0;
    return count;
}
