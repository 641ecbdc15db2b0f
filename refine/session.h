// The refinement session: image, readings, fit, next image, until "done".
#pragma once

#include "refine/parameters.h"
#include "model_fit/readings.h"

// Runs the session from readings (the ranges set, and any burns of an earlier
// session) with the start parameters p. Returns the exit status: 0 after "done",
// 1 when standard input is gone (the readings are saved first).
int run_refinement(const RefineParameters& p, Readings& readings);
