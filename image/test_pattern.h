// The calibration test pattern: lines of 625 turns in alternating shades, each
// marked turn opening with a marker (its first twelfth) in the complementary byte,
// and one gray landmark line. Where the drawn model fits the disc, the markers of
// successive turns stand at one angle and form a straight wedge.
#pragma once

#include <cstdint>
#include <cstdio>

#include "image/turn.h"

// Turns 0..32 and 593..624 of every line carry no marker.
constexpr int first_marker_turn = 33;
constexpr int last_marker_turn = 592;

struct LineBytes {
    std::uint8_t marker;  // the first twelfth of a marked turn
    std::uint8_t fill;    // the rest of the turn
};

// Pixel bytes of a line: white (even) lines are mostly 0xAA, black (odd) lines
// mostly 0x20, the gray line mostly 0x00.
LineBytes line_bytes(int line, bool gray);

// "gray", "white" or "black".
const char* line_colour(int line, bool gray);

// Prints the progress line that opens a line, flushed so that a pipe sees it now (a
// console write that fails ends the run, see flush_console).
void print_line_start(int line, double pos, bool gray);

// Draws turn j of a line with the turn step: the marker run when the turn carries a
// marker, fill bytes for the rest and the catch-up.
void draw_pattern_turn(double a, int j, int line, bool gray, TurnCursor& cursor, std::FILE* file);
