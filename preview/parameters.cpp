// ringetch-preview's command-line parameters. Numbers are read as atof and atoi read
// them; the values are checked once all pairs are in, so the last pair of a name is
// the one checked.
#include "preview/parameters.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/program_name.h"
#include "common/size_parameter.h"

namespace {

enum class Parameter { image, tr0, dtr, png, pixels, unknown };

struct NamedParameter {
    const char* name;
    Parameter parameter;
};

constexpr NamedParameter parameters[] = {
    {"image", Parameter::image}, {"tr0", Parameter::tr0},       {"dtr", Parameter::dtr},
    {"png", Parameter::png},     {"pixels", Parameter::pixels},
};

Parameter find_parameter(const char* name)
{
    for (const NamedParameter& named : parameters)
        if (std::strcmp(name, named.name) == 0)
            return named.parameter;
    return Parameter::unknown;
}

int bad_parameter(const char* text)
{
    std::fprintf(stderr, "%s: bad parameter \"%s\"\nexpected parameters:\nimage, tr0, dtr, png, pixels\n", program_name,
                 text);
    return 1;
}

// The texts of the numbers, kept so that a refusal can quote what was typed.
struct NumberTexts {
    const char* tr0 = nullptr;
    const char* dtr = nullptr;
    const char* pixels = nullptr;
};

int refuse(const char* name, const char* text, const char* rule)
{
    std::fprintf(stderr, "%s: %s \"%s\" %s\n", program_name, name, text, rule);
    return 1;
}

// A turn shorter than a byte cannot be drawn, so tr0 starts at 1.
int check_parameters(const PreviewParameters& p, const NumberTexts& texts)
{
    if (texts.tr0 != nullptr && !(std::isfinite(p.model.tr0) && p.model.tr0 >= 1))
        return refuse("tr0", texts.tr0, "is not a number of bytes of at least 1");
    if (texts.dtr != nullptr && !(std::isfinite(p.model.dtr) && p.model.dtr > 0))
        return refuse("dtr", texts.dtr, "is not a finite number above 0");
    if (texts.pixels != nullptr && (p.pixels < min_pixels || p.pixels > max_pixels))
        return refuse("pixels", texts.pixels, "is not a whole number from 16 to 8192");
    return 0;
}

}  // namespace

int parse_preview_parameters(int argc, char** argv, PreviewParameters& parameters)
{
    NumberTexts texts;
    for (int i = 1; i < argc; i += 2) {
        const char* name = argv[i];
        const Parameter which = find_parameter(name);
        if (which == Parameter::unknown || i + 1 >= argc)
            return bad_parameter(name);
        const char* value = argv[i + 1];
        switch (which) {
        case Parameter::image: parameters.image_path = value; break;
        case Parameter::tr0:
            parameters.model.tr0 = std::atof(value);
            texts.tr0 = value;
            break;
        case Parameter::dtr:
            parameters.model.dtr = std::atof(value);
            texts.dtr = value;
            break;
        case Parameter::png: parameters.png_path = value; break;
        case Parameter::pixels: {
            std::int32_t pixels = 0;
            parameters.pixels = read_size_parameter(value, pixels) ? pixels : 0;
            texts.pixels = value;
            break;
        }
        case Parameter::unknown: break;
        }
    }
    return check_parameters(parameters, texts);
}
