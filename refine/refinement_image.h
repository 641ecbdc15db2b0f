// The refinement image: a stage-one image of the current model drawn against itself
// (no gray line), with a thin second mark after each marker of line 0 that shows
// which way the track runs, so that angles are never read against it.
#pragma once

#include <cstdio>

#include "common/track_model.h"

// Lines (at most 32) whose first marked turn an image of size_limit bytes drawn with
// `drawn` holds: the lines the user is asked to read.
int lines_held(TrackModel drawn, double size_limit);

// The core: draws the image into an open file; true when it was completed and
// drained, false when it was abandoned on an interruption.
bool draw_refinement_image(TrackModel drawn, double size_limit, std::FILE* file);

// Open, core, close as the calibrator's images: progress lines, then the success
// message with the burning hint or the interruption message. Returns whether the
// image was completed; an output error ends the process (status 1).
bool write_refinement_image(TrackModel drawn, double size_limit, const char* path);
