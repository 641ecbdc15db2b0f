// Finding the disc on the capture: the textured track area first (where the picture
// varies from pixel to pixel, whatever the background), then the rings of the line
// boundaries themselves. Every boundary point lies on an ellipse of one centre and
// shape whose size squared grows linearly with the boundary's stream position, so one
// linear least-squares fit over all of them gives the centre, the capture's affine
// shape and the track's scale, never an assumed millimetre. A tilted photo's
// perspective is refined from there (perspective_fit.cpp), and a photo whose rings
// about one point miss is started again from its hub.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "scan/normal_equations.h"
#include "scan/reader_parts.h"

namespace {

constexpr int coarse_side = 600;       // the small copy on which the track's centre is found
constexpr int profile_rays = 256;      // rays of the first, averaged, radial profile
constexpr int fit_rays = 480;          // rays along which each boundary is located
constexpr double edge_window = 0.3;    // search half-width around a boundary, in band widths
constexpr double ring_rms_share = 0.2;  // the boundaries' scatter about their rings, in band widths, at most
constexpr double perspective_gain = 0.8;  // of the affine fit's ring rms that a perspective fit must beat
constexpr double most_perspective = 0.3;  // change of scale across the track's radius, at most
constexpr double some_perspective = 0.01; // a fitted change that no scanner's capture shows
constexpr double inner_share = 0.3;      // of the outer ring's radius: the hub, about the face's centre even on a photo

struct Boundary {
    double position = 0;  // stream position of the later line's first byte
    int sign = 0;         // shade step outwards: +1 lighter, -1 darker
    double band = 0;      // width of the neighbouring lines, stream bytes
};

int boundaries_of(const BurnedImage& image, Boundary* out)
{
    int count = 0;
    for (int k = 1; k < image.line_count; ++k) {
        const int step = image.lines[k].fill_shade - image.lines[k - 1].fill_shade;
        if (step == 0)
            continue;
        const double band = std::min(image.lines[k].line_end - image.lines[k].line_start,
                                     image.lines[k - 1].line_end - image.lines[k - 1].line_start);
        // The line starts at one angle; round the turn the boundary lies between its
        // first turn and the previous line's last, half a turn earlier on average.
        const BurnedLine& line = image.lines[k];
        const double turn = line.marked_turns > 1 ? (line.marker_start[line.marked_turns - 1] - line.marker_start[0]) /
                                                        (line.marked_turns - 1)
                                                  : 0;
        out[count++] = {line.line_start - turn / 2, step > 0 ? 1 : -1, band};
    }
    return count;
}

// Bilinear sample of the 16-bit capture; -1 off it.
double sample(const cv::Mat& grey, double x, double y)
{
    if (!(x >= 0 && y >= 0 && x <= grey.cols - 1.001 && y <= grey.rows - 1.001))  // a point that is not finite too
        return -1;
    const int x0 = static_cast<int>(x);
    const int y0 = static_cast<int>(y);
    const double fx = x - x0;
    const double fy = y - y0;
    const auto* row0 = grey.ptr<std::uint16_t>(y0);
    const auto* row1 = grey.ptr<std::uint16_t>(y0 + 1);
    return (1 - fy) * ((1 - fx) * row0[x0] + fx * row0[x0 + 1]) + fy * ((1 - fx) * row1[x0] + fx * row1[x0 + 1]);
}

// How sharply the rings stand out about a centre: the picture's mean over rings of
// one pixel about (cx, cy), and the sum of its squared steps from ring to ring.
// Rings about the track's own centre keep its edges; about any other point they
// smear them. `outer` is set to the farthest ring with a strong step.
double ring_sharpness(const cv::Mat& small, double cx, double cy, int stride, double reach, std::vector<double>& sum,
                      std::vector<int>& count, double* outer)
{
    const int all = static_cast<int>(std::hypot(small.cols, small.rows)) + 2;
    const int bins = reach > 0 ? std::min(all, static_cast<int>(reach) + 2) : all;
    sum.assign(bins, 0);
    count.assign(bins, 0);
    for (int y = 0; y < small.rows; y += stride) {
        const float* row = small.ptr<float>(y);
        for (int x = 0; x < small.cols; x += stride) {
            const double dx = x - cx;
            const double dy = y - cy;
            const int bin = static_cast<int>(std::sqrt(dx * dx + dy * dy));
            if (bin >= bins)
                continue;
            sum[bin] += row[x];
            count[bin] += 1;
        }
    }
    double sharpness = 0;
    double strongest = 0;
    const int least = 8;
    for (int k = 0; k + 1 < bins; ++k) {
        if (count[k] < least || count[k + 1] < least)
            continue;
        const double step = sum[k + 1] / count[k + 1] - sum[k] / count[k];
        sharpness += step * step * std::min(count[k], count[k + 1]);
        strongest = std::max(strongest, std::fabs(step));
    }
    if (outer != nullptr) {
        *outer = 0;
        for (int k = 0; k + 1 < bins; ++k)
            if (count[k] >= least && count[k + 1] >= least &&
                std::fabs(sum[k + 1] / count[k + 1] - sum[k] / count[k]) > 0.25 * strongest)
                *outer = k + 1;
    }
    return sharpness;
}

// Takes the best-fitting plane out of the picture: a gradient of light across the
// capture would otherwise make rings about points off the disc.
void remove_plane(cv::Mat& picture)
{
    NormalEquations<3> sums;
    for (int y = 0; y < picture.rows; y += 2) {
        const float* row = picture.ptr<float>(y);
        for (int x = 0; x < picture.cols; x += 2)
            sums.add({1, static_cast<double>(x), static_cast<double>(y)}, row[x]);
    }
    double plane[3];
    if (!sums.solve(plane))
        return;
    for (int y = 0; y < picture.rows; ++y) {
        float* row = picture.ptr<float>(y);
        for (int x = 0; x < picture.cols; ++x)
            row[x] -= static_cast<float>(plane[1] * x + plane[2] * y);
    }
}

struct SharpestPoint {
    double sharpness = 0;
    double x = 0;
    double y = 0;
};

// Keeps (x, y) when its rings are sharper than the best so far.
void try_centre(const cv::Mat& copy, double x, double y, int stride, double reach, std::vector<double>& sum,
                std::vector<int>& count, SharpestPoint& best)
{
    const double sharp = ring_sharpness(copy, x, y, stride, reach, sum, count, nullptr);
    if (sharp > best.sharpness)
        best = {sharp, x, y};
}

// The track's centre: the point about which the rings are sharpest. The sharpness
// falls off within a ring's width of the centre, so the search climbs a pyramid:
// every pixel of an eighth-size copy (where the whole track area is one ring), then
// about the best at each finer copy, down to a quarter pixel of the finest. A band
// of light, a gradient or noise makes no ring. Sets the map's centre (its shape
// stays round) and returns the outermost strong ring's radius in capture pixels, 0
// when no rings stand out. With `reach` (capture pixels; 0: all) only the rings
// within it count, about points within half of it of the map's centre.
double find_track_area(const cv::Mat& grey, double reach, DiscMap& map)
{
    constexpr int levels = 4;
    const double finest = std::min(1.0, static_cast<double>(coarse_side) / std::max(grey.cols, grey.rows));
    cv::Mat copies[levels];
    cv::resize(grey, copies[0], cv::Size(), finest, finest, cv::INTER_AREA);
    copies[0].convertTo(copies[0], CV_32F, 1.0 / 256);
    remove_plane(copies[0]);
    for (int k = 1; k < levels; ++k)
        cv::resize(copies[k - 1], copies[k], cv::Size(), 0.5, 0.5, cv::INTER_AREA);
    std::vector<double> sum;
    std::vector<int> count;
    const cv::Mat& top = copies[levels - 1];
    SharpestPoint point;
    // With a reach, the centre is sought within half of it of the map's.
    const double top_scale = finest / (1 << (levels - 1));
    const double near_x = (map.cx + 0.5) * top_scale - 0.5;
    const double near_y = (map.cy + 0.5) * top_scale - 0.5;
    for (int y = 0; y < top.rows; ++y)
        for (int x = 0; x < top.cols; ++x)
            if (reach <= 0 || std::hypot(x - near_x, y - near_y) <= 0.5 * reach * top_scale)
                try_centre(top, x, y, 1, reach * top_scale, sum, count, point);
    for (int k = levels - 2; k >= 0; --k) {
        point = {0, 2 * point.x + 0.5, 2 * point.y + 0.5};
        // Every other pixel of the finest copy is enough for its rings.
        const int stride = k == 0 ? 2 : 1;
        for (int halving = 0; halving < (k == 0 ? 3 : 1); ++halving) {
            const double step = 1.0 / (1 << halving);
            const double cx = point.x;
            const double cy = point.y;
            for (int j = -3; j <= 3; ++j)
                for (int i = -3; i <= 3; ++i)
                    try_centre(copies[k], cx + i * step, cy + j * step, stride, reach * finest / (1 << k), sum, count,
                               point);
        }
    }
    const double best = point.sharpness;
    const double bx = point.x;
    const double by = point.y;
    double outer = 0;
    ring_sharpness(copies[0], bx, by, 1, reach * finest, sum, count, &outer);
    if (!(best > 0) || outer < 8)
        return 0;
    map.cx = (bx + 0.5) / finest - 0.5;
    map.cy = (by + 0.5) / finest - 0.5;
    return outer / finest;
}

struct Edge {
    double rho;
    int sign;
    double strength;
};

// The averaged radial profile's edges: steps of either sign standing above a quarter
// of a typical line boundary's (`boundaries` is how many the image has).
std::vector<Edge> profile_edges(const cv::Mat& grey, const DiscMap& map, double outer, int boundaries)
{
    constexpr double step = 0.5;
    const int count = static_cast<int>(1.1 * outer / step);
    std::vector<double> sum(count, 0);
    std::vector<int> taken(count, 0);
    for (int r = 0; r < profile_rays; ++r) {
        const double angle = 360.0 * r / profile_rays;
        for (int k = 0; k < count; ++k) {
            const cv::Point2d at = capture_point(map, k * step, angle);
            const double v = sample(grey, at.x, at.y);
            if (v >= 0) {
                sum[k] += v;
                taken[k] += 1;
            }
        }
    }
    std::vector<double> profile(count, 0);
    for (int k = 0; k < count; ++k)
        profile[k] = taken[k] > 0 ? sum[k] / taken[k] : 0;
    std::vector<double> slope(count, 0);
    for (int k = 2; k + 2 < count; ++k)
        slope[k] = profile[k + 2] - profile[k - 2];
    std::vector<Edge> peaks;
    for (int k = 3; k + 3 < count; ++k) {
        const double v = std::fabs(slope[k]);
        if (v < std::fabs(slope[k - 1]) || v <= std::fabs(slope[k + 1]) || taken[k] < profile_rays / 2)
            continue;
        peaks.push_back({k * step, slope[k] > 0 ? 1 : -1, v});
    }
    if (peaks.empty())
        return peaks;
    // The hole, the hub, the rim and the lid may step far more than the pattern does
    // on a faint capture, so the bar is set by the typical boundary: the strength
    // reached by half as many peaks as the image has boundaries.
    std::vector<double> strengths(peaks.size());
    for (std::size_t k = 0; k < peaks.size(); ++k)
        strengths[k] = peaks[k].strength;
    const std::size_t rank = std::min(strengths.size() - 1, static_cast<std::size_t>(std::max(1, boundaries / 2)));
    std::nth_element(strengths.begin(), strengths.begin() + static_cast<std::ptrdiff_t>(rank), strengths.end(),
                     std::greater<>());
    const double bar = 0.25 * strengths[rank];
    std::vector<Edge> edges;
    for (const Edge& e : peaks)
        if (e.strength >= bar)
            edges.push_back(e);
    return edges;
}

// How many boundaries the map rho^2 = a + b p puts each on an edge of its own, of
// its step, within a fifth of a band (a boundary off the profile a miss), and their
// summed distances in bands.
int boundary_hits(const std::vector<Edge>& edges, const Boundary* bounds, int count, double a, double b,
                  double& error)
{
    int hits = 0;
    error = 0;
    const int n = static_cast<int>(edges.size());
    std::vector<bool> used(edges.size(), false);
    for (int m = 0; m < count; ++m) {
        const double rho = std::sqrt(std::max(0.0, a + b * bounds[m].position));
        const double band = b * bounds[m].band / (2 * std::max(rho, 1.0));
        if (rho > edges.back().rho + band)
            continue;
        int nearest = -1;
        for (int e = 0; e < n; ++e)
            if (!used[e] && edges[e].sign == bounds[m].sign &&
                (nearest < 0 || std::fabs(edges[e].rho - rho) < std::fabs(edges[nearest].rho - rho)))
                nearest = e;
        if (nearest >= 0 && std::fabs(edges[nearest].rho - rho) < 0.2 * band) {
            used[nearest] = true;
            hits += 1;
            error += std::fabs(edges[nearest].rho - rho) / band;
        }
    }
    return hits;
}

// Which detected edges are which boundaries: every pair of nearby detected edges
// taken as a pair of nearby boundaries of the same steps gives (a, b); the pair that
// puts most boundaries on edges wins.
struct RingMatch {
    int hits = 0;
    double error = 0;
    double a = 0;
    double b = 0;
};

// Tries detected edges i and i2 as boundaries k and k2: keeps the map they give when
// it puts more boundaries on edges than the best so far.
void try_pair(const std::vector<Edge>& edges, const Boundary* bounds, int count, int i, int i2, int k, int k2,
              RingMatch& best)
{
    if (edges[i].sign != bounds[k].sign || edges[i2].sign != bounds[k2].sign)
        return;
    const double b =
        (edges[i2].rho * edges[i2].rho - edges[i].rho * edges[i].rho) / (bounds[k2].position - bounds[k].position);
    if (!(b > 0))
        return;
    const double a = edges[i].rho * edges[i].rho - b * bounds[k].position;
    double error = 0;
    const int hits = boundary_hits(edges, bounds, count, a, b, error);
    if (hits > best.hits || (hits == best.hits && error < best.error))
        best = {hits, error, a, b};
}

bool match_boundaries(const std::vector<Edge>& edges, const Boundary* bounds, int count, DiscMap& map)
{
    const int n = static_cast<int>(edges.size());
    if (n < 2)
        return false;
    RingMatch best;
    for (int i = 0; i < n; ++i)
        for (int i2 = i + 1; i2 < n && i2 <= i + 3; ++i2)
            for (int k = 0; k < count; ++k)
                for (int k2 = k + 1; k2 < count && k2 <= k + 3; ++k2)
                    try_pair(edges, bounds, count, i, i2, k, k2, best);
    map.a = best.a;
    map.b = best.b;
    return best.hits >= 2 && best.hits * 2 >= count;
}

// The Gaussian width of an edge whose step over `span` pixels about it is `share` of its
// height: share = erf(span / (2 sqrt(2) sigma)), solved by bisection.
double edge_width(double share, double span)
{
    if (!(share > 0 && share < 1))
        return 0;
    double low = 1e-3;
    double high = 100;
    for (int k = 0; k < 40; ++k) {
        const double sigma = 0.5 * (low + high);
        if (std::erf(span / (2.8284271247461903 * sigma)) > share)
            low = sigma;
        else
            high = sigma;
    }
    return 0.5 * (low + high);
}

// The profile along one ray from rho - half outwards, in steps of `step`: each value
// the mean of five samples across the ray, half a map unit of the ring apart, against
// the noise. Each sample's place goes through the map (under perspective a ray's
// steps are not even on the capture); the direction across is mapped once, at the
// window's middle. False when the ray leaves the capture.
bool ray_profile(const cv::Mat& grey, const DiscMap& map, double angle, double from, double step, int samples,
                 double* values)
{
    const cv::Point2d d = face_direction(map, angle);
    const double middle = from + 0.5 * (samples - 1) * step;
    const cv::Point2d centre = face_to_capture(map, d.x * middle, d.y * middle);
    const cv::Point2d side = face_to_capture(map, d.x * middle - 0.5 * d.y, d.y * middle + 0.5 * d.x);
    const cv::Point2d across(side.x - centre.x, side.y - centre.y);
    for (int m = 0; m < samples; ++m) {
        const double radius = from + m * step;
        const cv::Point2d at = face_to_capture(map, d.x * radius, d.y * radius);
        double sum = 0;
        for (int t = -2; t <= 2; ++t) {
            const double v = sample(grey, at.x + t * across.x, at.y + t * across.y);
            if (v < 0)
                return false;
            sum += v;
        }
        values[m] = sum / 5;
    }
    return true;
}

double mean_of(const double* values, int from, int count)
{
    double sum = 0;
    for (int m = from; m < from + count; ++m)
        sum += values[m];
    return sum / count;
}

// The strongest step of the wanted sign in a ray's profile (over 8 samples), to a
// fraction of a sample, and the share of the profile's whole height (its ends) that
// lies within 2 pixels either side of it (0 when there is no room to say). False
// when the step stands at the window's edge.
bool locate_step(const double* values, int samples, int sign, double step, double& at, double& share)
{
    int best = -1;
    double best_slope = 0;
    for (int m = 4; m + 4 < samples; ++m) {
        const double slope = sign * (values[m + 4] - values[m - 4]);
        if (slope > best_slope) {
            best_slope = slope;
            best = m;
        }
    }
    if (best < 5 || best + 5 >= samples)
        return false;
    const double left = sign * (values[best + 3] - values[best - 5]);
    const double right = sign * (values[best + 5] - values[best - 3]);
    const double curve = left - 2 * best_slope + right;
    at = best + (curve < 0 ? 0.5 * (left - right) / curve : 0);
    const int reach = static_cast<int>(2 / step);
    share = 0;
    if (best - reach - 1 >= 0 && best + reach + 1 < samples && samples > 16) {
        const double height = sign * (mean_of(values, samples - 8, 8) - mean_of(values, 0, 8));
        const double step_there = sign * (mean_of(values, best + reach - 1, 3) - mean_of(values, best - reach - 1, 3));
        share = height > 0 ? step_there / height : 0;
    }
    return true;
}

// The boundaries' Gaussian width: each boundary's profile averaged over rays about
// where the fitted map puts it (the noise and the single edges' scatter averaged
// out), the share of its height within 2 pixels either side, the median over the
// boundaries as a width.
double ring_blur(const cv::Mat& grey, const DiscMap& map, const Boundary* bounds, int count)
{
    constexpr double step = 0.25;
    constexpr int rays = 180;
    double values[512];
    double mean[512];
    std::vector<double> shares;
    for (int k = 0; k < count; ++k) {
        const double rho = map_radius(map, bounds[k].position);
        const double band = map.b * bounds[k].band / (2 * std::max(rho, 1.0));
        const double half = std::min(edge_window * band, 120.0);
        const int samples = std::min(511, static_cast<int>(2 * half / step) + 1);
        const int reach = static_cast<int>(2 / step);
        const int centre = samples / 2;
        if (centre - reach - 1 < 8 || centre + reach + 1 >= samples - 8)
            continue;
        std::fill(mean, mean + samples, 0.0);
        int taken = 0;
        for (int r = 0; r < rays; ++r) {
            if (!ray_profile(grey, map, 360.0 * r / rays, rho - centre * step, step, samples, values))
                continue;
            for (int m = 0; m < samples; ++m)
                mean[m] += values[m];
            taken += 1;
        }
        if (taken < rays / 2)
            continue;
        const int sign = bounds[k].sign;
        const double height = sign * (mean_of(mean, samples - 8, 8) - mean_of(mean, 0, 8));
        const double within = sign * (mean_of(mean, centre + reach - 1, 3) - mean_of(mean, centre - reach - 1, 3));
        if (height > 0)
            shares.push_back(within / height);
    }
    if (shares.empty())
        return 0.5;
    const std::size_t middle = shares.size() / 2;
    std::nth_element(shares.begin(), shares.begin() + static_cast<std::ptrdiff_t>(middle), shares.end());
    return std::max(0.3, edge_width(std::min(0.999, shares[middle]), 4));
}

// How sharply the rings through the map stand out about its centre: the sum of the
// squared steps of the profile averaged over rays, at a pixel a step.
double map_sharpness(const cv::Mat& grey, const DiscMap& map, double outer, std::vector<double>& sum,
                     std::vector<int>& taken)
{
    constexpr int rays = 128;
    const int count = static_cast<int>(1.1 * outer);
    sum.assign(count, 0);
    taken.assign(count, 0);
    for (int r = 0; r < rays; ++r) {
        const cv::Point2d d = face_direction(map, 360.0 * r / rays);
        for (int k = 0; k < count; ++k) {
            const cv::Point2d at = face_to_capture(map, d.x * k, d.y * k);
            const double v = sample(grey, at.x, at.y);
            if (v >= 0) {
                sum[k] += v;
                taken[k] += 1;
            }
        }
    }
    double sharpness = 0;
    for (int k = 2; k + 2 < count; ++k)
        if (taken[k + 2] > rays / 2 && taken[k - 2] > rays / 2) {
            const double step = sum[k + 2] / taken[k + 2] - sum[k - 2] / taken[k - 2];
            sharpness += step * step;
        }
    return sharpness;
}

// A tilted photo's rings about the image of the face's centre are neither round nor
// concentric: the shape and perspective that make them sharpest, searched a term at
// a time in halving steps from a round map.
void sharpen_map(const cv::Mat& grey, double outer, DiscMap& map)
{
    std::vector<double> sum;
    std::vector<int> taken;
    double best = map_sharpness(grey, map, outer, sum, taken);
    for (int halving = 0; halving < 5; ++halving)
        for (int sweep = 0; sweep < 2; ++sweep)
            for (int term = 0; term < 4; ++term)
                for (int way = -1; way <= 1; way += 2) {
                    DiscMap trial = map;
                    const double d = way * 0.04 / (1 << halving);
                    if (term == 0) {
                        trial.s[0][0] += d;
                        trial.s[1][1] -= d;
                    } else if (term == 1) {
                        trial.s[0][1] += d;
                        trial.s[1][0] += d;
                    } else {
                        trial.g[term - 2] += d / outer;
                    }
                    const double sharp = map_sharpness(grey, trial, outer, sum, taken);
                    if (sharp > best) {
                        best = sharp;
                        map = trial;
                    }
                }
}

// Locates each boundary along each ray near where the map puts it: the strongest step
// of the boundary's sign, to a fraction of a pixel.
std::vector<EdgePoint> boundary_points(const cv::Mat& grey, const DiscMap& map, const Boundary* bounds, int count)
{
    std::vector<EdgePoint> points;
    constexpr double step = 0.25;
    double values[512];
    for (int k = 0; k < count; ++k) {
        const double rho = map_radius(map, bounds[k].position);
        const double band = map.b * bounds[k].band / (2 * std::max(rho, 1.0));
        const double half = std::min(edge_window * band, 120.0);
        const int samples = std::min(511, static_cast<int>(2 * half / step) + 1);
        if (samples < 9)
            continue;
        for (int r = 0; r < fit_rays; ++r) {
            const double angle = 360.0 * r / fit_rays;
            double at = 0;
            double share = 0;
            if (!ray_profile(grey, map, angle, rho - half, step, samples, values) ||
                !locate_step(values, samples, bounds[k].sign, step, at, share))
                continue;
            const cv::Point2d point = capture_point(map, rho - half + at * step, angle);
            points.push_back({point.x, point.y, bounds[k].position, share});
        }
    }
    return points;
}

// The point's distance from its ring through the map, map units; infinite beyond
// the face plane's horizon.
double ring_distance(const DiscMap& map, const EdgePoint& pt)
{
    double ux = 0;
    double uy = 0;
    if (!capture_to_face(map, pt.x, pt.y, ux, uy))
        return std::numeric_limits<double>::infinity();
    return std::hypot(ux, uy) - map_radius(map, pt.position);
}

// The points within `limit` of their rings through the map (all when limit is 0).
std::vector<EdgePoint> points_near(const std::vector<EdgePoint>& points, const DiscMap& map, double limit)
{
    if (limit <= 0)
        return points;
    std::vector<EdgePoint> near;
    near.reserve(points.size());
    for (const EdgePoint& pt : points)
        if (std::fabs(ring_distance(map, pt)) <= limit)
            near.push_back(pt);
    return near;
}

// The linear fit u(x^2 - y^2) + 2v xy + e x + f y + g - B p = -(x^2 + y^2) (the shape's
// trace fixed at 2), in coordinates about the current centre scaled by `unit`: an
// affine map (no perspective). False when it is singular or not an ellipse.
bool fit_rings(const std::vector<EdgePoint>& points, double unit, DiscMap& map)
{
    NormalEquations<6> sums;
    const double p_unit = map.b > 0 ? unit * unit / map.b : 1;
    for (const EdgePoint& pt : points) {
        const double x = (pt.x - map.cx) / unit;
        const double y = (pt.y - map.cy) / unit;
        sums.add({x * x - y * y, 2 * x * y, x, y, 1, -pt.position / p_unit}, -(x * x + y * y));
    }
    double solution[6];
    if (points.size() < 12 || !sums.solve(solution))
        return false;
    const double u = solution[0];
    const double v = solution[1];
    const double e = solution[2];
    const double f = solution[3];
    const double g = solution[4];
    const double big_b = solution[5];
    const double q[2][2] = {{1 + u, v}, {v, 1 - u}};
    const double det = q[0][0] * q[1][1] - q[0][1] * q[1][0];
    if (!(det > 0.25) || !(big_b > 0))
        return false;
    // centre = -Q^-1 (e, f) / 2, in the scaled coordinates.
    const double cx = -(q[1][1] * e - q[0][1] * f) / (2 * det);
    const double cy = -(-q[1][0] * e + q[0][0] * f) / (2 * det);
    const double a = q[0][0] * cx * cx + 2 * q[0][1] * cx * cy + q[1][1] * cy * cy - g;
    // s = Q^(-1/2) from Q's eigenvalues (symmetric 2x2).
    const double mean = 1;
    const double half_gap = std::sqrt(u * u + v * v);
    const double l1 = mean + half_gap;
    const double l2 = mean - half_gap;
    const double angle = 0.5 * std::atan2(2 * v, 2 * u);
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double r1 = 1 / std::sqrt(l1);
    const double r2 = 1 / std::sqrt(l2);
    map.cx += cx * unit;
    map.cy += cy * unit;
    map.s[0][0] = r1 * c * c + r2 * s * s;
    map.s[0][1] = map.s[1][0] = (r1 - r2) * c * s;
    map.s[1][1] = r1 * s * s + r2 * c * c;
    map.a = a * unit * unit;
    map.b = big_b * unit * unit / p_unit;
    map.g[0] = map.g[1] = 0;
    map.boundary_points = static_cast<int>(points.size());
    return map.a + map.b * 0 > -1e300;
}

double rings_rms(const std::vector<EdgePoint>& points, const DiscMap& map, double limit)
{
    double sum = 0;
    int count = 0;
    for (const EdgePoint& pt : points) {
        const double d = ring_distance(map, pt);
        if (std::fabs(d) <= limit) {
            sum += d * d;
            count += 1;
        }
    }
    return count > 0 ? std::sqrt(sum / count) : 0;
}

// A perspective a photo can have: the face plane's horizon far beyond the track (a
// phone tilted by less than about 60 degrees), and about the affine map's size.
// A fit from a poor start may shrink the rings towards a far-off centre instead.
// How much the perspective changes the scale across the farthest ring, a fraction.
double perspective_reach(const std::vector<EdgePoint>& points, const DiscMap& seen)
{
    double farthest = 0;
    for (const EdgePoint& pt : points)
        farthest = std::max(farthest, map_radius(seen, pt.position));
    return std::hypot(seen.g[0], seen.g[1]) * farthest;
}

bool plausible_perspective(const std::vector<EdgePoint>& points, const DiscMap& affine, const DiscMap& seen)
{
    const double size = (seen.s[0][0] * seen.s[1][1] - seen.s[0][1] * seen.s[1][0]) /
                        (affine.s[0][0] * affine.s[1][1] - affine.s[0][1] * affine.s[1][0]);
    return perspective_reach(points, seen) < most_perspective && size > 0.5 && size < 2 &&
           std::isfinite(seen.cx) && std::isfinite(seen.cy);
}

// One round of the ring fit over the points within `limit` of the map's rings (all
// when 0): the affine fit, then the perspective refined from it, kept only when it
// brings the rings much nearer their points (on a scanner's capture a fitted
// perspective is noise). False when the points fit no rings.
bool fit_round(const std::vector<EdgePoint>& points, double unit, double limit, DiscMap& map,
               double* perspective = nullptr)
{
    const std::vector<EdgePoint> near = points_near(points, map, limit);
    DiscMap affine = map;
    if (!fit_rings(near, unit, affine))
        return false;
    DiscMap seen = affine;
    const bool refined = refine_perspective(near, seen) && plausible_perspective(near, affine, seen);
    const bool tilted =
        refined && rings_rms(near, seen, 1e300) < perspective_gain * rings_rms(near, affine, 1e300);
    if (perspective != nullptr)
        *perspective = refined ? perspective_reach(near, seen) : 0;
    map = tilted ? seen : affine;
    map.boundary_points = static_cast<int>(near.size());
    return true;
}

bool has_perspective(const DiscMap& map) { return map.g[0] != 0 || map.g[1] != 0; }

// The median boundary band's width on the capture, pixels.
double median_band(const DiscMap& map, const Boundary* bounds, int count)
{
    double bands[max_capture_lines];
    for (int k = 0; k < count; ++k) {
        const double rho = map_radius(map, bounds[k].position);
        bands[k] = map.b * bounds[k].band / (2 * std::max(rho, 1.0));
    }
    std::nth_element(bands, bands + count / 2, bands + count);
    return bands[count / 2];
}

// The map again from the hub's centre (the image of the face's, where the rim's and
// the track's are not), with the shape and perspective that make the rings
// sharpest, fitted to the points near the rings they give; `limit` is then the
// distance kept. False when the rings do not match the image's or fit no rings.
bool map_from_hub(const cv::Mat& grey, const DiscMap& start, double outer, const Boundary* bounds, int count,
                  DiscMap& wide, double& limit)
{
    wide = DiscMap{};
    wide.cx = start.cx;
    wide.cy = start.cy;
    if (find_track_area(grey, inner_share * outer, wide) <= 0)
        wide = start;
    sharpen_map(grey, outer, wide);
    if (!match_boundaries(profile_edges(grey, wide, outer, count), bounds, count, wide))
        return false;
    const std::vector<EdgePoint> found = boundary_points(grey, wide, bounds, count);
    if (!fit_round(found, outer, 0, wide))
        return false;
    std::vector<double> gaps(found.size());
    for (std::size_t k = 0; k < found.size(); ++k)
        gaps[k] = std::fabs(ring_distance(wide, found[k]));
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
    limit = std::max(3 * 1.4826 * gaps[gaps.size() / 2], 0.5);
    if (!fit_round(found, outer, limit, wide))
        return false;
    wide.boundary_rms = rings_rms(found, wide, limit);
    return true;
}

}  // namespace

