// The preview's two threads and its steps. The main thread reads the file in
// blocks, recovers the pixel stream and finds its lines; the placing thread puts
// each recovered block on the picture. Three pixel blocks go round between them
// (common/slot_ring.h), so memory stays the same whatever the image's size.
#include "preview/preview_run.h"

#include <chrono>
#include <cstdio>
#include <new>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>
#include <vector>

#include "common/interrupt.h"
#include "common/program_name.h"
#include "common/same_file.h"
#include "common/slot_ring.h"
#include "common/units.h"
#include "common/worker_thread.h"
#include "image/deinterleaver.h"
#include "preview/disc_picture.h"
#include "image/image_input.h"
#include "preview/line_report.h"
#include "preview/png_output.h"

namespace {

struct PixelBlock {
    std::uint8_t bytes[block_bytes];
    PixelSpan span{};
};

constexpr int queue_blocks = 3;
static_assert(queue_blocks <= most_ring_slots, "the ring holds the blocks");

// Each thread places into a picture of its own; they are added up at the end.
struct Placer {
    DiscPicture picture;
    TrackPlacement placement;
};

// Item n of the ring is pixel block n, in blocks[n % queue_blocks]: filled by the
// main thread, then placed by whichever thread takes it. The placing thread takes
// blocks in order; the main thread takes one too whenever two wait, so that both
// cores place when placing is the slower part.
SlotRing handoff{queue_blocks};
PixelBlock blocks[queue_blocks];
// The main thread's alone, but for placers[1].
RecoveryWindow window;
LineScan scan;
Placer placers[2];  // [0] the main thread's, [1] the placing thread's
std::vector<std::uint8_t> rows;  // the finished picture's grey rows, for the PNG

PixelBlock& block_of(std::int64_t n) { return blocks[n % queue_blocks]; }

// Places one taken block and gives its buffer back.
void place_block(Placer& placer, std::int64_t n)
{
    const PixelBlock& block = block_of(n);
    place_pixels(placer.picture, placer.placement, block.bytes, block.span.first, block.span.count);
    give_back(handoff, n);
}

void place_blocks()
{
    std::int64_t n = 0;
    while (take_item(handoff, n, 0))
        place_block(placers[1], n);
}

// The main thread's share: the oldest waiting block while two or more wait.
void help_placing()
{
    std::int64_t n = 0;
    while (take_waiting_item(handoff, n, 2))
        place_block(placers[0], n);
}

using Clock = std::chrono::steady_clock;

struct Progress {
    Clock::time_point start = Clock::now();
    double next_report = 1;  // seconds from the start
};

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// One line a second, once the preview has taken a second.
void report_progress(Progress& progress, const ImageInput& input)
{
    if (seconds_since(progress.start) < progress.next_report)
        return;
    progress.next_report += 1;
    if (input.size > 0)
        std::fprintf(stderr, "%s: read %d%% of image \"%s\"\n", program_name,
                     static_cast<int>(100 * input.bytes_read / input.size), input.path);
    else
        std::fprintf(stderr, "%s: read %lld MiB of image \"%s\"\n", program_name,
                     static_cast<long long>(input.bytes_read / (1 << 20)), input.path);
}

// Reads the whole file, recovering and scanning on this thread and placing on the
// other. Returns how the reading ended: end, stopped or failed.
ReadStatus read_image(ImageInput& input, Progress& progress)
{
    for (std::int64_t n = 0;; ++n) {
        int got = 0;
        const ReadStatus status =
            read_image_block(input, window_space(window), window_room(window), got, &break_requested);
        if (status != ReadStatus::read)
            return status;
        if (break_requested != 0)
            return ReadStatus::stopped;
        static_cast<void>(wait_for_slot(handoff, 0, n, n));
        PixelBlock& block = block_of(n);
        block.span = recover_from_window(window, got, block.bytes);
        scan_pixels(scan, block.bytes, block.span.first, block.span.count);
        publish_item(handoff, n);
        help_placing();
        report_progress(progress, input);
    }
}

int stop_without_png(PngTarget& target)
{
    discard_png_target(target);
    std::fprintf(stderr, "%s: stopped; no PNG written\n", program_name);
    return stopped_status();
}

void note_cut_short(const ImageInput& input)
{
    const std::int64_t rest = input.bytes_read % sector_bytes;
    if (rest == 0)
        return;
    std::fprintf(stderr,
                 "%s: image \"%s\" is cut short: %lld bytes after its last whole %d-byte record; "
                 "previewing what is there\n",
                 program_name, input.path, static_cast<long long>(rest), sector_bytes);
}

bool is_character_device(const char* path)
{
    struct stat info {};
    return stat(path, &info) == 0 && S_ISCHR(info.st_mode);
}

// The PNG replaces what its name reaches: refused when that is the image being read
// or the file the report goes to. A device such as /dev/null is shared harmlessly.
bool png_replaces_input(const PreviewParameters& parameters)
{
    const char* png = parameters.png_path;
    if (is_character_device(png))
        return false;
    if (same_file(png, parameters.image_path)) {
        std::fprintf(stderr, "%s: png \"%s\" is the image \"%s\"; the PNG would replace it\n", program_name, png,
                     parameters.image_path);
        return true;
    }
    if (same_file_as_descriptor(png, STDOUT_FILENO)) {
        std::fprintf(stderr, "%s: png \"%s\" is where standard output goes; the PNG would replace the report\n",
                     program_name, png);
        return true;
    }
    return false;
}

// Takes all the picture's memory before any file is opened, so that a preview that
// cannot have it ends before it has written anything.
bool make_pictures(const PreviewParameters& parameters)
{
    const auto side = static_cast<std::size_t>(parameters.pixels);
    try {
        // Reserved first, untouched, so that a refusal comes before any page is filled.
        for (Placer& placer : placers)
            placer.picture.cells.reserve((side + 2) * (side + 2));
        rows.reserve(side * side);
        for (Placer& placer : placers)
            start_picture(placer.picture, placer.placement, parameters.model, parameters.pixels);
        rows.assign(side * side, 0);
        return true;
    } catch (const std::bad_alloc&) {
        const std::size_t needed = 2 * (side + 2) * (side + 2) * sizeof(PictureCell) + side * side;
        for (Placer& placer : placers)
            placer.picture = DiscPicture{};
        std::fprintf(stderr, "%s: not enough memory for a %d-pixel picture: it needs %zu MiB\n", program_name,
                     parameters.pixels, (needed + (1 << 20) - 1) >> 20);
        return false;
    }
}

// The placing thread, or a message saying why there is none.
bool start_placer(std::thread& placer)
{
    try {
        placer = start_worker_thread(place_blocks);
        return true;
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "%s: cannot start the placing thread: %s\n", program_name, error.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: not enough memory to start the placing thread\n", program_name);
    }
    return false;
}

}  // namespace

