// Pre-compensation of the disc encoder's interleaving, and output in whole sectors.
// Pixel bytes go in in track order; each is stored where the encoder will carry it
// from to reach its physical place, and completed frames go out to the sector sink.
// Both records live for the whole run and are never reset between images.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

#include "common/units.h"

struct FrameInterleaver {
    std::uint8_t ring[ring_bytes] = {};  // 112 frame slots of 24 bytes
    int current_slot = ring_frames - 1;  // the first completed frame advances it to slot 0
    int byte_index = 0;                  // physical byte of the current frame that comes next
};

struct SectorSink {
    std::uint8_t buffer[sector_bytes] = {};  // one sector; keeps stale bytes past fill_offset
    int fill_offset = 0;                     // bytes of the next record filled so far
};

extern FrameInterleaver interleaver;
extern SectorSink sector_sink;

// Ring offset, relative to the start of the current slot, of the pixel byte for
// physical byte i of the current frame: -24*d + b sends it d frames back into byte b.
// The delays are those of the disc encoder's CIRC delay lines.
constexpr int interleave_offsets[frame_bytes] = {
    -72,   -143,  -256,  -327,  -440,  -511,  -646,  -717,  -830,  -901,  -1014, -1085,
    -1556, -1627, -1740, -1811, -1924, -1995, -2130, -2201, -2314, -2385, -2498, -2569,
};

// An offset split into where it sends the pixel: frames_back frames before the
// frame being entered, into byte byte_in_frame of that frame.
struct InterleaveDelay {
    int frames_back;
    int byte_in_frame;
};

constexpr InterleaveDelay split_interleave_offset(int offset)
{
    const int frames_back = (-offset + frame_bytes - 1) / frame_bytes;
    return {frames_back, offset + frame_bytes * frames_back};
}

constexpr std::array<InterleaveDelay, frame_bytes> make_interleave_delays()
{
    std::array<InterleaveDelay, frame_bytes> delays{};
    for (int i = 0; i < frame_bytes; ++i)
        delays[i] = split_interleave_offset(interleave_offsets[i]);
    return delays;
}

// The delay table, indexed by physical byte. The frame that moves out to the sector
// is always the ring slot after the one just entered, move_out_lag frames behind it,
// so byte i of the k-th frame entered in an image reaches the file in byte
// byte_in_frame of the (k + move_out_lag - frames_back)-th frame the image moves out.
constexpr std::array<InterleaveDelay, frame_bytes> interleave_delays = make_interleave_delays();
constexpr int move_out_lag = ring_frames - 1;

namespace detail {
constexpr bool delays_in_range_and_bytes_a_permutation()
{
    bool byte_used[frame_bytes] = {};
    for (const InterleaveDelay delay : interleave_delays) {
        const int byte = delay.byte_in_frame;
        if (delay.frames_back < 3 || delay.frames_back > 108 || byte < 0 || byte >= frame_bytes || byte_used[byte])
            return false;
        byte_used[byte] = true;
    }
    return true;
}
}  // namespace detail
static_assert(detail::delays_in_range_and_bytes_a_permutation(),
              "every offset is -24*d + b with 3 <= d <= 108 and each b used once");
static_assert(move_out_lag >= 108, "a frame moves out only after its longest-delayed byte is stored");

// Appends one audio byte to the sector; a full sector is written as one record.
// A failed write prints the system error and ends the process with status 1.
void put_sector_byte(std::uint8_t byte, std::FILE* file);

// Places one pixel byte; after every 24th, moves the oldest ring frame to the sector.
void put_audio_byte(std::uint8_t byte, std::FILE* file);

// Same records and same state afterwards as `count` calls of put_audio_byte; the
// whole frames of the run are entered together, at a cost that hardly grows with
// the run's length beyond that of writing its bytes. A count of zero or less
// places nothing.
void put_audio_run(std::uint8_t byte, std::int64_t count, std::FILE* file);

// Same records and same state afterwards as put_audio_byte for each of the count
// bytes at span in turn, at a cost of about a load and a store per byte; long runs
// of one byte inside the span go through put_audio_run. A count of zero or less
// places nothing.
void put_audio_span(const std::uint8_t* span, std::int64_t count, std::FILE* file);

// Drains the ring after an image's last pixel byte and writes the last sector whole,
// stale tail included. Write failures end the process as in put_sector_byte.
void finish_image(std::FILE* file);
