// The turn drawing step. Each turn is handed to the interleaver as runs of equal
// bytes (marker, fill, catch-up), which it places a frame at a time.
#include "image/turn.h"

#include <cmath>

#include "common/units.h"
#include "image/interleaver.h"

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
    std::fflush(stdout);
}

bool turn_fits(double a, double pos, double size_limit) { return a >= 1 && size_limit - a > pos; }

void draw_turn(double a, int j, int line, bool gray, double& pos, std::int64_t& count, std::FILE* file)
{
    const auto n = static_cast<std::int64_t>(a);
    const std::int64_t m = (j >= first_marker_turn && j <= last_marker_turn) ? n / 12 : 0;
    const LineBytes bytes = line_bytes(line, gray);
    put_audio_run(bytes.marker, m, file);
    put_audio_run(bytes.fill, n - m, file);
    count += n;
    pos += a;
    // Keep the stream in step with the fractional turn lengths.
    const auto whole_pos = static_cast<std::int64_t>(pos);
    if (count < whole_pos) {
        put_audio_run(bytes.fill, whole_pos - count, file);
        count = whole_pos;
    }
}
