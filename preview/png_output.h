// The PNG reaches the user's name only whole: it is written to a temporary file
// beside the target and renamed over it when complete. A target that exists and is
// not a regular file (a device such as /dev/null or /dev/full, a pipe) cannot be
// replaced and is written in place.
#pragma once

#include <cstdio>
#include <string>

#include "picture_file/png_write.h"

struct PngTarget {
    std::string path;       // the user's name
    std::string temp_path;  // the file being written, beside it; empty when writing in place
    std::FILE* file = nullptr;
};

// Opens the file the PNG is written to, before any work, so that an unusable path
// is refused at once. A folder or a file that cannot be created ends the process
// through fail_output.
void open_png_target(PngTarget& target, const char* path);

// Writes the picture and renames it into place. Returns true when done; false when
// stop became non-zero (a Ctrl-C): the temporary file is then removed. A failed
// write, close or rename removes the temporary file and ends the process through
// fail_output.
bool finish_png_target(PngTarget& target, const GreyPicture& picture, const volatile std::sig_atomic_t* stop);

// Closes and removes the temporary file (after an interruption or a failed input).
void discard_png_target(PngTarget& target);
