// ringetch-picture's command line: name/value pairs read as text (the last pair of a
// name wins), then checked in one place, so that a value that a later pair replaces
// is never judged.
#pragma once

#include <cstdint>

#include "common/track_model.h"

struct PictureParameters {
    const char* png = nullptr;         // the picture; required
    const char* tr0 = nullptr;         // first-turn length, bytes; required
    const char* dtr = nullptr;         // growth of the turn length per turn, bytes; required
    const char* size = "736985088";    // image size limit, bytes
    const char* image = "picture.rge"; // output path
    const char* mirror = "0";          // "1" flips the picture left to right
};

// What the picture writer needs, checked.
struct PictureSettings {
    const char* png = nullptr;
    const char* image = nullptr;
    TrackModel model{};
    std::int32_t size = 0;
    bool mirror = false;
};

// Fills parameters from argv over the defaults already in it. Returns 0, or 1 after
// printing the usage on stderr for an unknown name or a name without its value.
int read_picture_parameters(int argc, char** argv, PictureParameters& parameters);

// Checks every value and fills settings. Returns 0, or 1 after printing on stderr
// what is wrong with the first value refused: png, tr0 or dtr missing; tr0 not a
// finite number of at least 1, dtr not one above 0; a size that does not fit 32
// bits; mirror not 0 or 1.
int check_picture_parameters(const PictureParameters& parameters, PictureSettings& settings);
