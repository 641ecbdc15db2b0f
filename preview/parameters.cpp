// ringetch-preview's command-line table: each parameter's meaning, default and reading.
#include "preview/parameters.h"

namespace {

using Row = Parameter<PreviewParameters>;

constexpr Row parameters[] = {
    {"image", "PATH", "the image to preview", "image.rge", false,
     [](const char* text, PreviewParameters& p) { return read_path(text, p.image_path); }, ""},
    {"tr0", "BYTES", "first-turn length of the simulated disc, at least 1", "23000", false,
     [](const char* text, PreviewParameters& p) { return read_first_turn(text, p.model.tr0); }, first_turn_refusal},
    {"dtr", "BYTES", "growth per turn of the simulated disc, above 0", "1.388", false,
     [](const char* text, PreviewParameters& p) { return read_growth(text, p.model.dtr); }, growth_refusal},
    {"png", "PATH", "the picture to write", "preview.png", false,
     [](const char* text, PreviewParameters& p) { return read_path(text, p.png_path); }, ""},
    {"pixels", "COUNT", "side of the square picture, 16 to 8192", "1024", false,
     [](const char* text, PreviewParameters& p) { return read_whole_number(text, min_pixels, max_pixels, p.pixels); },
     "is not a whole number from 16 to 8192"},
};

constexpr Usage usage = {
    "[NAME VALUE]...",
    "Shows what an image will look like on a disc, as a PNG, and reads its lines.",
    "ringetch-preview image image.rge tr0 23000 dtr 1.388 png preview.png",
};

}  // namespace

CommandLine parse_preview_parameters(int argc, char** argv, PreviewParameters& parameters)
{
    return read_command_line(argc, argv, ::parameters, usage, parameters);
}
