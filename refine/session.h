// The refinement session: image, readings, fit, next image, until "done".
#pragma once

#include "refine/parameters.h"
#include "model_fit/readings.h"
#include "refine/session_files.h"

// Runs the session from readings (the ranges set, and any burns of an earlier
// session) with the start parameters p, writing the protractor and the readings
// where files says. Returns the exit status: 0 after "done"; 1 when standard input
// is gone or a file could not be written (the readings are saved first, elsewhere if
// need be).
int run_refinement(const RefineParameters& p, const SessionFiles& files, Readings& readings);
