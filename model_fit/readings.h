// What a refinement session knows: the ranges it started from, and for every burned
// refinement image the model it was drawn with and the angle read on each line.
// Every fit starts again from these readings, so they are all a later session needs.
#pragma once

#include "common/track_ranges.h"

constexpr int max_refine_lines = 32;  // lines 0..31 are read
constexpr int max_burns = 64;

struct BurnReadings {
    TrackModel drawn{0, 0};               // the model the image was drawn with
    int line_count = 0;                   // lines the image holds (their first marker drawn)
    bool read[max_refine_lines] = {};     // whether the user read the line's wedge
    double angle[max_refine_lines] = {};  // the reading, degrees, 0 <= a < 360, where read
};

struct Readings {
    TrackRanges ranges;  // after a cycle of the calibration dialogue, as ringetch prints them
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
