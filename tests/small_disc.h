// A small refinement image, as ringetch-refine writes it for the given ranges and
// size, and its face on a disc of a given track rendered at 300 dpi: the scanner
// tests' common subject. Made at the first call; a test program asks for one.
#pragma once

#include <string>

#include "common/track_model.h"
#include "preview_support.h"
#include "program_run.h"
#include "scan_capture.h"

struct SmallDiscRequest {
    const char* tr0_range;  // as ringetch-refine takes them
    const char* dtr_range;
    const char* size;       // bytes of the image
    TrackModel disc;        // the track the face is rendered on
};

struct SmallDisc {
    WorkFolder folder;  // holds refine.rge; goes when the test program ends
    DiscFace face;
    std::string why;    // empty when the face was rendered
};

const SmallDisc& small_disc(const SmallDiscRequest& request);
