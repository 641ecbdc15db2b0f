// Properties of the calibration arithmetic on random states: next and prev keep the
// corner crossing in both stages, a stage-two line range puts both new corners
// through the anchor, accepted calls leave every range end finite, and refused calls
// leave everything as it was. Seeded; RINGETCH_PROPERTY_SEED overrides the seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "console/ranges.h"

namespace {

std::uint64_t property_seed()
{
    const char* text = std::getenv("RINGETCH_PROPERTY_SEED");
    return text != nullptr ? std::strtoull(text, nullptr, 10) : 20261208;
}

// |a - b| within 1e-9 of the largest magnitude involved.
::testing::AssertionResult near_enough(double a, double b, double scale = 0)
{
    const double bound = 1e-9 * std::max({std::fabs(a), std::fabs(b), std::fabs(scale)});
    if (std::fabs(a - b) <= bound)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " and " << b << " differ by " << std::fabs(a - b);
}

struct Draw {
    std::mt19937_64 engine;
    double real(double low, double high) { return std::uniform_real_distribution<double>(low, high)(engine); }
    int integer(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine); }
    bool coin() { return integer(0, 1) == 1; }
    // What the console can hand on: a single-precision value above the guard.
    double console_value(double high) { return static_cast<float>(real(0.1001, high)); }
};

// A state as the dialogue sees it: a real crossing, either order of the ends.
CalibrationState random_state(Draw& draw)
{
    CalibrationState state;
    state.ranges.tr0_f = draw.real(100, 30000);
    state.ranges.tr0_t = state.ranges.tr0_f + (draw.coin() ? 1 : -1) * draw.real(1, 3000);
    state.ranges.dtr_t = draw.real(0.2, 3);
    do
        state.ranges.dtr_f = draw.real(0.2, 3);
    while (std::fabs(state.ranges.dtr_f - state.ranges.dtr_t) < 1e-3);
    state.reverse = draw.coin();
    return state;
}

bool same_state(const CalibrationState& a, const CalibrationState& b)
{
    return std::memcmp(&a.ranges, &b.ranges, sizeof a.ranges) == 0 && a.reverse == b.reverse;
}

bool same_sweep(const Sweep& a, const Sweep& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool all_finite(const CalibrationState& s)
{
    const TrackRanges& r = s.ranges;
    return std::isfinite(r.tr0_f) && std::isfinite(r.tr0_t) && std::isfinite(r.dtr_t) && std::isfinite(r.dtr_f) &&
           std::isfinite(r.tr0_f + r.tr0_t) && std::isfinite(r.dtr_t + r.dtr_f);
}

// Both corners of state have the turn length crossing.length at crossing.turn.
void expect_corners_through(const CalibrationState& state, const CornerCrossing& crossing)
{
    const double direct = state.ranges.tr0_f + state.ranges.dtr_t * crossing.turn;
    const double reverse = state.ranges.tr0_t + state.ranges.dtr_f * crossing.turn;
    EXPECT_TRUE(near_enough(direct, crossing.length, state.ranges.dtr_t * crossing.turn));
    EXPECT_TRUE(near_enough(reverse, crossing.length, state.ranges.dtr_f * crossing.turn));
}

constexpr int property_rounds = 5000;

}  // namespace

TEST(RangesProperty, StageOneNextAndPrevKeepTheCornerCrossingAndScaleTheWidth)
{
    const std::uint64_t seed = property_seed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Draw draw{std::mt19937_64(seed)};
    for (int round = 0; round < property_rounds; ++round) {
        CalibrationState state = random_state(draw);
        const CalibrationState before = state;
        CornerCrossing crossing{};
        ASSERT_TRUE(find_corner_crossing(state, crossing));
        const double v = draw.console_value(4);
        const bool upward = draw.coin();
        SCOPED_TRACE("round " + std::to_string(round) + (upward ? " next " : " prev ") + std::to_string(v));
        ASSERT_TRUE(shift_ranges(state, v, upward));
        EXPECT_TRUE(all_finite(state));
        expect_corners_through(state, crossing);
        const double middle = (before.ranges.tr0_f + before.ranges.tr0_t) / 2;
        EXPECT_EQ(upward ? state.ranges.tr0_f : state.ranges.tr0_t, middle);
        const double width = before.ranges.tr0_t - before.ranges.tr0_f;
        EXPECT_TRUE(near_enough(state.ranges.tr0_t - state.ranges.tr0_f, v * width));
        EXPECT_EQ(state.reverse, before.reverse);
    }
}

