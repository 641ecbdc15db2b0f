// Command-line parameters. Numbers are read as atoi and atof read them; only a size
// that does not fit 32 bits, and a name without its value, are refused on top of
// unknown names.
#include "console/parameters.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* parameter_names[] = {"size", "tr0_f", "tr0_t", "dtr_t", "dtr_f", "image"};

// Position of name in parameter_names, or -1; only the whole argument matches.
int parameter_number(const char* name)
{
    for (int k = 0; k < 6; ++k)
        if (std::strcmp(name, parameter_names[k]) == 0)
            return k;
    return -1;
}

int bad_parameter(int index, const char* text)
{
    std::fprintf(stderr, "bad parameter number %d \"%s\"\n", index, text);
    std::fputs("expected parameters:\nsize, tr0_f, tr0_t, dtr_t, dtr_f, image\n", stderr);
    return 1;
}

// atoi's reading (blanks, optional sign, digits, the rest ignored, no digits is 0),
// but a number outside the 32-bit range is refused instead of left undefined.
bool read_size(const char* text, std::int32_t& size)
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

}  // namespace

int parse_parameters(int argc, char** argv, CalibrationState& state)
{
    for (int i = 1; i < argc; i += 2) {
        const char* name = argv[i];
        const int which = parameter_number(name);
        if (which < 0 || i + 1 >= argc)
            return bad_parameter(i, name);
        const char* value = argv[i + 1];
        switch (which) {
        case 0:
            if (!read_size(value, state.size)) {
                std::fprintf(stderr, "size \"%s\" does not fit a 32-bit signed integer\n", value);
                return 1;
            }
            break;
        case 1: state.tr0_f = std::atof(value); break;
        case 2: state.tr0_t = std::atof(value); break;
        case 3: state.dtr_t = std::atof(value); break;
        case 4: state.dtr_f = std::atof(value); break;
        default: state.image_path = value; break;
        }
    }
    return 0;
}
