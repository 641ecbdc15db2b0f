// The refinement fit. Each reading says where the image's drawn model puts a line's
// wedge against the disc, up to whole turns and the protractor's zero; each twist how
// many turns the disc holds between two stream positions, with neither ambiguity.
// Gauss-Newton on (tr0, dtr) with the per-burn zeros eliminated as weighted means;
// every term weighed by its own error against the eye's, so that the cost counts
// eye-sized units throughout; Cauchy weights against gross misreads; a weak prior
// from the starting ranges so that a few lines of a first burn still give a usable
// prediction for the next.
#include "model_fit/fit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "common/units.h"
#include "image/test_pattern.h"

namespace {

constexpr double robust_scale_degrees = 30;  // Cauchy scale: a 10-degree eye keeps nearly full weight
constexpr int max_iterations = 40;

enum class Kind { angle, twist };

struct Observation {
    Kind kind = Kind::angle;
    int burn = 0;
    int line = 0;
    double reading = 0;    // as typed or scanned, degrees
    double unwrapped = 0;  // the reading plus whole turns, degrees (a twist is never wrapped)
    bool active = false;   // part of the fit so far
    bool by_eye = true;    // an eye's angle: twisted wedges are read less well
    int capture = 0;       // a twist's capture: 0 the first image's, b + 1 burn b's
    double from = 0;       // a twist's stream positions: the first marker's first byte
    double to = 0;         // and the last marker's
    double turns = 0;      // whole turns between them on the drawn model
    double precision = 1;  // (eye_error_degrees / the reading's error)^2
    double scale = robust_scale_degrees;  // Cauchy scale, degrees
    double misread = misread_degrees;     // a residual beyond this is not explained, degrees
    double twist_weight = 1;
    double robust_weight = 1;
    double psi = 0;  // predicted angle at the current model, degrees
    double gt = 0;   // its derivative by tr0, degrees per byte
    double gd = 0;   // its derivative by dtr, degrees per byte per turn
};

// The prior: the disc lies in the starting ranges, along the line through their
// corners (a longer first turn goes with a slower growth).
struct Prior {
    TrackModel middle{0, 0};
    double tr0_sigma = 1;  // bytes
    double slope = 0;      // growth per byte of first turn, along the ranges' diagonal
    double dtr_sigma = 1;  // across it, bytes per turn
};

struct Estimate {
    TrackModel model{0, 0};
    double offset[max_burns] = {};
};

struct Problem {
    const Readings* readings = nullptr;
    Prior prior;
    std::vector<Observation> obs;
};

Prior prior_from(const TrackRanges& r)
{
    Prior prior;
    prior.middle = range_middle(r);
    const double width = r.tr0_t - r.tr0_f;
    prior.tr0_sigma = width > 0 ? width / 2 : 1;
    prior.slope = width > 0 ? (r.dtr_f - r.dtr_t) / width : 0;
    const double spread = std::fabs(r.dtr_t - r.dtr_f) / 2;
    prior.dtr_sigma = spread > 1e-6 * prior.middle.dtr ? spread : 1e-6 * prior.middle.dtr + 1e-12;
    return prior;
}

TrackModel drawn_model(const Problem& problem, const Observation& o) { return problem.readings->burns[o.burn].drawn; }

// The turn number at position p on model and its derivatives by tr0 and dtr.
struct TurnAt {
    double turns, gt, gd;
};

TurnAt turn_at(TrackModel model, double p)
{
    const double turns = turn_number_at(model, p);
    const double length = model.tr0 + model.dtr * (turns - 0.5);
    return {turns, -turns / length, -turns * (turns - 1) / (2 * length)};
}

void evaluate(const Problem& problem, TrackModel model, Observation& o)
{
    if (o.kind == Kind::twist) {
        const TurnAt a = turn_at(model, o.from);
        const TurnAt b = turn_at(model, o.to);
        o.psi = 360 * (b.turns - a.turns - o.turns);
        o.gt = 360 * (b.gt - a.gt);
        o.gd = 360 * (b.gd - a.gd);
        return;
    }
    const TrackModel drawn = drawn_model(problem, o);
    const double n = reading_turn(o.line);
    const double turns = turn_number_at(model, turn_start(drawn, n));
    const double length = model.tr0 + model.dtr * (turns - 0.5);
    o.psi = 360 * (turns - n);
    o.gt = -360 * turns / length;
    o.gd = -360 * turns * (turns - 1) / (2 * length);
}

double weight(const Observation& o) { return o.twist_weight * o.robust_weight * o.precision; }

// Where an angle is read against the protractor's zero; a twist against none.
bool zeroed(const Observation& o) { return o.kind == Kind::angle; }

// The protractor zeros that fit best at the current predictions.
void fit_offsets(Problem& problem, Estimate& e)
{
    double sum[max_burns] = {};
    double total[max_burns] = {};
    for (const Observation& o : problem.obs) {
        if (!o.active || !zeroed(o))
            continue;
        sum[o.burn] += weight(o) * (o.unwrapped - o.psi);
        total[o.burn] += weight(o);
    }
    for (int b = 0; b < max_burns; ++b)
        if (total[b] > 0)
            e.offset[b] = sum[b] / total[b];
}

struct PriorTerms {
    double r1, r2;      // residuals, degrees
    double j1[2], j2[2];  // their derivatives by (tr0, dtr)
};

PriorTerms prior_terms(const Prior& prior, TrackModel model)
{
    const double s = eye_error_degrees;
    const double dt = model.tr0 - prior.middle.tr0;
    const double dd = model.dtr - prior.middle.dtr - prior.slope * dt;
    return {s * dt / prior.tr0_sigma, s * dd / prior.dtr_sigma, {s / prior.tr0_sigma, 0},
            {-s * prior.slope / prior.dtr_sigma, s / prior.dtr_sigma}};
}

double residual(const Observation& o, const Estimate& e)
{
    return o.unwrapped - o.psi - (zeroed(o) ? e.offset[o.burn] : 0);
}

// Evaluates every active observation at model, fits the zeros, returns the cost.
double cost_at(Problem& problem, TrackModel model, Estimate& e)
{
    for (Observation& o : problem.obs)
        if (o.active)
            evaluate(problem, model, o);
    e.model = model;
    fit_offsets(problem, e);
    double cost = 0;
    for (const Observation& o : problem.obs) {
        if (!o.active)
            continue;
        const double r = residual(o, e);
        cost += weight(o) * r * r;
    }
    const PriorTerms p = prior_terms(problem.prior, model);
    return cost + p.r1 * p.r1 + p.r2 * p.r2;
}

// The normal equations of one Gauss-Newton step, the zeros eliminated: each
// gradient is taken less its burn's weighted mean. e must be evaluated.
void normal_equations(const Problem& problem, const Estimate& e, double a[2][2], double g[2])
{
    double mean_t[max_burns] = {};
    double mean_d[max_burns] = {};
    double total[max_burns] = {};
    for (const Observation& o : problem.obs) {
        if (!o.active || !zeroed(o))
            continue;
        mean_t[o.burn] += weight(o) * o.gt;
        mean_d[o.burn] += weight(o) * o.gd;
        total[o.burn] += weight(o);
    }
    const PriorTerms p = prior_terms(problem.prior, e.model);
    a[0][0] = p.j1[0] * p.j1[0] + p.j2[0] * p.j2[0];
    a[0][1] = p.j1[0] * p.j1[1] + p.j2[0] * p.j2[1];
    a[1][1] = p.j1[1] * p.j1[1] + p.j2[1] * p.j2[1];
    g[0] = -(p.j1[0] * p.r1 + p.j2[0] * p.r2);
    g[1] = -(p.j1[1] * p.r1 + p.j2[1] * p.r2);
    for (const Observation& o : problem.obs) {
        if (!o.active || (zeroed(o) && total[o.burn] <= 0))
            continue;
        const double w = weight(o);
        const double ht = zeroed(o) ? o.gt - mean_t[o.burn] / total[o.burn] : o.gt;
        const double hd = zeroed(o) ? o.gd - mean_d[o.burn] / total[o.burn] : o.gd;
        const double r = residual(o, e);
        a[0][0] += w * ht * ht;
        a[0][1] += w * ht * hd;
        a[1][1] += w * hd * hd;
        g[0] += w * ht * r;
        g[1] += w * hd * r;
    }
    a[1][0] = a[0][1];
}

// Solves the 2x2 system after scaling it to a unit diagonal; false when singular.
bool solve(const double a[2][2], const double g[2], double x[2])
{
    if (!(a[0][0] > 0) || !(a[1][1] > 0))
        return false;
    const double s0 = std::sqrt(a[0][0]);
    const double s1 = std::sqrt(a[1][1]);
    const double c = a[0][1] / (s0 * s1);
    const double det = 1 - c * c;
    if (!(det > 1e-15))
        return false;
    const double h0 = g[0] / s0;
    const double h1 = g[1] / s1;
    x[0] = (h0 - c * h1) / det / s0;
    x[1] = (h1 - c * h0) / det / s1;
    return std::isfinite(x[0]) && std::isfinite(x[1]);
}

bool usable(TrackModel m) { return std::isfinite(m.tr0) && std::isfinite(m.dtr) && m.tr0 > 1 && m.dtr > -m.tr0 / 1e5; }

// Gauss-Newton with step halving from e.model at the current weights; leaves e
// evaluated at the best model found.
void gauss_newton(Problem& problem, Estimate& e)
{
    double cost = cost_at(problem, e.model, e);
    for (int iteration = 0; iteration < max_iterations; ++iteration) {
        double a[2][2];
        double g[2];
        double step[2];
        normal_equations(problem, e, a, g);
        if (!solve(a, g, step))
            return;
        const TrackModel from = e.model;
        const double cost_before = cost;
        bool accepted = false;
        for (int halving = 0; halving < 30 && !accepted; ++halving) {
            const TrackModel trial{from.tr0 + step[0], from.dtr + step[1]};
            Estimate candidate = e;
            if (usable(trial)) {
                const double trial_cost = cost_at(problem, trial, candidate);
                if (trial_cost <= cost) {
                    e = candidate;
                    cost = trial_cost;
                    accepted = true;
                }
            }
            if (!accepted) {
                step[0] /= 2;
                step[1] /= 2;
            }
        }
        if (!accepted) {
            cost_at(problem, from, e);
            return;
        }
        const bool small_step = std::fabs(step[0]) < 1e-7 && std::fabs(step[1]) < 1e-12;
        if (small_step || cost_before - cost <= 1e-13 * (1 + cost))
            return;
    }
}

double twist_weight(double twist)
{
    const double spread = 0.25 * twist / eye_error_degrees;
    return 1 / (1 + spread * spread);
}

void update_twist_weights(Problem& problem, TrackModel model)
{
    for (Observation& o : problem.obs)
        if (o.active && o.by_eye)
            o.twist_weight = twist_weight(line_twist(model, drawn_model(problem, o), o.line));
}

// Least squares first, then rounds of Cauchy weights from the residuals.
void robust_fit(Problem& problem, Estimate& e, int rounds)
{
    for (Observation& o : problem.obs)
        o.robust_weight = 1;
    update_twist_weights(problem, e.model);
    gauss_newton(problem, e);
    for (int round = 0; round < rounds; ++round) {
        update_twist_weights(problem, e.model);
        for (Observation& o : problem.obs) {
            if (!o.active)
                continue;
            const double r = residual(o, e) / o.scale;
            o.robust_weight = 1 / (1 + r * r);
        }
        gauss_newton(problem, e);
    }
}

double wrap_near(double reading, double prediction) { return reading + 360 * std::round((prediction - reading) / 360); }

// Re-wraps every active reading to the turn the fit puts it in; returns how many moved.
int rewrap(Problem& problem, const Estimate& e)
{
    int moved = 0;
    for (Observation& o : problem.obs) {
        if (!o.active || !zeroed(o))
            continue;
        const double u = wrap_near(o.reading, o.psi + e.offset[o.burn]);
        if (u != o.unwrapped) {
            o.unwrapped = u;
            ++moved;
        }
    }
    return moved;
}

// The Cauchy weights cost a good reading of two or three eye errors part of its
// weight; the last fit gives every reading the fit explains its full weight.
void fit_explained_fully(Problem& problem, Estimate& e)
{
    for (Observation& o : problem.obs) {
        if (!o.active)
            continue;
        const double r = residual(o, e);
        if (std::fabs(r) <= o.misread)
            o.robust_weight = 1;
    }
    gauss_newton(problem, e);
}

void settle(Problem& problem, Estimate& e)
{
    for (int pass = 0; pass < 6; ++pass) {
        robust_fit(problem, e, 4);
        if (rewrap(problem, e) == 0)
            break;
    }
    fit_explained_fully(problem, e);
}

struct Score {
    int explained = -1;
    double cost = 0;  // Cauchy cost of all residuals
};

Score score(const Problem& problem, const Estimate& e)
{
    Score s{0, 0};
    for (const Observation& o : problem.obs) {
        if (!o.active)
            continue;
        const double r = residual(o, e);
        s.explained += zeroed(o) && std::fabs(r) <= o.misread ? 1 : 0;
        s.cost += std::log1p((r / o.scale) * (r / o.scale));
    }
    return s;
}

bool better(Score a, Score b) { return a.explained > b.explained || (a.explained == b.explained && a.cost < b.cost); }

// Where burn b's line k is expected: from the nearest one or two lines unwrapped so
// far on the side the walk comes from, then from the fit of everything so far.
double expected_reading(Problem& problem, Estimate& e, const int* index, int b, int k, bool outward)
{
    int near1 = -1;
    int near2 = -1;
    int count = 0;
    for (int line = 0; line < max_refine_lines; ++line) {
        if (index[line] < 0 || !problem.obs[index[line]].active)
            continue;
        ++count;
        const bool nearer = near1 < 0 || (outward ? line > near1 : line < near1);
        if (nearer) {
            near2 = near1;
            near1 = line;
        } else if (near2 < 0 || (outward ? line > near2 : line < near2)) {
            near2 = line;
        }
    }
    const double u1 = problem.obs[index[near1]].unwrapped;
    if (count == 1)
        return u1;
    if (count == 2) {
        const double u2 = problem.obs[index[near2]].unwrapped;
        return u1 + (u1 - u2) * (k - near1) / (near1 - near2);
    }
    robust_fit(problem, e, 2);
    Observation& o = problem.obs[index[k]];
    evaluate(problem, e.model, o);
    return o.psi + e.offset[b];
}

// Unwraps burn b walking from line `start` outward, then inward, each reading put in
// the turn nearest to where it is expected; then settles the joint fit.
void unwrap_from(Problem& problem, Estimate& e, const int* index, int b, int start)
{
    Observation& first = problem.obs[index[start]];
    first.unwrapped = first.reading;
    first.active = true;
    for (int pass = 0; pass < 2; ++pass) {
        const bool outward = pass == 0;
        for (int k = outward ? start + 1 : start - 1; k >= 0 && k < max_refine_lines; k += outward ? 1 : -1) {
            if (index[k] < 0)
                continue;
            const double expected = expected_reading(problem, e, index, b, k, outward);
            Observation& o = problem.obs[index[k]];
            o.unwrapped = wrap_near(o.reading, expected);
            o.active = true;
        }
    }
    settle(problem, e);
}

// A scanned reading: weighed by its own error, floored; its Cauchy scale and misread
// limit are the eye's scaled alike.
void weigh_by_error(Observation& o, double error)
{
    const double sigma = std::fmax(error, scan_error_floor_degrees);
    o.by_eye = false;
    o.precision = (eye_error_degrees / sigma) * (eye_error_degrees / sigma);
    o.scale = robust_scale_degrees * sigma / eye_error_degrees;
    o.misread = misread_degrees * sigma / eye_error_degrees;
}

void add_twist(Problem& problem, double from, double to, double turns, double twist, double error)
{
    Observation o;
    o.kind = Kind::twist;
    o.reading = twist;
    o.unwrapped = twist;
    o.active = true;
    o.from = from;
    o.to = to;
    o.turns = turns;
    weigh_by_error(o, error);
    problem.obs.push_back(o);
}

// The twist of line k of burn b: across its first `turns` marked turns as drawn.
void add_line_twist(Problem& problem, int b, int k, int turns, double twist, double error)
{
    const TrackModel drawn = problem.readings->burns[b].drawn;
    const double first = reading_turn(k);
    const double last = first + turns - 1;
    add_twist(problem, turn_start(drawn, first), turn_start(drawn, last), last - first, twist, error);
    problem.obs.back().burn = b;
    problem.obs.back().line = k;
    problem.obs.back().capture = b + 1;
}

// Adds burn b to a problem that holds burns 0..b-1 settled in (problem, e): tries
// every read line as the start of the unwrapping and keeps the best.
void add_burn(Problem& problem, Estimate& e, int b)
{
    const BurnReadings& burn = problem.readings->burns[b];
    int index[max_refine_lines];
    for (int k = 0; k < max_refine_lines; ++k) {
        index[k] = -1;
        if (k < burn.line_count && burn.read[k]) {
            Observation o;
            o.burn = b;
            o.line = k;
            o.reading = burn.angle[k];
            if (burn.source == ReadBy::scan)
                weigh_by_error(o, burn.error[k]);
            index[k] = static_cast<int>(problem.obs.size());
            problem.obs.push_back(o);
        }
    }
    for (int k = 0; k < burn.line_count; ++k)
        if (burn.source == ReadBy::scan && burn.read[k] && burn.twist_read[k])
            add_line_twist(problem, b, k, burn.twist_turns[k], burn.twist[k], burn.twist_error[k]);
    const std::vector<Observation> before = problem.obs;
    const Estimate start_estimate = e;
    std::vector<Observation> best_obs = before;
    Estimate best_estimate = e;
    Score best;
    for (int start = 0; start < max_refine_lines; ++start) {
        if (index[start] < 0)
            continue;
        problem.obs = before;
        Estimate trial = start_estimate;
        unwrap_from(problem, trial, index, b, start);
        const Score s = score(problem, trial);
        if (better(s, best)) {
            best = s;
            best_obs = problem.obs;
            best_estimate = trial;
        }
    }
    problem.obs = best_obs;
    e = best_estimate;
}

// Adds the model's shift a^-1 g (bytes) to the shared covariance.
void add_shift(const double a[2][2], double det, const double g[2], double shared[2][2])
{
    const double d0 = (a[1][1] * g[0] - a[0][1] * g[1]) / det;
    const double d1 = (a[0][0] * g[1] - a[1][0] * g[0]) / det;
    shared[0][0] += d0 * d0;
    shared[0][1] += d0 * d1;
    shared[1][1] += d1 * d1;
}

// A burn's weighted mean angle gradients, by tr0 and dtr; total 0 when it has none.
struct MeanGradient {
    double t = 0;      // degrees per byte
    double d = 0;      // degrees per byte per turn
    double total = 0;  // the angles' weights
};

MeanGradient burn_mean_gradient(const Problem& problem, int burn)
{
    MeanGradient m;
    for (const Observation& o : problem.obs) {
        if (!o.active || !zeroed(o) || o.burn != burn)
            continue;
        m.t += weight(o) * o.gt;
        m.d += weight(o) * o.gd;
        m.total += weight(o);
    }
    if (m.total > 0) {
        m.t /= m.total;
        m.d /= m.total;
    }
    return m;
}

// A capture's scale error: scan_twist_scale_per_degree of its twists' median error;
// 0 when it has no twist.
double capture_scale(const Problem& problem, int capture, std::vector<double>& errors)
{
    errors.clear();
    for (const Observation& o : problem.obs)
        if (o.active && !zeroed(o) && o.capture == capture)
            errors.push_back(eye_error_degrees / std::sqrt(o.precision));
    if (errors.empty())
        return 0;
    std::nth_element(errors.begin(), errors.begin() + static_cast<std::ptrdiff_t>(errors.size() / 2), errors.end());
    return scan_twist_scale_per_degree * errors[errors.size() / 2];
}

// A scanned burn's angles off along a straight trend across its lines, each end by
// scan_angle_trend_share of its own error.
void add_angle_trend(const Problem& problem, const double a[2][2], double det, int burn, MeanGradient mean,
                     double shared[2][2])
{
    int first = max_refine_lines;
    int last = -1;
    for (const Observation& o : problem.obs) {
        if (o.active && zeroed(o) && !o.by_eye && o.burn == burn) {
            first = std::min(first, o.line);
            last = std::max(last, o.line);
        }
    }
    if (last <= first)
        return;
    double g[2] = {};
    for (const Observation& o : problem.obs) {
        if (!o.active || !zeroed(o) || o.by_eye || o.burn != burn)
            continue;
        const double along = (2.0 * o.line - first - last) / (last - first);
        const double shift = weight(o) * scan_angle_trend_share * along * eye_error_degrees / std::sqrt(o.precision);
        g[0] += shift * (o.gt - mean.t);
        g[1] += shift * (o.gd - mean.d);
    }
    add_shift(a, det, g, shared);
}

// The covariance of (tr0, dtr) that the captures' shared errors leave, bytes squared:
// for each capture, the model's shift were its twists all short by its scale error
// and its angles off the other way by a share of it, and were its angles off along a
// trend, through the fit's normal equations (a, evaluated at e; an angle's gradient
// less its burn's mean, as there).
void add_shared_errors(const Problem& problem, const double a[2][2], double shared[2][2])
{
    const double det = a[0][0] * a[1][1] - a[0][1] * a[1][0];
    if (!(det > 0))
        return;
    std::vector<double> errors;
    for (int capture = 0; capture <= max_burns; ++capture) {
        const double scale = capture_scale(problem, capture, errors);
        const int burn = capture - 1;
        const MeanGradient mean = burn_mean_gradient(problem, burn);
        double g[2] = {};
        for (const Observation& o : problem.obs) {
            if (!o.active || o.by_eye)
                continue;
            if (!zeroed(o) && o.capture == capture) {
                const double shift = -weight(o) * scale * o.reading;
                g[0] += shift * o.gt;
                g[1] += shift * o.gd;
            } else if (zeroed(o) && o.burn == burn && problem.readings->burns[burn].twist_read[o.line]) {
                const double shift = weight(o) * scan_angle_scale_share * scale * problem.readings->burns[burn].twist[o.line];
                g[0] += shift * (o.gt - mean.t);
                g[1] += shift * (o.gd - mean.d);
            }
        }
        add_shift(a, det, g, shared);
        if (mean.total > 0)
            add_angle_trend(problem, a, det, burn, mean, shared);
    }
    shared[1][0] = shared[0][1];
}

// The fit's figures for the caller, from the settled problem.
void report(Problem& problem, const Estimate& e, int burn_count, FitResult& fit)
{
    fit.model = e.model;
    double sum = 0;        // of the angles' squared residuals, degrees squared
    double scaled = 0;     // of all squared residuals in eye-sized units
    double total = 0;      // the angles' weights
    double all_total = 0;  // every term's
    for (Observation& o : problem.obs) {
        evaluate(problem, e.model, o);
        const double r = residual(o, e);
        scaled += o.twist_weight * o.precision * r * r;
        all_total += o.twist_weight;
        if (!zeroed(o)) {
            fit.twists += 1;
            continue;
        }
        fit.residual[o.burn][o.line] = r;
        fit.readings += 1;
        fit.explained += std::fabs(r) <= o.misread ? 1 : 0;
        sum += o.twist_weight * r * r;
        total += o.twist_weight;
    }
    for (int b = 0; b < burn_count; ++b)
        fit.offset[b] = e.offset[b];
    fit.rms = total > 0 ? std::sqrt(sum / total) : 0;
    fit.scaled_rms = all_total > 0 ? std::sqrt(scaled / all_total) : 0;
    const int terms = fit.readings + fit.twists;
    const int freedom = terms - 2 - burn_count;
    fit.sigma = freedom >= 3 ? std::sqrt(scaled / all_total * terms / freedom) : eye_error_degrees;
    double a[2][2];
    double g[2];
    normal_equations(problem, e, a, g);
    const double det = a[0][0] * a[1][1] - a[0][1] * a[1][0];
    if (det > 0) {
        fit.covariance[0][0] = a[1][1] / det;
        fit.covariance[1][1] = a[0][0] / det;
        fit.covariance[0][1] = fit.covariance[1][0] = -a[0][1] / det;
    }
    if (fit.twists > 0)
        add_shared_errors(problem, a, fit.shared);
}

}  // namespace

