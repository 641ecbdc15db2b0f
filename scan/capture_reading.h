// Reading a burned disc from a capture of its recorded side (a flatbed scan or a
// phone photo): every line's wedge angle and twist, each with its error, and the
// track model the twists fix. The reader never guesses: a line it cannot read is
// marked unread, and a capture it does not trust is refused with the reason.
#pragma once

#include <cstddef>

#include "common/track_model.h"

constexpr int max_capture_lines = 64;

// What was burned: for every line of the image, the stream position (pixel bytes
// from the image's start) of each marked turn's first marker byte, in order.
constexpr int max_marked_turns = 560;

struct BurnedLine {
    int marked_turns = 0;                         // turns of the line that carry a marker
    double marker_start[max_marked_turns] = {};   // stream position of each marker's first byte
    double line_start = 0;                        // stream position of the line's first byte
    double line_end = 0;                          // and of the first byte past it
    bool dark_marker = false;                     // markers darker than the line's fill
    int fill_shade = 0;                           // the fill's shade on the recorded side (image/shades.h)
};

struct BurnedImage {
    int line_count = 0;
    BurnedLine lines[max_capture_lines];
    bool direction_mark = false;  // line 0 carries the refinement image's direction mark
};

// One line as the capture shows it. Angles in degrees on the capture's own zero,
// clockwise as the recorded side is seen.
struct LineReading {
    bool read = false;         // false: the line could not be read (no reading is guessed)
    double angle = 0;          // the wedge's leading edge at the band's inner end, 0 <= a < 360
    double twist = 0;          // how far the edge turns from the first marked turn to the last, signed, not wrapped
    double angle_error = 0;    // one standard deviation of angle
    double twist_error = 0;    // one standard deviation of twist
    double row_twist_error = 0;  // the part of it the rows' scatter shows, which the twist model's guard weighs
};

// What the twists came to: too few lines or twists too alike to fix a model, a model,
// one no better constrained than its start, or twists that no one model explains.
enum class ModelFit { too_few, fixed, loose, inconsistent };

struct CaptureReading {
    bool refused = false;      // the capture is not trusted: why says so, no reading is to be used
    char why[512] = {};
    int line_count = 0;        // lines of the burned image
    LineReading lines[max_capture_lines];
    bool has_model = false;    // the twists fix one track model
    TrackModel model{0, 0};
    double covariance[2][2] = {};  // of (tr0, dtr), bytes squared
    ModelFit model_fit = ModelFit::too_few;  // what the twists came to
    double model_chi_square = 0;   // per degree of freedom, of the twists against the model
    double turn = 0;               // second capture: how far the disc was turned, degrees
};

// The lines, markers and fills of an image file, read from its own bytes. False with
// the reason in `why` (naming the file) when it cannot be read or holds no lines.
bool load_burned_image(const char* path, BurnedImage& image, char* why, std::size_t why_size);

// The lines of a refinement image drawn with `drawn` up to size_limit bytes, as
// ringetch-refine writes it (for a readings file's burn, without the image file).
void refinement_burned_image(TrackModel drawn, double size_limit, BurnedImage& image);

// Decodes capture ahead of read_capture, which then does not decode it again: so that
// the burned image can be loaded on another thread meanwhile. A capture that cannot
// be decoded is refused by read_capture.
void decode_capture(const char* capture);

// Reads capture (and second_capture, the same disc turned on the glass, when not
// null) against what was burned. Writes the overlay PNG when overlay_path is not
// null. A capture that cannot be opened or decoded is refused with the reason.
void read_capture(const char* capture, const char* second_capture, const BurnedImage& image,
                  const char* overlay_path, CaptureReading& reading);

// Prints the reading's first `lines` rows: `line N angle A twist T error E twist error F`
// for a line read, `line N -` for one that is not.
void print_line_rows(const CaptureReading& reading, int lines);
