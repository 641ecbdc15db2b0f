// Where the picture lies on the disc: its centre on the disc's centre, its shorter
// side across the diameter of the outermost turn drawn, upright as the recorded side
// is seen (or flipped left to right), and which of its pixels lies under a point.
#pragma once

#include <cstdint>

#include "common/disc_geometry.h"
#include "picture_file/picture_read.h"

// The turns an image draws under a size limit, found as the writer loop finds them.
struct DrawnTrack {
    std::int64_t turns = 0;   // turns that fit
    double end_position = 0;  // real position where the last of them ends, bytes
    double last_turn = 0;     // length of the last (longest) of them, bytes
};

DrawnTrack drawn_track(TrackModel model, double size_limit);

struct PicturePlacement {
    double centre_column = 0;  // picture column (pixels from the left edge) at the disc's centre
    double centre_row = 0;     // picture row (pixels from the top edge) there
    double pixels_per_mm = 0;  // picture pixels per millimetre of the disc
    double x_sign = 1;         // -1 flips the picture left to right
    double width = 0;          // pixels
    double height = 0;         // pixels
};

// The placement of a width x height picture on a disc whose outermost drawn turn
// ends at outer_radius_mm.
PicturePlacement place_picture(std::uint32_t width, std::uint32_t height, double outer_radius_mm, bool mirror);

// A point in picture coordinates: pixel (c, r) covers [c, c + 1) x [r, r + 1).
struct PicturePoint {
    double column;
    double row;
};

inline PicturePoint picture_point(const PicturePlacement& placement, DiscPoint point)
{
    return {placement.centre_column + placement.x_sign * point.x_mm * placement.pixels_per_mm,
            placement.centre_row + point.y_mm * placement.pixels_per_mm};
}

constexpr int outside_picture = -1;

// The grey (0..255) of the pixel under point, or outside_picture. Written so that
// a point that is not a number falls outside.
inline int grey_under(const GreyPicture& picture, PicturePoint point)
{
    const bool inside = point.column >= 0 && point.column < picture.width && point.row >= 0 &&
                        point.row < picture.height;
    if (!inside)
        return outside_picture;
    const auto column = static_cast<std::uint64_t>(point.column);
    const auto row = static_cast<std::uint64_t>(point.row);
    return picture.pixels[row * picture.width + column];
}
