// The track geometry model and the calibration ranges that the dialogue narrows.
// A smaller first turn goes with a faster growth: tr0_f pairs with dtr_t.
#pragma once

#include <cstdint>

#include "common/track_model.h"

struct CalibrationState {
    double tr0_f = 22500;  // lower end of the first-turn range, bytes
    double tr0_t = 23550;  // upper end of the first-turn range, bytes
    double dtr_t = 1.44;   // growth paired with tr0_f, bytes per turn
    double dtr_f = 1.32;   // growth paired with tr0_t, bytes per turn
    std::int32_t size = 736985088;     // image size limit, bytes (313344 sectors)
    const char* image_path = "image.rge";  // the argument text itself, not a copy
    bool auto_mode = true;  // write the corner or sweep image after every range change
    bool reverse = false;   // stage one shows the REVERSE corner instead of the DIRECT one
};

inline TrackModel direct_corner(const CalibrationState& s) { return {s.tr0_f, s.dtr_t}; }
inline TrackModel reverse_corner(const CalibrationState& s) { return {s.tr0_t, s.dtr_f}; }
inline TrackModel average_model(const CalibrationState& s)
{
    return {(s.tr0_f + s.tr0_t) / 2, (s.dtr_t + s.dtr_f) / 2};
}
