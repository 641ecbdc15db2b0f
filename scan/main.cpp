// ringetch-scan: reads every line's wedge (its angle and twist, each with its error)
// from a scan or photo of a burned disc's recorded side, and the track model the
// twists fix. Prints one row per line and the model; a capture it does not trust is
// refused with the reason, status 1.
#include <cstdio>
#include <system_error>
#include <thread>

#include "common/console.h"
#include "common/program_name.h"
#include "common/units.h"
#include "common/worker_thread.h"
#include "model_fit/readings_file.h"
#include "scan/capture_reading.h"
#include "scan/parameters.h"

namespace {

BurnedImage image;        // large: what was burned
CaptureReading reading;   // and what the capture shows
Readings readings;

// What was burned, from the image file or the readings file's last burn. Returns
// false after printing why.
bool gather_image(const ScanParameters& p)
{
    char why[512] = {};
    if (p.image_path != nullptr) {
        if (load_burned_image(p.image_path, image, why, sizeof why))
            return true;
        std::fprintf(stderr, "%s: %s\n", program_name, why);
        return false;
    }
    if (load_readings(p.readings_path, readings, why, sizeof why) != LoadResult::loaded) {
        std::fprintf(stderr, "%s: readings \"%s\": %s\n", program_name, p.readings_path, why);
        return false;
    }
    if (readings.burn_count == 0) {
        std::fprintf(stderr, "%s: readings \"%s\": no refinement image has been burned yet\n", program_name,
                     p.readings_path);
        return false;
    }
    const BurnReadings& last = readings.burns[readings.burn_count - 1];
    refinement_burned_image(last.drawn, default_image_size, image);
    if (last.line_count < image.line_count)
        image.line_count = last.line_count;
    return true;
}

void print_reading()
{
    print_line_rows(reading, reading.line_count);
    if (reading.has_model)
        std::printf("model tr0 %.6f dtr %.9f\n", reading.model.tr0, reading.model.dtr);
}

}  // namespace

int main(int argc, char** argv)
{
    program_name = "ringetch-scan";
    reserve_standard_descriptors();
    ScanParameters parameters;
    const CommandLine line = parse_scan_parameters(argc, argv, parameters);
    if (line != CommandLine::run)
        return finish_console(command_line_status(line));
    // What was burned is loaded beside the capture's decoding: the two take about as long.
    // Without a thread to spare, one after the other.
    bool gathered = false;
    std::thread loader;
    try {
        loader = start_worker_thread([&] { gathered = gather_image(parameters); });
    } catch (const std::system_error&) {
        gathered = gather_image(parameters);
    }
    if (gathered || loader.joinable())
        decode_capture(parameters.scan_path);
    if (loader.joinable())
        loader.join();
    if (!gathered)
        return finish_console(1);
    read_capture(parameters.scan_path, parameters.second_path, image, parameters.overlay_path, reading);
    if (reading.refused) {
        std::fprintf(stderr, "%s: %s\n", program_name, reading.why);
        return finish_console(1);
    }
    print_reading();
    return finish_console(0);
}
