// The fast form of the placement rule. Between two exactly placed ends of a stretch
// of samples the turn number is taken as linear in the position (the spiral's turn
// number bends by dtr / L^3 per byte squared, L the turn length) and the point is
// turned from sample to sample by one fixed rotation. The stretch is kept short
// enough that this puts no point more than 1e-4 pixels from where the rule puts it,
// and any point within twice that bound and 1e-5 pixels of a pixel edge is taken
// from the rule itself.
#include "picture/grey_sampler.h"

#include <immintrin.h>

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

void sample_stretch_plain(const GreySampler& sampler, const Stretch& stretch, std::int16_t* greys)
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

#define WIDE_TARGET __attribute__((target("avx512f,avx512vl,avx512bw,avx512dq")))

constexpr int wide_lanes = 8;

// Lanes where a coordinate lies within margin of a whole number, as near_an_edge.
WIDE_TARGET __mmask8 near_edges(__m512d coordinate)
{
    const __mmask8 finite = _mm512_cmp_pd_mask(_mm512_abs_pd(coordinate), _mm512_set1_pd(0x1p62), _CMP_LT_OQ);
    const __m512d whole = _mm512_roundscale_pd(coordinate, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m512d fraction = _mm512_abs_pd(_mm512_sub_pd(coordinate, whole));
    const __mmask8 near = _mm512_cmp_pd_mask(fraction, _mm512_set1_pd(margin), _CMP_LT_OQ) |
                          _mm512_cmp_pd_mask(fraction, _mm512_set1_pd(1 - margin), _CMP_GT_OQ);
    return finite & near;
}

// Eight samples at a time: each lane's point is the block's first point turned by
// the lane's own angle, and the block's first point is turned by eight samples'
// angle from block to block. The pixels come from one gather of four bytes each,
// read no further than the picture's last pixel; samples near an edge ask the rule.
WIDE_TARGET void sample_stretch_wide(const GreySampler& sampler, const Stretch& stretch, std::int16_t* greys)
{
    const GreyPicture& picture = *sampler.picture;
    const PicturePlacement& placement = sampler.placement;
    alignas(64) double lane_cosine[wide_lanes];
    alignas(64) double lane_sine[wide_lanes];
    double turned_cosine = 1;
    double turned_sine = 0;
    for (int j = 0; j < wide_lanes; ++j) {
        lane_cosine[j] = turned_cosine;
        lane_sine[j] = turned_sine;
        const double next_sine = turned_sine * stretch.turn_cosine + turned_cosine * stretch.turn_sine;
        turned_cosine = turned_cosine * stretch.turn_cosine - turned_sine * stretch.turn_sine;
        turned_sine = next_sine;
    }
    const __m512d cosines_of_lanes = _mm512_load_pd(lane_cosine);
    const __m512d sines_of_lanes = _mm512_load_pd(lane_sine);
    const __m512d lane = _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7);
    const __m512d column_per_mm = _mm512_set1_pd(placement.x_sign * placement.pixels_per_mm);
    const __m512d row_per_mm = _mm512_set1_pd(placement.pixels_per_mm);
    const __m512d width = _mm512_set1_pd(placement.width);
    const __m512d height = _mm512_set1_pd(placement.height);
    const __m512d zero = _mm512_setzero_pd();
    const auto pixels = static_cast<std::int64_t>(picture.width) * picture.height;
    const __m512i last_word = _mm512_set1_epi64(pixels - 4);

    double sine = stretch.sine0;
    double cosine = stretch.cosine0;
    std::int64_t m = 0;
    for (; m + wide_lanes <= stretch.n + 1; m += wide_lanes) {
        const __m512d first_sine = _mm512_set1_pd(sine);
        const __m512d first_cosine = _mm512_set1_pd(cosine);
        const __m512d sines = _mm512_fmadd_pd(first_sine, cosines_of_lanes, _mm512_mul_pd(first_cosine, sines_of_lanes));
        const __m512d cosines =
            _mm512_fmsub_pd(first_cosine, cosines_of_lanes, _mm512_mul_pd(first_sine, sines_of_lanes));
        const __m512d radius = _mm512_fmadd_pd(_mm512_set1_pd(stretch.radius_step),
                                               _mm512_add_pd(_mm512_set1_pd(static_cast<double>(m)), lane),
                                               _mm512_set1_pd(stretch.radius0));
        const __m512d column = _mm512_fmadd_pd(column_per_mm, _mm512_mul_pd(radius, sines),
                                               _mm512_set1_pd(placement.centre_column));
        const __m512d row =
            _mm512_fnmadd_pd(row_per_mm, _mm512_mul_pd(radius, cosines), _mm512_set1_pd(placement.centre_row));
        const __mmask8 inside = _mm512_cmp_pd_mask(column, zero, _CMP_GE_OQ) &
                                _mm512_cmp_pd_mask(column, width, _CMP_LT_OQ) &
                                _mm512_cmp_pd_mask(row, zero, _CMP_GE_OQ) & _mm512_cmp_pd_mask(row, height, _CMP_LT_OQ);
        const __mmask8 ask = near_edges(column) | near_edges(row);
        const __mmask8 read = inside & static_cast<__mmask8>(~ask);
        // The pixel's index, and the four bytes from min(index, pixels - 4) that hold it.
        const __m512i index = _mm512_add_epi64(
            _mm512_mullo_epi64(_mm512_cvttpd_epi64(row), _mm512_set1_epi64(picture.width)), _mm512_cvttpd_epi64(column));
        const __m512i word = _mm512_min_epi64(index, last_word);
        const __m256i words = _mm512_mask_i64gather_epi32(_mm256_setzero_si256(), read, word, picture.pixels, 1);
        const __m256i shift = _mm512_cvtepi64_epi32(_mm512_slli_epi64(_mm512_sub_epi64(index, word), 3));
        const __m256i grey = _mm256_and_si256(_mm256_srlv_epi32(words, shift), _mm256_set1_epi32(0xFF));
        const __m256i drawn = _mm256_mask_mov_epi32(_mm256_set1_epi32(outside_picture), read, grey);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(greys + m), _mm256_cvtepi32_epi16(drawn));
        for (unsigned rest = ask; rest != 0; rest &= rest - 1) {
            const std::int64_t k = m + __builtin_ctz(rest);
            greys[k] = static_cast<std::int16_t>(exact_grey(sampler, static_cast<double>(stretch.q0 + k * stretch.step)));
        }
        const double next_sine = sine * turned_cosine + cosine * turned_sine;
        cosine = cosine * turned_cosine - sine * turned_sine;
        sine = next_sine;
    }
    // The last few one at a time, turned from the block's first point as the lanes are.
    for (int j = 0; m <= stretch.n; ++m, ++j) {
        const double radius = stretch.radius0 + stretch.radius_step * static_cast<double>(m);
        const double lane_sine_m = sine * lane_cosine[j] + cosine * lane_sine[j];
        const double lane_cosine_m = cosine * lane_cosine[j] - sine * lane_sine[j];
        const double column = placement.centre_column + placement.x_sign * placement.pixels_per_mm * (radius * lane_sine_m);
        const double row = placement.centre_row - placement.pixels_per_mm * (radius * lane_cosine_m);
        greys[m] = static_cast<std::int16_t>(fast_grey(sampler, stretch, m, column, row));
    }
}

