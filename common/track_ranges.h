// The ranges of the track model that the calibration dialogue narrows and prints,
// and that the refinement tool starts from. A smaller first turn goes with a faster
// growth: tr0_f pairs with dtr_t. Their corners and their middle are the models the
// images are drawn with.
#pragma once

#include "common/track_model.h"

struct TrackRanges {
    double tr0_f = 0;  // lower end of the first-turn range, bytes
    double tr0_t = 0;  // upper end of the first-turn range, bytes
    double dtr_t = 0;  // growth paired with tr0_f, bytes per turn
    double dtr_f = 0;  // growth paired with tr0_t, bytes per turn
};

inline TrackModel direct_corner(const TrackRanges& r) { return {r.tr0_f, r.dtr_t}; }
inline TrackModel reverse_corner(const TrackRanges& r) { return {r.tr0_t, r.dtr_f}; }

// The middle of the ranges: the calibration's average model (every stage-one image's
// reference) and the model the first refinement image is drawn with.
inline TrackModel range_middle(const TrackRanges& r) { return {(r.tr0_f + r.tr0_t) / 2, (r.dtr_t + r.dtr_f) / 2}; }
