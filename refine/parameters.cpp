// Command-line parameters of ringetch-refine. Numbers are read strictly: a value
// that is not a plain decimal number is refused, never read half-way.
#include "refine/parameters.h"

#include <cstdio>
#include <cstring>

#include "common/decimal_text.h"
#include "common/program_name.h"
#include "common/size_parameter.h"
#include "refine/refinement_image.h"

namespace {

constexpr const char* names[] = {"tr0_f", "tr0_t", "dtr_t", "dtr_f", "size", "image", "readings"};
constexpr int name_count = sizeof names / sizeof names[0];

int find_name(const char* text)
{
    for (int i = 0; i < name_count; ++i)
        if (std::strcmp(text, names[i]) == 0)
            return i;
    return -1;
}

int bad_parameter(const char* text)
{
    std::fprintf(stderr, "%s: bad parameter \"%s\"\nexpected parameters:\n", program_name, text);
    for (int i = 0; i < name_count; ++i)
        std::fprintf(stderr, "%s%s", names[i], i + 1 < name_count ? ", " : "\n");
    return 1;
}

int bad_value(const char* name, const char* value, const char* expected)
{
    std::fprintf(stderr, "%s: %s \"%s\" is not %s\n", program_name, name, value, expected);
    return 1;
}

double* range_end(TrackRanges& r, int which)
{
    double* ends[] = {&r.tr0_f, &r.tr0_t, &r.dtr_t, &r.dtr_f};
    return ends[which];
}

}  // namespace

int parse_refine_parameters(int argc, char** argv, RefineParameters& p)
{
    for (int i = 1; i < argc; i += 2) {
        const int which = find_name(argv[i]);
        if (which < 0 || i + 1 >= argc)
            return bad_parameter(argv[i]);
        const char* value = argv[i + 1];
        if (which < 4) {
            if (!read_decimal(value, *range_end(p.ranges, which)))
                return bad_value(names[which], value, "a decimal number");
            p.range_given[which] = true;
        } else if (which == 4) {
            if (!read_size_parameter(value, p.size))
                return bad_value("size", value, "a 32-bit signed integer");
        } else if (which == 5) {
            p.image_path = value;
        } else {
            p.readings_path = value;
        }
    }
    return 0;
}

int check_refine_start(const RefineParameters& p)
{
    const TrackRanges& r = p.ranges;
    if (!(r.tr0_f > 0) || !(r.tr0_t > r.tr0_f)) {
        std::fprintf(stderr, "%s: the first-turn range tr0_f %.10g, tr0_t %.10g is not a range of positive "
                             "lengths, lower end first\n",
                     program_name, r.tr0_f, r.tr0_t);
        return 1;
    }
    if (!(r.dtr_t > 0) || !(r.dtr_f > 0)) {
        std::fprintf(stderr, "%s: the growths dtr_t %.10g, dtr_f %.10g must be above 0\n", program_name, r.dtr_t,
                     r.dtr_f);
        return 1;
    }
    const int lines = lines_held(range_middle(r), p.size);
    if (lines < 4) {
        std::fprintf(stderr, "%s: an image of size %d holds %d lines; at least 4 are needed\n", program_name,
                     static_cast<int>(p.size), lines);
        return 1;
    }
    return 0;
}
