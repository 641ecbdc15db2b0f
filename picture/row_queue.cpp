// The row queue. Each band's row shows the band's middle turn, so the maker walks
// the writer's own sequence of turns (TurnWalk) to find where that turn's bytes start.
#include "picture/row_queue.h"

#include "image/turn.h"

namespace {

// Band n's row is made into rows[n % queued_rows] by the maker of band n, then read
// by the drawing thread until it takes band n + 1.
BandRow rows[queued_rows];

BandRow& row_of(std::int64_t band) { return rows[band % queued_rows]; }

void walk_to(TurnWalk& walk, std::int64_t turn)
{
    while (walk.turn < turn)
        skip_turn(walk);
}

}  // namespace

void make_band_rows(RowQueue& queue, TrackModel model, std::int64_t turns, const GreySampler& sampler, int maker)
{
    TurnWalk walk = walk_of(model);
    // The last band of a burst, counted from its first.
    constexpr std::int64_t burst_span = std::int64_t{row_makers} * (row_burst - 1);
    for (std::int64_t band = maker; band * band_turns < turns; band += row_makers) {
        const std::int64_t burst_end = band + burst_span;
        if ((band - maker) / row_makers % row_burst == 0 && !wait_for_slot(queue.ring, maker, burst_end, burst_end))
            return;
        const std::int64_t first = band * band_turns;
        const std::int64_t left = turns - first;
        walk_to(walk, first + (left < band_turns ? left : band_turns) / 2);
        draw_band_row(sampler, band, walk.cursor.count, turn_byte_count(walk.a, walk.cursor), row_of(band));
        publish_item(queue.ring, band);
    }
}

const BandRow& take_band_row(RowQueue& queue, std::int64_t band)
{
    if (band > 0)
        give_back(queue.ring, band - 1);
    std::int64_t taken = 0;
    static_cast<void>(take_item(queue.ring, taken, 0));
    return row_of(band);
}

void stop_band_rows(RowQueue& queue) { stop_items(queue.ring); }
