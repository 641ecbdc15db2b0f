// The refinement fit: the model (tr0, dtr) and one protractor zero per burn that
// explain the wedge angles read on every refinement image so far. The readings are
// whole-turn ambiguous; they are unwrapped burn by burn, in line order from several
// starting lines, and the unwrapping that explains most readings is kept.
#pragma once

#include "model_fit/readings.h"

constexpr double eye_error_degrees = 10;  // how well a person reads an angle
constexpr double misread_degrees = 45;    // a residual beyond this asks for the line again
constexpr double scan_error_floor_degrees = 0.05;  // a scan's reading is weighed as no better than this
// A capture's twists share one scale error, and its angles a part of it the other
// way (the rows' turn indices rest on the capture's measured blur); no residual shows
// it. Its size: this share of each twist per degree of the capture's typical twist
// error, which grows with the blur alike; measured on the simulated scanner.
constexpr double scan_twist_scale_per_degree = 0.015;
constexpr double scan_angle_scale_share = 0.7;
// A capture's angle errors run smoothly across its lines (the blur's bias changes
// slowly with the radius): a trend across them, at either end this share of the
// line's own error, that the residuals do not show either.
constexpr double scan_angle_trend_share = 0.5;

// The turn at which a line's wedge is read: its first marked turn, the inner end of
// the wedge.
double reading_turn(int line);

// The angle, in degrees and not wrapped, at which the marker opening turn n of an
// image drawn with `drawn` stands on a disc that follows `disc`, less n whole turns:
// the drawn model's accumulated phase error there. Zero when the two agree.
double predicted_angle(TrackModel disc, TrackModel drawn, double turn);

// How far a line's wedge turns from its first marker to its last on that disc,
// degrees, signed.
double line_twist(TrackModel disc, TrackModel drawn, int line);

struct FitResult {
    TrackModel model{0, 0};                           // the fitted model
    double offset[max_burns] = {};                    // each burn's protractor zero, degrees
    double residual[max_burns][max_refine_lines] = {};  // reading less fit, degrees, where read
    int readings = 0;                                 // angles fitted
    int twists = 0;                                   // twists fitted (scanned lines)
    int explained = 0;                                // of the angles, within their misread limit of the fit
    double rms = 0;                                   // the angles' residual rms, degrees (twisted wedges count less)
    double scaled_rms = 0;                            // every residual's rms in eye-sized units: each over its
                                                      // own error, times eye_error_degrees
    double sigma = 0;                                 // the eye-sized reading error the residuals show, degrees
    double covariance[2][2] = {};                     // of (tr0, dtr) per eye-sized degree squared
    double shared[2][2] = {};                         // of (tr0, dtr) from the captures' shared scale
                                                      // errors, bytes squared (no eye-sized unit)
};

// Fits the first image's twists and burns 0..burn_count-1 of readings (each with at
// least 4 lines read), the earlier burns unwrapped before the later ones. An eye's
// angle weighs as eye_error_degrees, a scan's angle or twist as its own error
// (floored at scan_error_floor_degrees); the misread limit and the Cauchy scale of a
// scanned term shrink with its error alike. Deterministic.
FitResult fit_readings(const Readings& readings, int burn_count);

// Whether the residuals are far above what the readings' errors leave (the scaled rms
// over twice the eye's error, or more than a tenth of the angles beyond their misread
// limit): angles read against the track's direction, lines mixed up, a scan's errors
// claimed too small, or a disc unlike the model.
bool residual_far_above_eye(const FitResult& fit);

// The picture error the fit's uncertainty leaves, degrees: one standard deviation
// of the worst misplacement over the turns of an image of size_limit bytes drawn
// with the fitted model, against its centre.
double expected_picture_error(const FitResult& fit, double size_limit);
