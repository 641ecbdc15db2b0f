// The road with a scanner from a blank disc, simulated as a user runs it: ringetch's
// first image, captured by the simulated scanner and read by `ringetch-refine first`,
// gives a start model and a refinement image; that image, captured and read at the
// first prompt (`scan`), gives the picture's model. Shared by the slow test and the
// benchmark over many discs.
#pragma once

#include <string>

#include "common/track_model.h"
#include "scan_capture.h"

struct RoadSettings {
    double size = 736985088;       // of both images, and of the picture judged
    CaptureConditions first{};     // the first image's capture (its disc is set per run)
    CaptureConditions refinement{};  // the refinement image's
    bool first_only = false;       // stop once the first image is read
};

struct RoadResult {
    bool first_read = false;       // refine took the first image's capture and started from its twists
    bool start_model = false;      // and printed the model they fix
    TrackModel start{0, 0};
    double start_expected = 0;     // the expected picture error refine printed with it, degrees
    double start_error = 0;        // the true worst misplacement of a picture drawn with it, degrees
    bool refinement_read = false;  // refine took the refinement image's capture
    bool has_model = false;        // a model for a picture was printed at the end
    TrackModel model{0, 0};
    double expected = 0;           // the expected picture error refine printed with it, degrees
    double error = 0;              // the true worst misplacement of a picture drawn with it, degrees
    std::string why;               // what refused a capture, or how the run ended otherwise
    std::string transcript;        // refine's standard output
};

// Runs the road on a disc whose track follows `disc`, in a fresh work folder that it
// removes.
RoadResult run_scan_road(TrackModel disc, const RoadSettings& settings);