double reading_turn(int line) { return static_cast<double>(turns_per_line) * line + first_marker_turn; }

double predicted_angle(TrackModel disc, TrackModel drawn, double turn)
{
    return 360 * (turn_number_at(disc, turn_start(drawn, turn)) - turn);
}

double line_twist(TrackModel disc, TrackModel drawn, int line)
{
    const double first = reading_turn(line);
    const double last = first + (last_marker_turn - first_marker_turn);
    return predicted_angle(disc, drawn, last) - predicted_angle(disc, drawn, first);
}

FitResult fit_readings(const Readings& readings, int burn_count)
{
    Problem problem;
    problem.readings = &readings;
    problem.prior = prior_from(readings.ranges);
    Estimate e;
    e.model = burn_count > 0 ? readings.burns[0].drawn : problem.prior.middle;
    if (readings.first_twist_count > 0) {
        // The first image's twists fix a model before any burn is unwrapped against it.
        for (int i = 0; i < readings.first_twist_count; ++i) {
            const FirstTwist& t = readings.first_twists[i];
            add_twist(problem, t.from, t.to, t.marked_turns - 1, t.twist, t.error);
        }
        e.model = problem.prior.middle;
        settle(problem, e);
    }
    for (int b = 0; b < burn_count; ++b)
        add_burn(problem, e, b);
    FitResult fit;
    report(problem, e, burn_count, fit);
    return fit;
}

