// The two stages of the calibration dialogue. Stage one shows a corner model of the
// ranges and takes the lines where it fits the disc; stage two sweeps first-turn
// lengths through the anchor those lines fix, and narrows the ranges.
#pragma once

#include "common/calibration_state.h"

enum class StageEnd {
    narrowed,      // stage two narrowed the ranges and flipped the corner
    exit_command,  // "exit": the program ends with status 0
    input_failed,  // ten failed reads in a row: status 1
};

// Runs the dialogue from the top of stage one; returns the program's exit status.
int run_stage_one(CalibrationState& state);

// Entered with a stage-one line range that enter_sweep accepts.
StageEnd run_stage_two(CalibrationState& state, int first, int last);

// "tr0: ...-...\ndtr: ...-...\n" with tr0_f, tr0_t, dtr_t, dtr_f.
void show_ranges(const CalibrationState& state);

// Announces and writes the stage-one image of the corner the reverse flag selects.
void write_corner_image(const CalibrationState& state);

// The average model drawn against itself, so that no line is gray.
void write_average_image(const CalibrationState& state);

void print_prompt();