int run_preview(const PreviewParameters& parameters)
{
    if (png_replaces_input(parameters) || !make_pictures(parameters))
        return 1;
    Progress progress;
    ImageInput input;
    PngTarget target;
    if (!open_image_input(input, parameters.image_path, &break_requested))
        return break_requested != 0 ? stop_without_png(target) : 1;
    open_png_target(target, parameters.png_path);

    window = RecoveryWindow{};
    start_scan(scan, parameters.model);
    std::thread placer;
    if (!start_placer(placer)) {
        close_image_input(input);
        discard_png_target(target);
        return 1;
    }
    const ReadStatus status = read_image(input, progress);
    end_items(handoff);
    placer.join();
    close_image_input(input);
    finish_scan(scan);

    if (status == ReadStatus::stopped || break_requested != 0)
        return stop_without_png(target);
    if (status == ReadStatus::failed) {
        discard_png_target(target);
        return 1;
    }
    if (input.bytes_read == 0) {
        discard_png_target(target);
        image_problem(input, "is empty");
        return 1;
    }
    note_cut_short(input);

    add_picture(placers[0].picture, placers[1].picture);
    const DiscPicture& picture = placers[0].picture;
    picture_rows(picture, rows.data());
    if (seconds_since(progress.start) >= 1)
        std::fprintf(stderr, "%s: writing \"%s\"\n", program_name, parameters.png_path);
    const auto side = static_cast<std::uint32_t>(picture.side);
    if (!finish_png_target(target, {side, side, rows.data()}, &break_requested))
        return stop_without_png(target);
    print_report(scan, stdout);
    return 0;
}
