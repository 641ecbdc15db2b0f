// The row queue. Each band's row shows the band's middle turn, so the maker walks
// the turns with the writer loop's own sums (turn_byte_count from the same cursor,
// the same additions of the growth) to find where that turn's bytes start.
#include "picture/row_queue.h"

#include "image/turn.h"

namespace {

BandRow rows[queued_rows];

BandRow& row_of(std::int64_t band) { return rows[band % queued_rows]; }

// The writer loop's position: the next turn's length and where it starts.
struct TurnCount {
    double a = 0;
    TurnCursor cursor;
    std::int64_t turn = 0;
};

void walk_to(TurnCount& walk, std::int64_t turn, double growth)
{
    for (; walk.turn < turn; ++walk.turn) {
        walk.cursor.count += turn_byte_count(walk.a, walk.cursor);
        walk.cursor.pos += walk.a;
        walk.a += growth;
    }
}

bool wait_for_free_row(RowQueue& queue, std::int64_t band)
{
    std::unique_lock<std::mutex> hold(queue.lock);
    queue.changed.wait(hold, [&] { return band - queue.used < queued_rows || queue.stopped; });
    return !queue.stopped;
}

}  // namespace

void make_band_rows(RowQueue& queue, const PictureDrawing& drawing, const GreySampler& sampler, int maker)
{
    const std::int64_t turns = drawing.track.turns;
    TurnCount walk;
    walk.a = drawing.model.tr0;
    for (std::int64_t band = maker; band * band_turns < turns; band += row_makers) {
        if (!wait_for_free_row(queue, band))
            return;
        const std::int64_t first = band * band_turns;
        const std::int64_t left = turns - first;
        walk_to(walk, first + (left < band_turns ? left : band_turns) / 2, drawing.model.dtr);
        draw_band_row(sampler, band, walk.cursor.count, turn_byte_count(walk.a, walk.cursor), row_of(band));
        const std::lock_guard<std::mutex> hold(queue.lock);
        queue.ready[band % queued_rows] = band;
        queue.changed.notify_all();
    }
}

const BandRow& take_band_row(RowQueue& queue, std::int64_t band)
{
    std::unique_lock<std::mutex> hold(queue.lock);
    queue.used = band;
    queue.changed.notify_all();
    queue.changed.wait(hold, [&] { return queue.ready[band % queued_rows] == band; });
    return row_of(band);
}

void stop_band_rows(RowQueue& queue)
{
    const std::lock_guard<std::mutex> hold(queue.lock);
    queue.stopped = true;
    queue.changed.notify_all();
}
