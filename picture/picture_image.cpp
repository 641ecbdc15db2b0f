// The picture writer: the turn walk of the calibration images with a picture's
// bands in place of the test pattern. A band's row is made when the walk reaches
// the band's first turn; each turn then takes the row stretched to its length, as
// one run when the row is all one byte.
#include "picture/picture_image.h"

#include "common/units.h"
#include "image/output_file.h"
#include "image/turn_walk.h"
#include "picture/band_row.h"

namespace {

BandRow band_row;
std::uint8_t turn_bytes[max_turn_bytes + 1];

// Fills band_row for the band that starts at turn n, where the walk stands: the
// shades of the band's middle turn, found by taking the turns before it as the walk
// will take them.
void start_band(const PictureDrawing& drawing, const GreySampler& sampler, std::int64_t n, const TurnWalk& walk)
{
    const std::int64_t left = drawing.track.turns - n;
    const std::int64_t middle = n + (left < band_turns ? left : band_turns) / 2;
    TurnCursor cursor = walk.cursor;
    double a = walk.a;
    for (std::int64_t k = n; k < middle; ++k) {
        cursor.count += turn_byte_count(a, cursor);
        cursor.pos += a;
        a += walk.growth;
    }
    draw_band_row(sampler, n / band_turns, cursor.count, turn_byte_count(a, cursor), band_row);
}

struct PictureTurns {
    const PictureDrawing* drawing;
    GreySampler sampler;

    void start_line(const TurnWalk& walk) const
    {
        const DiscPlace place = place_on_disc(drawing->model, walk.cursor.pos);
        std::printf("line number %d, start byte - %g Mb (radius %.1f mm)\n", walk.line,
                    walk.cursor.pos / bytes_per_mib, place.radius_mm);
        flush_console();
    }

    void draw_turn(TurnWalk& walk, std::FILE* file) const
    {
        const std::int64_t n = std::int64_t{walk.line} * turns_per_line + walk.turn_in_line;
        if (n % band_turns == 0)
            start_band(*drawing, sampler, n, walk);
        if (band_row.uniform) {
            const std::uint8_t byte = band_row.bytes[0];
            draw_turn_runs(walk.a, {byte, 0}, byte, walk.cursor, file);
            return;
        }
        stretch_row(band_row.bytes, band_row.length, turn_bytes, turn_byte_count(walk.a, walk.cursor));
        draw_turn_pixels(walk.a, turn_bytes, walk.cursor, file);
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
    PictureTurns turns{&drawing, {drawing.model, drawing.picture, drawing_placement(drawing)}};
    TurnWalk walk;
    walk.a = drawing.model.tr0;
    walk.growth = drawing.model.dtr;
    return walk_turns(turns, walk, drawing.size_limit, file);
}

bool write_picture_image(const PictureDrawing& drawing, const char* path)
{
    bool completed = false;
    write_image_file(path, [&](std::FILE* file) {
        completed = draw_picture_image(drawing, file);
        return completed;
    });
    return completed;
}
