// The perspective fit: the disc map refined from an affine start to a plane
// homography, by Levenberg-Marquardt on the boundary points' distances from their
// rings. It works on the homography's inverse (capture to face), in which each
// point's distance and its derivatives are plain.
#include <cmath>
#include <limits>
#include <vector>

#include <opencv2/core.hpp>

#include "scan/normal_equations.h"
#include "scan/reader_parts.h"

namespace {

constexpr int perspective_terms = 8;  // the homography's centre, shape and perspective, and a, b

// The homography's inverse as the perspective fit moves it: a capture point v from
// the centre lands on the face at K v / (1 + h . v), K symmetric with its trace held
// (the scale that a and b share).
struct InverseMap {
    double p[perspective_terms] = {};  // cx, cy, (K00 - K11) / 2, K01, h0, h1, a, b
    double trace = 0;
};

InverseMap inverse_of(const DiscMap& map)
{
    const double det = map.s[0][0] * map.s[1][1] - map.s[0][1] * map.s[1][0];
    const double k00 = map.s[1][1] / det;
    const double k11 = map.s[0][0] / det;
    const double k01 = -map.s[0][1] / det;
    // h = -s^-1 g, the inverse's perspective.
    const double h0 = -(k00 * map.g[0] + k01 * map.g[1]);
    const double h1 = -(k01 * map.g[0] + k11 * map.g[1]);
    return {{map.cx, map.cy, 0.5 * (k00 - k11), k01, h0, h1, map.a, map.b}, k00 + k11};
}

void set_from_inverse(const InverseMap& inverse, DiscMap& map)
{
    const double* p = inverse.p;
    const double k00 = 0.5 * inverse.trace + p[2];
    const double k11 = 0.5 * inverse.trace - p[2];
    const double det = k00 * k11 - p[3] * p[3];
    map.cx = p[0];
    map.cy = p[1];
    map.s[0][0] = k11 / det;
    map.s[1][1] = k00 / det;
    map.s[0][1] = map.s[1][0] = -p[3] / det;
    map.g[0] = -(map.s[0][0] * p[4] + map.s[0][1] * p[5]);
    map.g[1] = -(map.s[1][0] * p[4] + map.s[1][1] * p[5]);
    map.a = p[6];
    map.b = p[7];
}

// The points' squared distances from their rings through the inverse, summed, and
// when asked the normal equations of their derivatives (J^T J, J^T r). Infinite
// when a point lies beyond the horizon or the inverse is no longer an ellipse's.
double perspective_cost(const std::vector<EdgePoint>& points, const InverseMap& inverse,
                        NormalEquations<perspective_terms>* sums)
{
    const double* p = inverse.p;
    const double k00 = 0.5 * inverse.trace + p[2];
    const double k11 = 0.5 * inverse.trace - p[2];
    const double k01 = p[3];
    if (!(k00 * k11 - k01 * k01 > 0))
        return std::numeric_limits<double>::infinity();
    double cost = 0;
    for (const EdgePoint& pt : points) {
        const double vx = pt.x - p[0];
        const double vy = pt.y - p[1];
        const double nx = k00 * vx + k01 * vy;
        const double ny = k01 * vx + k11 * vy;
        const double q = 1 + p[4] * vx + p[5] * vy;
        const double length = std::hypot(nx, ny);
        const double rho2 = p[6] + p[7] * pt.position;
        if (!(q > 0) || !(length > 0))
            return std::numeric_limits<double>::infinity();
        const double radius = length / q;
        // A ring inside the centre (a poor start) counts as at it.
        const double rho = std::sqrt(std::max(rho2, 1e-6));
        const double grows = rho2 > 1e-6 ? 1 : 0;
        const double r = radius - rho;
        cost += r * r;
        if (sums == nullptr)
            continue;
        const double lq = length * q;
        const double row[perspective_terms] = {-((k00 * nx + k01 * ny) / length - radius * p[4]) / q,
                                               -((k01 * nx + k11 * ny) / length - radius * p[5]) / q,
                                               (nx * vx - ny * vy) / lq,
                                               (nx * vy + ny * vx) / lq,
                                               -radius * vx / q,
                                               -radius * vy / q,
                                               -0.5 * grows / rho,
                                               -0.5 * grows * pt.position / rho};
        sums->add(row, r);
    }
    return cost;
}

// One damped Gauss-Newton step from the inverse, each term scaled by its own
// curvature so that pixels and perspective per pixel weigh alike. False when the
// system cannot be solved.
bool damped_step(const std::vector<EdgePoint>& points, const InverseMap& inverse, double damping, InverseMap& trial)
{
    NormalEquations<perspective_terms> sums;
    perspective_cost(points, inverse, &sums);
    const auto& normal = sums.normal;
    const double* gradient = sums.right;
    double scale[perspective_terms];
    cv::Mat system(perspective_terms, perspective_terms, CV_64F);
    cv::Mat right(perspective_terms, 1, CV_64F);
    for (int i = 0; i < perspective_terms; ++i)
        scale[i] = normal[i][i] > 0 ? 1 / std::sqrt(normal[i][i]) : 0;
    for (int i = 0; i < perspective_terms; ++i) {
        right.at<double>(i) = -gradient[i] * scale[i];
        for (int j = 0; j < perspective_terms; ++j)
            system.at<double>(i, j) = normal[i][j] * scale[i] * scale[j];
        system.at<double>(i, i) += damping;
    }
    cv::Mat change;
    if (!cv::solve(system, right, change, cv::DECOMP_CHOLESKY))
        return false;
    trial = inverse;
    for (int i = 0; i < perspective_terms; ++i)
        trial.p[i] += change.at<double>(i) * scale[i];
    return true;
}

}  // namespace

// Refines the map as a homography from where it stands (the affine fit) by
// Levenberg-Marquardt on the points' distances from their rings. False when no step
// could be taken.
bool refine_perspective(const std::vector<EdgePoint>& points, DiscMap& map)
{
    InverseMap inverse = inverse_of(map);
    double cost = perspective_cost(points, inverse, nullptr);
    constexpr std::size_t least = 2 * static_cast<std::size_t>(perspective_terms);
    if (!std::isfinite(cost) || points.size() < least)
        return false;
    double damping = 1e-3;
    bool moved = false;
    for (int step = 0; step < 40 && damping < 1e8; ++step) {
        InverseMap trial;
        const double trial_cost =
            damped_step(points, inverse, damping, trial) ? perspective_cost(points, trial, nullptr) : cost;
        if (!(trial_cost < cost)) {
            damping *= 10;
            continue;
        }
        const bool settled = cost - trial_cost < 1e-9 * cost;
        inverse = trial;
        cost = trial_cost;
        moved = true;
        damping = std::max(1e-7, damping / 10);
        if (settled)
            break;
    }
    if (moved)
        set_from_inverse(inverse, map);
    return moved;
}