TEST(RangesProperty, StageTwoNextAndPrevKeepTheCrossingTheAnchorAndThirtyStepsAcross)
{
    const std::uint64_t seed = property_seed() + 1;
    SCOPED_TRACE("seed " + std::to_string(seed));
    Draw draw{std::mt19937_64(seed)};
    for (int round = 0; round < property_rounds; ++round) {
        CalibrationState state = random_state(draw);
        Sweep sweep;
        ASSERT_TRUE(enter_sweep(state, draw.integer(1, 30), draw.integer(1, 30), sweep));
        for (int move = 0; move < 3; ++move) {
            CornerCrossing crossing{};
            ASSERT_TRUE(find_corner_crossing(state, crossing));
            const Sweep before = sweep;
            const double f = draw.console_value(3);
            const bool upward = draw.coin();
            SCOPED_TRACE("round " + std::to_string(round) + (upward ? " next " : " prev ") + std::to_string(f));
            ASSERT_TRUE(shift_sweep(state, sweep, f, upward));
            EXPECT_TRUE(all_finite(state));
            expect_corners_through(state, crossing);
            EXPECT_TRUE(near_enough(state.ranges.tr0_t - state.ranges.tr0_f, 30 * sweep.step, state.ranges.tr0_t));
            EXPECT_TRUE(near_enough(sweep.step, f * before.step));
            EXPECT_EQ(sweep.anchor_pos, before.anchor_pos);
            EXPECT_EQ(sweep.anchor_len, before.anchor_len);
        }
    }
}

TEST(RangesProperty, StageTwoLineRangePutsBothNewCornersThroughTheAnchor)
{
    const std::uint64_t seed = property_seed() + 2;
    SCOPED_TRACE("seed " + std::to_string(seed));
    Draw draw{std::mt19937_64(seed)};
    for (int round = 0; round < property_rounds; ++round) {
        CalibrationState state = random_state(draw);
        const int first_one = draw.integer(-3, 40);
        const int last_one = draw.integer(-3, 40);
        SCOPED_TRACE("round " + std::to_string(round) + " lines " + std::to_string(first_one) + "-" +
                     std::to_string(last_one));
        Sweep sweep;
        const bool has_anchor = (first_one + last_one + 1) / 2 > 0;
        ASSERT_EQ(enter_sweep(state, first_one, last_one, sweep), has_anchor);
        if (!has_anchor)
            continue;
        const TrackModel corner = state.reverse ? reverse_corner(state.ranges) : direct_corner(state.ranges);
        const double len_squared = sweep.anchor_len * sweep.anchor_len;
        EXPECT_TRUE(near_enough(len_squared, corner.tr0 * corner.tr0 + 2 * corner.dtr * sweep.anchor_pos));
        EXPECT_TRUE(near_enough(30 * sweep.step, state.ranges.tr0_t - state.ranges.tr0_f));

        const CalibrationState before = state;
        const int first = draw.integer(-5, 35);
        const int last = draw.integer(-5, 35);
        ASSERT_TRUE(narrow_to_lines(state, sweep, first, last));
        EXPECT_TRUE(all_finite(state));
        const TrackRanges& r = state.ranges;
        const double start = before.ranges.tr0_f;
        EXPECT_TRUE(near_enough(r.tr0_f, start + first * sweep.step, start));
        EXPECT_TRUE(near_enough(r.tr0_t, start + (last + 1) * sweep.step, start));
        EXPECT_TRUE(near_enough(r.tr0_f * r.tr0_f + 2 * r.dtr_t * sweep.anchor_pos, len_squared));
        EXPECT_TRUE(near_enough(r.tr0_t * r.tr0_t + 2 * r.dtr_f * sweep.anchor_pos, len_squared));
        EXPECT_NE(state.reverse, before.reverse);
    }
}

