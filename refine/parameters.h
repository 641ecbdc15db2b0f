// ringetch-refine's command line: the ranges after a cycle of the dialogue, the size
// and name of the image, and optionally the readings of an earlier session.
#pragma once

#include <cstdint>

#include "common/units.h"
#include "model_fit/readings.h"

struct RefineParameters {
    TrackRanges ranges;
    bool range_given[4] = {};         // tr0_f, tr0_t, dtr_t, dtr_f named on the command line
    std::int32_t size = default_image_size;  // image size limit, bytes
    const char* image_path = "refine.rge";
    const char* readings_path = nullptr;  // an earlier session's readings, if named
};

// Fills p from argv (name/value pairs, the last of a name winning). Returns 0, or 1
// after printing on stderr why the command line is refused.
int parse_refine_parameters(int argc, char** argv, RefineParameters& p);

// Checks the ranges and size once the readings (if any) supplied what the command
// line did not. Returns 0, or 1 after printing why on stderr.
int check_refine_start(const RefineParameters& p);
