// The picture's place on the disc and its pixels' places in it.
#include "picture/placement.h"

#include <algorithm>

#include "image/turn.h"

DrawnTrack drawn_track(TrackModel model, double size_limit)
{
    // The writer loop's own sums, so that both end at the same turn.
    DrawnTrack track;
    double a = model.tr0;
    while (turn_fits(a, model.dtr, track.end_position, size_limit)) {
        track.end_position += a;
        track.last_turn = a;
        track.turns += 1;
        a += model.dtr;
    }
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
