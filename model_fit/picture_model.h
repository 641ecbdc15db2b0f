// The model a picture is drawn with from a refinement's readings: the last fit of
// all their burns, to the digits ringetch-refine prints it with, and what that fit
// expects of a picture now and after one more refinement burn.
#pragma once

#include <cstdio>

#include "common/track_model.h"
#include "model_fit/readings.h"

constexpr double picture_error_limit_degrees = 10;  // a larger expected error is too much for a picture

struct PictureModel {
    TrackModel model{0, 0};     // the fit's model, rounded as printed (tr0 to 6 decimals, dtr to 9)
    int burns = 0;              // refinement images fitted
    int readings = 0;           // angles fitted
    double rms = 0;             // residual rms, degrees
    bool far_off = false;       // the residual is far above an eye's error
    double error = 0;           // expected picture error at the rim, degrees
    double error_after_next = 0;  // the same after one more burn read like the last one
};

// The model as ringetch-refine prints it: tr0 to 6 decimals, dtr to 9, read back.
TrackModel printed_model(TrackModel model);

// Fits every burn of readings (at least one) for a picture of size_limit bytes.
PictureModel picture_model(const Readings& readings, double size_limit);

// One line (newline included): "model tr0 T dtr D, expected picture error E degrees
// at the rim", and on the same line why it is not fit for a picture and what one
// more refinement burn is expected to bring the error to.
void print_picture_model(const PictureModel& m, std::FILE* out);
