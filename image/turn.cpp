// The turn step. Turn lengths are real numbers and are truncated only to the turn's
// whole bytes and to the whole position reached; the catch-up makes up the rest.
#include "image/turn.h"

#include "image/interleaver.h"

bool turn_fits(double a, double growth, double pos, double size_limit)
{
    if (!(size_limit - a > pos))
        return false;
    if (a >= 1)
        return true;
    // Turns under a byte are drawn while they grow, and only when they reach a whole
    // byte within as many turns as the image has bytes left: a growth too small to
    // matter would otherwise walk a near-endless run of empty turns.
    return a > 0 && growth > 0 && (1 - a) / growth < size_limit - pos;
}

namespace {
// Moves the cursor past the turn; returns the catch-up bytes the turn still owes.
std::int64_t advance(double a, std::int64_t whole, TurnCursor& cursor)
{
    cursor.count += whole;
    cursor.pos += a;
    const auto whole_pos = static_cast<std::int64_t>(cursor.pos);
    if (cursor.count >= whole_pos)
        return 0;
    const std::int64_t catch_up = whole_pos - cursor.count;
    cursor.count = whole_pos;
    return catch_up;
}
}  // namespace

std::int64_t turn_byte_count(double a, const TurnCursor& cursor)
{
    TurnCursor after = cursor;
    const auto whole = static_cast<std::int64_t>(a);
    return whole + advance(a, whole, after);
}

void draw_turn_runs(double a, ByteRun lead, std::uint8_t rest, TurnCursor& cursor, std::FILE* file)
{
    draw_turn_run_list(a, &lead, 1, rest, cursor, file);
}

void draw_turn_run_list(double a, const ByteRun* runs, int run_count, std::uint8_t rest, TurnCursor& cursor,
                        std::FILE* file)
{
    const auto whole = static_cast<std::int64_t>(a);
    std::int64_t drawn = 0;
    for (int r = 0; r < run_count; ++r) {
        put_audio_run(runs[r].byte, runs[r].count, file);
        drawn += runs[r].count > 0 ? runs[r].count : 0;
    }
    put_audio_run(rest, whole - drawn, file);
    put_audio_run(rest, advance(a, whole, cursor), file);
}

std::int64_t take_turn(double a, TurnCursor& cursor)
{
    const auto whole = static_cast<std::int64_t>(a);
    return whole + advance(a, whole, cursor);
}
