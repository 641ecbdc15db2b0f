// The command line of ringetch-picture. Sizes are read as ringetch reads them; a
// number of the model must fill its whole text, so that a typing slip is
// refused rather than read as a part of the number.
#include "picture/parameters.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/program_name.h"
#include "common/size_parameter.h"

namespace {

struct NamedParameter {
    const char* name;
    const char* PictureParameters::*value;
};

constexpr NamedParameter parameter_names[] = {
    {"png", &PictureParameters::png},   {"tr0", &PictureParameters::tr0},     {"dtr", &PictureParameters::dtr},
    {"size", &PictureParameters::size}, {"image", &PictureParameters::image}, {"mirror", &PictureParameters::mirror},
};

int bad_parameter(const char* text)
{
    std::fprintf(stderr, "%s: bad parameter \"%s\"\n", program_name, text);
    std::fputs("expected parameters:\npng, tr0, dtr, size, image, mirror\n", stderr);
    return 1;
}

int refuse(const char* name, const char* text, const char* reason)
{
    std::fprintf(stderr, "%s: %s \"%s\" %s\n", program_name, name, text, reason);
    return 1;
}

int missing(const char* name, const char* meaning)
{
    std::fprintf(stderr, "%s: %s (%s) is required\n", program_name, name, meaning);
    return 1;
}

// A number of bytes: the whole text a finite number of at least `least` bytes, or
// above zero when least is zero.
bool read_bytes(const char* text, double least, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value) && value >= least && value > 0;
}

}  // namespace

int read_picture_parameters(int argc, char** argv, PictureParameters& parameters)
{
    for (int i = 1; i < argc; i += 2) {
        const NamedParameter* found = nullptr;
        for (const NamedParameter& named : parameter_names)
            if (std::strcmp(argv[i], named.name) == 0)
                found = &named;
        if (found == nullptr || i + 1 >= argc)
            return bad_parameter(argv[i]);
        parameters.*(found->value) = argv[i + 1];
    }
    return 0;
}

int check_picture_parameters(const PictureParameters& parameters, PictureSettings& settings)
{
    if (parameters.png == nullptr)
        return missing("png", "the picture");
    if (parameters.tr0 == nullptr)
        return missing("tr0", "the first-turn length");
    if (parameters.dtr == nullptr)
        return missing("dtr", "the growth per turn");
    // A first turn under a byte could not be drawn (nor previewed) as the images are.
    if (!read_bytes(parameters.tr0, 1, settings.model.tr0))
        return refuse("tr0", parameters.tr0, "is not a finite number of bytes of at least 1");
    if (!read_bytes(parameters.dtr, 0, settings.model.dtr))
        return refuse("dtr", parameters.dtr, "is not a finite number of bytes above 0");
    if (!read_size_parameter(parameters.size, settings.size))
        return refuse("size", parameters.size, "does not fit a 32-bit signed integer");
    if (std::strcmp(parameters.mirror, "0") != 0 && std::strcmp(parameters.mirror, "1") != 0)
        return refuse("mirror", parameters.mirror, "is neither 0 nor 1");
    settings.mirror = parameters.mirror[0] == '1';
    settings.png = parameters.png;
    settings.image = parameters.image;
    return 0;
}
