// The picture's model from the readings. One more burn is foreseen by fitting the
// readings together with a burn drawn with the fitted model in which every line the
// last burn read is read exactly where the fit puts it, by eye or by scan as the last
// was: what that burn adds is its geometry, and the reading error is taken from the
// residuals already seen.
#include "model_fit/picture_model.h"

#include <cmath>
#include <cstdlib>
#include <memory>

#include "model_fit/fit.h"

TrackModel printed_model(TrackModel model)
{
    char tr0[64];
    char dtr[64];
    std::snprintf(tr0, sizeof tr0, "%.6f", model.tr0);
    std::snprintf(dtr, sizeof dtr, "%.9f", model.dtr);
    return {std::strtod(tr0, nullptr), std::strtod(dtr, nullptr)};
}

namespace {

// The expected error after a burn drawn with fit's model, reading the lines that
// the last burn read; the same as now when the session holds no more burns.
double error_after_next_burn(const Readings& readings, const FitResult& fit, double size_limit)
{
    const int b = readings.burn_count;
    if (b >= max_burns)
        return expected_picture_error(fit, size_limit);
    const auto more = std::make_unique<Readings>(readings);
    BurnReadings& next = more->burns[b];
    const BurnReadings& last = readings.burns[b - 1];
    next = last;  // read as the last was: by eye, or by scan with its errors
    next.drawn = printed_model(fit.model);
    for (int k = 0; k < next.line_count; ++k) {
        const double angle = std::fmod(predicted_angle(fit.model, next.drawn, reading_turn(k)), 360.0);
        next.angle[k] = angle < 0 ? angle + 360 : angle;
        next.twist[k] = predicted_angle(fit.model, next.drawn, reading_turn(k) + next.twist_turns[k] - 1) -
                        predicted_angle(fit.model, next.drawn, reading_turn(k));
    }
    more->burn_count = b + 1;
    FitResult after = fit_readings(*more, b + 1);
    after.sigma = fit.sigma;  // exact readings show no scatter; the eye's stays
    return expected_picture_error(after, size_limit);
}

}  // namespace

PictureModel picture_model(const Readings& readings, double size_limit)
{
    const FitResult fit = fit_readings(readings, readings.burn_count);
    PictureModel m;
    m.model = printed_model(fit.model);
    m.burns = readings.burn_count;
    m.readings = fit.readings;
    m.rms = fit.rms;
    m.far_off = residual_far_above_eye(fit);
    m.error = expected_picture_error(fit, size_limit);
    const bool warned = m.far_off || m.error > picture_error_limit_degrees;
    m.error_after_next = warned ? error_after_next_burn(readings, fit, size_limit) : m.error;
    return m;
}

void print_picture_model(const PictureModel& m, std::FILE* out)
{
    std::fprintf(out, "model tr0 %.6f dtr %.9f, expected picture error %.1f degrees at the rim", m.model.tr0,
                 m.model.dtr, m.error);
    if (m.far_off)
        std::fprintf(out, ": not for a picture, the residual rms %.1f degrees is far above an eye's error", m.rms);
    else if (m.error > picture_error_limit_degrees)
        std::fprintf(out, ": too large for a picture (over %.0f degrees)", picture_error_limit_degrees);
    if (m.far_off || m.error > picture_error_limit_degrees)
        std::fprintf(out, "; one more refinement burn is expected to bring it to about %.1f degrees", m.error_after_next);
    std::fputs("\n", out);
}
