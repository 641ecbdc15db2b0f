// ringetch-scan's command line: name/value pairs, the last of a name winning.
#pragma once

#include "common/command_line.h"

struct ScanParameters {
    const char* scan_path = nullptr;      // the capture of the recorded side
    const char* second_path = nullptr;    // the same disc turned on the glass, or null
    const char* image_path = nullptr;     // the burned image file, or null
    const char* readings_path = nullptr;  // a readings file whose last burn was burned, or null
    const char* overlay_path = nullptr;   // the overlay PNG to write, or null
};

// Fills parameters from argv (common/command_line.h); exactly one of image and
// readings must be named.
CommandLine parse_scan_parameters(int argc, char** argv, ScanParameters& parameters);
