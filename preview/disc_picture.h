// The picture of the recorded side: each pixel byte at its place on the simulated
// disc (common/disc_geometry.h), each picture pixel the mean shade of all the bytes
// that fall in it. The track is followed chord by chord, a few hundred chords a
// turn, and each chord cell by cell, so the cost goes with the cells the track
// crosses and the runs of equal bytes, not with the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/track_model.h"

// The bytes that fell in one picture pixel. A pixel that gathers 2^24 bytes has
// both numbers halved, which keeps its mean: only small pictures of large images
// come near that.
struct PictureCell {
    std::uint32_t shade_sum = 0;  // sum of the shades of its bytes
    std::uint32_t bytes = 0;      // how many
};

// The cells are kept with a border of one cell all round, so that the walk along
// the track needs no bounds checks where the disc's edge meets the picture's.
struct DiscPicture {
    int side = 0;                    // pixels per side
    int stride = 0;                  // cells per row: side + 2
    std::vector<PictureCell> cells;  // row by row, border included
};

// The cell of picture pixel (column, row), -1 <= column, row <= side.
inline std::size_t cell_index(const DiscPicture& picture, int column, int row)
{
    return static_cast<std::size_t>(row + 1) * static_cast<std::size_t>(picture.stride) +
           static_cast<std::size_t>(column + 1);
}

// A straight piece of the track between its points at k/M and (k+1)/M of a turn.
// Byte j lies at (x, y) + (j - start) * (vx, vy).
struct Chord {
    double start = 0;           // real byte position of its first point
    double x = 0;               // picture coordinates of that point, pixels
    double y = 0;
    double vx = 0;              // pixels per byte
    double vy = 0;
    double bytes_per_x = 0;     // 1 / vx; HUGE_VAL when vx is 0
    double bytes_per_y = 0;
    std::int64_t end_byte = 0;  // the first whole byte past it
};

// A point of the track where a chord starts or ends.
struct TrackPoint {
    double position = 0;  // real byte position
    double x = 0;         // picture coordinates, pixels
    double y = 0;
    double radius = 0;    // pixels from the disc's centre
};

// Where the placement stands on the track.
struct TrackPlacement {
    TrackModel model{};
    double pixels_per_mm = 0;
    double centre = 0;              // picture coordinate of the disc's centre, pixels
    int chords_per_turn = 0;
    std::vector<double> chord_sin;  // sine and cosine at k / chords_per_turn of a turn,
    std::vector<double> chord_cos;  // k = 0..chords_per_turn
    std::int64_t turn = 0;          // turn of the current chord
    int chord = -1;                 // its number in the turn; -1 before the first
    Chord current;
    TrackPoint current_end;         // where the current chord ends
    bool off_disc = false;          // the track has left the disc: no later byte is drawn
    // The run of equal bytes at the current byte, within the block being placed.
    std::int64_t run_stop = 0;      // pixel index of the first byte past it
    std::uint32_t run_shade = 0;
};

// Chords per turn for a picture of `side` pixels: a chord strays from the track by
// under 0.05 pixel at the disc's edge.
int chords_for_side(int side);

// Sizes the picture (all pixels empty) and puts the placement at byte 0.
void start_picture(DiscPicture& picture, TrackPlacement& placement, TrackModel model, int side);

// Places count pixel bytes that start at pixel index first, right after the bytes
// placed before.
void place_pixels(DiscPicture& picture, TrackPlacement& placement, const std::uint8_t* pixels, std::int64_t first,
                  int count);

// Adds the bytes of `from` (of the same side) to `into`, pixel by pixel.
void add_picture(DiscPicture& into, const DiscPicture& from);

// The picture as 8-bit grey rows (side * side bytes): each pixel the rounded mean
// shade of its bytes, background_shade where no byte fell.
void picture_rows(const DiscPicture& picture, std::uint8_t* rows);
