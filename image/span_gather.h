// The frames that move out while the whole frames of a span are entered, taken
// straight from the span, for the span fast path (audio_span.cpp). Two forms give the
// same bytes: a plain one, and, built for x86-64 alone, a wide one with AVX-512 byte
// permutes: ringetch-picture's default run on a 4000x4000 PNG takes 0.24 s of CPU
// with it, 0.31 s without (hyperfine, 2026-12-09).
#pragma once

#include <cstdint>

#include "common/units.h"
#include "image/interleaver.h"

// The frame that moves out after the k-th frame of a span was entered holds, in
// byte b, what the frame entered 111 - frames_back frames earlier stored there:
// byte gather_offsets.of[b] of the span, counted from the k-th frame's first byte.
struct GatherOffsets {
    int of[frame_bytes];
};

constexpr GatherOffsets make_gather_offsets()
{
    GatherOffsets gather{};
    for (int i = 0; i < frame_bytes; ++i) {
        const InterleaveDelay delay = interleave_delays[i];
        gather.of[delay.byte_in_frame] = frame_bytes * (delay.frames_back - move_out_lag) + i;
    }
    return gather;
}

constexpr GatherOffsets gather_offsets = make_gather_offsets();

// From this many frames into a span on, every frame that moves out is the span's.
constexpr int mixed_frames = 108;

static_assert(gather_offsets.of[0] == -frame_bytes * mixed_frames, "byte 0 comes from 108 frames back");

// Where byte b of an outgoing frame comes from: byte `lane` of the frame entered
// `back` frames before the one whose entry moves it out.
struct GatherSource {
    int lane;
    int back;
};

constexpr GatherSource gather_source(int b)
{
    const int offset = gather_offsets.of[b];
    const int lane = (offset % frame_bytes + frame_bytes) % frame_bytes;
    return {lane, (lane - offset) / frame_bytes};
}

// Writes the frames that move out after frames first..end-1 of the span were entered
// (mixed_frames <= first <= end), in order, to out (24 * (end - first) bytes); the
// span holds at least 24 * end bytes.
void gather_span_frames(const std::uint8_t* span, std::int64_t first, std::int64_t end, std::uint8_t* out);

// gather_span_frames runs the wide form where this is true: the build targets
// x86-64, the processor has the byte permutes, and RINGETCH_PLAIN=1 was not in the
// environment when it was first asked. The plain form runs everywhere else.
bool wide_gather_chosen();

// The plain form alone, for the tests.
void gather_span_frames_plain(const std::uint8_t* span, std::int64_t first, std::int64_t end, std::uint8_t* out);
