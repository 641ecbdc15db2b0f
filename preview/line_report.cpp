// The preview's per-line report, printed from the lines the scan found.
#include "preview/line_report.h"

#include <cmath>
#include <cstdlib>

#include "image/shades.h"

namespace {

constexpr double straight_drift = 15;  // degrees

// Rounded to the tenth that %.1f prints, with no negative zero.
double tenths(double value) { return std::round(value * 10) / 10 + 0.0; }

bool is_straight(const LineRecord& line) { return line.markers >= 2 && std::fabs(tenths(line_drift(line))) < straight_drift; }

}  // namespace

const char* fill_colour(std::uint8_t fill)
{
    const int shade = byte_shades[fill];
    const int to_light = std::abs(shade - light_shade);
    const int to_dark = std::abs(shade - dark_shade);
    const int to_mid = std::abs(shade - mid_shade);
    if (to_mid < to_light && to_mid < to_dark)
        return "gray";
    return to_light <= to_dark ? "white" : "black";
}

void print_report(const LineScan& scan, std::FILE* out)
{
    if (!is_calibration_image(scan)) {
        std::fputs("no markers: not a calibration image\n", out);
        return;
    }
    int best_first = -1;
    int best_length = 0;
    int run_first = 0;
    for (int k = 0; k < scan.lines; ++k) {
        const LineRecord& line = scan.line[k];
        const char* colour = fill_colour(line.fill);
        if (line.markers == 0) {
            std::fprintf(out, "line %d %s markers 0\n", k, colour);
        } else {
            // The angle as printed stays below 360.
            double angle = tenths(line.first_angle);
            angle = angle >= 360 ? 0 : angle;
            std::fprintf(out, "line %d %s markers %d angle %.1f drift %.1f%s\n", k, colour, line.markers, angle,
                         tenths(line_drift(line)), is_straight(line) ? " straight" : "");
        }
        if (!is_straight(line)) {
            run_first = k + 1;
        } else if (k - run_first + 1 > best_length) {
            best_first = run_first;
            best_length = k - run_first + 1;
        }
    }
    if (best_first < 0)
        std::fputs("no straight line\n", out);
    else
        std::fprintf(out, "straight lines %d-%d\n", best_first, best_first + best_length - 1);
}
