// The calibration dialogue. Stage one shows a corner model of the ranges and takes
// the lines where it fits the disc; stage two sweeps first-turn lengths through the
// anchor those lines fix, and narrows the ranges.
#pragma once

#include "common/calibration_state.h"
#include "console/ranges.h"

enum class StageEnd {
    narrowed,      // stage two narrowed the ranges and flipped the corner
    exit_command,  // "exit": the program ends with status 0
    input_failed,  // ten failed reads in a row: status 1
};

// Runs the dialogue from the top of stage one, through as many stays in stage two
// as the user asks for; returns the program's exit status.
int run_dialogue(CalibrationState& state);

// One stay in stage two, entered with the sweep that stage one's line range fixed.
StageEnd run_stage_two(CalibrationState& state, Sweep sweep);

// "tr0: ...-...\ndtr: ...-...\n" with tr0_f, tr0_t, dtr_t, dtr_f.
void show_ranges(const CalibrationState& state);

// Announces and writes the stage-one image of the corner the reverse flag selects.
void write_corner_image(const CalibrationState& state);

// A stage-one image of the given model, with the average model as its reference.
void write_model_image(const CalibrationState& state, TrackModel model);

// "averimage": the average model drawn against itself, so that no line is gray; in
// auto mode then the "press ENTER" wait. Returns whether the caller now restores its
// stage's image (auto mode).
bool show_average_image(const CalibrationState& state);

void print_prompt();
