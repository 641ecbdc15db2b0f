// ringetch-picture's command line: name/value pairs (the last pair of a name wins),
// judged once all are in, so that a value that a later pair replaces is never judged.
#pragma once

#include <cstdint>

#include "common/command_line.h"
#include "common/track_model.h"

// What the picture writer needs, checked.
struct PictureSettings {
    const char* png = nullptr;    // the picture
    const char* image = nullptr;  // output path
    TrackModel model{};           // the calibrated track
    std::int32_t size = 0;        // image size limit, bytes
    bool mirror = false;          // flip the picture left to right
    const char* readings = nullptr;  // the model comes from these readings, not tr0 and dtr
};

// Fills settings from argv and the defaults, checked (common/command_line.h): png,
// tr0 and dtr required; tr0 a finite number of at least 1, dtr one above 0; a size
// that fits 32 bits; mirror 0 or 1.
CommandLine read_picture_parameters(int argc, char** argv, PictureSettings& settings);
