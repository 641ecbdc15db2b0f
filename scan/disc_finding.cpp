// Finding the disc on the capture: the textured track area first (where the picture
// varies from pixel to pixel, whatever the background), then the rings of the line
// boundaries themselves. Every boundary point lies on an ellipse of one centre and
// shape whose size squared grows linearly with the boundary's stream position, so one
// linear least-squares fit over all of them gives the centre, the capture's affine
// shape and the track's scale, never an assumed millimetre.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "scan/reader_parts.h"

namespace {

constexpr int coarse_side = 800;       // the small copy on which the track area is found
constexpr int profile_rays = 256;      // rays of the first, averaged, radial profile
constexpr int fit_rays = 720;          // rays along which each boundary is located
constexpr double edge_window = 0.3;    // search half-width around a boundary, in band widths
constexpr double ring_rms_share = 0.1;  // the boundaries' scatter about their rings, in band widths, at most

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
    if (x < 0 || y < 0 || x > grey.cols - 1.001 || y > grey.rows - 1.001)
        return -1;
    const int x0 = static_cast<int>(x);
    const int y0 = static_cast<int>(y);
    const double fx = x - x0;
    const double fy = y - y0;
    const auto* row0 = grey.ptr<std::uint16_t>(y0);
    const auto* row1 = grey.ptr<std::uint16_t>(y0 + 1);
    return (1 - fy) * ((1 - fx) * row0[x0] + fx * row0[x0 + 1]) + fy * ((1 - fx) * row1[x0] + fx * row1[x0 + 1]);
}

// The track area's outline on a small copy: local spread, Otsu's threshold, closed,
// the largest outline's ellipse. Sets the map's centre and shape and returns the
// outline's mean radius in capture pixels, 0 when there is none.
double find_track_area(const cv::Mat& grey, DiscMap& map)
{
    const double scale = std::min(1.0, static_cast<double>(coarse_side) / std::max(grey.cols, grey.rows));
    cv::Mat small;
    cv::resize(grey, small, cv::Size(), scale, scale, cv::INTER_AREA);
    small.convertTo(small, CV_32F, 1.0 / 65535);
    cv::Mat mean;
    cv::Mat square;
    cv::boxFilter(small, mean, CV_32F, cv::Size(7, 7));
    cv::boxFilter(small.mul(small), square, CV_32F, cv::Size(7, 7));
    cv::Mat spread = square - mean.mul(mean);
    cv::max(spread, 0, spread);
    cv::sqrt(spread, spread);
    double top = 0;
    cv::minMaxLoc(spread, nullptr, &top);
    if (top <= 0)
        return 0;
    cv::Mat mask;
    spread.convertTo(mask, CV_8U, 255 / top);
    cv::threshold(mask, mask, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(9, 9)));
    std::vector<std::vector<cv::Point>> outlines;
    cv::findContours(mask, outlines, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    int best = -1;
    double best_area = 0;
    for (int k = 0; k < static_cast<int>(outlines.size()); ++k) {
        const double area = cv::contourArea(outlines[k]);
        if (area > best_area && outlines[k].size() >= 20) {
            best_area = area;
            best = k;
        }
    }
    // A disc fills a good part of the capture; a speck does not.
    if (best < 0 || best_area < 0.01 * small.cols * small.rows)
        return 0;
    const cv::RotatedRect ellipse = cv::fitEllipse(outlines[best]);
    const double half_w = ellipse.size.width / 2 / scale;
    const double half_h = ellipse.size.height / 2 / scale;
    if (!(half_w > 8 && half_h > 8))
        return 0;
    map.cx = (ellipse.center.x + 0.5) / scale - 0.5;
    map.cy = (ellipse.center.y + 0.5) / scale - 0.5;
    // The shape: the ellipse's axes, normalised to their geometric mean.
    const double mean_radius = std::sqrt(half_w * half_h);
    const double t = ellipse.angle * 0.017453292519943295;
    const double c = std::cos(t);
    const double s = std::sin(t);
    const double l1 = half_w / mean_radius;
    const double l2 = half_h / mean_radius;
    map.s[0][0] = l1 * c * c + l2 * s * s;
    map.s[0][1] = map.s[1][0] = (l1 - l2) * c * s;
    map.s[1][1] = l1 * s * s + l2 * c * c;
    return mean_radius;
}

struct Edge {
    double rho;
    int sign;
    double strength;
};

