// The refinement tool's text files (the protractor, the saved readings) are written
// under a temporary name beside the target and renamed when complete, so that no
// half-written file ever stands under the user's name.
#pragma once

#include <cstdio>
#include <string>

struct TextOutput {
    std::FILE* file = nullptr;
    std::string path;       // the name the user asked for
    std::string part_path;  // where it is written until complete
};

// Opens path's temporary twin for writing; on failure ends the process through
// fail_output.
TextOutput open_text_output(const char* path);

// Closes the file and renames it to its path. Any failed write, close or rename
// removes the temporary file and ends the process through fail_output.
void close_text_output(TextOutput& output);

// path with a final ".rge" replaced by `extension`, or with `extension` added.
std::string sibling_path(const char* image_path, const char* extension);
