// The stage-one test image: one track model for the whole disc, with markers that
// line up where the model fits, and a gray landmark line at the reference crossing.
#include "common/units.h"
#include "image/images.h"
#include "image/test_pattern.h"
#include "image/turn_walk.h"

namespace {
// Both ends inclusive, so a crossing exactly on a boundary makes two lines gray.
// A crossing that is not a number makes no line gray.
bool line_holds_crossing(int line, double crossing)
{
    const double first_turn = static_cast<double>(turns_per_line) * line;
    return first_turn <= crossing && crossing <= first_turn + turns_per_line;
}

struct TrackLines {
    double crossing;  // turn at which the drawn model meets the reference
    bool gray = false;

    void start_line(const TurnWalk& walk)
    {
        gray = line_holds_crossing(walk.line, crossing);
        print_line_start(walk.line, walk.cursor.pos, gray);
    }

    void draw_turn(TurnWalk& walk, std::FILE* file) const
    {
        draw_pattern_turn(walk.a, walk.turn_in_line, walk.line, gray, walk.cursor, file);
    }
};
}  // namespace

bool draw_track_image(TrackModel drawn, TrackModel reference, double size_limit, std::FILE* file)
{
    TrackLines lines{crossing_turn(drawn, reference)};
    TurnWalk walk = walk_of(drawn);
    return walk_turns(lines, walk, size_limit, file);
}

void write_track_image(TrackModel drawn, TrackModel reference, double size_limit, const char* path)
{
    write_image_file(path, [&](std::FILE* file) { return draw_track_image(drawn, reference, size_limit, file); });
}
