// The calibration arithmetic of both dialogue stages, kept apart from the reading
// and printing. Every function computes the new values in double precision and
// stores them only when they are usable: it returns false, leaving everything as it
// was, when a result would be infinite or not a number, when there is no corner
// crossing to keep, when line numbers leave the 32-bit range, or when the result
// could not be anchored and narrowed later (stage two would have no way out but
// "exit").
#pragma once

#include "common/calibration_state.h"

// The anchor and sweep step of one stay in stage two.
struct Sweep {
    double anchor_pos = 0;  // byte position of the anchor on the disc
    double anchor_len = 0;  // turn length at the anchor, bytes
    double step = 0;        // first-turn step between adjacent lines of a sweep image
};

// The turn s at which the two corner models have the same length L.
struct CornerCrossing {
    double turn;
    double length;
};

// False when the corners do not cross at a finite, non-zero turn.
bool find_corner_crossing(const CalibrationState& state, CornerCrossing& crossing);

// Stage one's next v (upward) and prev v: the new first-turn range is v times as
// wide, starting or ending at the old midpoint; both corners keep the crossing.
// Refused when the squares of the new first-turn ends overflow.
bool shift_ranges(CalibrationState& state, double v, bool upward);

// One of stage one's four setters.
bool set_range_end(double& end, double v);

// Anchor and step from a stage-one line range; refused when the anchor turn
// 625 * ((first + last + 1) / 2) would not be a positive 32-bit number, when the
// corner would put the anchor at position 0, or when the sweep's lines could not
// narrow the ranges through that anchor.
bool enter_sweep(const CalibrationState& state, int first, int last, Sweep& sweep);

// Stage two's next f (upward) and prev f: the sweep window moves by 28 lines and its
// step is scaled by f; the growth ends keep the corner crossing. Refused when the
// moved window's lines could not narrow the ranges through the anchor.
bool shift_sweep(CalibrationState& state, Sweep& sweep, double f, bool upward);

// Stage two's line range: tr0 narrows to lines first..last of the sweep image, the
// growth ends carry the new tr0 ends through the anchor, and the corner flips.
bool narrow_to_lines(CalibrationState& state, const Sweep& sweep, int first, int last);