// The averaged radial profile's edges: steps of either sign standing above a quarter
// of the strongest.
std::vector<Edge> profile_edges(const cv::Mat& grey, const DiscMap& map, double outer)
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
    double strongest = 0;
    for (int k = 2; k + 2 < count; ++k) {
        slope[k] = profile[k + 2] - profile[k - 2];
        strongest = std::max(strongest, std::fabs(slope[k]));
    }
    std::vector<Edge> edges;
    for (int k = 3; k + 3 < count; ++k) {
        const double v = std::fabs(slope[k]);
        if (v < 0.25 * strongest || v < std::fabs(slope[k - 1]) || v <= std::fabs(slope[k + 1]))
            continue;
        if (taken[k] < profile_rays / 2)
            continue;
        edges.push_back({k * step, slope[k] > 0 ? 1 : -1, v});
    }
    return edges;
}

// Which detected edges are which boundaries: every pair of detected edges taken as
// a pair of boundaries of the same steps gives (a, b); the pair that puts most
// boundaries on a detected edge of their step wins.
bool match_boundaries(const std::vector<Edge>& edges, const Boundary* bounds, int count, DiscMap& map)
{
    int best_hits = 0;
    double best_error = 0;
    const int n = static_cast<int>(edges.size());
    for (int i = 0; i < n; ++i)
        for (int i2 = i + 1; i2 < n && i2 <= i + 3; ++i2)
            for (int k = 0; k < count; ++k)
                for (int k2 = k + 1; k2 < count && k2 <= k + 3; ++k2) {
                    if (edges[i].sign != bounds[k].sign || edges[i2].sign != bounds[k2].sign)
                        continue;
                    const double b = (edges[i2].rho * edges[i2].rho - edges[i].rho * edges[i].rho) /
                                     (bounds[k2].position - bounds[k].position);
                    if (!(b > 0))
                        continue;
                    const double a = edges[i].rho * edges[i].rho - b * bounds[k].position;
                    int hits = 0;
                    double error = 0;
                    for (int m = 0; m < count; ++m) {
                        const double rho = std::sqrt(std::max(0.0, a + b * bounds[m].position));
                        const double band = b * bounds[m].band / (2 * std::max(rho, 1.0));
                        double nearest = 1e300;
                        for (const Edge& e : edges)
                            if (e.sign == bounds[m].sign)
                                nearest = std::min(nearest, std::fabs(e.rho - rho));
                        if (nearest < 0.2 * band) {
                            hits += 1;
                            error += nearest / band;
                        }
                    }
                    if (hits > best_hits || (hits == best_hits && error < best_error)) {
                        best_hits = hits;
                        best_error = error;
                        map.a = a;
                        map.b = b;
                    }
                }
    return best_hits >= 2 && best_hits * 2 >= count;
}

// The Gaussian width of an edge whose step over `span` pixels is `share` of its
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

struct EdgePoint {
    double x;
    double y;
    double position;
    double blur;  // the edge's Gaussian width, pixels, from its height over its steepest slope
};

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
            bool inside = true;
            for (int m = 0; m < samples && inside; ++m) {
                const cv::Point2d at = capture_point(map, rho - half + m * step, angle);
                values[m] = sample(grey, at.x, at.y);
                inside = values[m] >= 0;
            }
            if (!inside)
                continue;
            int best = -1;
            double best_slope = 0;
            for (int m = 4; m + 4 < samples; ++m) {
                const double slope = bounds[k].sign * (values[m + 4] - values[m - 4]);
                if (slope > best_slope) {
                    best_slope = slope;
                    best = m;
                }
            }
            if (best < 5 || best + 5 >= samples)
                continue;
            const double left = bounds[k].sign * (values[best + 3] - values[best - 5]);
            const double right = bounds[k].sign * (values[best + 5] - values[best - 3]);
            const double curve = left - 2 * best_slope + right;
            const double shift = curve < 0 ? 0.5 * (left - right) / curve : 0;
            const cv::Point2d at = capture_point(map, rho - half + (best + shift) * step, angle);
            const double height = bounds[k].sign * (values[samples - 1] - values[0]);
            points.push_back({at.x, at.y, bounds[k].position, edge_width(best_slope / height, 8 * step)});
        }
    }
    return points;
}

