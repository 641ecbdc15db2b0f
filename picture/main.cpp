// ringetch-picture: writes a CD-DA image that shows a PNG picture on the recorded
// side of a disc whose track the calibration measured (tr0, dtr).
#include <cstdio>

#include "common/interrupt.h"
#include "common/program_name.h"
#include "image/output_file.h"
#include "picture/band_row.h"
#include "picture/parameters.h"
#include "picture/picture_image.h"
#include "picture/readings_model.h"

namespace {

// The decoded picture, a byte per pixel, is what the memory bound of 128 MiB is
// spent on; everything else the writer holds is a few MiB.
constexpr std::uint64_t max_picture_pixels = 100000000;

constexpr int interrupted_status = 130;

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
    if (settings.readings != nullptr && take_readings_model(settings.readings, settings.size, settings.model) != 0)
        return finish_console(1);
    PictureDrawing drawing;
    drawing.model = settings.model;
    drawing.size_limit = settings.size;
    drawing.track = drawn_track(settings.model, settings.size);
    drawing.mirror = settings.mirror;
    if (check_track(settings, drawing.track) != 0)
        return finish_console(1);
    GreyPicture picture;
    PngError error;
    if (!read_grey_png(settings.png, max_picture_pixels, picture, error)) {
        std::fprintf(stderr, "%s: png \"%s\": %s\n", program_name, settings.png, error.text);
        return finish_console(1);
    }
    drawing.picture = &picture;
    print_plan(settings, drawing);
    // Only now: a Ctrl-C before the image file exists ends the program outright.
    install_interrupt_handler();
    const bool completed = write_picture_image(drawing, settings.image);
    free_grey_picture(picture);
    // 130, as a shell reports a program that a Ctrl-C ended (and as the preview does).
    return finish_console(completed ? 0 : interrupted_status);
}
