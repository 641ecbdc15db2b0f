// The fast path for spans of pixel bytes. Long runs of one byte inside a span go
// through the run fast path; the rest is entered a frame at a time, and not through
// the ring: every frame that moves out is gathered straight from the span (and, for
// the span's first frames, from the ring as it stood), and the ring then takes only
// the bytes that the span's last frames leave in it.
#include <cstdint>
#include <cstring>

#include "image/frame_steps.h"
#include "image/interleaver.h"

namespace {

// A run of this many bytes or more inside a span goes through put_audio_run, whose
// cost hardly grows with the run but starts at about two ring cycles of work.
constexpr std::int64_t long_run_bytes = 4096;

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

void gather_frame(const std::uint8_t* entered, std::uint8_t* frame)
{
    // Unrolled, every offset is a constant of the instruction that loads with it.
#pragma GCC unroll 24
    for (int b = 0; b < frame_bytes; ++b)
        frame[b] = entered[gather_offsets.of[b]];
}

// The frames that move out after frames first..frames-1 of the span were entered
// (first >= mixed_frames), gathered straight into the sector.
void put_gathered_frames(const std::uint8_t* span, std::int64_t first, std::int64_t frames, std::FILE* file)
{
    for (std::int64_t k = first; k < frames;) {
        if (sector_sink.fill_offset % frame_bytes != 0) {
            // Sector bytes given on their own put the frames off the sector's grid.
            std::uint8_t frame[frame_bytes];
            gather_frame(span + frame_bytes * k, frame);
            put_sector_frame(frame, file);
            k += 1;
            continue;
        }
        const std::int64_t room = (sector_bytes - sector_sink.fill_offset) / frame_bytes;
        const std::int64_t part = frames - k < room ? frames - k : room;
        std::uint8_t* frame = sector_sink.buffer + sector_sink.fill_offset;
        for (std::int64_t t = 0; t < part; ++t)
            gather_frame(span + frame_bytes * (k + t), frame + frame_bytes * t);
        sector_sink.fill_offset += static_cast<int>(part) * frame_bytes;
        close_sector_if_full(file);
        k += part;
    }
    interleaver.current_slot = static_cast<int>((interleaver.current_slot + frames - first) % ring_frames);
}

// The frame that moves out after the k-th frame (k < mixed_frames) of a span was
// entered: the span's bytes where they reach it, the ring's where they do not.
void put_mixed_frame(const std::uint8_t* span, int k, std::FILE* file)
{
    const std::uint8_t* stored = slot_bytes(interleaver.current_slot);
    std::uint8_t frame[frame_bytes];
    for (int b = 0; b < frame_bytes; ++b) {
        const int at = frame_bytes * k + gather_offsets.of[b];
        frame[b] = at >= 0 ? span[at] : stored[b];
    }
    put_sector_frame(frame, file);
}

// What the span's frames leave in the ring: any 112 successive frames store into
// every ring byte once, so the last 112 (or all, when fewer) decide the ring.
void store_frames_in_ring(const std::uint8_t* span, std::int64_t frames, int first_slot)
{
    const std::int64_t first = frames > ring_frames ? frames - ring_frames : 0;
    for (std::int64_t k = first; k < frames; ++k) {
        const int slot_start = static_cast<int>((first_slot + k) % ring_frames) * frame_bytes;
        for (int i = 0; i < frame_bytes; ++i) {
            int at = slot_start + interleave_offsets[i];
            at = at < 0 ? at + ring_bytes : at;
            interleaver.ring[at] = span[frame_bytes * k + i];
        }
    }
}

// Equal to 24 * frames calls of put_audio_byte at byte index 0.
void put_whole_frames(const std::uint8_t* span, std::int64_t frames, std::FILE* file)
{
    const int first_slot = interleaver.current_slot;
    const int mixed = frames < mixed_frames ? static_cast<int>(frames) : mixed_frames;
    for (int k = 0; k < mixed; ++k) {
        interleaver.current_slot = next_slot(interleaver.current_slot);
        put_mixed_frame(span, k, file);
    }
    put_gathered_frames(span, mixed, frames, file);
    store_frames_in_ring(span, frames, first_slot);
}

// Equal to put_audio_byte for each byte, with no regard to runs.
void put_frames_of_span(const std::uint8_t* span, std::int64_t count, std::FILE* file)
{
    for (; count > 0 && interleaver.byte_index != 0; --count)
        put_audio_byte(*span++, file);
    const std::int64_t frames = count / frame_bytes;
    if (frames > 0)
        put_whole_frames(span, frames, file);
    span += frames * frame_bytes;
    for (count -= frames * frame_bytes; count > 0; --count)
        put_audio_byte(*span++, file);
}

struct Run {
    std::int64_t start;  // first byte of the run
    std::int64_t end;    // one past its last byte
};

bool uniform_word(const std::uint8_t* at)
{
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word == (word >> 8 | word << 56);
}

// The first run of long_run_bytes or more in span[from, count), found by probing
// eight bytes every half a long run (a long run holds a probe whole) and measuring
// the run around each probe that finds all eight alike; {count, count} when none.
Run find_long_run(const std::uint8_t* span, std::int64_t from, std::int64_t count)
{
    constexpr std::int64_t probe_step = long_run_bytes / 2;
    for (std::int64_t probe = from; probe + 8 <= count; probe += probe_step) {
        if (!uniform_word(span + probe))
            continue;
        const std::uint8_t byte = span[probe];
        Run run{probe, probe + 8};
        while (run.start > from && span[run.start - 1] == byte)
            --run.start;
        while (run.end < count && span[run.end] == byte)
            ++run.end;
        if (run.end - run.start >= long_run_bytes)
            return run;
        probe = run.end - probe_step;
    }
    return {count, count};
}

}  // namespace

void put_audio_span(const std::uint8_t* span, std::int64_t count, std::FILE* file)
{
    std::int64_t done = 0;
    for (;;) {
        const Run run = find_long_run(span, done, count);
        put_frames_of_span(span + done, run.start - done, file);
        if (run.start >= count)
            return;
        put_audio_run(span[run.start], run.end - run.start, file);
        done = run.end;
    }
}
