// The reader's steps in order: the capture decoded, the disc found and mapped, a
// colour capture's channels weighed, every line read, a second capture (the disc
// turned) checked against the first, the model from the twists, the guards, and the
// overlay.
#include "scan/capture_reading.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "scan/reader_parts.h"

namespace {

struct OneCapture {
    SamplePicture samples;       // as decoded; a grey capture's grey looks at them
    cv::Mat grey;
    bool decoded = false;        // grey holds the capture at path
    char decode_why[512] = {};   // why it was not decoded
    const char* path = nullptr;  // the file decoded
    DiscMap map;
    bool mapped = false;
    CaptureTraces traces;
};

OneCapture first_capture;  // large; the reader reads one capture at a time
OneCapture second_capture_state;

void release(OneCapture& capture)
{
    capture.grey.release();
    free_sample_picture(capture.samples);
    capture = OneCapture{};
}

void decode(const char* path, OneCapture& capture)
{
    release(capture);
    capture.path = path;
    capture.decoded = load_capture(path, capture.samples, capture.grey, capture.decode_why, sizeof capture.decode_why);
}

void refuse(CaptureReading& reading, const char* why)
{
    reading.refused = true;
    std::snprintf(reading.why, sizeof reading.why, "%s", why);
}

// Decodes, maps and reads one capture into reading; refuses it with the reason.
void read_one(const char* path, const BurnedImage& image, OneCapture& capture, CaptureReading& reading)
{
    char why[sizeof reading.why] = {};
    if (capture.path == nullptr || std::strcmp(capture.path, path) != 0)
        decode(path, capture);
    reading.line_count = image.line_count;
    if (!capture.decoded) {
        refuse(reading, capture.decode_why);
        return;
    }
    char reason[sizeof reading.why - 64] = {};
    try {
        capture.mapped = find_disc(capture.grey, image, capture.map, reason, sizeof reason);
        if (capture.mapped && capture.samples.channels == 3) {
            weigh_channels(capture.samples, image, capture.map, capture.grey);
            free_sample_picture(capture.samples);
        }
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

void decode_capture(const char* capture) { decode(capture, first_capture); }

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
        release(second_capture_state);
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
    release(first_capture);
}
