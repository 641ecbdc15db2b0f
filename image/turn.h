// The turn drawing step shared by both image writers, and the pieces of a writer's
// loop that do not depend on how the turn length changes.
#pragma once

#include <cstdint>
#include <cstdio>

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

// Prints the progress line that opens a line; flushed so that a pipe sees it now.
void print_line_start(int line, double pos, bool gray);

// Whether a turn of length a starting at pos is drawn: it must fit wholly under the
// size limit and hold at least one byte. A turn that is shorter, negative or not a
// finite number ends the image as the size limit does, so no writer can stall.
bool turn_fits(double a, double pos, double size_limit);

// Draws one turn of length a (finite, 1 <= a < 2^31): trunc(a) pixel bytes, the
// first twelfth of them marker bytes when turn j of the line carries a marker, then
// fill bytes until count catches up with trunc(pos) after pos has advanced by a.
void draw_turn(double a, int j, int line, bool gray, double& pos, std::int64_t& count, std::FILE* file);
