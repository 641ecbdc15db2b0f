// Range arithmetic of the calibration dialogue.
#include "console/ranges.h"

#include <cmath>
#include <cstdint>

#include "common/units.h"

namespace {

constexpr int sweep_lines = 30;

// Stores the four range ends when they, and the sums that the average model is made
// of, are finite: the average is every stage-one image's reference and the sweep's
// ref_tr0.
bool store_ranges(CalibrationState& state, double tr0_f, double tr0_t, double dtr_t, double dtr_f)
{
    const bool usable = std::isfinite(tr0_f) && std::isfinite(tr0_t) && std::isfinite(dtr_t) &&
                        std::isfinite(dtr_f) && std::isfinite(tr0_f + tr0_t) && std::isfinite(dtr_t + dtr_f);
    if (!usable)
        return false;
    state.ranges.tr0_f = tr0_f;
    state.ranges.tr0_t = tr0_t;
    state.ranges.dtr_t = dtr_t;
    state.ranges.dtr_f = dtr_f;
    return true;
}

bool fits_int32(std::int64_t value) { return value >= INT32_MIN && value <= INT32_MAX; }

// Every growth through an anchor is worked out from the squares of the first-turn
// ends; ranges whose squares overflow could never be narrowed in stage two.
bool first_turns_square(const CalibrationState& state)
{
    const TrackRanges& r = state.ranges;
    return std::isfinite(r.tr0_f * r.tr0_f) && std::isfinite(r.tr0_t * r.tr0_t);
}

// Whether a line range of the sweep could narrow the ranges: narrowing to the whole
// window, lines 0 to 29, must give usable growth ends, and then so does every part
// of it. A stay in stage two where no line range narrows would leave only "exit".
bool window_narrows(const CalibrationState& state, const Sweep& sweep)
{
    CalibrationState narrowed = state;
    return narrow_to_lines(narrowed, sweep, 0, sweep_lines - 1);
}

// The growth ends that carry tr0_f and tr0_t through the crossing; stored with them.
bool store_through_crossing(CalibrationState& state, const CornerCrossing& crossing, double tr0_f, double tr0_t)
{
    const double dtr_t = growth_reaching(tr0_f, crossing.turn, crossing.length);
    const double dtr_f = growth_reaching(tr0_t, crossing.turn, crossing.length);
    return store_ranges(state, tr0_f, tr0_t, dtr_t, dtr_f);
}

}  // namespace

bool find_corner_crossing(const CalibrationState& state, CornerCrossing& crossing)
{
    if (state.ranges.dtr_t == state.ranges.dtr_f)
        return false;
    const double turn = crossing_turn(direct_corner(state.ranges), reverse_corner(state.ranges));
    const double length = turn_length(direct_corner(state.ranges), turn);
    if (!std::isfinite(turn) || turn == 0 || !std::isfinite(length))
        return false;
    crossing = {turn, length};
    return true;
}

bool shift_ranges(CalibrationState& state, double v, bool upward)
{
    CornerCrossing crossing{};
    if (!find_corner_crossing(state, crossing))
        return false;
    const double middle = (state.ranges.tr0_f + state.ranges.tr0_t) / 2;
    CalibrationState shifted = state;
    const bool stored =
        upward ? store_through_crossing(shifted, crossing, middle, middle + 2 * v * (state.ranges.tr0_t - middle))
               : store_through_crossing(shifted, crossing, middle - 2 * v * (middle - state.ranges.tr0_f), middle);
    if (!stored || !first_turns_square(shifted))
        return false;
    state = shifted;
    return true;
}

bool set_range_end(double& end, double v)
{
    if (!std::isfinite(v))
        return false;
    end = v;
    return true;
}

bool enter_sweep(const CalibrationState& state, int first, int last, Sweep& sweep)
{
    const std::int64_t sum = std::int64_t{first} + last + 1;
    if (!fits_int32(sum))
        return false;
    const std::int64_t anchor_turn = std::int64_t{turns_per_line} * (sum / 2);
    if (!fits_int32(anchor_turn) || anchor_turn <= 0)
        return false;
    const TrackModel corner = state.reverse ? reverse_corner(state.ranges) : direct_corner(state.ranges);
    const auto n = static_cast<double>(anchor_turn);
    const double anchor_len = turn_length(corner, n);
    const double anchor_pos = spiral_position(corner, n);
    const double step = (state.ranges.tr0_t - state.ranges.tr0_f) / sweep_lines;
    // An anchor at position 0 would make every growth through it divide by zero.
    if (!std::isfinite(anchor_len) || !std::isfinite(anchor_pos) || anchor_pos == 0 || !std::isfinite(step))
        return false;
    const Sweep entered{anchor_pos, anchor_len, step};
    if (!window_narrows(state, entered))
        return false;
    sweep = entered;
    return true;
}

bool shift_sweep(CalibrationState& state, Sweep& sweep, double f, bool upward)
{
    CornerCrossing crossing{};
    if (!find_corner_crossing(state, crossing))
        return false;
    const double step = f * sweep.step;
    if (!std::isfinite(step))
        return false;
    double tr0_f = 0;
    double tr0_t = 0;
    if (upward) {
        tr0_f = state.ranges.tr0_t - 2 * sweep.step;
        tr0_t = tr0_f + sweep_lines * step;
    } else {
        tr0_t = state.ranges.tr0_f + 2 * sweep.step;
        tr0_f = tr0_t - sweep_lines * step;
    }
    CalibrationState shifted = state;
    const Sweep moved{sweep.anchor_pos, sweep.anchor_len, step};
    if (!store_through_crossing(shifted, crossing, tr0_f, tr0_t) || !window_narrows(shifted, moved))
        return false;
    state = shifted;
    sweep = moved;
    return true;
}

bool narrow_to_lines(CalibrationState& state, const Sweep& sweep, int first, int last)
{
    const std::int64_t after_last = std::int64_t{last} + 1;
    if (!fits_int32(after_last))
        return false;
    const double tr0_t = state.ranges.tr0_f + static_cast<double>(after_last) * sweep.step;
    const double tr0_f = state.ranges.tr0_f + first * sweep.step;
    if (sweep.anchor_pos == 0)
        return false;
    const double dtr_t = growth_through(tr0_f, sweep.anchor_pos, sweep.anchor_len);
    const double dtr_f = growth_through(tr0_t, sweep.anchor_pos, sweep.anchor_len);
    if (!store_ranges(state, tr0_f, tr0_t, dtr_t, dtr_f))
        return false;
    state.reverse = !state.reverse;
    return true;
}
