// Start-up: the name/value pairs of the command line.
#pragma once

#include "common/calibration_state.h"

// Fills state from argv (pairs of a name and its value, the last pair of a name
// winning) over the defaults already in it. Returns 0, or 1 after printing on stderr
// why the command line is refused; nothing is validated beyond that.
int parse_parameters(int argc, char** argv, CalibrationState& state);
