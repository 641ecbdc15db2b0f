// Command-line parameters. Numbers are read as atoi and atof read them; only a size
// that does not fit 32 bits, and a name without its value, are refused on top of
// unknown names.
#include "console/parameters.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/size_parameter.h"

namespace {

enum class Parameter { size, tr0_f, tr0_t, dtr_t, dtr_f, image, unknown };

struct NamedParameter {
    const char* name;
    Parameter parameter;
};

constexpr NamedParameter parameters[] = {
    {"size", Parameter::size},   {"tr0_f", Parameter::tr0_f}, {"tr0_t", Parameter::tr0_t},
    {"dtr_t", Parameter::dtr_t}, {"dtr_f", Parameter::dtr_f}, {"image", Parameter::image},
};

// Only the whole argument matches a name.
Parameter find_parameter(const char* name)
{
    for (const NamedParameter& named : parameters)
        if (std::strcmp(name, named.name) == 0)
            return named.parameter;
    return Parameter::unknown;
}

int bad_parameter(int index, const char* text)
{
    std::fprintf(stderr, "bad parameter number %d \"%s\"\n", index, text);
    std::fputs("expected parameters:\nsize, tr0_f, tr0_t, dtr_t, dtr_f, image\n", stderr);
    return 1;
}

}  // namespace

int parse_parameters(int argc, char** argv, CalibrationState& state)
{
    for (int i = 1; i < argc; i += 2) {
        const char* name = argv[i];
        const Parameter which = find_parameter(name);
        if (which == Parameter::unknown || i + 1 >= argc)
            return bad_parameter(i, name);
        const char* value = argv[i + 1];
        switch (which) {
        case Parameter::size:
            if (!read_size_parameter(value, state.size)) {
                std::fprintf(stderr, "size \"%s\" does not fit a 32-bit signed integer\n", value);
                return 1;
            }
            break;
        case Parameter::tr0_f: state.ranges.tr0_f = std::atof(value); break;
        case Parameter::tr0_t: state.ranges.tr0_t = std::atof(value); break;
        case Parameter::dtr_t: state.ranges.dtr_t = std::atof(value); break;
        case Parameter::dtr_f: state.ranges.dtr_f = std::atof(value); break;
        case Parameter::image: state.image_path = value; break;
        case Parameter::unknown: break;
        }
    }
    return 0;
}
