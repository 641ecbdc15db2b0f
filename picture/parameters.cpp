// ringetch-picture's command-line table. Sizes are read as ringetch reads them; a
// number of the model must fill its whole text, so that a typing slip is refused
// rather than read as a part of the number.
#include "picture/parameters.h"

#include <cstdio>

#include "common/program_name.h"
#include "common/size_parameter.h"

namespace {

using Row = Parameter<PictureSettings>;

constexpr Row parameters[] = {
    {"png", "PATH", "the picture, a PNG, JPEG or TIFF file", nullptr, true,
     [](const char* text, PictureSettings& s) { return read_path(text, s.png); }, ""},
    {"tr0", "BYTES", "first-turn length of the calibrated model, at least 1", nullptr, false,
     [](const char* text, PictureSettings& s) { return read_first_turn(text, s.model.tr0); }, first_turn_refusal},
    {"dtr", "BYTES", "growth per turn of the calibrated model, above 0", nullptr, false,
     [](const char* text, PictureSettings& s) { return read_growth(text, s.model.dtr); }, growth_refusal},
    {"size", "BYTES", size_meaning, size_fallback, false,
     [](const char* text, PictureSettings& s) { return read_size_parameter(text, s.size); }, size_refusal},
    {"image", "PATH", "output image path", "picture.rge", false,
     [](const char* text, PictureSettings& s) { return read_path(text, s.image); }, ""},
    {"mirror", "0|1", "1 flips the picture left to right", "0", false,
     [](const char* text, PictureSettings& s) { return read_switch(text, s.mirror); }, switch_refusal},
    {"readings", "PATH", "ringetch-refine's readings: the model of their last fit, instead of tr0 and dtr", nullptr,
     false, [](const char* text, PictureSettings& s) { return read_path(text, s.readings); }, ""},
};

constexpr Usage usage = {
    "png PATH tr0 BYTES dtr BYTES [NAME VALUE]...",
    "Writes a CD-DA image that shows a PNG, JPEG or TIFF picture on a disc of a measured track.",
    "ringetch-picture png photo.png tr0 22850.12 dtr 1.40551 image picture.rge",
};

}  // namespace

CommandLine read_picture_parameters(int argc, char** argv, PictureSettings& settings)
{
    const CommandLine line = read_command_line(argc, argv, ::parameters, usage, settings);
    if (line != CommandLine::run)
        return line;
    // The model comes from the readings or from tr0 and dtr (both above 0 once read).
    const bool tr0 = settings.model.tr0 > 0;
    const bool dtr = settings.model.dtr > 0;
    if (settings.readings != nullptr && (tr0 || dtr)) {
        std::fprintf(stderr, "%s: readings \"%s\" and %s both give the model: name one of them\n", program_name,
                     settings.readings, tr0 ? "tr0" : "dtr");
        return CommandLine::refused;
    }
    if (settings.readings == nullptr && !tr0)
        return refuse_missing("tr0", ::parameters[1].meaning);
    if (settings.readings == nullptr && !dtr)
        return refuse_missing("dtr", ::parameters[2].meaning);
    return CommandLine::run;
}
