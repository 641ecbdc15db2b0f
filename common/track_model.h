// The track geometry: a spiral whose turn n (from 0) holds tr0 + n * dtr audio bytes.
// Every tool draws and reads images in this one convention; the relations between
// turn numbers, byte positions and turn lengths live here and nowhere else.
#pragma once

#include <cmath>

struct TrackModel {
    double tr0;  // first-turn length, bytes
    double dtr;  // growth of the turn length per turn, bytes
};

// Length of turn n: tr0 + n * dtr.
inline double turn_length(TrackModel model, double n) { return model.tr0 + model.dtr * n; }

// Where turn n starts in the image stream: the sum of the lengths of turns 0..n-1,
// n * tr0 + dtr * n * (n - 1) / 2.
inline double turn_start(TrackModel model, double n) { return n * model.tr0 + model.dtr * n * (n - 1) / 2; }

// The continuous spiral whose length grows by dtr per turn from tr0 at position 0:
// the position that turn number n reaches, n * (tr0 + dtr * n / 2).
inline double spiral_position(TrackModel model, double n) { return n * (model.tr0 + model.dtr * n / 2); }

// The continuous spiral's turn length at real byte position p: sqrt(tr0^2 + 2 * dtr * p).
inline double spiral_length_at(TrackModel model, double position)
{
    return std::sqrt(model.tr0 * model.tr0 + 2 * model.dtr * position);
}

// The inverse of turn_start, continuous between turn starts: the turn number at
// image byte p on the spiral through every turn start, whose length grows by dtr per
// turn from s = tr0 - dtr / 2 at p = 0. Written as 2p / (sqrt(s^2 + 2 * dtr * p) + s)
// so that a growth of zero or nearly zero loses no precision.
inline double turn_number_at(TrackModel model, double position)
{
    const double s = model.tr0 - model.dtr / 2;
    return 2 * position / (std::sqrt(s * s + 2 * model.dtr * position) + s);
}

// The growth per turn that carries a first turn of first_length bytes through the
// point of the spiral where the turn length is anchor_len at anchor_pos.
inline double growth_through(double first_length, double anchor_pos, double anchor_len)
{
    return (anchor_len * anchor_len - first_length * first_length) / (2 * anchor_pos);
}

// The growth per turn that takes a first turn of first_length bytes to turn_len
// bytes at turn n.
inline double growth_reaching(double first_length, double n, double turn_len) { return (turn_len - first_length) / n; }

// The turn number at which two models have the same turn length; infinite or not a
// number when they never do (equal growths).
inline double crossing_turn(TrackModel model, TrackModel other)
{
    return (model.tr0 - other.tr0) / (other.dtr - model.dtr);
}
