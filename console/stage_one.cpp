// Stage one of the dialogue: the corner image of the current ranges, and the
// commands that reshape the ranges, write particular images or hand a line range on.
#include <cstdio>

#include "console/command_input.h"
#include "console/dialogue.h"
#include "console/ranges.h"
#include "image/images.h"

namespace {

enum class StageOneStep {
    read_next,       // nothing more to do: read the next line without a prompt
    ranges_changed,  // show the ranges, the auto image and the prompt again
    line_range,      // hand over to stage two
    exit_command,
};

void write_corner_model(const CalibrationState& state, TrackModel model)
{
    const TrackModel average = average_model(state);
    write_track_image(model.tr0, model.dtr, average.tr0, average.dtr, state.size, state.image_path);
}

StageOneStep carry_out(const char* text, CalibrationState& state, int& first, int& last)
{
    double v = 0;
    Sweep sweep;
    if (match_line_range(text, first, last) && enter_sweep(state, first, last, sweep))
        return StageOneStep::line_range;
    if (match_number_command(text, "next", v) && shift_ranges(state, v, true))
        return StageOneStep::ranges_changed;
    if (match_number_command(text, "prev", v) && shift_ranges(state, v, false))
        return StageOneStep::ranges_changed;
    if (match_number_command(text, "tr0_t", v) && set_range_end(state.tr0_t, v))
        return StageOneStep::ranges_changed;
    if (match_number_command(text, "tr0_f", v) && set_range_end(state.tr0_f, v))
        return StageOneStep::ranges_changed;
    if (match_number_command(text, "dtr_t", v) && set_range_end(state.dtr_t, v))
        return StageOneStep::ranges_changed;
    if (match_number_command(text, "dtr_f", v) && set_range_end(state.dtr_f, v))
        return StageOneStep::ranges_changed;
    if (match_exact(text, "auto on\n")) {
        state.auto_mode = true;
    } else if (match_exact(text, "auto off\n")) {
        state.auto_mode = false;
    } else if (match_exact(text, "image\n")) {
        write_corner_model(state, direct_corner(state));
    } else if (match_exact(text, "averimage\n")) {
        write_average_image(state);
        if (state.auto_mode) {
            std::fputs("press ENTER for restore image", stdout);
            wait_for_enter();
            write_corner_image(state);
        }
    } else if (match_exact(text, "reverseimage\n")) {
        write_corner_model(state, reverse_corner(state));
    } else if (match_exact(text, "exit\n")) {
        return StageOneStep::exit_command;
    } else {
        report_bad_command();
    }
    return StageOneStep::read_next;
}

// The top of stage one, and what every range change shows again.
void show_corner(const CalibrationState& state)
{
    show_ranges(state);
    if (state.auto_mode)
        write_corner_image(state);
    print_prompt();
}

}  // namespace

void show_ranges(const CalibrationState& state)
{
    std::printf("tr0: %.10g-%.10g\ndtr: %.10g-%.10g\n", state.tr0_f, state.tr0_t, state.dtr_t, state.dtr_f);
}

void print_prompt() { std::fputs("enter number of the LINE\n", stdout); }

void write_corner_image(const CalibrationState& state)
{
    std::puts(state.reverse ? "creating REVERSE image" : "creating DIRECT image");
    write_corner_model(state, state.reverse ? reverse_corner(state) : direct_corner(state));
}

void write_average_image(const CalibrationState& state) { write_corner_model(state, average_model(state)); }

int run_stage_one(CalibrationState& state)
{
    for (;;) {
        show_corner(state);
        int retries = full_retry_count;
        StageOneStep step = StageOneStep::read_next;
        while (step != StageOneStep::line_range) {
            if (!read_command(retries))
                return 1;
            int first = 0;
            int last = 0;
            step = carry_out(input_text, state, first, last);
            if (step == StageOneStep::exit_command)
                return 0;
            if (step == StageOneStep::ranges_changed)
                show_corner(state);
            if (step == StageOneStep::line_range) {
                const StageEnd end = run_stage_two(state, first, last);
                if (end == StageEnd::exit_command)
                    return 0;
                if (end == StageEnd::input_failed)
                    return 1;
            }
        }
    }
}
