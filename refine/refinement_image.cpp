// The refinement image's writer over the shared turn walk and test pattern.
#include "refine/refinement_image.h"

#include "common/units.h"
#include "image/test_pattern.h"
#include "image/turn_walk.h"
#include "model_fit/readings.h"

namespace {

// Line 0's marked turns: the marker, fill for a sixth of a turn, then the direction
// mark, a 48th of a turn in the marker's byte.
void draw_direction_turn(double a, TurnCursor& cursor, std::FILE* file)
{
    const auto whole = static_cast<std::int64_t>(a);
    const LineBytes bytes = line_bytes(0, false);
    const ByteRun runs[] = {{bytes.marker, whole / 12}, {bytes.fill, whole / 6}, {bytes.marker, whole / 48}};
    draw_turn_run_list(a, runs, 3, bytes.fill, cursor, file);
}

struct RefinementLines {
    static void start_line(const TurnWalk& walk) { print_line_start(walk.line, walk.cursor.pos, false); }

    static void draw_turn(TurnWalk& walk, std::FILE* file)
    {
        const int j = walk.turn_in_line;
        if (walk.line == 0 && j >= first_marker_turn && j <= last_marker_turn)
            draw_direction_turn(walk.a, walk.cursor, file);
        else
            draw_pattern_turn(walk.a, j, walk.line, false, walk.cursor, file);
    }
};

}  // namespace

int lines_held(TrackModel drawn, double size_limit)
{
    TurnWalk walk = walk_of(drawn);
    int held = 0;
    for (; held < max_refine_lines && turn_fits(walk, size_limit); skip_turn(walk))
        if (walk.turn_in_line == first_marker_turn)
            ++held;
    return held;
}

bool draw_refinement_image(TrackModel drawn, double size_limit, std::FILE* file)
{
    RefinementLines lines;
    TurnWalk walk = walk_of(drawn);
    return walk_turns(lines, walk, size_limit, file);
}

bool write_refinement_image(TrackModel drawn, double size_limit, const char* path)
{
    return write_image_file(path, [&](std::FILE* file) { return draw_refinement_image(drawn, size_limit, file); });
}
