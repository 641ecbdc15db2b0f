// What was burned, as the reader needs it: every line's extent and the stream
// position of each marked turn's marker, read back from the image file's bytes (the
// interleaver undone as the preview undoes it) or laid out from a refinement image's
// drawn model with the writers' own turn walk.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "image/deinterleaver.h"
#include "image/image_input.h"
#include "image/line_scan.h"
#include "image/shades.h"
#include "image/test_pattern.h"
#include "image/turn.h"
#include "scan/capture_reading.h"

namespace {

// Any model in the calibrator's ranges tells a marker (a twelfth of a turn) from a
// line's opening (dozens of turns): the line finder's run lengths allow a factor of two.
constexpr TrackModel typical_drawn{23000, 1.388};

struct LoadState {
    RecoveryWindow window;
    std::uint8_t pixels[block_bytes];
    LineScan scan;
    BurnedImage* image = nullptr;
};

LoadState state;  // large; the reader runs one load at a time

void take_marker(void* context, int line, std::int64_t start)
{
    auto& image = *static_cast<BurnedImage*>(context);
    if (line >= max_capture_lines)
        return;
    BurnedLine& burned = image.lines[line];
    if (burned.marked_turns < max_marked_turns)
        burned.marker_start[burned.marked_turns++] = static_cast<double>(start);
}

bool darker(std::uint8_t marker, std::uint8_t fill) { return byte_shades[marker] < byte_shades[fill]; }

// A direction mark (a 48th of a turn of the marker's byte after each marker) shows as
// stray bytes in line 0; the line finder counts them, so the image says it by the
// stray share of its first line.
bool has_direction_mark(const LineScan& scan)
{
    if (scan.lines < 2 || scan.line[0].markers < 2)
        return false;
    const double line_bytes = static_cast<double>(scan.line[1].start - scan.line[0].start);
    return static_cast<double>(scan.stray_bytes) > 0.5 * line_bytes / 48;
}

}  // namespace

bool load_burned_image(const char* path, BurnedImage& image, char* why, std::size_t why_size)
{
    image = BurnedImage{};
    // The usual faults are named here, in `why`; image_input names the rarer ones (a
    // failed read, a WAV file of another format) on stderr itself.
    struct stat info {};
    if (stat(path, &info) != 0 || S_ISDIR(info.st_mode)) {
        std::snprintf(why, why_size, "image \"%s\": %s", path,
                      S_ISDIR(info.st_mode) ? "is a folder, not an image file" : std::strerror(errno));
        return false;
    }
    ImageInput input;
    const volatile std::sig_atomic_t never = 0;
    if (!open_image_input(input, path, &never)) {
        std::snprintf(why, why_size, "image \"%s\": cannot be opened", path);
        return false;
    }
    state.window = RecoveryWindow{};
    start_scan(state.scan, typical_drawn);
    state.scan.on_marker = take_marker;
    state.scan.marker_context = &image;
    ReadStatus status = ReadStatus::read;
    for (;;) {
        int got = 0;
        status = read_image_block(input, window_space(state.window), window_room(state.window), got, &never);
        if (status != ReadStatus::read)
            break;
        const PixelSpan span = recover_from_window(state.window, got, state.pixels);
        scan_pixels(state.scan, state.pixels, span.first, span.count);
    }
    close_image_input(input);
    finish_scan(state.scan);
    if (status == ReadStatus::failed) {
        std::snprintf(why, why_size, "image \"%s\": cannot be read", path);
        return false;
    }
    const LineScan& scan = state.scan;
    if (!is_calibration_image(scan)) {
        std::snprintf(why, why_size, "image \"%s\": holds no calibration lines (no markers)", path);
        return false;
    }
    image.line_count = scan.lines < max_capture_lines ? scan.lines : max_capture_lines;
    for (int k = 0; k < image.line_count; ++k) {
        BurnedLine& line = image.lines[k];
        line.line_start = static_cast<double>(scan.line[k].start);
        line.line_end = k + 1 < scan.lines ? static_cast<double>(scan.line[k + 1].start) : static_cast<double>(scan.bytes);
        line.dark_marker = darker(scan.line[k].marker, scan.line[k].fill);
        line.fill_shade = byte_shades[scan.line[k].fill];
    }
    image.direction_mark = has_direction_mark(scan);
    // An image cut before a line's first marked turn: that line has nothing to read.
    while (image.line_count > 0 && image.lines[image.line_count - 1].marked_turns == 0)
        image.line_count -= 1;
    return true;
}

void refinement_burned_image(TrackModel drawn, double size_limit, BurnedImage& image)
{
    image = BurnedImage{};
    image.direction_mark = true;
    TurnWalk walk = walk_of(drawn);
    while (turn_fits(walk, size_limit) && walk.line < max_capture_lines) {
        const int line = walk.line;
        BurnedLine& burned = image.lines[line];
        const LineBytes bytes = line_bytes(line, false);
        if (walk.turn_in_line == 0) {
            image.line_count = line + 1;
            burned.line_start = static_cast<double>(walk.cursor.count);
            burned.dark_marker = darker(bytes.marker, bytes.fill);
            burned.fill_shade = byte_shades[bytes.fill];
        }
        const int j = walk.turn_in_line;
        if (j >= first_marker_turn && j <= last_marker_turn)
            burned.marker_start[burned.marked_turns++] = static_cast<double>(walk.cursor.count);
        skip_turn(walk);
        burned.line_end = static_cast<double>(walk.cursor.count);
    }
    // The last line may stop before its first marked turn: nothing of it is read.
    while (image.line_count > 0 && image.lines[image.line_count - 1].marked_turns == 0)
        image.line_count -= 1;
}
