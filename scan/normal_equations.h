// Linear least squares by its normal equations: each observation's row of basis
// values and its target added in, then solved. The reader's fits (a plane of light,
// the rings, a wave round a band, a parabola of edge angles, the perspective's steps)
// all gather their sums this way.
#pragma once

#include <opencv2/core.hpp>

template <int N>
struct NormalEquations {
    double normal[N][N] = {};  // sum of row row^T
    double right[N] = {};      // sum of row * target
    int count = 0;             // observations added

    void add(const double (&row)[N], double target)
    {
        for (int i = 0; i < N; ++i) {
            right[i] += row[i] * target;
            for (int j = 0; j < N; ++j)
                normal[i][j] += row[i] * row[j];
        }
        count += 1;
    }

    // The least-squares solution, by Cholesky; false when the sums are not positive definite.
    bool solve(double (&solution)[N])
    {
        const cv::Mat a(N, N, CV_64F, &normal[0][0]);
        const cv::Mat b(N, 1, CV_64F, right);
        cv::Mat x;
        if (!cv::solve(a, b, x, cv::DECOMP_CHOLESKY))
            return false;
        for (int i = 0; i < N; ++i)
            solution[i] = x.at<double>(i);
        return true;
    }
};
