// Where a refinement session writes besides its image, and the checks made before
// anything is written: no output over another output or over the readings it goes on
// from, and never an earlier session's readings replaced by a fresh session's.
#pragma once

#include <string>

#include "refine/parameters.h"

struct SessionFiles {
    std::string protractor;  // the SVG written with each image
    std::string readings;    // where the session saves its readings
    std::string note;        // printed at the start when either is not where the user might look
};

// Names the protractor and the readings file: beside a regular image (or one not
// there yet), named after it; for an image that is a device or a FIFO, after its last
// name component in the current folder. Readings named by `readings` are saved back
// there when that is a regular file, else under the name a session without it uses.
SessionFiles name_session_files(const RefineParameters& p);

// Refuses (message naming both files, returns 1) an image that is the readings file
// or the protractor, and a protractor that is the readings file. Returns 0 when all
// are distinct. Nothing is opened.
int check_distinct_files(const RefineParameters& p, const SessionFiles& files);

// Refuses (message, returns 1) to start a session whose readings file, not the one
// it goes on from, already holds an earlier session's readings or anything that is
// not a readings file of no burns: the message says how to go on from it or how to
// start afresh. Returns 0 when saving there loses nothing.
int check_no_earlier_readings(const RefineParameters& p, const SessionFiles& files);
