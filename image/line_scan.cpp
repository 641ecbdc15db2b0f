// Finding lines and markers in the pixel stream, run by run.
#include "image/line_scan.h"

#include <cmath>

#include "common/byte_runs.h"
#include "common/disc_geometry.h"
#include "image/test_pattern.h"

namespace {

// Run lengths in turns of the simulated disc. Markers are a twelfth of a turn; the
// thin marks that show the track's direction (a 48th) are not markers.
constexpr double marker_shortest = 1.0 / 24;
constexpr double marker_longest = 1.0 / 6;
constexpr double line_opening = 1;  // a run of a new byte this long opens a line
// A line's markers stand a turn apart; between two lines lie 65 unmarked turns (33
// where the first line was cut short), so a longer gap means the next line began.
constexpr double marker_gap_limit = 8;

constexpr int markers_per_line = last_marker_turn - first_marker_turn + 1;
// Calibration images are long runs only; a picture is mostly short ones.
constexpr double stray_share_limit = 0.01;

double marker_angle(TrackModel model, std::int64_t position)
{
    return 360 * turn_fraction(place_on_disc(model, static_cast<double>(position)).turns);
}

void open_line(LineScan& scan, std::uint8_t fill, std::int64_t start)
{
    scan.fill = fill;
    if (scan.lines == max_lines) {
        scan.too_many_lines = true;
        return;
    }
    scan.line[scan.lines] = LineRecord{};
    scan.line[scan.lines].fill = fill;
    scan.line[scan.lines].start = start;
    scan.lines += 1;
}

// Whether a marker of `byte` at `start` (where a turn holds `turn` bytes) cannot
// belong to the line so far: the next line, of the same fill, began.
bool opens_next_line(const LineRecord& line, std::uint8_t byte, std::int64_t start, double turn)
{
    if (line.markers == 0)
        return false;
    return byte != line.marker || line.markers == markers_per_line ||
           static_cast<double>(start - line.last_start) > marker_gap_limit * turn;
}

void add_marker(LineScan& scan, std::uint8_t byte, std::int64_t start, double turn)
{
    if (scan.too_many_lines)
        return;
    if (opens_next_line(scan.line[scan.lines - 1], byte, start, turn)) {
        open_line(scan, static_cast<std::uint8_t>(scan.fill), start);
        if (scan.too_many_lines)
            return;
    }
    LineRecord& line = scan.line[scan.lines - 1];
    const double angle = marker_angle(scan.model, start);
    if (line.markers == 0) {
        line.first_angle = angle;
        line.marker = byte;
    } else {
        line.unwrapped += angle_step(line.last_angle, angle);
    }
    line.last_angle = angle;
    line.last_start = start;
    line.sum_angle += line.unwrapped;
    line.sum_index_angle += line.markers * line.unwrapped;
    line.markers += 1;
    scan.total_markers += 1;
    if (scan.on_marker != nullptr)
        scan.on_marker(scan.marker_context, scan.lines - 1, start);
}

// Markers are drawn in the bytes of the white and black lines' markers, never in
// another (the zeros that an interleaver starts with, where an image follows an
// interrupted one, are no markers).
bool is_marker_byte(std::uint8_t byte) { return byte == line_bytes(0, false).marker || byte == line_bytes(1, false).marker; }

// Settles the waiting run once the run after it is known.
void settle_candidate(LineScan& scan, bool fill_follows)
{
    if (!scan.candidate)
        return;
    const double turns = static_cast<double>(scan.candidate_length) / scan.candidate_turn;
    if (fill_follows && is_marker_byte(scan.candidate_byte) && turns >= marker_shortest && turns <= marker_longest)
        add_marker(scan, scan.candidate_byte, scan.candidate_start, scan.candidate_turn);
    else
        scan.stray_bytes += scan.candidate_length;
    scan.candidate = false;
}

// Classifies a whole run: fill, the opening of a new line, or a run of another byte
// that waits for the next run.
void take_run(LineScan& scan, std::uint8_t byte, std::int64_t start, std::int64_t length)
{
    const double turn = spiral_length_at(scan.model, static_cast<double>(start));
    const bool opens_line = static_cast<double>(length) >= line_opening * turn;
    if (scan.fill < 0) {
        if (opens_line)
            open_line(scan, byte, start);
        else
            scan.stray_bytes += length;
        return;
    }
    if (byte == scan.fill) {
        settle_candidate(scan, true);
        return;
    }
    settle_candidate(scan, false);
    if (opens_line) {
        open_line(scan, byte, start);
        return;
    }
    scan.candidate = true;
    scan.candidate_byte = byte;
    scan.candidate_start = start;
    scan.candidate_length = length;
    scan.candidate_turn = turn;
}

}  // namespace

void start_scan(LineScan& scan, TrackModel model)
{
    scan = LineScan{};
    scan.model = model;
}

void scan_pixels(LineScan& scan, const std::uint8_t* pixels, std::int64_t first, int count)
{
    const std::uint8_t* end = pixels + count;
    for (const std::uint8_t* p = pixels; p < end;) {
        const std::uint8_t* stop = run_end(p, end);
        const std::int64_t start = first + (p - pixels);
        if (*p == scan.run_byte && scan.run_start + scan.run_length == start) {
            scan.run_length += stop - p;
        } else {
            if (scan.run_byte >= 0)
                take_run(scan, static_cast<std::uint8_t>(scan.run_byte), scan.run_start, scan.run_length);
            scan.run_byte = *p;
            scan.run_start = start;
            scan.run_length = stop - p;
        }
        p = stop;
    }
    scan.bytes += count;
}

void finish_scan(LineScan& scan)
{
    if (scan.run_byte >= 0)
        take_run(scan, static_cast<std::uint8_t>(scan.run_byte), scan.run_start, scan.run_length);
    scan.run_byte = -1;
    // A run of another byte at the very end is cut off: nothing says it was a marker.
    settle_candidate(scan, false);
}

double line_drift(const LineRecord& line)
{
    if (line.markers < 2)
        return 0;
    const double n = line.markers;
    const double sum_index = n * (n - 1) / 2;
    const double sum_index_squared = (n - 1) * n * (2 * n - 1) / 6;
    const double slope =
        (n * line.sum_index_angle - sum_index * line.sum_angle) / (n * sum_index_squared - sum_index * sum_index);
    return slope * markers_per_line;
}

bool is_calibration_image(const LineScan& scan)
{
    return scan.total_markers > 0 && !scan.too_many_lines &&
           static_cast<double>(scan.stray_bytes) <= stray_share_limit * static_cast<double>(scan.bytes);
}
