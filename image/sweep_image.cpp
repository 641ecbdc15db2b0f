// The stage-two sweep image: line k tests the first-turn length first_tr0 + k * step
// (stepped line by line), each with the growth that carries it through the anchor, so all lines agree at the anchor.
#include "common/track_model.h"
#include "image/images.h"
#include "image/test_pattern.h"
#include "image/turn_walk.h"

namespace {
struct SweepDrawing {
    const SweepLines& sweep;
    double ref_tr0;
    double t = sweep.first_tr0;  // first-turn length of the current line, stepped line by line
    bool gray = false;

    // Each line draws its own model from the position reached: the turn length there
    // is that of the continuous spiral through the anchor.
    void start_line(TurnWalk& walk)
    {
        if (walk.line > 0)
            t += sweep.tr0_step;
        const TrackModel model{t, growth_through(t, sweep.anchor_pos, sweep.anchor_len)};
        walk.growth = model.dtr;
        walk.a = walk.line == 0 ? t : spiral_length_at(model, walk.cursor.pos);
        gray = t <= ref_tr0 && ref_tr0 <= t + sweep.tr0_step;
        print_line_start(walk.line, walk.cursor.pos, gray);
    }

    void draw_turn(TurnWalk& walk, std::FILE* file) const
    {
        draw_pattern_turn(walk.a, walk.turn_in_line, walk.line, gray, walk.cursor, file);
    }
};
}  // namespace

bool draw_sweep_image(const SweepLines& sweep, double ref_tr0, double size_limit, std::FILE* file)
{
    SweepDrawing lines{sweep, ref_tr0};
    TurnWalk walk;
    return walk_turns(lines, walk, size_limit, file);
}

void write_sweep_image(const SweepLines& sweep, double ref_tr0, double size_limit, const char* path)
{
    write_image_file(path, [&](std::FILE* file) { return draw_sweep_image(sweep, ref_tr0, size_limit, file); });
}
