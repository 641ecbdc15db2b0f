// The picture's place on the disc and its pixels' places in it.
#include "picture/placement.h"

#include <algorithm>

#include "image/turn.h"

DrawnTrack drawn_track(TrackModel model, double size_limit)
{
    // The writer's own walk, so that both end at the same turn.
    DrawnTrack track;
    TurnWalk walk = walk_of(model);
    for (; turn_fits(walk, size_limit); skip_turn(walk))
        track.last_turn = walk.a;
    track.turns = walk.turn;
    track.end_position = walk.cursor.pos;
    return track;
}

PicturePlacement place_picture(std::uint32_t width, std::uint32_t height, double outer_radius_mm, bool mirror)
{
    PicturePlacement placement;
    placement.width = width;
    placement.height = height;
    placement.centre_column = placement.width / 2;
    placement.centre_row = placement.height / 2;
    placement.pixels_per_mm = std::min(placement.width, placement.height) / (2 * outer_radius_mm);
    placement.x_sign = mirror ? -1 : 1;
    return placement;
}
