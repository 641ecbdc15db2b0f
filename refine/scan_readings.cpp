// The scan reader's results turned into readings: per line the angle and twist with
// their errors, and for a first image the stream positions its twists span, which
// are what the fit needs of a line drawn with any model.
#include "refine/scan_readings.h"

#include <cstdio>

#include "common/program_name.h"
#include "scan/capture_reading.h"

namespace {

BurnedImage burned;       // what was burned: large, one at a time
CaptureReading reading;   // what the capture showed

const char* or_null(const char* path) { return path != nullptr && *path != '\0' ? path : nullptr; }

bool twist_read(const LineReading& line) { return line.read && line.twist_error > 0; }

}  // namespace

bool read_burn_from_scan(double size_limit, const char* capture, const char* turned, BurnReadings& burn)
{
    refinement_burned_image(burn.drawn, size_limit, burned);
    read_capture(capture, or_null(turned), burned, nullptr, reading);
    if (reading.refused) {
        std::printf("the scan is not taken: %s\n", reading.why);
        return false;
    }
    const int lines = reading.line_count < burn.line_count ? reading.line_count : burn.line_count;
    print_line_rows(reading, lines);
    BurnReadings scanned;
    scanned.drawn = burn.drawn;
    scanned.line_count = burn.line_count;
    scanned.source = ReadBy::scan;
    for (int k = 0; k < lines; ++k) {
        const LineReading& line = reading.lines[k];
        scanned.read[k] = line.read;
        scanned.angle[k] = line.angle;
        scanned.error[k] = line.angle_error;
        scanned.twist_read[k] = twist_read(line) && burned.lines[k].marked_turns >= 2;
        scanned.twist_turns[k] = burned.lines[k].marked_turns;
        scanned.twist[k] = line.twist;
        scanned.twist_error[k] = line.twist_error;
    }
    burn = scanned;
    return true;
}

bool read_first_image(const char* capture, const char* turned, const char* image_path, Readings& readings)
{
    char why[512];
    if (!load_burned_image(image_path, burned, why, sizeof why)) {
        std::fprintf(stderr, "%s: %s\n", program_name, why);
        return false;
    }
    read_capture(capture, or_null(turned), burned, nullptr, reading);
    if (reading.refused) {
        std::fprintf(stderr, "%s: %s\n", program_name, reading.why);
        return false;
    }
    int count = 0;
    FirstTwist twists[max_first_twists];
    for (int k = 0; k < reading.line_count && k < burned.line_count && count < max_first_twists; ++k) {
        const LineReading& line = reading.lines[k];
        const BurnedLine& drawn = burned.lines[k];
        if (!twist_read(line) || drawn.marked_turns < 2)
            continue;
        twists[count++] = {k, drawn.marker_start[0], drawn.marker_start[drawn.marked_turns - 1], drawn.marked_turns,
                           line.twist, line.twist_error};
    }
    if (count == 0) {
        std::fprintf(stderr, "%s: scan \"%s\" of the first image shows no line's twist\n", program_name, capture);
        return false;
    }
    std::printf("first image \"%s\" read from \"%s\":\n", image_path, capture);
    print_line_rows(reading, reading.line_count < burned.line_count ? reading.line_count : burned.line_count);
    readings.first_twist_count = count;
    for (int i = 0; i < count; ++i)
        readings.first_twists[i] = twists[i];
    return true;
}
