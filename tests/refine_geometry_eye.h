// A simulated disc and eye for the refinement tests, computed here from the spiral
// itself rather than through the tool's functions: where each line's first marker
// lands on a disc, how much its wedge twists, what a person with a protractor reads,
// and how far a picture drawn with a model lands from where it was meant to.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace sim {

struct Model {
    double tr0;
    double dtr;
};

// Turn number at stream byte p on the continuous spiral through the turn starts of m:
// the root of tr0 * N + dtr * N * (N - 1) / 2 = p.
inline double turns_at(Model m, double p)
{
    const double s = m.tr0 - m.dtr / 2;
    return (-s + std::sqrt(s * s + 2 * m.dtr * p)) / m.dtr;
}

inline double start_of_turn(Model m, double n) { return n * m.tr0 + m.dtr * n * (n - 1) / 2; }

// Degrees, not wrapped: where the marker opening turn n of an image drawn with
// `drawn` lands on `disc`, less n whole turns.
inline double phase(Model disc, Model drawn, double n) { return 360 * (turns_at(disc, start_of_turn(drawn, n)) - n); }

constexpr int lines = 32;
inline double first_marker(int k) { return 625.0 * k + 33; }
inline double last_marker(int k) { return 625.0 * k + 592; }

// Lines an image of size bytes holds: those whose first marked turn is drawn whole.
inline int lines_held(Model drawn, double size)
{
    int k = 0;
    while (k < lines && start_of_turn(drawn, first_marker(k) + 1) < size)
        ++k;
    return k;
}

inline double wrap360(double a)
{
    const double w = std::fmod(a, 360);
    return w < 0 ? w + 360 : w;
}

// Worst misplacement, degrees, of a picture of size bytes drawn with `model` on
// `disc`, against the picture's centre.
inline double picture_error(Model model, Model disc, double size)
{
    const double last = turns_at(model, size);
    double worst = 0;
    for (int i = 1; i <= 500; ++i) {
        const double n = last * i / 500;
        worst = std::fmax(worst, std::fabs(phase(disc, model, n)));
    }
    return worst;
}

// What a person reads on one line: the true angle plus a normal error rounded to 5
// degrees plus the protractor's zero; sometimes a random angle instead.
struct Eye {
    double sigma = 10;          // degrees
    double rounding = 5;        // degrees a reading is rounded to; 0: not rounded
    double misread_share = 0;   // readings replaced by a random angle
    bool mirrored = false;      // reads against the track's direction
    std::mt19937_64 random{1};

    // A careful second look: never a misread.
    double reread(double true_angle, double zero)
    {
        const double share = misread_share;
        misread_share = 0;
        const double a = read(true_angle, zero);
        misread_share = share;
        return a;
    }

    double read(double true_angle, double zero)
    {
        std::normal_distribution<double> error(0, sigma);
        std::uniform_real_distribution<double> unit(0, 1);
        if (misread_share > 0 && unit(random) < misread_share)
            return std::floor(unit(random) * 72) * 5;
        const double seen = (mirrored ? -true_angle : true_angle) + zero + (sigma > 0 ? error(random) : 0);
        return wrap360(rounding > 0 ? std::round(seen / rounding) * rounding : seen);
    }
    double fresh_zero()
    {
        std::uniform_real_distribution<double> unit(0, 360);
        return unit(random);
    }
};

// Ranges as a cycle of the dialogue leaves them: a first-turn range `width` bytes
// wide holding the disc's tr0, both growth ends through a point of the disc's track
// (the anchor) whose turn length is known to anchor_error bytes.
struct Ranges {
    double tr0_f, tr0_t, dtr_t, dtr_f;
};

inline Ranges ranges_after_a_cycle(Model disc, std::mt19937_64& random, double width = 100)
{
    std::uniform_real_distribution<double> unit(0, 1);
    const double tr0_f = disc.tr0 - width * (0.2 + 0.6 * unit(random));
    const double tr0_t = tr0_f + width;
    const double anchor_turn = 6000 + 8000 * unit(random);
    const double anchor_pos = start_of_turn(disc, anchor_turn);
    const double anchor_len = disc.tr0 + disc.dtr * anchor_turn + (unit(random) - 0.5) * 2;
    const auto growth = [&](double t) { return (anchor_len * anchor_len - t * t) / (2 * anchor_pos); };
    return {tr0_f, tr0_t, growth(tr0_f), growth(tr0_t)};
}

// Disc i of `of`: first-turn lengths across 22,900..23,400, growths across
// 1.385..1.392 in another order, so that short and long first turns meet both
// kinds of growth.
inline Model disc_number(int i, int of)
{
    const double f = of > 1 ? static_cast<double>(i) / (of - 1) : 0.5;
    const double g = std::fmod(f * 3.0 + 0.37, 1.0);
    return {22900 + 500 * f, 1.385 + 0.007 * g};
}

// The q-quantile of v, interpolated between neighbours.
inline double quantile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    const double at = q * (static_cast<double>(v.size()) - 1);
    const auto i = static_cast<std::size_t>(at);
    if (i + 1 >= v.size())
        return v.back();
    return v[i] + (v[i + 1] - v[i]) * (at - static_cast<double>(i));
}

}  // namespace sim