bool find_disc(const cv::Mat& grey, const BurnedImage& image, DiscMap& map, char* why, std::size_t why_size)
{
    map = DiscMap{};
    const double outer = find_track_area(grey, 0, map);
    if (outer <= 0) {
        std::snprintf(why, why_size, "no disc found: nothing on it has the track's rings");
        return false;
    }
    Boundary bounds[max_capture_lines];
    const int count = boundaries_of(image, bounds);
    if (count < 2) {
        std::snprintf(why, why_size, "the image has %d line boundaries; at least 2 are needed to find the track",
                      count);
        return false;
    }
    const std::vector<Edge> edges = profile_edges(grey, map, outer, count);
    if (!match_boundaries(edges, bounds, count, map)) {
        std::snprintf(why, why_size, "no disc found: the capture's rings do not match the image's %d lines",
                      image.line_count);
        return false;
    }
    const DiscMap start = map;
    double limit = 0;
    // A perspective found late gets a few more rounds while they still help.
    double last_rms = 0;
    for (int round = 0; round < 3 || (round < 6 && has_perspective(map) && map.boundary_rms < 0.95 * last_rms);
         ++round) {
        last_rms = map.boundary_rms;
        const std::vector<EdgePoint> points = boundary_points(grey, map, bounds, count);
        double perspective = 0;
        if (!fit_round(points, outer, limit, map, &perspective)) {
            std::snprintf(why, why_size, "no disc found: the line boundaries fit no rings");
            return false;
        }
        const double rms = rings_rms(points, map, round == 0 ? 1e300 : limit);
        map.boundary_rms = rms;
        limit = std::max(3 * rms, 0.5);
        const bool missed = !(rms < ring_rms_share * median_band(map, bounds, count));
        if (round == 0 && (missed || perspective > some_perspective)) {
            // The rings about one centre missed the boundaries, or they show a
            // perspective that the start was too far off to fit, as on a tilted photo.
            DiscMap wide{};
            double wide_limit = 0;
            if (map_from_hub(grey, start, outer, bounds, count, wide, wide_limit) &&
                (missed || wide.boundary_rms < rms)) {
                map = wide;
                limit = wide_limit;
            }
        }
    }
    map.blur = ring_blur(grey, map, bounds, count);
    // Rings found in noise scatter over the whole search window; the track's own
    // boundaries lie on their rings to a fraction of a pixel or two.
    if (!(map.boundary_rms < ring_rms_share * median_band(map, bounds, count))) {
        std::snprintf(why, why_size,
                      "no disc found: the rings that best match the image's lines lie %.1f pixels off the capture's "
                      "edges, too far to be the track",
                      map.boundary_rms);
        return false;
    }
    return true;
}
