// The refinement tool's text files (the protractor, the saved readings) are written
// under a temporary name beside the target and renamed when complete, so that no
// half-written file ever stands under the user's name. A file that cannot be written
// is reported, never fatal: the session holds the readings and saves them elsewhere.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

struct TextOutput {
    std::FILE* file = nullptr;
    std::string path;       // the name the user asked for
    std::string part_path;  // where it is written until complete
};

// Opens path's temporary twin for writing. False when it cannot be opened, with the
// reason (the temporary's name and the system error) in `why`.
bool open_text_output(const char* path, TextOutput& output, char* why, std::size_t why_size);

// Closes the file and renames it to its path. On any failed write, close or rename
// the temporary file is removed and the reason is put in `why`: false.
bool close_text_output(TextOutput& output, char* why, std::size_t why_size);

// path with a final ".rge" replaced by `extension`, or with `extension` added.
std::string sibling_path(const char* image_path, const char* extension);
