// The step every image writer takes once per turn: emit the turn's whole bytes, then
// catch up with the real position, so that fractional turn lengths add up along the
// track. What the bytes are is the caller's: runs of equal bytes or a span of pixels.
// And the sequence of turns itself (TurnWalk), which every writer and everything
// that must agree with one to the byte walks.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/track_model.h"
#include "common/units.h"

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

// The writer's sequence of turns, standing at its current turn. The writer loop
// (walk_turns) draws each turn, which moves the cursor past it, then calls end_turn
// and, when the next turn fits, begin_due_line; whatever must end where the writer
// ends or find a turn's bytes where the writer puts them passes turns with skip_turn.
struct TurnWalk {
    double a = 0;           // length of the current turn, bytes
    double growth = 0;      // added to a after every turn, bytes
    TurnCursor cursor;      // where the current turn starts
    std::int64_t turn = 0;  // turns before the current one
    int line = 0;           // line of the current turn
    int turn_in_line = 0;   // 0..624 (625 until begin_due_line starts the next line)
};

// The walk of one model's track, at its first turn.
inline TurnWalk walk_of(TrackModel model)
{
    TurnWalk walk;
    walk.a = model.tr0;
    walk.growth = model.dtr;
    return walk;
}

// Whether the current turn is drawn under the size limit.
inline bool turn_fits(const TurnWalk& walk, double size_limit)
{
    return turn_fits(walk.a, walk.growth, walk.cursor.pos, size_limit);
}

// From a turn that was drawn (the cursor moved past it) to the next, growth longer.
inline void end_turn(TurnWalk& walk)
{
    walk.a += walk.growth;
    walk.turn += 1;
    walk.turn_in_line += 1;
}

// Starts the next line when the current turn lies past the end of its line; true
// when it did.
inline bool begin_due_line(TurnWalk& walk)
{
    if (walk.turn_in_line < turns_per_line)
        return false;
    walk.line += 1;
    walk.turn_in_line = 0;
    return true;
}

// Passes the current turn as drawing it would, drawing nothing.
inline void skip_turn(TurnWalk& walk)
{
    take_turn(walk.a, walk.cursor);
    end_turn(walk);
    begin_due_line(walk);
}
