// The reading aid printed alongside each refinement image: a protractor as SVG in
// real millimetres, the size of a 120 mm disc, with 5-degree ticks in the clear hub
// and at the rim, an arrow showing the track's direction, and a numbered ring at the
// radius where the model puts each line.
#pragma once

#include <cstddef>
#include <cstdio>

#include "common/track_model.h"

constexpr double protractor_mm = 120;

// Radius in mm at which the model puts a line: the middle of its marked turns.
double line_ring_radius_mm(TrackModel model, int line);

// Radius in mm of the model's turn n (the disc's placement rule).
double turn_radius_mm(TrackModel model, double turn);

// Writes the SVG for an image drawn with model holding `lines` lines.
void draw_protractor(TrackModel model, int lines, std::FILE* file);

// Writes it to path whole (temporary name, renamed). False, with the reason in
// `why`, when it cannot be written; nothing then stands under path's name.
bool write_protractor(TrackModel model, int lines, const char* path, char* why, std::size_t why_size);
