// Placing pixel bytes on the picture. A chord's points come from the geometry's own
// relations (turn_start of a real turn number is the inverse of turn_number_at; the
// radius is track_radius_mm) and a table of the chord angles, so no byte needs a
// square root or a sine of its own. Along a chord the cells are walked as a line
// crosses a grid: the byte positions where it crosses the next column and the next
// row edge are kept, and the nearer one says which way the next cell lies.
#include "preview/disc_picture.h"

#include <cmath>
#include <cstdint>

#include "common/byte_runs.h"
#include "common/disc_geometry.h"
#include "image/shades.h"

namespace {

constexpr double two_pi = 6.283185307179586;
constexpr double chord_error_limit = 0.05;  // pixels between a chord and the track, at most
constexpr std::uint32_t cell_byte_limit = 1U << 24;

// floor for values well inside the 64-bit range, without a call into libm.
std::int64_t floor_to_int(double value)
{
    const auto truncated = static_cast<std::int64_t>(value);
    return truncated - (value < static_cast<double>(truncated) ? 1 : 0);
}

std::int64_t ceil_to_int(double value) { return -floor_to_int(-value); }

// The point at chord k of turn n.
TrackPoint track_point(const TrackPlacement& t, std::int64_t n, int k)
{
    const double turns = static_cast<double>(n) + static_cast<double>(k) / t.chords_per_turn;
    const double radius = track_radius_mm(t.model, turns) * t.pixels_per_mm;
    return {turn_start(t.model, turns), t.centre + radius * t.chord_sin[k], t.centre - radius * t.chord_cos[k], radius};
}

// Makes chord k of turn n current, starting at `from`; leaves the disc when its end
// lies off the disc.
void set_chord(TrackPlacement& t, std::int64_t n, int k, const TrackPoint& from)
{
    t.turn = n;
    t.chord = k;
    const TrackPoint to = track_point(t, n, k + 1);
    t.current_end = to;
    // Radii grow along the track, so once off the disc it stays off.
    if (!(to.radius <= t.centre)) {
        t.off_disc = true;
        return;
    }
    Chord& c = t.current;
    const double length = to.position - from.position;
    // A growth of more than twice the first turn makes the spiral's first positions
    // run backwards; such a chord holds no byte.
    if (!(length > 0)) {
        c.end_byte = INT64_MIN;
        return;
    }
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    c.start = from.position;
    c.x = from.x;
    c.y = from.y;
    const double per_byte = 1 / length;
    c.vx = dx * per_byte;
    c.vy = dy * per_byte;
    c.bytes_per_x = dx != 0 ? length / dx : HUGE_VAL;
    c.bytes_per_y = dy != 0 ? length / dy : HUGE_VAL;
    c.end_byte = ceil_to_int(to.position);
}

// Makes the chord that holds byte j current: the next one, or, when that one ends
// before j (turns shorter than a chord's worth of bytes), the one found from j's
// turn number.
void advance_chord(TrackPlacement& t, std::int64_t j)
{
    std::int64_t n = t.turn;
    int k = t.chord + 1;
    if (k == t.chords_per_turn) {
        n += 1;
        k = 0;
    }
    set_chord(t, n, k, t.chord < 0 ? track_point(t, 0, 0) : t.current_end);
    if (t.off_disc || t.current.end_byte > j)
        return;
    double turns = turn_number_at(t.model, static_cast<double>(j));
    turns = turns >= 0 ? turns : 0;  // not a number at byte 0 when the growth is that large
    n = static_cast<std::int64_t>(std::floor(turns));
    k = static_cast<int>((turns - static_cast<double>(n)) * t.chords_per_turn);
    k = k < t.chords_per_turn ? k : t.chords_per_turn - 1;
    set_chord(t, n, k, track_point(t, n, k));
    while (!t.off_disc && t.current.end_byte <= j) {
        k += 1;
        if (k == t.chords_per_turn) {
            n += 1;
            k = 0;
        }
        set_chord(t, n, k, t.current_end);
    }
}

// Adds count bytes whose shades sum to sum, halving what the cell holds first when
// the bytes would pass the limit.
void add_bytes(PictureCell& cell, std::uint32_t sum, std::uint32_t count)
{
    if (cell.bytes > cell_byte_limit - count) {
        cell.shade_sum /= 2;
        cell.bytes /= 2;
    }
    cell.shade_sum += sum;
    cell.bytes += count;
}

// Finds the run of equal bytes at byte j, within the block: bytes holds index
// `first` on, up to block_end.
void find_run(TrackPlacement& t, const std::uint8_t* bytes, std::int64_t first, std::int64_t j,
              std::int64_t block_end)
{
    const std::uint8_t* from = bytes + (j - first);
    t.run_stop = j + (run_end(from, bytes + (block_end - first)) - from);
    t.run_shade = byte_shades[*from];
}

// The sum of the shades of bytes [j, stop), byte by byte: where runs are short.
std::uint32_t shade_sum(const std::uint8_t* bytes, std::int64_t first, std::int64_t j, std::int64_t stop)
{
    std::uint32_t sum = 0;
    for (std::int64_t b = j; b < stop; ++b)
        sum += byte_shades[bytes[b - first]];
    return sum;
}

// Adds bytes [j, stop) to a cell. In a calibration image they are nearly always
// part of one run, whose shade times their count is their sum. Inlined into the
// walk, where it runs once a cell: the call alone cost a fifth of the placing.
[[gnu::always_inline]] inline void add_to_cell(PictureCell& cell, TrackPlacement& t, const std::uint8_t* bytes,
                                               std::int64_t first, std::int64_t j, std::int64_t stop,
                                               std::int64_t block_end)
{
    if (j >= t.run_stop)
        find_run(t, bytes, first, j, block_end);
    // A span lies within one block, so count * 255 stays far below 2^32.
    const auto count = static_cast<std::uint32_t>(stop - j);
    add_bytes(cell, stop <= t.run_stop ? t.run_shade * count : shade_sum(bytes, first, j, stop), count);
}

// One axis of the walk along a chord: the byte position where the chord crosses the
// next cell edge on this axis, how far apart the crossings are, and the step.
struct AxisWalk {
    double crossing;    // real byte position; infinite when the chord runs along the other axis
    double spacing;     // bytes between crossings
    std::ptrdiff_t step;  // cells to the next one: +-1 across, +-stride down
};

// The walk along one axis from `cell`, for a chord at coordinate `from` at byte
// position `start`, moving bytes_per_pixel bytes a pixel (HUGE_VAL: not moving).
AxisWalk start_axis(double start, double from, std::int64_t cell, double bytes_per_pixel, std::ptrdiff_t step)
{
    const auto edge = static_cast<double>(cell);
    if (bytes_per_pixel > 0)
        return {start + (edge + 1 - from) * bytes_per_pixel, bytes_per_pixel, step};
    return {start + (edge - from) * bytes_per_pixel, -bytes_per_pixel, -step};
}

std::int64_t clamp_cell(std::int64_t cell, int side) { return cell < -1 ? -1 : cell > side ? side : cell; }

// Places bytes [j, stop) of the current chord, one picture cell at a time.
void place_on_chord(DiscPicture& picture, TrackPlacement& t, const std::uint8_t* bytes, std::int64_t first,
                    std::int64_t j, std::int64_t stop, std::int64_t block_end)
{
    const Chord& c = t.current;
    const double along = static_cast<double>(j) - c.start;
    const std::int64_t column = clamp_cell(floor_to_int(c.x + along * c.vx), picture.side);
    const std::int64_t row = clamp_cell(floor_to_int(c.y + along * c.vy), picture.side);
    AxisWalk across = start_axis(c.start, c.x, column, c.bytes_per_x, 1);
    AxisWalk down = start_axis(c.start, c.y, row, c.bytes_per_y, picture.stride);
    PictureCell* cell = &picture.cells[cell_index(picture, static_cast<int>(column), static_cast<int>(row))];
    const auto stop_position = static_cast<double>(stop);
    for (;;) {
        const bool across_first = across.crossing < down.crossing;
        const double crossing = across_first ? across.crossing : down.crossing;
        if (!(crossing < stop_position)) {
            add_to_cell(*cell, t, bytes, first, j, stop, block_end);
            return;
        }
        // The first byte past the crossing; truncation is floor for the positions
        // that hold bytes.
        const std::int64_t next = static_cast<std::int64_t>(crossing) + 1;
        if (next > j) {
            add_to_cell(*cell, t, bytes, first, j, next, block_end);
            j = next;
        }
        // Selects rather than branches: which edge comes first is as good as random.
        cell += across_first ? across.step : down.step;
        across.crossing += across_first ? across.spacing : 0;
        down.crossing += across_first ? 0 : down.spacing;
    }
}

}  // namespace

