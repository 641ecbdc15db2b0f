// The image size limit as every tool reads it from its command line.
#include "common/size_parameter.h"

#include <cctype>

bool read_size_parameter(const char* text, std::int32_t& size)
{
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p)) != 0)
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    std::int64_t magnitude = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)) != 0; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > std::int64_t{INT32_MAX} + 1)
            return false;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX)
        return false;
    size = static_cast<std::int32_t>(value);
    return true;
}
