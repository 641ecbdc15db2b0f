// The step every image writer takes once per turn: emit the turn's whole bytes, then
// catch up with the real position, so that fractional turn lengths add up along the
// track. What the bytes are is the caller's: runs of equal bytes or a span of pixels.
#pragma once

#include <cstdint>
#include <cstdio>

// Where a writer stands on the track.
struct TurnCursor {
    double pos = 0;          // real position at which the next turn starts, bytes
    std::int64_t count = 0;  // pixel bytes given to the interleaver so far
};

// Whether a turn of length a starting at pos, after which the turn length changes by
// growth, is drawn: it must fit wholly under the size limit. A turn under one byte is
// drawn only when the turns grow and reach a whole byte before the image could end;
// one that cannot grow (growth zero or negative), a turn of no length or a negative
// one, and one that is not a finite number end the image as the size limit does, so
// no writer can stall.
bool turn_fits(double a, double growth, double pos, double size_limit);

// Pixel bytes that a turn of length a (finite, 0 < a < 2^31) starting at the cursor
// emits: trunc(a), then one for each whole byte of fraction it brings the cursor
// (catch-up), so that count reaches trunc(pos + a).
std::int64_t turn_byte_count(double a, const TurnCursor& cursor);

struct ByteRun {
    std::uint8_t byte;
    std::int64_t count;  // zero or negative: nothing
};

// Draws a turn of length a as a lead run followed by `rest` bytes up to trunc(a),
// then the catch-up in `rest` as well; advances the cursor past the turn.
void draw_turn_runs(double a, ByteRun lead, std::uint8_t rest, TurnCursor& cursor, std::FILE* file);

// The same with several runs in track order before the `rest` bytes; the runs must
// not hold more than trunc(a) bytes together.
void draw_turn_run_list(double a, const ByteRun* runs, int run_count, std::uint8_t rest, TurnCursor& cursor,
                        std::FILE* file);

// Advances the cursor past a turn of length a and returns the pixel bytes the turn
// emits (turn_byte_count before the advance), for a writer that draws the bytes
// itself: a picture enters the bytes of several turns at once.
std::int64_t take_turn(double a, TurnCursor& cursor);