int chords_for_side(int side)
{
    const double edge_radius = side / 2.0;
    // A chord over angle a strays from its circle by radius * a^2 / 8 at most.
    const auto chords = static_cast<int>(std::ceil(two_pi * std::sqrt(edge_radius / (8 * chord_error_limit))));
    return chords > 16 ? chords : 16;
}

void start_picture(DiscPicture& picture, TrackPlacement& placement, TrackModel model, int side)
{
    picture.side = side;
    picture.stride = side + 2;
    picture.cells.assign(static_cast<std::size_t>(picture.stride) * static_cast<std::size_t>(picture.stride),
                         PictureCell{});
    placement = TrackPlacement{};
    placement.model = model;
    placement.pixels_per_mm = side / (2 * disc_radius_mm);
    placement.centre = side / 2.0;
    placement.chords_per_turn = chords_for_side(side);
    placement.chord_sin.resize(static_cast<std::size_t>(placement.chords_per_turn) + 1);
    placement.chord_cos.resize(static_cast<std::size_t>(placement.chords_per_turn) + 1);
    for (int k = 0; k < placement.chords_per_turn; ++k) {
        const double angle = two_pi * k / placement.chords_per_turn;
        placement.chord_sin[k] = std::sin(angle);
        placement.chord_cos[k] = std::cos(angle);
    }
    // The end of a turn's last chord is the start of the next turn's first, exactly:
    // sin(2 pi) computed would put a turn's first byte a hair left of the top.
    placement.chord_sin[placement.chords_per_turn] = placement.chord_sin[0];
    placement.chord_cos[placement.chords_per_turn] = placement.chord_cos[0];
}

