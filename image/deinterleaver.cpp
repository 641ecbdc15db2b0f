// Recovering the pixel stream from an image file, block by block. Most of a
// calibration image is long runs; a pixel frame whose 106 source frames lie in one
// run of the file is that run's byte, so only the frames near run edges are gathered
// byte by byte.
#include "image/deinterleaver.h"

#include <cstring>

#include "common/byte_runs.h"

namespace {

constexpr int first_source_byte = frame_bytes * (move_out_lag - recovery_lag);  // frame 3
constexpr int source_end_byte = frame_bytes * (recovery_lag + 1);               // past frame 108

void gather_frame(const std::uint8_t* frame_source, std::uint8_t* pixels)
{
    for (int i = 0; i < frame_bytes; ++i)
        pixels[i] = frame_source[recovery_offsets[i]];
}

}  // namespace

void recover_pixel_frames(const std::uint8_t* source, std::int64_t frames, std::uint8_t* pixels)
{
    const std::uint8_t* source_end = source + (frames - 1) * frame_bytes + source_end_byte;
    // End of the run that holds the first source byte of frame k, once known.
    const std::uint8_t* run_stop = source;
    std::int64_t k = 0;
    while (k < frames) {
        const std::uint8_t* first = source + k * frame_bytes + first_source_byte;
        if (first >= run_stop)
            run_stop = run_end(first, source_end);
        // Frames k.. whose whole source span ends by run_stop are the run's byte.
        const std::int64_t run_room = run_stop - source - source_end_byte;
        if (run_room >= k * frame_bytes) {
            const std::int64_t uniform_end = run_room / frame_bytes + 1;
            const std::int64_t last = uniform_end < frames ? uniform_end : frames;
            std::memset(pixels + k * frame_bytes, *first, static_cast<std::size_t>((last - k) * frame_bytes));
            k = last;
            continue;
        }
        gather_frame(source + k * frame_bytes, pixels + k * frame_bytes);
        ++k;
    }
}

PixelSpan recover_from_window(RecoveryWindow& window, int added, std::uint8_t* pixels)
{
    window.filled += added;
    const int frames = window.filled / frame_bytes;
    const int ready = frames > trailing_frames ? frames - trailing_frames : 0;
    const PixelSpan span{window.next_frame * frame_bytes, ready * frame_bytes};
    if (ready == 0)
        return span;
    recover_pixel_frames(window.bytes, ready, pixels);
    const int kept = ready * frame_bytes;
    std::memmove(window.bytes, window.bytes + kept, static_cast<std::size_t>(window.filled - kept));
    window.filled -= kept;
    window.next_frame += ready;
    return span;
}