double expected_picture_error(const FitResult& fit, double size_limit)
{
    const TrackModel m = fit.model;
    const double last_turn = turn_number_at(m, size_limit);
    // Variances in units of the residuals' scale, and (for residuals that all vanish)
    // the shared scale errors alone, which no residual scales.
    double worst = 0;
    double worst_shared = 0;
    constexpr int samples = 64;
    for (int i = 1; i <= samples; ++i) {
        const double n = last_turn * i / samples;
        const double length = turn_length(m, n);
        const double gt = 360 * n / length;
        const double gd = 360 * n * (n - 1) / (2 * length);
        double variance = gt * gt * fit.covariance[0][0] + 2 * gt * gd * fit.covariance[0][1] +
                          gd * gd * fit.covariance[1][1];
        const double shared = gt * gt * fit.shared[0][0] + 2 * gt * gd * fit.shared[0][1] + gd * gd * fit.shared[1][1];
        if (shared > 0 && fit.sigma > 0)
            variance += shared / (fit.sigma * fit.sigma);
        worst = std::max(worst, variance);
        worst_shared = std::max(worst_shared, shared);
    }
    return fit.sigma > 0 ? fit.sigma * std::sqrt(worst) : std::sqrt(worst_shared);
}

bool residual_far_above_eye(const FitResult& fit)
{
    return fit.scaled_rms > 2 * eye_error_degrees || 10 * (fit.readings - fit.explained) > fit.readings;
}
