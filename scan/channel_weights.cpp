// A colour capture's channels, weighed for the pattern. Across every line boundary
// that the map places, on rays all round the disc, each channel's step (the mean just
// outside the boundary less the mean just inside, signed by the burned fills) is
// measured. Two things hide a step: the samples' noise, taken as their scatter within
// those short windows (channel by channel and between channels: a JPEG's colour noise
// is shared), and light that varies round a ring other than evenly across the bed (a
// band of reflected light), taken as the window levels' scatter round each ring's
// mean and first harmonic. With the step s and the two scatters' sum N, the matched
// weights w = N^-1 s give the sum of the channels with the most step for what hides
// it: a band that the channels see unlike the pattern is mostly cancelled. The grey
// becomes that sum, about the channels' means. (The markers vary the levels too, but
// in the pattern's own colour, which leaves w's direction as it is.)
#include <cmath>

#include "scan/reader_parts.h"

namespace {

constexpr int ray_count = 720;
constexpr int min_steps = 100;  // fewer and the scatter is not known well enough

struct ChannelSteps {
    int count = 0;               // steps measured
    double sum[3] = {};          // of the steps, per channel, samples
    double level[3] = {};        // of the window means, per channel
    double noise[3][3] = {};     // the samples' products round their window's mean, summed
    int noise_count = 0;         // samples less windows: the noise's degrees of freedom
    double ring[3][3] = {};      // the levels' products round the ring's own smooth light, summed
    int ring_count = 0;          // rays
};

// What light varies round a ring unlike the pattern: each channel's level on every
// ray less its mean and first harmonic (the bed's even gradient), their products
// added to the ring scatter. A band of light fixed to the capture stays in it.
void add_ring_scatter(const double (*level)[3], const bool* valid, ChannelSteps& steps)
{
    double mean[3] = {};
    double cosine[3] = {};
    double sine[3] = {};
    int count = 0;
    for (int k = 0; k < ray_count; ++k) {
        if (!valid[k])
            continue;
        const double t = 2 * 3.14159265358979323846 * k / ray_count;
        for (int c = 0; c < 3; ++c) {
            mean[c] += level[k][c];
            cosine[c] += level[k][c] * std::cos(t);
            sine[c] += level[k][c] * std::sin(t);
        }
        ++count;
    }
    if (count < ray_count / 2)
        return;
    for (int c = 0; c < 3; ++c) {
        mean[c] /= count;
        cosine[c] *= 2.0 / count;
        sine[c] *= 2.0 / count;
    }
    for (int k = 0; k < ray_count; ++k) {
        if (!valid[k])
            continue;
        const double t = 2 * 3.14159265358979323846 * k / ray_count;
        double rest[3] = {};
        for (int c = 0; c < 3; ++c)
            rest[c] = level[k][c] - mean[c] - cosine[c] * std::cos(t) - sine[c] * std::sin(t);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                steps.ring[i][j] += rest[i] * rest[j];
        ++steps.ring_count;
    }
}

// The mean of each channel along the ray at `angle` from rho `from` to `to` (map
// units), a sample a unit, and its samples' scatter added to the noise; false where
// the ray leaves the capture.
bool window_mean(const SamplePicture& samples, const DiscMap& map, double angle, double from, double to,
                 double mean[3], ChannelSteps& steps)
{
    double sum[3] = {};
    double products[3][3] = {};
    int count = 0;
    for (double rho = from; rho <= to; rho += 1, ++count) {
        const cv::Point2d at = capture_point(map, rho, angle);
        // Compared before the cast: a point beyond a perspective's horizon is not finite.
        if (!(at.x >= 0 && at.y >= 0 && at.x < samples.width && at.y < samples.height))
            return false;
        const auto x = static_cast<long>(at.x);
        const auto y = static_cast<long>(at.y);
        const std::uint16_t* pixel = samples.samples + 3 * (static_cast<std::size_t>(y) * samples.width + x);
        for (int i = 0; i < 3; ++i) {
            sum[i] += pixel[i];
            for (int j = 0; j < 3; ++j)
                products[i][j] += static_cast<double>(pixel[i]) * pixel[j];
        }
    }
    if (count < 2)
        return false;
    for (int c = 0; c < 3; ++c)
        mean[c] = sum[c] / count;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            steps.noise[i][j] += products[i][j] - count * mean[i] * mean[j];
    steps.noise_count += count - 1;
    return true;
}

// The steps across the boundary at rho `at`, whose neighbouring bands are at least
// `width` wide (map units), in the direction `sign` (+1: lighter outwards), on every ray.
void add_boundary(const SamplePicture& samples, const DiscMap& map, double at, double width, int sign,
                  ChannelSteps& steps)
{
    // Clear of the boundary's blur, and of the next boundary's.
    const double near = std::max(0.25 * width, 2.5 * map.blur);
    const double far = 0.75 * width;
    if (far - near < 2)
        return;
    double level[ray_count][3] = {};
    bool valid[ray_count] = {};
    for (int k = 0; k < ray_count; ++k) {
        const double angle = 360.0 * k / ray_count;
        double inside[3] = {};
        double outside[3] = {};
        if (!window_mean(samples, map, angle, at - far, at - near, inside, steps) ||
            !window_mean(samples, map, angle, at + near, at + far, outside, steps))
            continue;
        for (int c = 0; c < 3; ++c) {
            steps.sum[c] += sign * (outside[c] - inside[c]);
            steps.level[c] += inside[c] + outside[c];
            level[k][c] = (inside[c] + outside[c]) / 2;
        }
        valid[k] = true;
        ++steps.count;
    }
    add_ring_scatter(level, valid, steps);
}

ChannelSteps measure_steps(const SamplePicture& samples, const BurnedImage& image, const DiscMap& map)
{
    ChannelSteps steps;
    for (int k = 1; k < image.line_count; ++k) {
        const int shade_step = image.lines[k].fill_shade - image.lines[k - 1].fill_shade;
        if (shade_step == 0)
            continue;
        const double at = map_radius(map, image.lines[k].line_start);
        const double width = std::min(at - map_radius(map, image.lines[k - 1].line_start),
                                      map_radius(map, image.lines[k].line_end) - at);
        add_boundary(samples, map, at, width, shade_step > 0 ? 1 : -1, steps);
    }
    return steps;
}

}  // namespace

