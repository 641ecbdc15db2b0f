// Reading each line's wedge: the band resampled in polar form, row by row across it
// at steps of about a pixel; in each row the marker's leading edge found by
// correlating the angular profile with the marker's box (a twelfth of a turn of the
// complementary shade); the edges followed across the rows, unwrapped, so that a
// twist past 360 degrees is measured; then angle against marked-turn index fitted
// by a parabola (a line's phase error grows quadratically when the drawn growth is
// not the disc's): the angle at the first marked turn, the twist to the last.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <thread>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "common/worker_thread.h"
#include "scan/normal_equations.h"
#include "scan/reader_parts.h"

namespace {

constexpr double marker_turns = 1.0 / 12;      // the marker's share of a turn
constexpr double row_contrast = 2.0;           // box contrast over the profile's noise for an edge
constexpr double flat_box_share = 0.6;         // of the box's middle contrast that its ends keep, at least
constexpr double line_rms_limit = 4;           // degrees: more, and the edges are no wedge
constexpr double row_correlation = 2;          // rows a blur of a pixel or two ties together
constexpr double angle_error_floor = 0.02;     // degrees
// A line's own error that more rows do not average away (the blur shifts its box's
// centroid a little differently on every line): this many pixels at the band's
// radius per fourth power of the measured blur in pixels, for the angle at the band's
// inner end and for the twist across it, beside the map's own error of a pixel there.
// Set on the simulated scanner from blur 1 to 3 pixels.
constexpr double angle_blur_error = 0.275;
constexpr double twist_blur_error = 0.45;
constexpr double map_error_pixels = 1;
constexpr double direction_certainty = 4;      // standard errors of the direction mark's contrast

struct RowEdge {
    double u = 0;        // marked-turn index of the row, 0..1 over the line
    double angle = 0;    // unwrapped, degrees
    double contrast = 0; // over the profile's noise
    bool found = false;
};

// One line's rows and its parabola, kept for the second pass that shares the
// curvature between lines.
struct LineFit {
    std::vector<RowEdge> edges;
    std::vector<bool> keep;
    double c[3] = {};
    double cov[3][3] = {};  // per unit variance
    double sigma = 0;       // one row's error, widened for the rows' correlation, degrees
    double angle_own = 0;   // the line's own errors that rows do not average away, degrees
    double twist_own = 0;
};

LineFit fits[max_capture_lines];

// Fractional marked-turn index at stream position p, from the burned marker starts.
double marked_index(const BurnedLine& line, double position)
{
    const double* first = line.marker_start;
    const double* last = line.marker_start + line.marked_turns;
    const double* at = std::lower_bound(first, last, position);
    if (at == first)
        return 0;
    if (at == last)
        return line.marked_turns - 1;
    const double before = *(at - 1);
    return static_cast<double>(at - first - 1) + (position - before) / (*at - before);
}

// The profile's best box of `width` samples (cyclic) of the wanted sign against each
// of its two flanks (half a box each, a quarter box off), so that a slow change of
// light along the ring does not count; then the box's centre to a fraction of a sample
// as the centroid of its contrast over the flanks' straight line, in a window a
// quarter box wider on either side (no quantisation to the samples); and, when
// asked for, the box's contrast over the profile's sample-to-sample noise.
void best_box(const float* profile, int count, int width, int sign, std::vector<double>& sums, double& centre,
              double* contrast)
{
    const int gap = width / 4;
    const int flank = std::max(1, width / 2);
    const int before = gap + flank;
    const int span = before + width + gap + flank;
    sums.assign(static_cast<std::size_t>(count) + static_cast<std::size_t>(span) + 1, 0);
    for (int k = 0; k < count + span; ++k)
        sums[k + 1] = sums[k] + profile[k % count];
    // The box at position k covers samples k + before .. k + before + width - 1.
    auto mean = [&](int from, int length) { return (sums[from + length] - sums[from]) / length; };
    int best = 0;
    double best_score = -1e300;
    for (int k = 0; k < count; ++k) {
        // Both flanks must differ: a band of light beside a plain stretch is no box.
        const double in = mean(k + before, width);
        const double score =
            std::min(sign * (in - mean(k, flank)), sign * (in - mean(k + before + width + gap, flank)));
        if (score > best_score) {
            best_score = score;
            best = k;
        }
    }
    const double left = mean(best, flank);
    const double right = mean(best + before + width + gap, flank);
    const double left_at = best + 0.5 * flank;  // the flanks' middles, in samples
    const double right_at = best + before + width + gap + 0.5 * flank;
    double weight = 0;
    double moment = 0;
    for (int k = best + before - gap; k < best + before + width + gap; ++k) {
        const double fill = left + (right - left) * (k - left_at) / (right_at - left_at);
        const double v = sign * (profile[k % count] - fill);
        weight += v;
        moment += v * k;
    }
    centre = weight > 0 ? moment / weight : best + before + 0.5 * (width - 1);
    if (contrast == nullptr)
        return;
    // A marker is flat across its box; a band of light across the ring peaks where it
    // crosses and fades either side, and is no marker however strong.
    const int quarter = std::max(1, width / 4);
    const double fill_mean = 0.5 * (left + right);
    const double middle = sign * (mean(best + before + quarter, width - 2 * quarter) - fill_mean);
    const double first = sign * (mean(best + before, quarter) - fill_mean);
    const double last = sign * (mean(best + before + width - quarter, quarter) - fill_mean);
    const double low = std::min({first, middle, last});
    const double high = std::max({first, middle, last});
    if (!(low >= flat_box_share * high)) {
        *contrast = 0;
        return;
    }
    // The noise: the median step from sample to sample, as one sample's spread.
    std::vector<float> steps(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
        steps[k] = std::fabs(profile[(k + 1) % count] - profile[k]);
    std::nth_element(steps.begin(), steps.begin() + count / 2, steps.end());
    const double noise = steps[count / 2] / (0.6745 * 1.4142135623730951);
    *contrast = best_score / std::max(noise, 1.0);
}

struct Band {
    cv::Mat profiles;  // rows x angles, float
    std::vector<double> rho;
    std::vector<double> u;
    std::vector<double> sines;  // of each angle column
    std::vector<double> cosines;
};

// Resamples the line's marked part in polar form: a row per radius step, an angle
// column per sample around the turn.
void resample_band(const cv::Mat& grey, const BurnedLine& line, const DiscMap& map, Band& band)
{
    const double first = map_radius(map, line.marker_start[0]);
    const double last = map_radius(map, line.marker_start[line.marked_turns - 1]);
    const double inner = first + 0.5;
    const double outer = last - 0.5;
    const double width = std::max(0.0, outer - inner);
    const int rows = std::max(1, std::min(max_trace_rows, static_cast<int>(width)));
    // About a sample a pixel round the band's outer edge.
    const int angles = std::max(1440, std::min(16384, static_cast<int>(2 * 3.141592653589793 * outer) / 8 * 8));
    // A row sees the turns within its pixels and the blur: its marked-turn index is
    // their mean, the unmarked turns beyond the band's ends (no marker) left out.
    const double footprint = std::max(0.5, map.blur);
    cv::Mat map_x(rows, angles, CV_32F);
    cv::Mat map_y(rows, angles, CV_32F);
    band.rho.assign(rows, 0);
    band.u.assign(rows, 0);
    band.sines.resize(angles);
    band.cosines.resize(angles);
    for (int k = 0; k < angles; ++k) {
        band.sines[k] = std::sin(2 * 3.141592653589793 * k / angles);
        band.cosines[k] = std::cos(2 * 3.141592653589793 * k / angles);
    }
    for (int r = 0; r < rows; ++r) {
        const double rho = inner + width * (r + 0.5) / rows;
        band.rho[r] = rho;
        double weight = 0;
        double sum = 0;
        for (int q = -12; q <= 12; ++q) {
            const double seen = rho + footprint * q / 4.0;
            if (seen < first || seen > last)
                continue;
            const double w = std::exp(-0.5 * (q / 4.0) * (q / 4.0));
            sum += w * marked_index(line, (seen * seen - map.a) / map.b);
            weight += w;
        }
        band.u[r] = (weight > 0 ? sum / weight : 0) / std::max(1, line.marked_turns - 1);
        auto* xs = map_x.ptr<float>(r);
        auto* ys = map_y.ptr<float>(r);
        const double sign = map.mirrored ? -1 : 1;
        for (int k = 0; k < angles; ++k) {
            const cv::Point2d at = face_to_capture(map, sign * band.sines[k] * rho, -band.cosines[k] * rho);
            xs[k] = static_cast<float>(at.x);
            ys[k] = static_cast<float>(at.y);
        }
    }
    cv::Mat sampled;
    cv::remap(grey, sampled, map_x, map_y, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
    sampled.convertTo(band.profiles, CV_32F);
}

// Half the marker's arc on the disc, degrees: a twelfth of the drawn turn, which
// the twist says is longer or shorter than the disc's turn there.
double half_marker(double twist, const BurnedLine& line)
{
    return 15 * (1 + twist / (360.0 * std::max(1, line.marked_turns - 1)));
}

// Takes a slow wave (the first two harmonics round the ring, and the mean) out of a
// row's profile, fitted away from the marker's box and, on line 0, from where its
// direction mark may stand: an illumination gradient across the capture is such a
// wave, and a box or mark in the fit would tilt it. `box` is the box's centre,
// `width` its samples.
void remove_gradient(const Band& band, float* profile, double box, int width, bool direction_mark)
{
    const int count = static_cast<int>(band.sines.size());
    // Distances round the ring, in samples, from a centre brought into 0..count.
    auto away = [&](int k, double centre, double half) {
        const double from = centre - count * std::floor(centre / count);
        double d = std::fabs(k - from);
        if (d > 0.5 * count)
            d = count - d;
        return d > half;
    };
    const double leading = box - 0.5 * width;
    NormalEquations<5> sums;
    for (int k = 0; k < count; ++k) {
        if (!away(k, box, 0.75 * width))
            continue;
        // Clockwise the mark is 3 boxes past the leading edge, anticlockwise 2.25 before it.
        if (direction_mark && (!away(k, leading + 3.125 * width, 0.4 * width) ||
                               !away(k, leading + width - 3.125 * width, 0.4 * width)))
            continue;
        const double sine = band.sines[k];
        const double cosine = band.cosines[k];
        sums.add({1, sine, cosine, 2 * sine * cosine, cosine * cosine - sine * sine}, profile[k]);
    }
    double wave[5];
    if (!sums.solve(wave))
        return;
    // The mean stays: the flanks and the box are measured against it.
    for (int k = 0; k < count; ++k) {
        const double sine = band.sines[k];
        const double cosine = band.cosines[k];
        profile[k] -= static_cast<float>(wave[1] * sine + wave[2] * cosine + wave[3] * 2 * sine * cosine +
                                         wave[4] * (cosine * cosine - sine * sine));
    }
}

// Least squares of angle = c0 + c1 u + c2 u^2 over the rows kept; the covariance of
// the coefficients per unit variance.
bool fit_parabola(const std::vector<RowEdge>& rows, const std::vector<bool>& keep, double c[3], double cov[3][3],
                  double& rms)
{
    NormalEquations<3> sums;
    for (std::size_t k = 0; k < rows.size(); ++k)
        if (keep[k])
            sums.add({1, rows[k].u, rows[k].u * rows[k].u}, rows[k].angle);
    const int used = sums.count;
    if (used < 4)
        return false;
    const cv::Mat normal(3, 3, CV_64F, &sums.normal[0][0]);
    cv::Mat inverse;
    if (cv::invert(normal, inverse, cv::DECOMP_SVD) == 0)
        return false;
    for (int i = 0; i < 3; ++i) {
        c[i] = 0;
        for (int j = 0; j < 3; ++j) {
            cov[i][j] = inverse.at<double>(i, j);
            c[i] += cov[i][j] * sums.right[j];
        }
    }
    double sum = 0;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (!keep[k])
            continue;
        const double d = rows[k].angle - (c[0] + c[1] * rows[k].u + c[2] * rows[k].u * rows[k].u);
        sum += d * d;
    }
    rms = std::sqrt(sum / std::max(1, used - 3));
    return true;
}

double wrap_degrees(double angle)
{
    const double a = std::fmod(angle, 360.0);
    return a < 0 ? a + 360 : a;
}

// Follows the rows' edges outwards from the row that stands out most, unwrapping
// each against the angle the rows so far predict, so that a twist past a turn is kept.
void unwrap_edges(std::vector<RowEdge>& edges)
{
    const int rows = static_cast<int>(edges.size());
    int seed = 0;
    for (int r = 1; r < rows; ++r)
        if (edges[r].contrast > edges[seed].contrast)
            seed = r;
    for (int direction = -1; direction <= 1; direction += 2) {
        double last = edges[seed].angle;
        double slope = 0;
        int previous = seed;
        for (int r = seed + direction; r >= 0 && r < rows; r += direction) {
            if (!edges[r].found)
                continue;
            const double predicted = last + slope * (edges[r].u - edges[previous].u);
            edges[r].angle += 360 * std::round((predicted - edges[r].angle) / 360);
            const double du = edges[r].u - edges[previous].u;
            if (std::fabs(du) > 1e-9)
                slope = 0.5 * slope + 0.5 * (edges[r].angle - last) / du;
            last = edges[r].angle;
            previous = r;
        }
    }
}

// The parabola through the rows kept, refitted twice without the rows beyond three
// times the residual (at least a degree). False when too few rows remain.
bool fit_rows(const std::vector<RowEdge>& edges, std::vector<bool>& keep, double c[3], double cov[3][3], double& rms)
{
    for (int round = 0; round < 3; ++round) {
        if (!fit_parabola(edges, keep, c, cov, rms))
            return false;
        const double limit = std::max(3 * rms, 1.0);
        for (std::size_t r = 0; r < edges.size(); ++r) {
            const double u = edges[r].u;
            const double d = edges[r].angle - (c[0] + c[1] * u + c[2] * u * u);
            keep[r] = edges[r].found && std::fabs(d) <= limit;
        }
    }
    return true;
}

// Reads one line into its reading and trace.
void read_line(const cv::Mat& grey, const BurnedLine& line, bool direction_mark, const DiscMap& map,
               LineReading& reading, LineTrace& trace, LineFit& fit)
{
    reading = LineReading{};
    trace = LineTrace{};
    fit = LineFit{};
    if (line.marked_turns < 8)
        return;
    Band band;
    resample_band(grey, line, map, band);
    const int rows = band.profiles.rows;
    const int angles = band.profiles.cols;
    const int width = std::max(3, static_cast<int>(std::lround(marker_turns * angles)));
    const int sign = line.dark_marker ? -1 : 1;
    std::vector<double> sums;
    std::vector<RowEdge> edges(rows);
    trace.rows = rows;
    for (int r = 0; r < rows; ++r) {
        double centre = 0;
        double contrast = 0;
        float* profile = band.profiles.ptr<float>(r);
        best_box(profile, angles, width, sign, sums, centre, nullptr);
        remove_gradient(band, profile, centre, width, direction_mark);
        best_box(profile, angles, width, sign, sums, centre, &contrast);
        edges[r].u = band.u[r];
        // The box's centre; the leading edge is half a marker before it.
        edges[r].angle = 360.0 * centre / angles;
        edges[r].contrast = contrast;
        edges[r].found = contrast >= row_contrast;
        trace.rho[r] = band.rho[r];
        trace.angle[r] = wrap_degrees(edges[r].angle - 15);
        trace.found[r] = edges[r].found;
    }
    if (rows < 4)
        return;
    unwrap_edges(edges);
    std::vector<bool> keep(rows);
    int found = 0;
    for (int r = 0; r < rows; ++r) {
        keep[r] = edges[r].found;
        found += keep[r] ? 1 : 0;
    }
    double c[3] = {};
    double cov[3][3] = {};
    double rms = 0;
    if (found < std::max(4, rows / 2) || !fit_rows(edges, keep, c, cov, rms))
        return;
    int kept = 0;
    for (int r = 0; r < rows; ++r) {
        kept += keep[r] ? 1 : 0;
        trace.found[r] = keep[r];
    }
    if (kept < std::max(4, rows / 2) || rms > line_rms_limit)
        return;
    // Rows of one blur are not independent: the errors are widened for it.
    const double sigma = std::max(rms, 0.05) * std::sqrt(row_correlation);
    const double blur_fourth = map.blur * map.blur * map.blur * map.blur;
    const double pixel_degrees = 180 / (3.141592653589793 * std::max(1.0, band.rho[rows / 2]));
    fit.angle_own = std::hypot(angle_blur_error * blur_fourth, map_error_pixels) * pixel_degrees;
    fit.twist_own = std::hypot(twist_blur_error * blur_fourth, map_error_pixels) * pixel_degrees;
    reading.read = true;
    reading.twist = c[1] + c[2];
    reading.angle = wrap_degrees(c[0] - half_marker(reading.twist, line));
    reading.angle_error = std::max(angle_error_floor, std::hypot(sigma * std::sqrt(cov[0][0]), fit.angle_own));
    const double twist_var = cov[1][1] + 2 * cov[1][2] + cov[2][2];
    reading.row_twist_error = std::max(angle_error_floor, sigma * std::sqrt(std::max(0.0, twist_var)));
    reading.twist_error = std::hypot(reading.row_twist_error, fit.twist_own);
    fit.edges = edges;
    fit.keep = keep;
    fit.sigma = sigma;
    for (int i = 0; i < 3; ++i) {
        fit.c[i] = c[i];
        for (int j = 0; j < 3; ++j)
            fit.cov[i][j] = cov[i][j];
    }
}

// Least squares of y = d0 + d1 u over the rows kept: the coefficients for the values
// and for u^2, and the covariance per unit variance.
struct StraightFit {
    double d[2] = {};
    double g[2] = {};  // the same fit of u^2
    double cov[2][2] = {};
    double rms = 0;
};

StraightFit fit_straight(const LineFit& fit, double curvature)
{
    StraightFit out;
    double n[2][2] = {};
    double t[2] = {};
    double q[2] = {};
    for (std::size_t k = 0; k < fit.edges.size(); ++k) {
        if (!fit.keep[k])
            continue;
        const double u = fit.edges[k].u;
        const double y = fit.edges[k].angle - curvature * u * u;
        n[0][0] += 1;
        n[0][1] += u;
        n[1][1] += u * u;
        t[0] += y;
        t[1] += u * y;
        q[0] += u * u;
        q[1] += u * u * u;
    }
    n[1][0] = n[0][1];
    const double det = n[0][0] * n[1][1] - n[0][1] * n[1][0];
    if (!(det > 0))
        return out;
    out.cov[0][0] = n[1][1] / det;
    out.cov[0][1] = out.cov[1][0] = -n[0][1] / det;
    out.cov[1][1] = n[0][0] / det;
    for (int i = 0; i < 2; ++i) {
        out.d[i] = out.cov[i][0] * t[0] + out.cov[i][1] * t[1];
        out.g[i] = out.cov[i][0] * q[0] + out.cov[i][1] * q[1];
    }
    double sum = 0;
    for (std::size_t k = 0; k < fit.edges.size(); ++k) {
        if (!fit.keep[k])
            continue;
        const double u = fit.edges[k].u;
        const double d = fit.edges[k].angle - curvature * u * u - out.d[0] - out.d[1] * u;
        sum += d * d;
    }
    out.rms = std::sqrt(sum / std::max(1.0, n[0][0] - 2));
    return out;
}

// The lines' curvatures follow one straight line in their twists (the phase error's
// second derivative is the growth mismatch, which the twist shifts linearly): fitted
// over the lines read, it replaces each line's own, poorly fixed, curvature, and
// each line is fitted again as a straight line plus that curvature.
void share_curvature(const BurnedImage& image, CaptureReading& reading)
{
    double n[2][2] = {};
    double t[2] = {};
    int count = 0;
    const int line_count = image.line_count;
    for (int k = 0; k < line_count; ++k) {
        if (!reading.lines[k].read)
            continue;
        const LineFit& fit = fits[k];
        const double var = fit.sigma * fit.sigma * fit.cov[2][2];
        if (!(var > 0))
            continue;
        const double x = reading.lines[k].twist / 1000;
        const double w = 1 / var;
        n[0][0] += w;
        n[0][1] += w * x;
        n[1][1] += w * x * x;
        t[0] += w * fit.c[2];
        t[1] += w * x * fit.c[2];
        count += 1;
    }
    if (count < 2)
        return;
    n[1][0] = n[0][1];
    double cov[2][2] = {};
    double det = n[0][0] * n[1][1] - n[0][1] * n[1][0];
    if (count < 3 || !(det > 1e-12 * n[0][0] * n[1][1])) {
        // Too few lines for a slope: one curvature for all.
        n[0][1] = n[1][0] = 0;
        n[1][1] = 1e12;
        t[1] = 0;
        det = n[0][0] * n[1][1];
    }
    cov[0][0] = n[1][1] / det;
    cov[0][1] = cov[1][0] = -n[0][1] / det;
    cov[1][1] = n[0][0] / det;
    const double alpha = cov[0][0] * t[0] + cov[0][1] * t[1];
    const double beta = cov[1][0] * t[0] + cov[1][1] * t[1];
    for (int k = 0; k < line_count; ++k) {
        LineReading& line = reading.lines[k];
        if (!line.read)
            continue;
        const LineFit& fit = fits[k];
        const double x = line.twist / 1000;
        const double curvature = alpha + beta * x;
        const double var_curvature = cov[0][0] + 2 * x * cov[0][1] + x * x * cov[1][1];
        const double own_var = fit.sigma * fit.sigma * fit.cov[2][2];
        // A line whose own curvature disagrees keeps it.
        if (std::fabs(fit.c[2] - curvature) > 4 * std::sqrt(own_var + var_curvature) + 1)
            continue;
        const StraightFit straight = fit_straight(fit, curvature);
        if (!(straight.cov[0][0] > 0))
            continue;
        const double sigma = std::max(straight.rms, 0.05) * std::sqrt(row_correlation);
        line.twist = straight.d[1] + curvature;
        line.angle = wrap_degrees(straight.d[0] - half_marker(line.twist, image.lines[k]));
        line.angle_error = std::max(angle_error_floor, std::sqrt(sigma * sigma * straight.cov[0][0] +
                                                                 straight.g[0] * straight.g[0] * var_curvature +
                                                                 fit.angle_own * fit.angle_own));
        const double twist_lever = 1 - straight.g[1];
        line.row_twist_error = std::max(angle_error_floor, std::sqrt(sigma * sigma * straight.cov[1][1] +
                                                                     twist_lever * twist_lever * var_curvature));
        line.twist_error = std::hypot(line.row_twist_error, fit.twist_own);
    }
}

// Line 0's direction mark, a 48th of a turn of the marker's shade a quarter turn
// after the marker's start: row by row, at each row's own edge (where one stood
// out), its contrast where the track running clockwise puts it, less where running
// anticlockwise would. Returns how many standard errors the mean difference lies
// from zero: positive clockwise, negative mirrored.
double direction_evidence(const cv::Mat& grey, const BurnedLine& line, const DiscMap& map, const LineTrace& trace)
{
    Band band;
    resample_band(grey, line, map, band);
    const int angles = band.profiles.cols;
    const int sign = line.dark_marker ? -1 : 1;
    const int width = static_cast<int>(std::lround(marker_turns * angles));
    auto window_mean = [&](const float* profile, double from_degrees, double span_degrees) {
        const int first = static_cast<int>(std::lround(from_degrees / 360 * angles));
        const int count = std::max(1, static_cast<int>(span_degrees / 360 * angles));
        double sum = 0;
        for (int k = 0; k < count; ++k)
            sum += profile[((first + k) % angles + angles) % angles];
        return sum / count;
    };
    double sum = 0;
    double square = 0;
    int rows = 0;
    for (int r = 0; r < band.profiles.rows && r < trace.rows; ++r) {
        if (!trace.found[r])
            continue;
        float* profile = band.profiles.ptr<float>(r);
        const double edge = trace.angle[r];
        remove_gradient(band, profile, (edge + 15) / 360 * angles, width, true);
        // Clockwise: mark at [edge + 90, edge + 97.5). Anticlockwise read as clockwise:
        // the box is the same, its leading edge 30 degrees on, the mark 97.5 back from it.
        const double forward = sign * (window_mean(profile, edge + 90.5, 6.5) - window_mean(profile, edge + 45, 30));
        const double backward =
            sign * (window_mean(profile, edge + 30 - 97, 6.5) - window_mean(profile, edge - 60, 30));
        sum += forward - backward;
        square += (forward - backward) * (forward - backward);
        rows += 1;
    }
    if (rows < 3)
        return 0;
    const double mean = sum / rows;
    const double spread = std::sqrt(std::max(0.0, square / rows - mean * mean));
    return mean / std::max(spread / std::sqrt(rows - 1.0), 1e-9 + 1e-6 * std::fabs(mean));
}

}  // namespace

bool read_lines(const cv::Mat& grey, const BurnedImage& image, DiscMap& map, CaptureReading& reading,
                CaptureTraces& traces, char* why, std::size_t why_size)
{
    reading.line_count = image.line_count;
    map.mirrored = false;
    if (image.direction_mark && image.line_count > 0) {
        // The rows of line 0 whose marker stood out show the mark, read or not.
        LineReading first;
        read_line(grey, image.lines[0], true, map, first, traces.lines[0], fits[0]);
        const double evidence = direction_evidence(grey, image.lines[0], map, traces.lines[0]);
        if (std::fabs(evidence) < direction_certainty) {
            std::snprintf(why, why_size,
                          "line 0's direction mark does not show which way the track runs, so a mirrored capture "
                          "cannot be told");
            return false;
        }
        map.mirrored = evidence < 0;
    }
    // The lines are read apart from each other: every other one on a second thread
    // when one can be had, all on this one when not.
    const DiscMap& fixed = map;
    auto read_every_other = [&](int from, int step) {
        for (int k = from; k < image.line_count; k += step)
            read_line(grey, image.lines[k], k == 0 && image.direction_mark, fixed, reading.lines[k],
                      traces.lines[k], fits[k]);
    };
    std::thread helper;
    try {
        helper = start_worker_thread([&] { read_every_other(1, 2); });
    } catch (const std::system_error&) {
    }
    read_every_other(0, helper.joinable() ? 2 : 1);
    if (helper.joinable())
        helper.join();
    share_curvature(image, reading);
    for (LineFit& fit : fits)
        fit = LineFit{};
    return true;
}
