// A slow, byte-at-a-time model of the image synthesis for the tests to check the
// real writers against. It shares no code with image/: the encoder delays are kept
// as (frames back, byte) pairs, the ring is indexed by frame slot and byte, and the
// turn loops are written out plainly, one pixel byte at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

namespace reference {

// Physical byte i of a frame is stored frames_back frames earlier, in byte `byte`.
struct Delay {
    int frames_back;
    int byte;
};
extern const Delay encoder_delays[24];

// The interleaver ring and the sector buffer with their counters, at start-up values.
struct State {
    std::uint8_t ring[112][24] = {};  // [frame slot][byte]
    int slot = 111;                   // slot of the physical frame being filled
    int byte_index = 0;               // next physical byte of that frame
    std::uint8_t sector[2352] = {};   // keeps stale bytes past `fill`
    int fill = 0;                     // bytes of the next record filled so far
};

// `file` collects the records written, as the image file would.
void put_audio_byte(State& state, std::uint8_t byte, Bytes& file);
void finish_image(State& state, Bytes& file);

struct TrackParams {
    double tr0, dtr, ref_tr0, ref_dtr, size_limit;
};
struct SweepParams {
    double tr0_start, tr0_step, ref_tr0, size_limit, anchor_pos, anchor_len;
};

// What a writer's core gives the interleaver and prints: the pixel bytes in track
// order, the progress lines, and whether the image was completed (it is not when
// the writer is interrupted after its first drawn turn).
struct PixelStream {
    Bytes pixels;
    std::string progress;
    bool completed = true;
};
PixelStream track_pixels(const TrackParams& p, bool interrupted_after_first_turn = false);
PixelStream sweep_pixels(const SweepParams& p, bool interrupted_after_first_turn = false);

// The file a writer's core produces from `state` for this stream: every pixel byte
// one at a time, then the drain when the image was completed.
Bytes image_file(State& state, const PixelStream& stream);

// The first `count` pixel bytes of an image written from a fresh start, read back
// from its file: pixel 24f + i stands at byte b_i of audio frame f + 111 - d_i.
Bytes recover_pixels(const Bytes& file, std::size_t count);

}  // namespace reference

// Puts the real interleaver and sector sink back to their start-up state.
void reset_synthesis_state();

// The whole content of an open file, read from its start.
Bytes read_whole_file(std::FILE* file);
