// The stage-two sweep image: every line tests another first-turn length, each with
// the growth that carries it through the anchor, so all lines agree at the anchor.
#include <cmath>
#include <cstdint>

#include "common/interrupt.h"
#include "common/units.h"
#include "image/images.h"
#include "image/interleaver.h"
#include "image/output_file.h"
#include "image/turn.h"

namespace {
// Growth per turn of the model with first turn t that passes through the anchor.
double growth_through_anchor(double t, double anchor_pos, double anchor_len)
{
    return (anchor_len * anchor_len - t * t) / (2 * anchor_pos);
}

bool span_holds(double t, double tr0_step, double ref_tr0) { return t <= ref_tr0 && ref_tr0 <= t + tr0_step; }
}  // namespace

bool draw_sweep_image(double tr0_start, double tr0_step, double ref_tr0, double size_limit, double anchor_pos,
                      double anchor_len, std::FILE* file)
{
    double t = tr0_start;
    bool gray = span_holds(t, tr0_step, ref_tr0);
    double g = growth_through_anchor(t, anchor_pos, anchor_len);
    print_line_start(0, 0.0, gray);

    double a = t;
    double pos = 0;
    std::int64_t count = 0;
    int line = 0;
    int j = 0;
    while (turn_fits(a, pos, size_limit)) {
        if (j >= turns_per_line) {
            line += 1;
            j = 0;
            t += tr0_step;
            g = growth_through_anchor(t, anchor_pos, anchor_len);
            // The new model's turn length at the position reached.
            a = std::sqrt(t * t + 2 * g * pos);
            gray = span_holds(t, tr0_step, ref_tr0);
            print_line_start(line, pos, gray);
            if (!turn_fits(a, pos, size_limit))
                break;
        }
        draw_turn(a, j, line, gray, pos, count, file);
        a += g;
        j += 1;
        if (break_requested != 0)
            return false;
    }
    finish_image(file);
    return true;
}

void write_sweep_image(double tr0_start, double tr0_step, double ref_tr0, double size_limit, double anchor_pos,
                       double anchor_len, const char* path)
{
    break_requested = 0;
    std::FILE* file = open_image(path);
    const bool completed = draw_sweep_image(tr0_start, tr0_step, ref_tr0, size_limit, anchor_pos, anchor_len, file);
    close_image(file, path, completed);
}
