// What both dialogue stages show: the ranges, the prompt, the corner and average
// images.
#include "console/dialogue.h"

#include <cstdio>

#include "console/command_input.h"
#include "image/images.h"

void show_ranges(const CalibrationState& state)
{
    std::printf("tr0: %.10g-%.10g\ndtr: %.10g-%.10g\n", state.tr0_f, state.tr0_t, state.dtr_t, state.dtr_f);
}

void print_prompt() { std::fputs("enter number of the LINE\n", stdout); }

void write_model_image(const CalibrationState& state, TrackModel model)
{
    write_track_image(model, average_model(state), state.size, state.image_path);
}

void write_corner_image(const CalibrationState& state)
{
    std::puts(state.reverse ? "creating REVERSE image" : "creating DIRECT image");
    write_model_image(state, state.reverse ? reverse_corner(state) : direct_corner(state));
}

bool show_average_image(const CalibrationState& state)
{
    write_model_image(state, average_model(state));
    if (!state.auto_mode)
        return false;
    std::fputs("press ENTER for restore image", stdout);
    wait_for_enter();
    return true;
}
