// ringetch-scan's command-line table: each parameter's meaning and reading.
#include "scan/parameters.h"

#include <cstdio>

#include "common/program_name.h"

namespace {

using Row = Parameter<ScanParameters>;

constexpr Row parameters[] = {
    {"scan", "PATH", "the scan or photo of the recorded side (PNG or JPEG)", nullptr, true,
     [](const char* text, ScanParameters& p) { return read_path(text, p.scan_path); }, ""},
    {"image", "PATH", "the image file that was burned", nullptr, false,
     [](const char* text, ScanParameters& p) { return read_path(text, p.image_path); }, ""},
    {"readings", "PATH", "or the readings file whose last refinement image was burned", nullptr, false,
     [](const char* text, ScanParameters& p) { return read_path(text, p.readings_path); }, ""},
    {"scan2", "PATH", "a second capture, the disc turned on the glass", nullptr, false,
     [](const char* text, ScanParameters& p) { return read_path(text, p.second_path); }, ""},
    {"overlay", "PATH", "the PNG to write showing what was found", nullptr, false,
     [](const char* text, ScanParameters& p) { return read_path(text, p.overlay_path); }, ""},
};

constexpr Usage usage = {
    "scan CAPTURE image IMAGE [NAME VALUE]...",
    "Reads the wedge of every line of a burned disc from a scan or photo of it.",
    "ringetch-scan scan disc.png image image.rge overlay seen.png",
};

}  // namespace

CommandLine parse_scan_parameters(int argc, char** argv, ScanParameters& p)
{
    const CommandLine line = read_command_line(argc, argv, ::parameters, usage, p);
    if (line != CommandLine::run)
        return line;
    if ((p.image_path == nullptr) == (p.readings_path == nullptr)) {
        std::fprintf(stderr, "%s: name what was burned: image PATH or readings PATH, one of them\n", program_name);
        return CommandLine::refused;
    }
    return CommandLine::run;
}
