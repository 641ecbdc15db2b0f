// simulate-scan: the test suite's scanner as a command, for the benchmarks and for
// trying the reader by hand. Renders a burned image on a disc of a given track,
// takes a degraded capture of it and prints the truth that made it:
//   simulate-scan image X.rge tr0 T dtr D dpi 600 blur 2 noise 3 contrast 0.05 out c.png
#include <cmath>
#include <cstdio>
#include <string>

#include "common/command_line.h"
#include "common/decimal_text.h"
#include "common/program_name.h"
#include "scan_capture.h"

namespace {

struct SimulateSettings {
    const char* image_path = nullptr;
    const char* out_path = nullptr;
    CaptureConditions conditions;
};

// A decimal number from least to most.
bool read_between(const char* text, double least, double most, double& value)
{
    double read = 0;
    if (!read_decimal(text, read) || read < least || read > most)
        return false;
    value = read;
    return true;
}

// Two decimal numbers joined by a comma: "3,-2".
bool read_offset(const char* text, CaptureConditions& c)
{
    const std::string pair = text;
    const std::size_t comma = pair.find(',');
    double x = 0;
    double y = 0;
    if (comma == std::string::npos || !read_decimal(pair.substr(0, comma).c_str(), x) ||
        !read_decimal(pair.substr(comma + 1).c_str(), y) || std::fabs(x) > 30 || std::fabs(y) > 30)
        return false;
    c.offset_x_mm = x;
    c.offset_y_mm = y;
    return true;
}

using Row = Parameter<SimulateSettings>;

constexpr Row parameters[] = {
    {"image", "PATH", "the burned image", nullptr, true,
     [](const char* t, SimulateSettings& s) { return read_path(t, s.image_path); }, ""},
    {"tr0", "BYTES", "first-turn length of the disc", "23000", false,
     [](const char* t, SimulateSettings& s) { return read_first_turn(t, s.conditions.disc.tr0); }, first_turn_refusal},
    {"dtr", "BYTES", "growth per turn of the disc", "1.388", false,
     [](const char* t, SimulateSettings& s) { return read_growth(t, s.conditions.disc.dtr); }, growth_refusal},
    {"dpi", "DPI", "capture resolution, 100 to 2400", "600", false,
     [](const char* t, SimulateSettings& s) { return read_between(t, 100, 2400, s.conditions.dpi); },
     "is not from 100 to 2400"},
    {"contrast", "FRACTION", "pattern range as a fraction of the full scale", "0.25", false,
     [](const char* t, SimulateSettings& s) { return read_between(t, 0, 1, s.conditions.contrast); }, "is not from 0 to 1"},
    {"gradient", "FRACTION", "illumination gradient across the bed", "0", false,
     [](const char* t, SimulateSettings& s) { return read_between(t, 0, 1, s.conditions.gradient); }, "is not from 0 to 1"},
    {"band", "FRACTION", "peak of the band fixed to the capture", "0", false,
     [](const char* t, SimulateSettings& s) { return read_between(t, 0, 1, s.conditions.band); }, "is not from 0 to 1"},
    {"blur", "PIXELS", "Gaussian blur, one standard deviation", "0", false,
     [](const char* t, SimulateSettings& s) { return read_between(t, 0, 10, s.conditions.blur); }, "is not from 0 to 10"},
    {"noise", "SHADES", "Gaussian noise, one standard deviation", "0", false,
     [](const char* t, SimulateSettings& s) { return read_between(t, 0, 64, s.conditions.noise); }, "is not from 0 to 64"},
    {"offset", "X,Y", "the disc's centre from the bed's, mm", "0,0", false,
     [](const char* t, SimulateSettings& s) { return read_offset(t, s.conditions); },
     "is not two numbers of -30 to 30 mm joined by a comma, as in 3,-2"},
    {"turn", "DEGREES", "the disc turned clockwise", "0", false,
     [](const char* t, SimulateSettings& s) { return read_between(t, -3600, 3600, s.conditions.rotation); },
     "is not from -3600 to 3600"},
    {"mirror", "0|1", "the capture mirrored", "0", false,
     [](const char* t, SimulateSettings& s) { return read_switch(t, s.conditions.mirror); }, switch_refusal},
    {"tilt", "DEGREES", "a phone's tilt", "0", false,
     [](const char* t, SimulateSettings& s) { return read_between(t, 0, 45, s.conditions.tilt); }, "is not from 0 to 45"},
    {"jpeg", "QUALITY", "saved as JPEG of that quality; 0: PNG", "0", false,
     [](const char* t, SimulateSettings& s) { return read_whole_number(t, 0, 100, s.conditions.jpeg_quality); },
     "is not a whole number from 0 to 100"},
    {"bits", "8|16", "bits a sample", "8", false,
     [](const char* t, SimulateSettings& s) {
         int bits = 0;
         if (!read_whole_number(t, 8, 16, bits) || (bits != 8 && bits != 16))
             return false;
         s.conditions.bits = bits;
         return true;
     },
     "is neither 8 nor 16"},
    {"colour", "0|1", "three channels", "0", false,
     [](const char* t, SimulateSettings& s) { return read_switch(t, s.conditions.colour); }, switch_refusal},
    {"lid", "SHADE", "shade of the lid, 0 to 255", "225", false,
     [](const char* t, SimulateSettings& s) { return read_between(t, 0, 255, s.conditions.lid); },
     "is not from 0 to 255"},
    {"seed", "NUMBER", "of the noise", "1", false,
     [](const char* t, SimulateSettings& s) {
         int seed = 0;
         if (!read_whole_number(t, 0, 1 << 30, seed))
             return false;
         s.conditions.seed = static_cast<unsigned>(seed);
         return true;
     },
     "is not a whole number"},
    {"out", "PATH", "the capture to write (PNG, or JPEG with jpeg)", nullptr, true,
     [](const char* t, SimulateSettings& s) { return read_path(t, s.out_path); }, ""},
};

constexpr Usage usage = {
    "image PATH out PATH [NAME VALUE]...",
    "Simulates a scan or photo of a burned disc and prints where the disc lies on it.",
    "simulate-scan image image.rge tr0 23000 dtr 1.388 dpi 600 blur 2 noise 3 contrast 0.05 out capture.png",
};

}  // namespace

int main(int argc, char** argv)
{
    program_name = "simulate-scan";
    SimulateSettings settings;
    const CommandLine line = read_command_line(argc, argv, parameters, usage, settings);
    if (line != CommandLine::run)
        return command_line_status(line);
    if (settings.conditions.jpeg_quality > 0 && settings.conditions.bits != 8) {
        std::fprintf(stderr, "%s: a JPEG holds 8 bits a sample; bits 16 needs jpeg 0\n", program_name);
        return 1;
    }
    DiscFace face;
    std::string why;
    if (!render_disc_face(settings.image_path, settings.conditions.disc, face_side(settings.conditions.dpi), face, why)) {
        if (!why.empty())
            std::fprintf(stderr, "%s: %s\n", program_name, why.c_str());
        return 1;
    }
    Capture capture;
    CaptureTruth truth;
    simulate_capture(face, settings.conditions, capture, truth);
    if (!write_capture(capture, settings.conditions.jpeg_quality, settings.out_path, why)) {
        std::fprintf(stderr, "%s: %s\n", program_name, why.c_str());
        return 1;
    }
    std::printf("%s\n", truth_line(truth).c_str());
    return 0;
}
