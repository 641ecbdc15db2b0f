// The guards against a confident wrong answer. A scan of a blurred disc loses its
// twisted wedges first, and what is left (a band of light fixed to the scanner) can
// look like straight wedges standing at one angle on many lines; a fit would explain
// them with the drawn model itself. So: readings at one common angle on a first image
// are refused unless a second capture, the disc turned on the glass, shows them
// turning with the disc; a loose or inconsistent model is refused.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/disc_geometry.h"
#include "scan/reader_parts.h"

namespace {

constexpr double common_angle_window = 3;  // degrees either way
constexpr int common_angle_lines = 2;  // a band that spoils most rows may leave only two lines read
constexpr double straight_twist = 10;      // degrees
constexpr double least_turn = 10;          // degrees the second capture must be turned by

// Refuses the reading with the reason, a printf format and its values.
template <typename... Values>
void refuse(CaptureReading& reading, const char* format, Values... values)
{
    reading.refused = true;
    std::snprintf(reading.why, sizeof reading.why, format, values...);
}

// The most read lines whose straight wedges stand within the window of one of them.
int common_angle_count(const CaptureReading& reading, double& angle)
{
    int best = 0;
    for (int k = 0; k < reading.line_count; ++k) {
        const LineReading& a = reading.lines[k];
        if (!a.read || std::fabs(a.twist) > straight_twist)
            continue;
        int count = 0;
        for (int m = 0; m < reading.line_count; ++m) {
            const LineReading& b = reading.lines[m];
            if (b.read && std::fabs(b.twist) <= straight_twist &&
                std::fabs(angle_step(a.angle, b.angle)) <= common_angle_window)
                count += 1;
        }
        if (count > best) {
            best = count;
            angle = a.angle;
        }
    }
    return best;
}

}  // namespace

void guard_reading(const BurnedImage& image, const char* capture, CaptureReading& reading)
{
    if (reading.refused)
        return;
    int read = 0;
    for (int k = 0; k < reading.line_count; ++k)
        read += reading.lines[k].read ? 1 : 0;
    if (read == 0) {
        refuse(reading, "scan \"%s\": no line's wedge could be read", capture);
        return;
    }
    // A refinement image's wedges all stand near one angle when its model is good;
    // a first image's do so only by accident, and a scanner's artefact always does.
    double angle = 0;
    const int common = common_angle_count(reading, angle);
    if (!image.direction_mark && reading.turn == 0 && common >= common_angle_lines && 2 * common > read) {
        refuse(reading,
               "scan \"%s\": the wedges of %d of the %d lines read stand straight at one angle (%.1f degrees), "
               "as an artefact fixed to the scanner would; scan the disc again turned on the glass and give "
               "both (scan2)",
               capture, common, read, angle);
        return;
    }
    if (reading.model_fit == ModelFit::inconsistent) {
        refuse(reading,
               "scan \"%s\": the twists of the lines read fit no one track model (%.1f times their errors "
               "squared); the readings are not trusted",
               capture, reading.model_chi_square);
        return;
    }
    if (reading.model_fit == ModelFit::loose) {
        refuse(reading,
               "scan \"%s\": the twists leave the track model no better fixed than its start "
               "(first turn within %.0f bytes); the readings are not trusted",
               capture, std::sqrt(reading.covariance[0][0]));
    }
}

void check_turned_capture(const CaptureReading& second, const char* second_capture, CaptureReading& reading)
{
    if (reading.refused)
        return;
    if (second.refused) {
        refuse(reading, "%s", second.why);
        return;
    }
    // The turn: the median of the lines' angle changes.
    double steps[max_capture_lines];
    int both = 0;
    for (int k = 0; k < reading.line_count; ++k)
        if (reading.lines[k].read && second.lines[k].read)
            steps[both++] = angle_step(reading.lines[k].angle, second.lines[k].angle);
    if (both == 0) {
        refuse(reading, "scan2 \"%s\": no line is read on both captures", second_capture);
        return;
    }
    std::sort(steps, steps + both);
    const double turn = steps[both / 2];
    if (std::fabs(turn) < least_turn) {
        refuse(reading,
               "scan2 \"%s\": the disc is turned by %.1f degrees against the first scan; turn it by at least "
               "30 degrees so that wedges and the scanner's artefacts part",
               second_capture, turn);
        return;
    }
    reading.turn = turn;
    // A wedge turns with the disc; a reading that does not is no wedge. One read on
    // one capture only is not confirmed.
    int agreeing = 0;
    for (int k = 0; k < reading.line_count; ++k) {
        LineReading& first = reading.lines[k];
        const LineReading& other = second.lines[k];
        if (!first.read)
            continue;
        const double tolerance =
            3 * std::sqrt(first.angle_error * first.angle_error + other.angle_error * other.angle_error) + 1;
        if (!other.read || std::fabs(angle_step(first.angle + turn, other.angle)) > tolerance) {
            first = LineReading{};
            continue;
        }
        agreeing += 1;
        // The twist from both, each by its rows' weight; the lines' own errors are
        // the capture's blur, which both share.
        const double w1 = 1 / (first.row_twist_error * first.row_twist_error);
        const double w2 = 1 / (other.row_twist_error * other.row_twist_error);
        const double own = std::sqrt(std::max(0.0, first.twist_error * first.twist_error -
                                                        first.row_twist_error * first.row_twist_error));
        first.twist = (w1 * first.twist + w2 * other.twist) / (w1 + w2);
        first.row_twist_error = 1 / std::sqrt(w1 + w2);
        first.twist_error = std::hypot(first.row_twist_error, own);
    }
    if (2 * agreeing < both) {
        refuse(reading,
               "scan2 \"%s\": only %d of the %d lines read on both captures turned with the disc; the readings "
               "are not trusted",
               second_capture, agreeing, both);
    }
}
