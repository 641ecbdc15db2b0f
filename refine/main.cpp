// ringetch-refine: after a cycle of the calibration dialogue, refines the disc's
// track model to picture grade from the angles of the wedges on a few burned
// refinement images.
#include <cstdio>

#include "common/calibration_state.h"
#include "common/console.h"
#include "common/interrupt.h"
#include "common/program_name.h"
#include "refine/parameters.h"
#include "model_fit/readings_file.h"
#include "refine/scan_readings.h"
#include "refine/session.h"
#include "refine/session_files.h"

namespace {

Readings readings;  // the session's readings: large, and alive for the whole run

// The ranges from the command line, or else from the readings file, or else (with a
// first image's scan) the dialogue's own; then that scan's twists. Returns the exit
// status of a run that cannot start (130: Ctrl-C while a FIFO was awaited), or 0.
int gather_start(RefineParameters& p)
{
    if (p.readings_path != nullptr) {
        char why[256];
        const LoadResult loaded = load_readings(p.readings_path, readings, why, sizeof why);
        if (loaded == LoadResult::interrupted) {
            std::fprintf(stderr, "%s: readings \"%s\": interrupted while waiting for them\n", program_name,
                         p.readings_path);
            return 130;
        }
        if (loaded == LoadResult::failed) {
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
    } else if (p.first_scan != nullptr) {
        // Straight from a blank disc: the dialogue's ranges, for the ends not given.
        const TrackRanges start = CalibrationState{}.ranges;
        const double* from[] = {&start.tr0_f, &start.tr0_t, &start.dtr_t, &start.dtr_f};
        double* to[] = {&p.ranges.tr0_f, &p.ranges.tr0_t, &p.ranges.dtr_t, &p.ranges.dtr_f};
        for (int i = 0; i < 4; ++i)
            if (!p.range_given[i])
                *to[i] = *from[i];
    } else if (!(p.range_given[0] && p.range_given[1] && p.range_given[2] && p.range_given[3])) {
        std::fprintf(stderr,
                     "%s: tr0 and dtr are needed: the ranges as ringetch printed them after a cycle, as in "
                     "tr0 23025-23130 dtr 1.396420513-1.387584 (or tr0_f, tr0_t, dtr_t and dtr_f, or readings "
                     "FILE from an earlier session)\n",
                     program_name);
        return 1;
    }
    readings.ranges = p.ranges;
    const int checked = check_refine_start(p);
    if (checked != 0 || p.first_scan == nullptr)
        return checked;
    if (readings.first_twist_count > 0) {
        std::fprintf(stderr, "%s: readings \"%s\" already hold a first image's twists: name first only once\n",
                     program_name, p.readings_path);
        return 1;
    }
    return read_first_image(p.first_scan, p.first_turned, p.first_image, readings) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    program_name = "ringetch-refine";
    reserve_standard_descriptors();
    install_stop_handlers();
    RefineParameters p;
    const CommandLine line = parse_refine_parameters(argc, argv, p);
    if (line != CommandLine::run)
        return finish_console(command_line_status(line));
    const SessionFiles files = name_session_files(p);
    if (check_distinct_files(p, files) != 0 || check_no_earlier_readings(p, files) != 0)
        return finish_console(1);
    const int started = gather_start(p);
    if (started != 0)
        return finish_console(started);
    return finish_console(run_refinement(p, files, readings));
}