// Random walks through every call with values from ordinary to absurd: whatever is
// accepted leaves finite ends (and a finite average model); whatever is refused
// leaves the state and the sweep bit for bit as they were.
TEST(RangesProperty, AcceptedCallsLeaveFiniteEndsAndRefusedCallsChangeNothing)
{
    const std::uint64_t seed = property_seed() + 3;
    SCOPED_TRACE("seed " + std::to_string(seed));
    Draw draw{std::mt19937_64(seed)};
    const int huge_lines[] = {0, 1, -1, 2147483647, -2147483647 - 1, 1073741823, 3436, 3437, -3437};
    int refused = 0;
    int accepted = 0;
    for (int walk = 0; walk < 1000; ++walk) {
        CalibrationState state = random_state(draw);
        Sweep sweep;
        ASSERT_TRUE(enter_sweep(state, 12, 14, sweep));
        for (int step = 0; step < 40; ++step) {
            const double v = draw.coin() ? draw.console_value(3) : static_cast<float>(std::pow(10.0, draw.real(-0.9, 38.5)));
            const int first = draw.coin() ? draw.integer(-40, 40) : huge_lines[draw.integer(0, 8)];
            const int last = draw.coin() ? draw.integer(-40, 40) : huge_lines[draw.integer(0, 8)];
            const int call = draw.integer(0, 7);
            SCOPED_TRACE("walk " + std::to_string(walk) + " step " + std::to_string(step) + " call " +
                         std::to_string(call) + " v " + std::to_string(v) + " lines " + std::to_string(first) + "-" +
                         std::to_string(last));
            const CalibrationState before = state;
            const Sweep sweep_before = sweep;
            Sweep entered = sweep;
            bool ok = false;
            switch (call) {
            case 0: ok = shift_ranges(state, v, true); break;
            case 1: ok = shift_ranges(state, v, false); break;
            case 2: ok = set_range_end(draw.coin() ? state.ranges.tr0_f : state.ranges.tr0_t, v); break;
            case 3: ok = set_range_end(draw.coin() ? state.ranges.dtr_t : state.ranges.dtr_f, v); break;
            case 4: ok = shift_sweep(state, sweep, v, true); break;
            case 5: ok = shift_sweep(state, sweep, v, false); break;
            case 6: ok = narrow_to_lines(state, sweep, first, last); break;
            default:
                ok = enter_sweep(state, first, last, entered);
                if (ok) {
                    EXPECT_TRUE(std::isfinite(entered.anchor_pos) && std::isfinite(entered.anchor_len) &&
                                std::isfinite(entered.step));
                    EXPECT_NE(entered.anchor_pos, 0);
                    sweep = entered;
                } else {
                    EXPECT_TRUE(same_sweep(entered, sweep_before));
                }
                break;
            }
            if (ok) {
                ++accepted;
                const TrackRanges& r = state.ranges;
                EXPECT_TRUE(all_finite(state)) << r.tr0_f << " " << r.tr0_t << " " << r.dtr_t << " " << r.dtr_f;
                EXPECT_TRUE(std::isfinite(sweep.step));
            } else {
                ++refused;
                EXPECT_TRUE(same_state(state, before));
                EXPECT_TRUE(same_sweep(sweep, sweep_before));
            }
        }
    }
    // Both outcomes must have been exercised for the walk to mean anything.
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(refused, 1000);
}

TEST(RangesProperty, NextAndPrevWithoutACornerCrossingAreRefused)
{
    CalibrationState equal_growth;
    equal_growth.ranges.dtr_f = equal_growth.ranges.dtr_t;
    CalibrationState equal_first_turns;
    equal_first_turns.ranges.tr0_t = equal_first_turns.ranges.tr0_f;
    for (const CalibrationState& start : {equal_growth, equal_first_turns}) {
        CalibrationState state = start;
        Sweep sweep{230343750, 34200, 35};
        const Sweep sweep_before = sweep;
        EXPECT_FALSE(shift_ranges(state, 1, true));
        EXPECT_FALSE(shift_ranges(state, 1, false));
        EXPECT_FALSE(shift_sweep(state, sweep, 1, true));
        EXPECT_FALSE(shift_sweep(state, sweep, 1, false));
        EXPECT_TRUE(same_state(state, start));
        EXPECT_TRUE(same_sweep(sweep, sweep_before));
    }
}

// A corner whose continuous position at the anchor turn is 0 (tr0 = -dtr * N / 2)
// would put the anchor at the start of the track: every sweep line's growth and the
// stage-two range would divide by 2 * anchor_pos = 0. Such a line range is refused.
TEST(RangesProperty, LineRangeWithTheAnchorAtPositionZeroIsRefused)
{
    CalibrationState state;
    state.ranges.tr0_f = 625;
    state.ranges.dtr_t = -2;  // the turn-625 anchor: 625 * (625 - 2 * 625 / 2) = 0
    Sweep sweep{1, 2, 3};
    EXPECT_FALSE(enter_sweep(state, 1, 1, sweep));
    EXPECT_TRUE(same_sweep(sweep, Sweep{1, 2, 3}));
    EXPECT_TRUE(enter_sweep(state, 2, 2, sweep));  // turn 1250 is a usable anchor
    CalibrationState at_start = state;
    const Sweep at_zero{0, 625, 35};
    EXPECT_FALSE(narrow_to_lines(at_start, at_zero, 9, 10));
    EXPECT_TRUE(same_state(at_start, state));
}
