// The calibration dialogue's state: the ranges it narrows, the image it writes, and
// which image stage one shows.
#pragma once

#include <cstdint>

#include "common/track_ranges.h"
#include "common/units.h"

struct CalibrationState {
    TrackRanges ranges{22500, 23550, 1.44, 1.32};  // as the dialogue starts
    std::int32_t size = default_image_size;        // image size limit, bytes
    const char* image_path = "image.rge";  // the argument text itself, not a copy
    bool auto_mode = true;  // write the corner or sweep image after every range change
    bool reverse = false;   // stage one shows the REVERSE corner instead of the DIRECT one
};
