// ringetch-picture: writes a CD-DA image that shows a PNG, JPEG or TIFF picture on the
// recorded side of a disc whose track the calibration measured (tr0, dtr).
#include <sys/resource.h>

#include <cstdio>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "common/console.h"
#include "common/interrupt.h"
#include "common/program_name.h"
#include "common/same_file.h"
#include "picture/band_row.h"
#include "picture/parameters.h"
#include "picture/picture_image.h"
#include "picture/readings_model.h"
#include "picture/row_queue.h"

namespace {

// The decoded picture, a byte per pixel, is what the memory bound of 128 MiB is
// spent on; everything else the writer holds is a few MiB.
constexpr std::uint64_t max_picture_pixels = 100000000;

// Refuses a model and size that draw no turn, or turns longer than the writer's rows.
int check_track(const PictureSettings& settings, const DrawnTrack& track)
{
    if (track.turns == 0) {
        std::fprintf(stderr, "%s: size %d leaves no whole turn (the first turn holds %g bytes)\n", program_name,
                     settings.size, settings.model.tr0);
        return 1;
    }
    if (track.last_turn > static_cast<double>(max_turn_bytes)) {
        std::fprintf(stderr, "%s: turns of up to %g bytes are longer than the %lld bytes a turn may hold\n",
                     program_name, track.last_turn, static_cast<long long>(max_turn_bytes));
        return 1;
    }
    return 0;
}

// Refuses to write the image over the picture it is drawn from.
int check_paths(const PictureSettings& settings)
{
    if (!same_file(settings.png, settings.image))
        return 0;
    std::fprintf(stderr, "%s: image \"%s\" is the picture \"%s\" itself\n", program_name, settings.image,
                 settings.png);
    return 1;
}

// The writer's threads (the drawer and the row makers) are started after the image
// file is opened, which truncates an earlier file of that name: whether the system
// lets them run at once (a stack each, within the address-space and process limits)
// is tried first, so that a refusal leaves that file as it was.
int check_threads()
{
    constexpr int writer_threads = row_makers + 1;
    std::mutex hold;
    std::thread threads[writer_threads];
    int started = 0;
    std::error_code failure;
    {
        const std::lock_guard<std::mutex> held(hold);
        try {
            for (; started < writer_threads; ++started)
                threads[started] = std::thread([&hold] { const std::lock_guard<std::mutex> wait(hold); });
        } catch (const std::system_error& error) {
            failure = error.code();
        } catch (const std::bad_alloc&) {
            failure = std::make_error_code(std::errc::not_enough_memory);
        }
    }
    for (int k = 0; k < started; ++k)
        threads[k].join();
    if (!failure)
        return 0;
    std::fprintf(stderr, "%s: cannot start the writer's %d threads: %s", program_name, writer_threads,
                 failure.message().c_str());
    rlimit stack{};
    if (getrlimit(RLIMIT_STACK, &stack) == 0 && stack.rlim_cur != RLIM_INFINITY)
        std::fprintf(stderr, "; each takes %llu KiB of address space for its stack",
                     static_cast<unsigned long long>(stack.rlim_cur >> 10));
    std::fputc('\n', stderr);
    return 1;
}

void print_plan(const PictureSettings& settings, const PictureDrawing& drawing)
{
    const PicturePlacement placement = drawing_placement(drawing);
    std::printf("picture \"%s\": %u x %u pixels, %.1f pixels per mm%s\n", settings.png, drawing.picture->width,
                drawing.picture->height, placement.pixels_per_mm, drawing.mirror ? ", mirrored" : "");
    std::printf("creating PICTURE image: %lld turns, radius %g to %.1f mm\n",
                static_cast<long long>(drawing.track.turns), program_inner_radius_mm,
                place_on_disc(drawing.model, drawing.track.end_position).radius_mm);
    flush_console();
}

}  // namespace

int main(int argc, char** argv)
{
    program_name = "ringetch-picture";
    reserve_standard_descriptors();
    PictureSettings settings;
    const CommandLine line = read_picture_parameters(argc, argv, settings);
    if (line != CommandLine::run)
        return finish_console(command_line_status(line));
    const int taken = settings.readings != nullptr ? take_readings_model(settings.readings, settings.size, settings.model) : 0;
    if (taken != 0)
        return finish_console(taken);
    PictureDrawing drawing;
    drawing.model = settings.model;
    drawing.size_limit = settings.size;
    drawing.track = drawn_track(settings.model, settings.size);
    drawing.mirror = settings.mirror;
    if (check_track(settings, drawing.track) != 0)
        return finish_console(1);
    if (check_paths(settings) != 0)
        return finish_console(1);
    GreyPicture picture;
    PictureError error;
    if (!read_grey_picture(settings.png, max_picture_pixels, picture, error)) {
        std::fprintf(stderr, "%s: png \"%s\": %s\n", program_name, settings.png, error.text);
        return finish_console(1);
    }
    if (check_threads() != 0)
        return finish_console(1);
    drawing.picture = &picture;
    print_plan(settings, drawing);
    // Only now: a stop signal before the image file exists ends the program outright.
    install_stop_handlers();
    bool completed = false;
    // The library's exceptions end here, as a message: memory or a thread that the
    // system refused after all.
    try {
        completed = write_picture_image(drawing, settings.image);
    } catch (const std::system_error& failure) {
        std::fprintf(stderr, "%s: %s\n", program_name, failure.code().message().c_str());
        return finish_console(1);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: out of memory while writing \"%s\"\n", program_name, settings.image);
        return finish_console(1);
    }
    free_grey_picture(picture);
    // 130 after a Ctrl-C, as a shell reports a program that it ended (and as the preview does).
    return finish_console(completed ? 0 : stopped_status());
}
