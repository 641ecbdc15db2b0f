// The track model from the twists alone. A line's twist on a disc m is
// 360 * (N_m(p_last) - N_m(p_first) - (marked turns - 1)), N_m = turn_number_at and
// p the stream positions of the line's first and last markers, whatever model drew
// it; Gauss-Newton fits (tr0, dtr) to the measured twists weighted by their errors.
// The model is kept only when enough distinct twists fix it and the residuals agree
// with the errors; a line or two that disagree with the rest are dropped first. The
// twists are judged by their rows' scatter alone: the lines' own errors, which the
// readings hand on, would let twists that fit no one model pass.
#include <cmath>

#include "scan/reader_parts.h"

namespace {

constexpr int min_model_lines = 3;
constexpr double chi_square_limit = 9;  // residuals up to three times the errors, on average
constexpr int max_iterations = 50;
// The calibrator's first ranges span a few hundred bytes of first turn; a model
// looser than this has learnt little from the scan.
constexpr double loose_tr0_bytes = 25;
constexpr double twist_scale_error = 0.01;  // of a twist, from the blur's estimate

double predicted_twist(TrackModel model, const BurnedLine& line)
{
    const double first = line.marker_start[0];
    const double last = line.marker_start[line.marked_turns - 1];
    return 360 * (turn_number_at(model, last) - turn_number_at(model, first) - (line.marked_turns - 1));
}

// The drawn model, near enough to start from: the turn length squared grows linearly
// with the stream position, and each line's markers stand a turn apart.
TrackModel start_model(const BurnedImage& image)
{
    const BurnedLine& first = image.lines[0];
    const BurnedLine& last = image.lines[image.line_count - 1];
    auto spacing = [](const BurnedLine& line) {
        return (line.marker_start[line.marked_turns - 1] - line.marker_start[0]) / (line.marked_turns - 1);
    };
    auto middle = [](const BurnedLine& line) {
        return 0.5 * (line.marker_start[line.marked_turns - 1] + line.marker_start[0]);
    };
    const double a1 = spacing(first);
    const double a2 = spacing(last);
    const double p1 = middle(first);
    const double p2 = middle(last);
    const double dtr = p2 > p1 ? (a2 * a2 - a1 * a1) / (2 * (p2 - p1)) : 1.388;
    const double tr0 = std::sqrt(std::max(1.0, a1 * a1 - 2 * dtr * p1));
    return {tr0, dtr > 0 ? dtr : 1.388};
}

struct Normal {
    double jtj[2][2] = {};
    double jtr[2] = {};
    double chi = 0;
    int lines = 0;
};

Normal normal_at(const BurnedImage& image, const CaptureReading& reading, TrackModel m)
{
    Normal n;
    constexpr double h_tr0 = 0.01;
    constexpr double h_dtr = 1e-6;
    for (int k = 0; k < image.line_count; ++k) {
        const LineReading& line = reading.lines[k];
        if (!line.read || image.lines[k].marked_turns < 2)
            continue;
        const double t = predicted_twist(m, image.lines[k]);
        const double g0 = (predicted_twist({m.tr0 + h_tr0, m.dtr}, image.lines[k]) - t) / h_tr0;
        const double g1 = (predicted_twist({m.tr0, m.dtr + h_dtr}, image.lines[k]) - t) / h_dtr;
        // The rows' turn indices rest on the measured blur: a share of the twist is
        // added to its error for what that leaves.
        const double scale_error = twist_scale_error * line.twist;
        const double w = 1 / (line.row_twist_error * line.row_twist_error + scale_error * scale_error);
        const double r = line.twist - t;
        n.jtj[0][0] += w * g0 * g0;
        n.jtj[0][1] += w * g0 * g1;
        n.jtj[1][1] += w * g1 * g1;
        n.jtr[0] += w * g0 * r;
        n.jtr[1] += w * g1 * r;
        n.chi += w * r * r;
        n.lines += 1;
    }
    n.jtj[1][0] = n.jtj[0][1];
    return n;
}

// Distinct twists: the read twists spread by more than a few of their errors.
bool twists_differ(const BurnedImage& image, const CaptureReading& reading)
{
    double low = 1e300;
    double high = -1e300;
    double error = 0;
    for (int k = 0; k < image.line_count; ++k) {
        if (!reading.lines[k].read)
            continue;
        low = std::min(low, reading.lines[k].twist);
        high = std::max(high, reading.lines[k].twist);
        error = std::max(error, reading.lines[k].row_twist_error);
    }
    return high - low > 5 * error + 1;
}

// Gauss-Newton from the drawn model: false when the normal equations are singular.
bool solve_model(const BurnedImage& image, const CaptureReading& reading, TrackModel& m, Normal& n)
{
    m = start_model(image);
    n = normal_at(image, reading, m);
    for (int iteration = 0; iteration < max_iterations; ++iteration) {
        const double det = n.jtj[0][0] * n.jtj[1][1] - n.jtj[0][1] * n.jtj[1][0];
        if (!(det > 0))
            return false;
        const double d0 = (n.jtj[1][1] * n.jtr[0] - n.jtj[0][1] * n.jtr[1]) / det;
        const double d1 = (-n.jtj[1][0] * n.jtr[0] + n.jtj[0][0] * n.jtr[1]) / det;
        // Halve the step until the misfit falls.
        double scale = 1;
        Normal next;
        TrackModel tried = m;
        for (int halving = 0; halving < 30; ++halving) {
            tried = {m.tr0 + scale * d0, m.dtr + scale * d1};
            next = normal_at(image, reading, tried);
            if (tried.tr0 > 1 && tried.dtr > 0 && next.chi <= n.chi)
                break;
            scale /= 2;
        }
        const bool settled = std::fabs(scale * d0) < 1e-6 && std::fabs(scale * d1) < 1e-11;
        m = tried;
        n = next;
        if (settled)
            break;
    }
    const double det = n.jtj[0][0] * n.jtj[1][1] - n.jtj[0][1] * n.jtj[1][0];
    return det > 0;
}

// The read line whose twist lies most errors from the model's, or -1.
int worst_line(const BurnedImage& image, const CaptureReading& reading, TrackModel m)
{
    int worst = -1;
    double most = 0;
    for (int k = 0; k < image.line_count; ++k) {
        const LineReading& line = reading.lines[k];
        if (!line.read)
            continue;
        const double error = std::hypot(line.row_twist_error, twist_scale_error * line.twist);
        const double off = std::fabs(line.twist - predicted_twist(m, image.lines[k])) / error;
        if (off > most) {
            most = off;
            worst = k;
        }
    }
    return worst;
}

}  // namespace

