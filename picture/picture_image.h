// The picture image: a grey picture drawn on the turns of a calibrated track model
// through the writer loop that the calibration images use, so that it lands where
// their markers land. One progress line per line of 625 turns, then the burning hint.
#pragma once

#include <cstdio>

#include "picture/placement.h"

struct PictureDrawing {
    TrackModel model{};
    double size_limit = 0;                 // bytes
    DrawnTrack track{};                    // drawn_track(model, size_limit), at least one turn
    const GreyPicture* picture = nullptr;
    bool mirror = false;
};

// The placement the drawing uses: the picture across the outermost drawn turn.
PicturePlacement drawing_placement(const PictureDrawing& drawing);

// The core: draws the image into file. Returns true when it was completed and
// drained, false when a Ctrl-C abandoned it.
bool draw_picture_image(const PictureDrawing& drawing, std::FILE* file);

// Open, core, close, with the success message or the interruption message; a file
// that cannot be written ends the process (status 1). Returns whether the image was
// completed and all of it reached the file (not so after a stalled reader).
bool write_picture_image(const PictureDrawing& drawing, const char* path);
