// The fast form of the placement rule. Between two exactly placed ends of a stretch
// of samples the turn number is taken as linear in the position (the spiral's turn
// number bends by dtr / L^3 per byte squared, L the turn length) and the point is
// turned from sample to sample by one fixed rotation. The stretch is kept short
// enough that this puts no point more than 1e-4 pixels from where the rule puts it,
// and any point within twice that bound and 1e-5 pixels of a pixel edge is taken
// from the rule itself.
#include "picture/grey_sampler.h"

#include <cmath>

#include "common/disc_geometry.h"

namespace {

constexpr double two_pi = 6.283185307179586;
constexpr double target_error = 1e-4;  // pixels: what the linear turn number may be off
constexpr int max_stretch = 256;       // samples between exactly placed ends

// Whether a coordinate lies within margin of a whole number (a pixel edge). A
// coordinate too large to truncate is far outside the picture.
bool near_an_edge(double coordinate, double margin)
{
    if (!(std::fabs(coordinate) < 0x1p62))
        return false;
    const double fraction = std::fabs(coordinate - static_cast<double>(static_cast<std::int64_t>(coordinate)));
    return fraction < margin || fraction > 1 - margin;
}

// Samples in the next stretch from position q: the linear turn number's error over
// n steps of `step` bytes is at most (n step)^2 / 8 * dtr / L(q)^3 turns, which a
// point at radius r carries as 2 pi r pixels_per_mm times as many pixels; r is at
// most the outermost drawn radius, where the picture's shorter side ends (a hair
// further for the bytes that sample the last turn's end).
std::int64_t stretch_samples(const GreySampler& sampler, double q, double step)
{
    const TrackModel model = sampler.model;
    const double s = model.tr0 - model.dtr / 2;
    const double length = std::sqrt(s * s + 2 * model.dtr * q);
    const PicturePlacement& placement = sampler.placement;
    const double pixels_per_turn = 1.01 * two_pi / 2 * std::fmin(placement.width, placement.height);
    const double bytes = std::sqrt(8 * target_error * length * length * length / (model.dtr * pixels_per_turn));
    const double samples = bytes / step;
    return samples >= max_stretch ? max_stretch : samples >= 1 ? static_cast<std::int64_t>(samples) : 1;
}

// A stretch of samples as the fast form places them: sample m (0 <= m <= n) of
// position q0 + m * step lies at radius radius0 + radius_step * m, turned from the
// first by m times the angle between samples.
struct Stretch {
    std::int64_t q0;
    std::int64_t step;
    std::int64_t n;
    double radius0;      // mm
    double radius_step;  // mm
    double sine0;        // of the first sample's angle
    double cosine0;
    double turn_sine;    // of the angle between samples
    double turn_cosine;
};

// One stretch, with both ends placed by the rule's own turn numbers.
Stretch start_stretch(const GreySampler& sampler, std::int64_t q0, std::int64_t step, std::int64_t n)
{
    const TrackModel model = sampler.model;
    const double t0 = turn_number_at(model, static_cast<double>(q0));
    const double t1 = turn_number_at(model, static_cast<double>(q0 + n * step));
    const double turns_per_sample = (t1 - t0) / static_cast<double>(n == 0 ? 1 : n);
    const double angle0 = two_pi * turn_fraction(t0);
    return {q0,
            step,
            n,
            place_on_disc(model, static_cast<double>(q0)).radius_mm,
            program_inner_radius_mm * model.dtr / model.tr0 * turns_per_sample,
            std::sin(angle0),
            std::cos(angle0),
            std::sin(two_pi * turns_per_sample),
            std::cos(two_pi * turns_per_sample)};
}

constexpr double margin = 1e-5 + 2 * target_error;

// The grey of a sample whose point the fast form puts at (column, row).
int fast_grey(const GreySampler& sampler, const Stretch& stretch, std::int64_t m, double column, double row)
{
    const GreyPicture& picture = *sampler.picture;
    const PicturePlacement& placement = sampler.placement;
    if (column >= 0 && column < placement.width && row >= 0 && row < placement.height) {
        // Inside: the pixel and the distances to its edges from one truncation each.
        const auto c = static_cast<std::int64_t>(column);
        const auto r = static_cast<std::int64_t>(row);
        const double across = column - static_cast<double>(c);
        const double down = row - static_cast<double>(r);
        if (across < margin || across > 1 - margin || down < margin || down > 1 - margin)
            return exact_grey(sampler, static_cast<double>(stretch.q0 + m * stretch.step));
        return picture.pixels[r * static_cast<std::int64_t>(picture.width) + c];
    }
    if (near_an_edge(column, margin) || near_an_edge(row, margin))
        return exact_grey(sampler, static_cast<double>(stretch.q0 + m * stretch.step));
    return outside_picture;
}

void sample_stretch(const GreySampler& sampler, const Stretch& stretch, std::int16_t* greys)
{
    const PicturePlacement& placement = sampler.placement;
    const double column_per_mm = placement.x_sign * placement.pixels_per_mm;
    double sine = stretch.sine0;
    double cosine = stretch.cosine0;
    for (std::int64_t m = 0; m <= stretch.n; ++m) {
        const double radius = stretch.radius0 + stretch.radius_step * static_cast<double>(m);
        const double column = placement.centre_column + column_per_mm * (radius * sine);
        const double row = placement.centre_row - placement.pixels_per_mm * (radius * cosine);
        greys[m] = static_cast<std::int16_t>(fast_grey(sampler, stretch, m, column, row));
        const double next_sine = sine * stretch.turn_cosine + cosine * stretch.turn_sine;
        cosine = cosine * stretch.turn_cosine - sine * stretch.turn_sine;
        sine = next_sine;
    }
}

}  // namespace

int exact_grey(const GreySampler& sampler, double position)
{
    const DiscPoint point = disc_point(place_on_disc(sampler.model, position));
    return grey_under(*sampler.picture, picture_point(sampler.placement, point));
}

void sample_greys(const GreySampler& sampler, std::int64_t first, std::int64_t step, std::int64_t count,
                  std::int16_t* greys)
{
    std::int64_t m = 0;
    while (m < count) {
        const double q = static_cast<double>(first + m * step);
        std::int64_t n = stretch_samples(sampler, q, static_cast<double>(step));
        n = count - 1 - m < n ? count - 1 - m : n;
        sample_stretch(sampler, start_stretch(sampler, first + m * step, step, n), greys + m);
        m += n + 1;
    }
}
