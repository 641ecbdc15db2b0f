// The readings file: everything a refinement session read, so that a later session
// can go on from it with more burns. Plain text, one fact a line:
//   ringetch-refine readings
//   ranges <tr0_f> <tr0_t> <dtr_t> <dtr_f>
//   burn <tr0> <dtr> lines <count>     then <count> rows "<line> <angle>" or "<line> -"
#pragma once

#include <cstddef>

#include "model_fit/readings.h"

// Writes readings to path whole (temporary name, renamed); an output error ends
// the process (status 1).
void save_readings(const Readings& readings, const char* path);

// Reads path into readings. False with a message in `why` (the line number and
// what is wrong, or the system error) when the file cannot be read or is not a
// readings file; readings are then unspecified.
bool load_readings(const char* path, Readings& readings, char* why, std::size_t why_size);
