// The row queue. Each band's row shows the band's middle turn, so the maker walks
// the writer's own sequence of turns (TurnWalk) to find where that turn's bytes start.
#include "picture/row_queue.h"

#include "image/turn.h"

namespace {

BandRow rows[queued_rows];

BandRow& row_of(std::int64_t band) { return rows[band % queued_rows]; }

void walk_to(TurnWalk& walk, std::int64_t turn)
{
    while (walk.turn < turn)
        skip_turn(walk);
}

bool room_for(const RowQueue& queue, std::int64_t band) { return band - queue.used < queued_rows; }

// Waits until the buffers of bands up to `last` are free.
bool wait_for_free_rows(RowQueue& queue, int maker, std::int64_t last)
{
    std::unique_lock<std::mutex> hold(queue.lock);
    queue.waiting_for[maker] = last;
    queue.freed[maker].wait(hold, [&] { return room_for(queue, last) || queue.stopped; });
    queue.waiting_for[maker] = -1;
    return !queue.stopped;
}

}  // namespace

void make_band_rows(RowQueue& queue, TrackModel model, std::int64_t turns, const GreySampler& sampler, int maker)
{
    TurnWalk walk = walk_of(model);
    // The last band of a burst, counted from its first.
    constexpr std::int64_t burst_span = std::int64_t{row_makers} * (row_burst - 1);
    for (std::int64_t band = maker; band * band_turns < turns; band += row_makers) {
        if ((band - maker) / row_makers % row_burst == 0 && !wait_for_free_rows(queue, maker, band + burst_span))
            return;
        const std::int64_t first = band * band_turns;
        const std::int64_t left = turns - first;
        walk_to(walk, first + (left < band_turns ? left : band_turns) / 2);
        draw_band_row(sampler, band, walk.cursor.count, turn_byte_count(walk.a, walk.cursor), row_of(band));
        const std::lock_guard<std::mutex> hold(queue.lock);
        queue.ready[band % queued_rows] = band;
        queue.made.notify_one();
    }
}

const BandRow& take_band_row(RowQueue& queue, std::int64_t band)
{
    std::unique_lock<std::mutex> hold(queue.lock);
    queue.used = band;
    for (int maker = 0; maker < row_makers; ++maker)
        if (queue.waiting_for[maker] >= 0 && room_for(queue, queue.waiting_for[maker]))
            queue.freed[maker].notify_one();
    queue.made.wait(hold, [&] { return queue.ready[band % queued_rows] == band; });
    return row_of(band);
}

void stop_band_rows(RowQueue& queue)
{
    const std::lock_guard<std::mutex> hold(queue.lock);
    queue.stopped = true;
    for (std::condition_variable& maker : queue.freed)
        maker.notify_all();
}