void fit_twist_model(const BurnedImage& image, CaptureReading& reading)
{
    reading.has_model = false;
    reading.model_fit = ModelFit::too_few;
    int read = 0;
    for (int k = 0; k < image.line_count; ++k)
        read += reading.lines[k].read ? 1 : 0;
    if (read < min_model_lines || !twists_differ(image, reading))
        return;
    // A line or two that no model shared with the rest explains (a wedge crossed by a
    // band of light) is dropped, unread, while most lines agree on one model.
    TrackModel m{0, 0};
    Normal n;
    int dropped = 0;
    double chi_per_line = 0;
    for (;;) {
        if (!solve_model(image, reading, m, n))
            return;
        const int freedom = n.lines - 2;
        chi_per_line = freedom > 0 ? n.chi / freedom : 0;
        if (chi_per_line <= chi_square_limit || n.lines - 1 < min_model_lines + 2 || 4 * (dropped + 1) > read)
            break;
        const int worst = worst_line(image, reading, m);
        if (worst < 0)
            break;
        reading.lines[worst] = LineReading{};
        dropped += 1;
    }
    reading.model_chi_square = chi_per_line;
    if (chi_per_line > chi_square_limit) {
        reading.model_fit = ModelFit::inconsistent;
        return;
    }
    const double det = n.jtj[0][0] * n.jtj[1][1] - n.jtj[0][1] * n.jtj[1][0];
    // The errors widened when the residuals say they were too small.
    const double widen = std::max(1.0, chi_per_line);
    reading.model = m;
    reading.covariance[0][0] = widen * n.jtj[1][1] / det;
    reading.covariance[0][1] = reading.covariance[1][0] = -widen * n.jtj[0][1] / det;
    reading.covariance[1][1] = widen * n.jtj[0][0] / det;
    if (!(std::sqrt(reading.covariance[0][0]) <= loose_tr0_bytes)) {
        reading.model_fit = ModelFit::loose;
        return;
    }
    reading.model_fit = ModelFit::fixed;
    reading.has_model = true;
}
