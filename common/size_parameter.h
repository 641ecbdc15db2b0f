// The image size limit as every tool reads it from its command line.
#pragma once

#include <cstdint>

// atoi's reading (blanks, optional sign, digits, the rest ignored, no digits is 0),
// but a number outside the 32-bit range is refused instead of left undefined.
bool read_size_parameter(const char* text, std::int32_t& size);
