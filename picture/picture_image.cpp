// The picture writer: the turn walk of the calibration images with a picture's
// bands in place of the test pattern. Four threads share the work: two make the
// bands' rows, one draws the turns (each takes its band's row stretched to its
// length, as one run when the row is all one byte) and the main thread writes the
// records to the file, where a Ctrl-C or a stalled reader is dealt with as for
// every image.
#include "picture/picture_image.h"

#include <thread>

#include "common/console.h"
#include "common/huge_pages.h"
#include "common/units.h"
#include "common/worker_thread.h"
#include "image/turn_walk.h"
#include "picture/band_row.h"
#include "picture/record_pipe.h"
#include "picture/row_queue.h"

namespace {

// Turns drawn but not yet entered: successive turns are entered together, so that
// the interleaver's work at the start and end of each span is paid once per batch.
// Room for a batch of about 1 MiB and one more turn of the longest kind; the
// drawing thread's.
constexpr std::int64_t batch_bytes = std::int64_t{1} << 20;
alignas(huge_page_bytes) std::uint8_t pending[in_huge_pages(batch_bytes + max_turn_bytes + 1)];

struct PictureTurns {
    const PictureDrawing* drawing;
    RowQueue* rows;
    const BandRow* band_row = nullptr;
    std::int64_t pending_bytes = 0;

    void enter_pending(std::FILE* file)
    {
        put_audio_span(pending, pending_bytes, file);
        pending_bytes = 0;
    }

    void start_line(const TurnWalk& walk) const
    {
        const DiscPlace place = place_on_disc(drawing->model, walk.cursor.pos);
        std::printf("line number %d, start byte - %g Mb (radius %.1f mm)\n", walk.line,
                    walk.cursor.pos / bytes_per_mib, place.radius_mm);
        flush_console();
    }

    void draw_turn(TurnWalk& walk, std::FILE* file)
    {
        const std::int64_t n = walk.turn;
        if (n % band_turns == 0)
            band_row = &take_band_row(*rows, n / band_turns);
        if (band_row->uniform) {
            enter_pending(file);
            const std::uint8_t byte = band_row->bytes[0];
            draw_turn_runs(walk.a, {byte, 0}, byte, walk.cursor, file);
            return;
        }
        const std::int64_t count = take_turn(walk.a, walk.cursor);
        stretch_row(band_row->bytes, band_row->length, pending + pending_bytes, count);
        pending_bytes += count;
        // The writer loop drains the interleaver right after the last turn.
        if (pending_bytes >= batch_bytes || n + 1 == drawing->track.turns)
            enter_pending(file);
    }
};

}  // namespace

PicturePlacement drawing_placement(const PictureDrawing& drawing)
{
    const double outer_radius = place_on_disc(drawing.model, drawing.track.end_position).radius_mm;
    return place_picture(drawing.picture->width, drawing.picture->height, outer_radius, drawing.mirror);
}

bool draw_picture_image(const PictureDrawing& drawing, std::FILE* file)
{
    use_huge_pages(pending, sizeof pending);
    const GreySampler sampler{drawing.model, drawing.picture, drawing_placement(drawing)};
    RowQueue rows;
    std::thread row_makers_threads[row_makers];
    for (int maker = 0; maker < row_makers; ++maker)
        row_makers_threads[maker] = start_worker_thread(
            [&, maker] { make_band_rows(rows, drawing.model, drawing.track.turns, sampler, maker); });
    PictureTurns turns{&drawing, &rows};
    TurnWalk walk = walk_of(drawing.model);
    const bool completed = walk_turns(turns, walk, drawing.size_limit, file);
    // An abandoned image still ends with the last turn drawn.
    if (!completed)
        turns.enter_pending(file);
    stop_band_rows(rows);
    for (std::thread& maker : row_makers_threads)
        maker.join();
    return completed;
}

bool write_picture_image(const PictureDrawing& drawing, const char* path)
{
    return write_image_file(path, [&](std::FILE* file) {
        RecordPipe pipe;
        std::FILE* stream = open_pipe_stream(pipe);
        if (stream == nullptr)
            fail_output();
        bool completed = false;
        std::thread drawer = start_worker_thread([&] {
            completed = draw_picture_image(drawing, stream);
            std::fclose(stream);
        });
        const bool written = write_pipe_to_image(pipe, file);
        if (!written)
            fail_output();
        drawer.join();
        return completed;
    });
}
