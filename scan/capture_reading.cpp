// Placeholder until the reader lands: every capture is refused.
#include "scan/capture_reading.h"

#include <cstdio>

bool load_burned_image(const char* path, BurnedImage& image, char* why, std::size_t why_size)
{
    image = BurnedImage{};
    std::snprintf(why, why_size, "image \"%s\": not read yet", path);
    return false;
}

void refinement_burned_image(TrackModel, double, BurnedImage& image) { image = BurnedImage{}; }

void read_capture(const char* capture, const char*, const BurnedImage&, const char*, CaptureReading& reading)
{
    reading = CaptureReading{};
    reading.refused = true;
    std::snprintf(reading.why, sizeof reading.why, "scan \"%s\": the reader is not built yet", capture);
}
