// ringetch-refine's command line: the ranges after a cycle of the dialogue, the size
// and name of the image, and optionally the readings of an earlier session or a scan
// of the dialogue's burned first image to start from.
#pragma once

#include <cstdint>

#include "common/command_line.h"
#include "model_fit/readings.h"

struct RefineParameters {
    TrackRanges ranges;
    bool range_given[4] = {};             // tr0_f, tr0_t, dtr_t, dtr_f named on the command line
    std::int32_t size = 0;                // image size limit, bytes
    const char* image_path = nullptr;     // the image to write
    const char* readings_path = nullptr;  // an earlier session's readings, if named
    const char* first_scan = nullptr;     // a capture of the burned first image, if named
    const char* first_turned = nullptr;   // the same disc turned on the glass, if named
    const char* first_image = nullptr;    // the first image as ringetch wrote it
};

// Fills p from argv and the defaults (common/command_line.h). The ranges come as
// ringetch prints them, tr0 F-T and dtr T-F, or end by end (tr0_f, tr0_t, dtr_t,
// dtr_f), an end named alone replacing that end of a pair; they are checked by
// check_refine_start once the readings (if any) supplied what the command line did not.
CommandLine parse_refine_parameters(int argc, char** argv, RefineParameters& p);

// Checks the ranges and size once the readings (if any) supplied what the command
// line did not. Returns 0, or 1 after printing why on stderr.
int check_refine_start(const RefineParameters& p);
