// ringetch-refine's command-line table and the check of the start it gives. Numbers
// are read strictly: a value that is not a plain decimal number is refused, never
// read half-way.
#include "refine/parameters.h"

#include <cstdio>

#include "common/decimal_text.h"
#include "common/program_name.h"
#include "common/size_parameter.h"
#include "refine/refinement_image.h"

namespace {

// One end of the ranges, named alone.
bool read_end(const char* text, RefineParameters& p, double TrackRanges::*end, int which)
{
    if (!read_decimal(text, p.ranges.*end))
        return false;
    p.range_given[which] = true;
    return true;
}

// A range as ringetch prints it: tr0 lower end first, dtr the growth paired with it.
bool read_pair(const char* text, RefineParameters& p, double TrackRanges::*first, double TrackRanges::*second,
               int which)
{
    if (!read_decimal_pair(text, p.ranges.*first, p.ranges.*second))
        return false;
    p.range_given[which] = p.range_given[which + 1] = true;
    return true;
}

using Row = Parameter<RefineParameters>;

// The pairs come before the ends, so that an end named alone replaces that end of its pair.
constexpr Row parameters[] = {
    {"tr0", "F-T", "the first-turn range as ringetch printed it (tr0: F-T)", nullptr, false,
     [](const char* text, RefineParameters& p) { return read_pair(text, p, &TrackRanges::tr0_f, &TrackRanges::tr0_t, 0); },
     "is not two decimal numbers joined by -, as ringetch prints the range (tr0: F-T)"},
    {"dtr", "T-F", "the growth range as ringetch printed it (dtr: T-F)", nullptr, false,
     [](const char* text, RefineParameters& p) { return read_pair(text, p, &TrackRanges::dtr_t, &TrackRanges::dtr_f, 2); },
     "is not two decimal numbers joined by -, as ringetch prints the range (dtr: T-F)"},
    {"tr0_f", "BYTES", "lower end of the first-turn range", nullptr, false,
     [](const char* text, RefineParameters& p) { return read_end(text, p, &TrackRanges::tr0_f, 0); }, decimal_refusal},
    {"tr0_t", "BYTES", "upper end of the first-turn range", nullptr, false,
     [](const char* text, RefineParameters& p) { return read_end(text, p, &TrackRanges::tr0_t, 1); }, decimal_refusal},
    {"dtr_t", "BYTES", "growth per turn paired with tr0_f", nullptr, false,
     [](const char* text, RefineParameters& p) { return read_end(text, p, &TrackRanges::dtr_t, 2); }, decimal_refusal},
    {"dtr_f", "BYTES", "growth per turn paired with tr0_t", nullptr, false,
     [](const char* text, RefineParameters& p) { return read_end(text, p, &TrackRanges::dtr_f, 3); }, decimal_refusal},
    {"size", "BYTES", size_meaning, size_fallback, false,
     [](const char* text, RefineParameters& p) { return read_size_parameter(text, p.size); }, size_refusal},
    {"image", "PATH", "output image path", "refine.rge", false,
     [](const char* text, RefineParameters& p) { return read_path(text, p.image_path); }, ""},
    {"readings", "PATH", "an earlier session's readings, to go on from and save to", nullptr, false,
     [](const char* text, RefineParameters& p) { return read_path(text, p.readings_path); }, ""},
    {"first", "PATH", "a scan or photo of the burned first image: its twists fix the start", nullptr,
     false, [](const char* text, RefineParameters& p) { return read_path(text, p.first_scan); }, ""},
    {"first_turned", "PATH", "a second scan of that disc, turned on the glass", nullptr, false,
     [](const char* text, RefineParameters& p) { return read_path(text, p.first_turned); }, ""},
    {"first_image", "PATH", "the first image that was burned, as ringetch wrote it", "image.rge", false,
     [](const char* text, RefineParameters& p) { return read_path(text, p.first_image); }, ""},
};

constexpr Usage usage = {
    "tr0 F-T dtr T-F [NAME VALUE]...",
    "Refines a cycle's track model from the wedge angles read on burned images.\n"
    "The ranges are needed (tr0 and dtr, or end by end) unless the readings hold them\n"
    "or a scan of the first image is named (first), which starts from ringetch's.",
    "ringetch-refine tr0 23025-23130 dtr 1.396420513-1.387584",
};

}  // namespace

CommandLine parse_refine_parameters(int argc, char** argv, RefineParameters& p)
{
    return read_command_line(argc, argv, ::parameters, usage, p);
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
