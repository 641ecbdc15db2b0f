// The two test-image writers. Each opens (truncating) the file at path, draws its
// turns through the interleaver, drains it and closes the file, printing one progress
// line per line of 625 turns and then the burning hint. Ctrl-C (break_requested)
// abandons the image: the file is closed as it stands and the writer returns.
// An output file that cannot be opened, written or closed ends the process (status 1).
#pragma once

#include <cstdio>

#include "common/track_model.h"

// The lines of a sweep image: line k assumes the first turn first_tr0 + k * tr0_step
// and the growth that carries it through the anchor (anchor_pos, anchor_len).
struct SweepLines {
    double first_tr0;   // first-turn length of line 0, bytes
    double tr0_step;    // first-turn step from line to line, bytes
    double anchor_pos;  // byte position that every line's model passes through
    double anchor_len;  // turn length there, bytes
};

// Stage-one image: every turn from the one model; the gray line holds the turn where
// it crosses the reference model.
void write_track_image(TrackModel drawn, TrackModel reference, double size_limit, const char* path);

// Stage-two sweep image; the gray line is the one whose first-turn span holds ref_tr0.
void write_sweep_image(const SweepLines& sweep, double ref_tr0, double size_limit, const char* path);

// The cores of the writers, drawing into an open file. They return true when the
// image was completed and drained, false when it was abandoned on an interruption.
bool draw_track_image(TrackModel drawn, TrackModel reference, double size_limit, std::FILE* file);
bool draw_sweep_image(const SweepLines& sweep, double ref_tr0, double size_limit, std::FILE* file);
