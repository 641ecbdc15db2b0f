// ringetch-preview's command line: name/value pairs, the last of a name winning.
#pragma once

#include "common/command_line.h"
#include "common/track_model.h"

struct PreviewParameters {
    const char* image_path = nullptr;  // the image to read
    TrackModel model{};                // the simulated disc
    const char* png_path = nullptr;    // the picture to write
    int pixels = 0;                    // side of the square picture
};

constexpr int min_pixels = 16;
constexpr int max_pixels = 8192;

// Fills parameters from argv and the defaults, checked (common/command_line.h).
CommandLine parse_preview_parameters(int argc, char** argv, PreviewParameters& parameters);
