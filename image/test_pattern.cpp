// The calibration test pattern's bytes, names and progress line.
#include "image/test_pattern.h"

#include "common/console.h"
#include "common/units.h"

LineBytes line_bytes(int line, bool gray)
{
    const bool even = line % 2 == 0;
    if (gray)
        return {even ? std::uint8_t{0x20} : std::uint8_t{0xAA}, 0x00};
    return even ? LineBytes{0x20, 0xAA} : LineBytes{0xAA, 0x20};
}

const char* line_colour(int line, bool gray)
{
    if (gray)
        return "gray";
    return line % 2 == 0 ? "white" : "black";
}

void print_line_start(int line, double pos, bool gray)
{
    std::printf("line number %d, start byte - %g Mb (%s)\n", line, pos / bytes_per_mib, line_colour(line, gray));
    flush_console();
}

void draw_pattern_turn(double a, int j, int line, bool gray, TurnCursor& cursor, std::FILE* file)
{
    const auto whole = static_cast<std::int64_t>(a);
    const std::int64_t marker = (j >= first_marker_turn && j <= last_marker_turn) ? whole / 12 : 0;
    const LineBytes bytes = line_bytes(line, gray);
    draw_turn_runs(a, {bytes.marker, marker}, bytes.fill, cursor, file);
}
