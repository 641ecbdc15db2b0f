// The burner's side of the pre-compensation: the inverse of put_audio_byte and
// finish_image. The disc encoder delays each byte of a file frame by the interleaver's
// published delays, so pixel frame k of an image (the k-th 24 pixel bytes its writer
// was given) comes back from file frames k + 3 .. k + 108, byte i from byte
// byte_in_frame of file frame k + move_out_lag - frames_back.
#pragma once

#include <array>
#include <cstdint>

#include "common/units.h"
#include "image/interleaver.h"

// Where byte i of pixel frame k lies, in bytes from the start of file frame k.
constexpr std::array<int, frame_bytes> make_recovery_offsets()
{
    std::array<int, frame_bytes> offsets{};
    for (int i = 0; i < frame_bytes; ++i)
        offsets[i] = frame_bytes * (move_out_lag - interleave_delays[i].frames_back) + interleave_delays[i].byte_in_frame;
    return offsets;
}

constexpr std::array<int, frame_bytes> recovery_offsets = make_recovery_offsets();

// File frames from pixel frame k's own index to the last frame it draws on (k + 108).
constexpr int recovery_lag = move_out_lag - 3;

// Frames at the end of an image file that may hold no pixel of the image: the drain
// of finish_image (every ring slot that can still hold a pixel, 112 - 3) and the
// last record, written whole with what the sector held before (under 98 frames).
// Pixel frame k of a file of n frames is the writer's for certain when k < n - 207,
// whether the image was drained, abandoned or cut.
constexpr int drain_frames = ring_frames - 3;
constexpr int trailing_frames = drain_frames + frames_per_sector;

static_assert(recovery_lag < trailing_frames, "a pixel frame kept has all its bytes in the file");

// Recovers `frames` pixel frames from `source`, which holds the file from the start
// of the first one's own file frame on, recovery_lag more frames than that at least.
// Frames whose bytes come from one run of the file are filled as that run.
void recover_pixel_frames(const std::uint8_t* source, std::int64_t frames, std::uint8_t* pixels);

// File frames read per block, as the image writers write.
constexpr int block_frames = block_sectors * frames_per_sector;

// An image file read in blocks: the file from the start of the next pixel frame's
// own file frame on. The frames that later pixel frames still need stay in front.
struct RecoveryWindow {
    std::uint8_t bytes[(trailing_frames + block_frames) * frame_bytes] = {};
    int filled = 0;                 // bytes of it read, a partial frame at the end included
    std::int64_t next_frame = 0;    // pixel frame that bytes[0] starts the file frame of
};

// A run of recovered pixel bytes: first is the index in the image's pixel stream.
struct PixelSpan {
    std::int64_t first;
    int count;
};

// Where the next file bytes go, and how many fit.
inline std::uint8_t* window_space(RecoveryWindow& window) { return window.bytes + window.filled; }
inline int window_room(const RecoveryWindow& window) { return static_cast<int>(sizeof window.bytes) - window.filled; }

// Takes `added` bytes just read into window_space and recovers into pixels (room for
// block_bytes) every pixel frame that the file read so far gives for certain, in
// order. Moves the rest of the window to its front.
PixelSpan recover_from_window(RecoveryWindow& window, int added, std::uint8_t* pixels);