#undef WIDE_TARGET

template <typename SampleStretch>
void sample_greys_with(SampleStretch sample_stretch, const GreySampler& sampler, std::int64_t first,
                       std::int64_t step, std::int64_t count, std::int16_t* greys)
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

}  // namespace

int exact_grey(const GreySampler& sampler, double position)
{
    const DiscPoint point = disc_point(place_on_disc(sampler.model, position));
    return grey_under(*sampler.picture, picture_point(sampler.placement, point));
}

void sample_greys_plain(const GreySampler& sampler, std::int64_t first, std::int64_t step, std::int64_t count,
                        std::int16_t* greys)
{
    sample_greys_with(sample_stretch_plain, sampler, first, step, count, greys);
}

void sample_greys_wide(const GreySampler& sampler, std::int64_t first, std::int64_t step, std::int64_t count,
                       std::int16_t* greys)
{
    // The gather reads four bytes: a picture of fewer pixels is sampled plainly.
    if (std::int64_t{sampler.picture->width} * sampler.picture->height < 4) {
        sample_greys_plain(sampler, first, step, count, greys);
        return;
    }
    sample_greys_with(sample_stretch_wide, sampler, first, step, count, greys);
}

bool wide_sampling_supported()
{
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq");
}

void sample_greys(const GreySampler& sampler, std::int64_t first, std::int64_t step, std::int64_t count,
                  std::int16_t* greys)
{
    static const bool wide = wide_sampling_supported();
    if (wide)
        sample_greys_wide(sampler, first, step, count, greys);
    else
        sample_greys_plain(sampler, first, step, count, greys);
}
