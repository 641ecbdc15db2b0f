// The stage-one test image: one track model for the whole disc, with markers that
// line up where the model fits, and a gray landmark line at the reference crossing.
#include <cstdint>

#include "common/interrupt.h"
#include "common/units.h"
#include "image/images.h"
#include "image/interleaver.h"
#include "image/output_file.h"
#include "image/turn.h"

namespace {
// Both ends inclusive, so a crossing exactly on a boundary makes two lines gray.
// A crossing that is not a number makes no line gray.
bool line_holds_crossing(int line, double crossing)
{
    const double first_turn = static_cast<double>(turns_per_line) * line;
    return first_turn <= crossing && crossing <= first_turn + turns_per_line;
}
}  // namespace

bool draw_track_image(double tr0, double dtr, double ref_tr0, double ref_dtr, double size_limit, std::FILE* file)
{
    const double crossing = (tr0 - ref_tr0) / (ref_dtr - dtr);
    bool gray = line_holds_crossing(0, crossing);
    print_line_start(0, 0.0, gray);

    double a = tr0;
    double pos = 0;
    std::int64_t count = 0;
    int line = 0;
    int j = 0;
    while (turn_fits(a, pos, size_limit)) {
        if (j >= turns_per_line) {
            line += 1;
            j = 0;
            gray = line_holds_crossing(line, crossing);
            print_line_start(line, pos, gray);
        }
        draw_turn(a, j, line, gray, pos, count, file);
        a += dtr;
        j += 1;
        if (break_requested != 0)
            return false;
    }
    finish_image(file);
    return true;
}

void write_track_image(double tr0, double dtr, double ref_tr0, double ref_dtr, double size_limit, const char* path)
{
    break_requested = 0;
    std::FILE* file = open_image(path);
    const bool completed = draw_track_image(tr0, dtr, ref_tr0, ref_dtr, size_limit, file);
    close_image(file, path, completed);
}
