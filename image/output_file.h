// Opening and closing the image file, and the one way an output error ends the run.
#pragma once

#include <cstdio>

// Prints the system error with the program's prefix and exits with status 1.
[[noreturn]] void fail_output();

// Opens path for writing ("wb", truncating) with a large block buffer; on failure
// ends the process through fail_output.
std::FILE* open_image(const char* path);

// Closes the file and reports the image: the success message with the burning hint
// when it was completed, the interruption message otherwise. A failed close is an
// output error, so success is never reported for an image that did not reach disk.
void close_image(std::FILE* file, const char* path, bool completed);