void place_pixels(DiscPicture& picture, TrackPlacement& placement, const std::uint8_t* pixels, std::int64_t first,
                  int count)
{
    const std::int64_t end = first + count;
    std::int64_t j = first;
    while (j < end && !placement.off_disc) {
        if (j >= placement.current.end_byte) {
            advance_chord(placement, j);
            continue;
        }
        const std::int64_t stop = placement.current.end_byte < end ? placement.current.end_byte : end;
        place_on_chord(picture, placement, pixels, first, j, stop, end);
        j = stop;
    }
}

void add_picture(DiscPicture& into, const DiscPicture& from)
{
    for (std::size_t k = 0; k < into.cells.size(); ++k) {
        std::uint64_t sum = std::uint64_t{into.cells[k].shade_sum} + from.cells[k].shade_sum;
        std::uint64_t count = std::uint64_t{into.cells[k].bytes} + from.cells[k].bytes;
        while (count > cell_byte_limit) {
            sum /= 2;
            count /= 2;
        }
        into.cells[k] = {static_cast<std::uint32_t>(sum), static_cast<std::uint32_t>(count)};
    }
}

void picture_rows(const DiscPicture& picture, std::uint8_t* rows)
{
    for (int row = 0; row < picture.side; ++row) {
        for (int column = 0; column < picture.side; ++column) {
            const PictureCell& cell = picture.cells[cell_index(picture, column, row)];
            *rows++ = cell.bytes == 0 ? background_shade
                                      : static_cast<std::uint8_t>((cell.shade_sum + cell.bytes / 2) / cell.bytes);
        }
    }
}
