// What both dialogue stages show: the ranges, the prompt, the corner and average
// images.
#include "console/dialogue.h"

#include <cstdio>

#include "console/command_input.h"
#include "image/images.h"

void show_ranges(const CalibrationState& state)
{
    const TrackRanges& r = state.ranges;
    std::printf("tr0: %.10g-%.10g\ndtr: %.10g-%.10g\n", r.tr0_f, r.tr0_t, r.dtr_t, r.dtr_f);
}

void print_prompt() { std::fputs("enter number of the LINE\n", stdout); }

void write_model_image(const CalibrationState& state, TrackModel model)
{
    write_track_image(model, range_middle(state.ranges), state.size, state.image_path);
}

void write_corner_image(const CalibrationState& state)
{
    std::puts(state.reverse ? "creating REVERSE image" : "creating DIRECT image");
    write_model_image(state, state.reverse ? reverse_corner(state.ranges) : direct_corner(state.ranges));
}

bool show_average_image(const CalibrationState& state)
{
    write_model_image(state, range_middle(state.ranges));
    if (!state.auto_mode)
        return false;
    std::fputs("press ENTER for restore image", stdout);
    wait_for_enter();
    return true;
}
