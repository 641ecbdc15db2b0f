// Stage one of the dialogue: the corner image of the current ranges, and the
// commands that reshape the ranges, write particular images or hand a line range on
// to stage two. The dialogue itself starts and ends here.
#include <cstdio>

#include "console/command_input.h"
#include "console/dialogue.h"
#include "console/ranges.h"

namespace {

enum class StageOneStep {
    read_next,       // nothing more to do: read the next line without a prompt
    ranges_changed,  // show the ranges, the auto image and the prompt again
    line_range,      // hand the sweep over to stage two
    exit_command,
};

StageOneStep carry_out(const char* text, CalibrationState& state, Sweep& sweep)
{
    double v = 0;
    int first = 0;
    int last = 0;
    if (match_line_range(text, first, last) && enter_sweep(state, first, last, sweep))
        return StageOneStep::line_range;
    if (match_number_command(text, "next", v) && shift_ranges(state, v, true))
        return StageOneStep::ranges_changed;
    if (match_number_command(text, "prev", v) && shift_ranges(state, v, false))
        return StageOneStep::ranges_changed;
    if (match_number_command(text, "tr0_t", v) && set_range_end(state.ranges.tr0_t, v))
        return StageOneStep::ranges_changed;
    if (match_number_command(text, "tr0_f", v) && set_range_end(state.ranges.tr0_f, v))
        return StageOneStep::ranges_changed;
    if (match_number_command(text, "dtr_t", v) && set_range_end(state.ranges.dtr_t, v))
        return StageOneStep::ranges_changed;
    if (match_number_command(text, "dtr_f", v) && set_range_end(state.ranges.dtr_f, v))
        return StageOneStep::ranges_changed;
    if (match_exact(text, "auto on\n")) {
        state.auto_mode = true;
    } else if (match_exact(text, "auto off\n")) {
        state.auto_mode = false;
    } else if (match_exact(text, "image\n")) {
        write_model_image(state, direct_corner(state.ranges));
    } else if (match_exact(text, "averimage\n")) {
        if (show_average_image(state))
            write_corner_image(state);
    } else if (match_exact(text, "reverseimage\n")) {
        write_model_image(state, reverse_corner(state.ranges));
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

int run_dialogue(CalibrationState& state)
{
    for (;;) {
        show_corner(state);
        int retries = full_retry_count;
        for (;;) {
            if (!read_command(retries))
                return 1;
            Sweep sweep;
            const StageOneStep step = carry_out(input_text, state, sweep);
            if (step == StageOneStep::exit_command)
                return 0;
            if (step == StageOneStep::ranges_changed)
                show_corner(state);
            if (step == StageOneStep::line_range) {
                const StageEnd end = run_stage_two(state, sweep);
                if (end == StageEnd::exit_command)
                    return 0;
                if (end == StageEnd::input_failed)
                    return 1;
                break;  // narrowed: back to the top of stage one
            }
        }
    }
}