// The linear fit u(x^2 - y^2) + 2v xy + e x + f y + g - B p = -(x^2 + y^2) (the shape's
// trace fixed at 2), in coordinates about the current centre scaled by `unit`, with
// the points whose distance exceeds `limit` pixels left out. False when it is singular
// or not an ellipse.
bool fit_rings(const std::vector<EdgePoint>& points, double unit, double limit, DiscMap& map)
{
    cv::Mat normal = cv::Mat::zeros(6, 6, CV_64F);
    cv::Mat right = cv::Mat::zeros(6, 1, CV_64F);
    const double p_unit = map.b > 0 ? unit * unit / map.b : 1;
    int used = 0;
    for (const EdgePoint& pt : points) {
        if (limit > 0) {
            // The point's distance from its ring, through the current map.
            const double dx = pt.x - map.cx;
            const double dy = pt.y - map.cy;
            const double det = map.s[0][0] * map.s[1][1] - map.s[0][1] * map.s[1][0];
            const double ux = (map.s[1][1] * dx - map.s[0][1] * dy) / det;
            const double uy = (-map.s[1][0] * dx + map.s[0][0] * dy) / det;
            if (std::fabs(std::sqrt(ux * ux + uy * uy) - map_radius(map, pt.position)) > limit)
                continue;
        }
        const double x = (pt.x - map.cx) / unit;
        const double y = (pt.y - map.cy) / unit;
        const double row[6] = {x * x - y * y, 2 * x * y, x, y, 1, -pt.position / p_unit};
        const double target = -(x * x + y * y);
        for (int i = 0; i < 6; ++i) {
            right.at<double>(i) += row[i] * target;
            for (int j = 0; j < 6; ++j)
                normal.at<double>(i, j) += row[i] * row[j];
        }
        used += 1;
    }
    if (used < 12)
        return false;
    cv::Mat solution;
    if (!cv::solve(normal, right, solution, cv::DECOMP_CHOLESKY))
        return false;
    const double u = solution.at<double>(0);
    const double v = solution.at<double>(1);
    const double e = solution.at<double>(2);
    const double f = solution.at<double>(3);
    const double g = solution.at<double>(4);
    const double big_b = solution.at<double>(5);
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
    map.boundary_points = used;
    return map.a + map.b * 0 > -1e300;
}

double rings_rms(const std::vector<EdgePoint>& points, const DiscMap& map, double limit)
{
    double sum = 0;
    int count = 0;
    const double det = map.s[0][0] * map.s[1][1] - map.s[0][1] * map.s[1][0];
    for (const EdgePoint& pt : points) {
        const double dx = pt.x - map.cx;
        const double dy = pt.y - map.cy;
        const double ux = (map.s[1][1] * dx - map.s[0][1] * dy) / det;
        const double uy = (-map.s[1][0] * dx + map.s[0][0] * dy) / det;
        const double d = std::sqrt(ux * ux + uy * uy) - map_radius(map, pt.position);
        if (std::fabs(d) <= limit) {
            sum += d * d;
            count += 1;
        }
    }
    return count > 0 ? std::sqrt(sum / count) : 0;
}

}  // namespace

bool find_disc(const cv::Mat& grey, const BurnedImage& image, DiscMap& map, char* why, std::size_t why_size)
{
    map = DiscMap{};
    const double outer = find_track_area(grey, map);
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
    const std::vector<Edge> edges = profile_edges(grey, map, outer);
    if (!match_boundaries(edges, bounds, count, map)) {
        std::snprintf(why, why_size, "no disc found: the capture's rings do not match the image's %d lines",
                      image.line_count);
        return false;
    }
    double limit = 0;
    for (int round = 0; round < 4; ++round) {
        const std::vector<EdgePoint> points = boundary_points(grey, map, bounds, count);
        DiscMap next = map;
        if (!fit_rings(points, outer, limit, next)) {
            std::snprintf(why, why_size, "no disc found: the line boundaries fit no rings");
            return false;
        }
        map = next;
        const double rms = rings_rms(points, map, round == 0 ? 1e300 : limit);
        map.boundary_rms = rms;
        limit = std::max(3 * rms, 0.5);
        std::vector<double> blurs;
        for (const EdgePoint& pt : points)
            if (pt.blur > 0)
                blurs.push_back(pt.blur);
        if (!blurs.empty()) {
            std::nth_element(blurs.begin(), blurs.begin() + blurs.size() / 2, blurs.end());
            map.blur = blurs[blurs.size() / 2];
        }
    }
    // Rings found in noise scatter over the whole search window; the track's own
    // boundaries lie on their rings to a fraction of a pixel or two.
    double bands[max_capture_lines];
    for (int k = 0; k < count; ++k) {
        const double rho = map_radius(map, bounds[k].position);
        bands[k] = map.b * bounds[k].band / (2 * std::max(rho, 1.0));
    }
    std::nth_element(bands, bands + count / 2, bands + count);
    if (!(map.boundary_rms < ring_rms_share * bands[count / 2])) {
        std::snprintf(why, why_size,
                      "no disc found: the rings that best match the image's lines lie %.1f pixels off the capture's "
                      "edges, too far to be the track",
                      map.boundary_rms);
        return false;
    }
    return true;
}
