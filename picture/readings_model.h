// The picture's model taken from a refinement's readings file: the last fit of all
// its burns, exactly as ringetch-refine prints it, so that no number is retyped.
#pragma once

#include <cstdint>

#include "common/track_model.h"

// Loads path, fits its burns for an image of size_limit bytes, prints the model with
// its expected picture error (and, on the same line, why it is not yet fit for a
// picture) and stores it in model. Returns 0, or 1 after saying on stderr why the
// file gives no model (unreadable, not a readings file, no refinement image read).
int take_readings_model(const char* path, std::int32_t size_limit, TrackModel& model);
