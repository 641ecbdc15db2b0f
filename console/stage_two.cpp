// Stage two of the dialogue: sweep images through the anchor that stage one's line
// range fixed, moved and refined with next and prev, until a line range narrows the
// ranges and sends the dialogue back to stage one.
#include <cstdio>

#include "console/command_input.h"
#include "console/dialogue.h"
#include "console/ranges.h"
#include "image/images.h"

namespace {

// The sweep starts at tr0_f; its gray line is the one that holds the average tr0.
void write_sweep(const CalibrationState& state, const Sweep& sweep)
{
    const SweepLines lines{state.ranges.tr0_f, sweep.step, sweep.anchor_pos, sweep.anchor_len};
    write_sweep_image(lines, range_middle(state.ranges).tr0, state.size, state.image_path);
}

// After next or prev: the new ranges, the auto image and the prompt.
void show_shifted_sweep(const CalibrationState& state, const Sweep& sweep)
{
    show_ranges(state);
    if (state.auto_mode)
        write_sweep(state, sweep);
    print_prompt();
}

}  // namespace

StageEnd run_stage_two(CalibrationState& state, Sweep sweep)
{
    if (state.auto_mode)
        write_sweep(state, sweep);
    print_prompt();
    int retries = full_retry_count;
    for (;;) {
        if (!read_command(retries))
            return StageEnd::input_failed;
        const char* text = input_text;
        double f = 0;
        int first = 0;
        int last = 0;
        if (match_line_range(text, first, last) && narrow_to_lines(state, sweep, first, last))
            return StageEnd::narrowed;
        const bool shifted = (match_number_command(text, "next", f) && shift_sweep(state, sweep, f, true)) ||
                             (match_number_command(text, "prev", f) && shift_sweep(state, sweep, f, false));
        if (shifted) {
            show_shifted_sweep(state, sweep);
        } else if (match_exact(text, "auto on\n")) {
            state.auto_mode = true;
        } else if (match_exact(text, "auto off\n")) {
            state.auto_mode = false;
        } else if (match_exact(text, "image\n")) {
            write_sweep(state, sweep);
        } else if (match_exact(text, "averimage\n")) {
            if (show_average_image(state))
                write_sweep(state, sweep);
        } else if (match_exact(text, "exit\n")) {
            return StageEnd::exit_command;
        } else {
            report_bad_command();
        }
    }
}
