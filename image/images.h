// The two test-image writers. Each opens (truncating) the file at path, draws its
// turns through the interleaver, drains it and closes the file, printing one progress
// line per line of 625 turns and then the burning hint. Ctrl-C (break_requested)
// abandons the image: the file is closed as it stands and the writer returns.
// An output file that cannot be opened, written or closed ends the process (status 1).
#pragma once

#include <cstdio>

// Stage-one image: every turn from the one model (tr0, dtr); the gray line holds
// the turn where it crosses the reference model (ref_tr0, ref_dtr).
void write_track_image(double tr0, double dtr, double ref_tr0, double ref_dtr, double size_limit,
                       const char* path);

// Stage-two sweep image: line k assumes the first turn tr0_start + k * tr0_step and
// the growth that carries it through the anchor (anchor_pos, anchor_len); the gray
// line is the one whose first-turn span holds ref_tr0.
void write_sweep_image(double tr0_start, double tr0_step, double ref_tr0, double size_limit, double anchor_pos,
                       double anchor_len, const char* path);

// The cores of the writers, drawing into an open file. They return true when the
// image was completed and drained, false when it was abandoned on an interruption.
bool draw_track_image(double tr0, double dtr, double ref_tr0, double ref_dtr, double size_limit, std::FILE* file);
bool draw_sweep_image(double tr0_start, double tr0_step, double ref_tr0, double size_limit, double anchor_pos,
                      double anchor_len, std::FILE* file);
