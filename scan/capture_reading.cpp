// The reader's steps in order: the capture decoded, the disc found and mapped, every
// line read, a second capture (the disc turned) checked against the first, the model
// from the twists, the guards, and the overlay.
#include "scan/capture_reading.h"

#include <cstdio>
#include <new>

#include "scan/reader_parts.h"

namespace {

struct OneCapture {
    cv::Mat grey;
    DiscMap map;
    bool mapped = false;
    CaptureTraces traces;
};

OneCapture first_capture;  // large; the reader reads one capture at a time
OneCapture second_capture_state;

void refuse(CaptureReading& reading, const char* why)
{
    reading.refused = true;
    std::snprintf(reading.why, sizeof reading.why, "%s", why);
}

// Decodes, maps and reads one capture into reading; refuses it with the reason.
void read_one(const char* path, const BurnedImage& image, OneCapture& capture, CaptureReading& reading)
{
    char why[sizeof reading.why] = {};
    capture = OneCapture{};
    reading.line_count = image.line_count;
    if (!load_capture(path, capture.grey, why, sizeof why)) {
        refuse(reading, why);
        return;
    }
    char reason[sizeof reading.why - 64] = {};
    try {
        capture.mapped = find_disc(capture.grey, image, capture.map, reason, sizeof reason);
        if (capture.mapped)
            read_lines(capture.grey, image, capture.map, reading, capture.traces, reason, sizeof reason);
    } catch (const cv::Exception& error) {
        std::snprintf(reason, sizeof reason, "cannot be read: %s", error.what());
        capture.mapped = false;
    } catch (const std::bad_alloc&) {
        std::snprintf(reason, sizeof reason, "not enough memory to read it");
        capture.mapped = false;
    }
    if (reason[0] != '\0') {
        std::snprintf(why, sizeof why, "scan \"%s\": %s", path, reason);
        refuse(reading, why);
    }
}

}  // namespace

void read_capture(const char* capture, const char* second_capture, const BurnedImage& image,
                  const char* overlay_path, CaptureReading& reading)
{
    reading = CaptureReading{};
    read_one(capture, image, first_capture, reading);
    if (second_capture != nullptr && !reading.refused) {
        static CaptureReading second;
        second = CaptureReading{};
        read_one(second_capture, image, second_capture_state, second);
        check_turned_capture(second, second_capture, reading);
        second_capture_state = OneCapture{};
    }
    if (!reading.refused)
        fit_twist_model(image, reading);
    guard_reading(image, capture, reading);
    if (reading.refused) {
        reading.has_model = false;
        for (int k = 0; k < reading.line_count; ++k)
            reading.lines[k].read = false;
    }
    if (overlay_path != nullptr && !first_capture.grey.empty()) {
        char why[sizeof reading.why] = {};
        const DiscMap* map = first_capture.mapped ? &first_capture.map : nullptr;
        if (!write_overlay(overlay_path, first_capture.grey, image, map, first_capture.traces, reading, why,
                           sizeof why)) {
            refuse(reading, why);
            reading.has_model = false;
        }
    }
    first_capture = OneCapture{};
}
