// ringetch-picture's command-line table. Sizes are read as ringetch reads them; a
// number of the model must fill its whole text, so that a typing slip is refused
// rather than read as a part of the number.
#include "picture/parameters.h"

#include "common/size_parameter.h"

namespace {

using Row = Parameter<PictureSettings>;

constexpr Row parameters[] = {
    {"png", "PATH", "the picture, a PNG file", nullptr, true,
     [](const char* text, PictureSettings& s) { return read_path(text, s.png); }, ""},
    {"tr0", "BYTES", "first-turn length of the calibrated model, at least 1", nullptr, true,
     [](const char* text, PictureSettings& s) { return read_first_turn(text, s.model.tr0); }, first_turn_refusal},
    {"dtr", "BYTES", "growth per turn of the calibrated model, above 0", nullptr, true,
     [](const char* text, PictureSettings& s) { return read_growth(text, s.model.dtr); }, growth_refusal},
    {"size", "BYTES", size_meaning, size_fallback, false,
     [](const char* text, PictureSettings& s) { return read_size_parameter(text, s.size); }, size_refusal},
    {"image", "PATH", "output image path", "picture.rge", false,
     [](const char* text, PictureSettings& s) { return read_path(text, s.image); }, ""},
    {"mirror", "0|1", "1 flips the picture left to right", "0", false,
     [](const char* text, PictureSettings& s) { return read_switch(text, s.mirror); }, switch_refusal},
};

constexpr Usage usage = {
    "png PATH tr0 BYTES dtr BYTES [NAME VALUE]...",
    "Writes a CD-DA image that shows a PNG picture on a disc of a measured track.",
    "ringetch-picture png photo.png tr0 22850.12 dtr 1.40551 image picture.rge",
};

}  // namespace

CommandLine read_picture_parameters(int argc, char** argv, PictureSettings& settings)
{
    return read_command_line(argc, argv, ::parameters, usage, settings);
}
