// Strict decimal numbers: checked character by character, then read by strtod.
#include "common/decimal_text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Skips digits; returns how many there were.
int skip_digits(const char*& p)
{
    int count = 0;
    for (; is_digit(*p); ++p)
        ++count;
    return count;
}

}  // namespace

bool read_decimal(const char* text, double& value)
{
    const char* p = text;
    while (is_blank(*p))
        ++p;
    const char* const start = p;
    if (*p == '+' || *p == '-')
        ++p;
    int digits = skip_digits(p);
    if (*p == '.') {
        ++p;
        digits += skip_digits(p);
    }
    if (digits == 0)
        return false;
    if (*p == 'e' || *p == 'E') {
        ++p;
        if (*p == '+' || *p == '-')
            ++p;
        if (skip_digits(p) == 0)
            return false;
    }
    const char* const end = p;
    while (is_blank(*p))
        ++p;
    if (*p != '\0')
        return false;
    char* parsed_end = nullptr;
    const double number = std::strtod(start, &parsed_end);
    if (parsed_end != end || !std::isfinite(number))
        return false;
    value = number;
    return true;
}
