// ringetch-refine: after a cycle of the calibration dialogue, refines the disc's
// track model to picture grade from the angles of the wedges on a few burned
// refinement images.
#include <cstdio>

#include "common/console.h"
#include "common/interrupt.h"
#include "common/program_name.h"
#include "refine/parameters.h"
#include "model_fit/readings_file.h"
#include "refine/session.h"

namespace {

Readings readings;  // the session's readings: large, and alive for the whole run

// The ranges from the command line, or else from the readings file.
int gather_start(RefineParameters& p)
{
    if (p.readings_path != nullptr) {
        char why[256];
        if (!load_readings(p.readings_path, readings, why, sizeof why)) {
            std::fprintf(stderr, "%s: readings \"%s\": %s\n", program_name, p.readings_path, why);
            return 1;
        }
        const TrackRanges given = p.ranges;
        p.ranges = readings.ranges;
        const double* from[] = {&given.tr0_f, &given.tr0_t, &given.dtr_t, &given.dtr_f};
        double* to[] = {&p.ranges.tr0_f, &p.ranges.tr0_t, &p.ranges.dtr_t, &p.ranges.dtr_f};
        for (int i = 0; i < 4; ++i)
            if (p.range_given[i])
                *to[i] = *from[i];
    } else if (!(p.range_given[0] && p.range_given[1] && p.range_given[2] && p.range_given[3])) {
        std::fprintf(stderr,
                     "%s: tr0_f, tr0_t, dtr_t and dtr_f are needed: the ranges as ringetch printed them after a "
                     "cycle (or readings FILE from an earlier session)\n",
                     program_name);
        return 1;
    }
    readings.ranges = p.ranges;
    return check_refine_start(p);
}

}  // namespace

int main(int argc, char** argv)
{
    program_name = "ringetch-refine";
    reserve_standard_descriptors();
    install_stop_handlers();
    RefineParameters p;
    if (parse_refine_parameters(argc, argv, p) != 0 || gather_start(p) != 0)
        return finish_console(1);
    return finish_console(run_refinement(p, readings));
}