cv::Vec3d weigh_channels(const SamplePicture& samples, const BurnedImage& image, const DiscMap& map, cv::Mat& grey)
{
    if (samples.channels != 3)
        return {};
    const ChannelSteps steps = measure_steps(samples, image, map);
    if (steps.count < min_steps || steps.ring_count < min_steps)
        return {};
    cv::Matx33d noise;
    cv::Vec3d step;
    for (int i = 0; i < 3; ++i)
        step[i] = steps.sum[i] / steps.count;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            noise(i, j) = steps.noise[i][j] / steps.noise_count + steps.ring[i][j] / steps.ring_count;
    cv::Vec3d weight;
    if (!cv::solve(noise, step, weight, cv::DECOMP_CHOLESKY) || weight.dot(step) <= 0)
        return {};
    // Weights whose sizes add to one keep the grey within the samples' range.
    weight /= std::abs(weight[0]) + std::abs(weight[1]) + std::abs(weight[2]);
    double base = 0;  // the grey's mean stays the channels' mean
    for (int c = 0; c < 3; ++c) {
        const double level = steps.level[c] / (2.0 * steps.count);
        base += level / 3 - weight[c] * level;
    }
    const auto w0 = static_cast<float>(weight[0]);
    const auto w1 = static_cast<float>(weight[1]);
    const auto w2 = static_cast<float>(weight[2]);
    const auto offset = static_cast<float>(base + 0.5);
    for (int y = 0; y < grey.rows; ++y) {
        const std::uint16_t* in = samples.samples + std::size_t{3} * samples.width * static_cast<std::size_t>(y);
        auto* out = grey.ptr<std::uint16_t>(y);
        for (int x = 0; x < grey.cols; ++x, in += 3) {
            const float value =
                offset + w0 * static_cast<float>(in[0]) + w1 * static_cast<float>(in[1]) + w2 * static_cast<float>(in[2]);
            out[x] = static_cast<std::uint16_t>(std::fmin(std::fmax(value, 0.0F), 65535.0F));
        }
    }
    return weight;
}
