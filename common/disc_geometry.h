// Where an image byte lands on the disc, for the tools that draw or show pictures:
// the byte's turn number gives its angle, its turn length its radius (constant
// track pitch and linear speed), the first turn at the program area's inner radius.
// Angles run clockwise from the top as the recorded side is seen, which is the way
// successive bytes run along the track.
#pragma once

#include <cmath>
#include <cstdint>

#include "common/track_model.h"

constexpr double disc_radius_mm = 60;          // a 120 mm disc
constexpr double program_inner_radius_mm = 25;  // where turn 0 lies

// The three byte values the pictures are drawn with, and what each looks like.
constexpr std::uint8_t light_byte = 0xAA;
constexpr std::uint8_t mid_byte = 0x00;
constexpr std::uint8_t dark_byte = 0x20;

struct DiscPlace {
    double turns;      // continuous turn number: whole turns and the fraction of a turn
    double radius_mm;  // distance from the disc's centre
};

// The track's distance from the disc's centre at continuous turn number `turns`:
// proportional to the turn length there, turn 0 at the program area's inner radius.
inline double track_radius_mm(TrackModel model, double turns)
{
    return program_inner_radius_mm * turn_length(model, turns) / model.tr0;
}

// The place of image byte `position` on a disc whose track follows model.
inline DiscPlace place_on_disc(TrackModel model, double position)
{
    const double turns = turn_number_at(model, position);
    return {turns, track_radius_mm(model, turns)};
}

// The fraction of a turn, 0 <= f < 1, clockwise from the top.
inline double turn_fraction(double turns) { return turns - std::floor(turns); }

// Millimetres from the disc's centre as the recorded side is seen: x to the right,
// y downwards (picture rows).
struct DiscPoint {
    double x_mm;
    double y_mm;
};

inline DiscPoint disc_point(DiscPlace place)
{
    constexpr double two_pi = 6.283185307179586;
    const double angle = two_pi * turn_fraction(place.turns);
    return {place.radius_mm * std::sin(angle), -place.radius_mm * std::cos(angle)};
}

// The difference of two angles in degrees, -180 <= d < 180: how far `to` stands
// clockwise of `from`, the shorter way round.
inline double angle_step(double from, double to)
{
    double step = std::fmod(to - from, 360.0);
    if (step >= 180)
        step -= 360;
    if (step < -180)
        step += 360;
    return step;
}
