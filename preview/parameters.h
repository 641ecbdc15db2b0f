// ringetch-preview's command line: name/value pairs, the last of a name winning.
#pragma once

#include "common/track_model.h"

struct PreviewParameters {
    const char* image_path = "image.rge";  // the image to read
    TrackModel model{23000, 1.388};       // the simulated disc
    const char* png_path = "preview.png";  // the picture to write
    int pixels = 1024;                     // side of the square picture
};

constexpr int min_pixels = 16;
constexpr int max_pixels = 8192;

// Fills parameters from argv over the defaults already in it, then checks them.
// Returns 0, or 1 after printing on stderr why the command line is refused.
int parse_preview_parameters(int argc, char** argv, PreviewParameters& parameters);
