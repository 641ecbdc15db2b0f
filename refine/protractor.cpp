// The protractor's SVG. Angles run clockwise from the top as the recorded side is
// seen, as the track runs; coordinates are millimetres from the disc's centre, x to
// the right and y downwards, so the picture prints at its true size.
#include "refine/protractor.h"

#include <cmath>

#include "common/disc_geometry.h"
#include "common/units.h"
#include "image/test_pattern.h"
#include "model_fit/text_output.h"

namespace {

constexpr double degrees_to_radians = 3.141592653589793 / 180;
constexpr double hole_radius_mm = 7.5;
constexpr double hub_ticks_outer_mm = 22.5;  // the clear hub ends short of the first turn
constexpr double rim_ticks_outer_mm = 59.8;

struct Point {
    double x;
    double y;
};

Point at(double radius, double degrees)
{
    const double a = degrees * degrees_to_radians;
    return {radius * std::sin(a), -radius * std::cos(a)};
}

void tick(std::FILE* file, double from, double to, double degrees)
{
    const Point p = at(from, degrees);
    const Point q = at(to, degrees);
    std::fprintf(file, "<line x1=\"%.3f\" y1=\"%.3f\" x2=\"%.3f\" y2=\"%.3f\"/>\n", p.x, p.y, q.x, q.y);
}

void draw_ticks(std::FILE* file)
{
    std::fputs("<g stroke=\"black\" stroke-width=\"0.15\">\n", file);
    for (int d = 0; d < 360; d += 5) {
        const double length = d % 30 == 0 ? 5 : d % 10 == 0 ? 3 : 1.5;
        tick(file, hub_ticks_outer_mm - length, hub_ticks_outer_mm, d);
        tick(file, rim_ticks_outer_mm - length / 2, rim_ticks_outer_mm, d);
    }
    std::fputs("</g>\n<g font-family=\"sans-serif\" font-size=\"2\" text-anchor=\"middle\" "
               "dominant-baseline=\"central\">\n",
               file);
    for (int d = 0; d < 360; d += 30) {
        const Point p = at(hub_ticks_outer_mm - 7, d);
        std::fprintf(file, "<text x=\"%.3f\" y=\"%.3f\">%d</text>\n", p.x, p.y, d);
    }
    std::fputs("</g>\n", file);
}

// A clockwise arc inside the hub ticks with its head at the end: the way the track,
// and every angle read, runs.
void draw_direction_arrow(std::FILE* file)
{
    constexpr double r = 11;
    const Point from = at(r, -28);
    const Point to = at(r, 28);
    const Point head_out = at(r + 1, 22);
    const Point head_in = at(r - 1, 22);
    std::fprintf(file,
                 "<g stroke=\"black\" stroke-width=\"0.3\" fill=\"none\">\n"
                 "<path d=\"M %.3f %.3f A %.1f %.1f 0 0 1 %.3f %.3f\"/>\n"
                 "<path d=\"M %.3f %.3f L %.3f %.3f L %.3f %.3f\"/>\n</g>\n",
                 from.x, from.y, r, r, to.x, to.y, head_out.x, head_out.y, to.x, to.y, head_in.x, head_in.y);
    std::fputs("<text x=\"0\" y=\"-8.6\" font-family=\"sans-serif\" font-size=\"1.3\" text-anchor=\"middle\">"
               "track direction</text>\n",
               file);
}

// Each ring numbered where it crosses a radius of its own, so the numbers of rings
// under a millimetre apart do not overlap.
void draw_line_rings(TrackModel model, int lines, std::FILE* file)
{
    std::fputs("<g fill=\"none\" stroke=\"#1050c0\" stroke-width=\"0.08\">\n", file);
    for (int k = 0; k < lines; ++k)
        std::fprintf(file, "<circle class=\"line-ring\" id=\"line-%d\" cx=\"0\" cy=\"0\" r=\"%.4f\"/>\n", k,
                     line_ring_radius_mm(model, k));
    std::fputs("</g>\n<g font-family=\"sans-serif\" font-size=\"1.3\" fill=\"#1050c0\" text-anchor=\"middle\" "
               "dominant-baseline=\"central\" stroke=\"white\" stroke-width=\"0.25\" paint-order=\"stroke\">\n",
               file);
    for (int k = 0; k < lines; ++k) {
        const Point p = at(line_ring_radius_mm(model, k), 360.0 * k / 32 + 5);
        std::fprintf(file, "<text x=\"%.3f\" y=\"%.3f\">%d</text>\n", p.x, p.y, k);
    }
    std::fputs("</g>\n", file);
}

}  // namespace

double turn_radius_mm(TrackModel model, double turn)
{
    return place_on_disc(model, turn_start(model, turn)).radius_mm;
}

double line_ring_radius_mm(TrackModel model, int line)
{
    const double middle = (first_marker_turn + last_marker_turn + 1) / 2.0;
    return turn_radius_mm(model, static_cast<double>(turns_per_line) * line + middle);
}

void draw_protractor(TrackModel model, int lines, std::FILE* file)
{
    std::fprintf(file,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%gmm\" height=\"%gmm\" "
                 "viewBox=\"%g %g %g %g\">\n"
                 "<title>ringetch-refine protractor for tr0 %.6f dtr %.9f: print at 100 %%</title>\n"
                 "<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"white\"/>\n"
                 "<g fill=\"none\" stroke=\"black\" stroke-width=\"0.2\">\n"
                 "<circle cx=\"0\" cy=\"0\" r=\"%g\"/>\n<circle cx=\"0\" cy=\"0\" r=\"%g\"/>\n</g>\n",
                 protractor_mm, protractor_mm, -disc_radius_mm, -disc_radius_mm, protractor_mm, protractor_mm,
                 model.tr0, model.dtr, -disc_radius_mm, -disc_radius_mm, protractor_mm, protractor_mm,
                 disc_radius_mm - 0.1, hole_radius_mm);
    draw_ticks(file);
    draw_direction_arrow(file);
    draw_line_rings(model, lines, file);
    std::fputs("<text x=\"0\" y=\"5\" font-family=\"sans-serif\" font-size=\"1.4\" text-anchor=\"middle\">"
               "print at 100 %</text>\n</svg>\n",
               file);
}

bool write_protractor(TrackModel model, int lines, const char* path, char* why, std::size_t why_size)
{
    TextOutput output;
    if (!open_text_output(path, output, why, why_size))
        return false;
    draw_protractor(model, lines, output.file);
    return close_text_output(output, why, why_size);
}
