// Readings taken from a scan or photo of a burned disc rather than typed: a
// refinement image read whole, and the twists of a scanned first image, each with
// the reader's own errors. A capture the reader refuses gives no reading at all.
#pragma once

#include "model_fit/readings.h"

// Reads the refinement image drawn with burn.drawn up to size_limit bytes from
// capture (and turned, the same disc turned on the glass, unless empty), printing
// one row per line as ringetch-scan prints them. True with burn's readings replaced
// by the scan's (source scan); false after printing the reader's reason, burn then
// left as it was.
bool read_burn_from_scan(double size_limit, const char* capture, const char* turned, BurnReadings& burn);

// Reads the twists of the first image image_path (as ringetch wrote it) from capture
// (and turned unless empty) into readings' first twists, printing its rows. False,
// with the reason on standard error naming the file, when the image cannot be read,
// the capture is refused or it shows no twist; readings are then left as they were.
bool read_first_image(const char* capture, const char* turned, const char* image_path, Readings& readings);
