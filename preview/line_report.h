// The preview's per-line report over the line finder (image/line_scan.h): each line's
// colour, markers, angle and drift on the simulated disc, and the straight lines a
// user would type.
#pragma once

#include <cstdint>
#include <cstdio>

#include "image/line_scan.h"

// Colour name of a fill byte: white, black or gray, by the nearest of the three shades.
const char* fill_colour(std::uint8_t fill);

// Prints the report (one row per line and the closing row, or the single row of an
// image that is no calibration image).
void print_report(const LineScan& scan, std::FILE* out);
