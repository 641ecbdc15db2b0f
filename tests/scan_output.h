// What ringetch-scan printed, parsed for the tests and benchmarks that check it
// against a simulated capture's truth: one row per line of the image, `line N angle A
// twist T error E twist error F` or `line N -`, then `model tr0 X dtr Y` when the twists fix one;
// a refused capture has status 1 and its reason on standard error.
#pragma once

#include <string>
#include <vector>

#include "common/track_model.h"
#include "program_run.h"

struct ScanLine {
    int line = -1;
    bool read = false;
    double angle = 0;  // degrees
    double twist = 0;  // degrees
    double error = 0;  // degrees, one standard deviation of angle
    double twist_error = 0;  // degrees, one standard deviation of twist
};

struct ScanOutput {
    int status = -1;
    std::string why;             // standard error, without its last newline
    std::vector<ScanLine> lines;
    bool has_model = false;
    TrackModel model{0, 0};
    bool well_formed = true;     // every row of standard output had one of the shapes
};

ScanOutput parse_scan_output(const RunResult& run);
