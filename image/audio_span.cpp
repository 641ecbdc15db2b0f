// The fast path for spans of pixel bytes. Long runs of one byte inside a span go
// through the run fast path; the rest is entered a frame at a time, and not through
// the ring: every frame that moves out is gathered straight from the span
// (span_gather.h; for the span's first frames, from the ring as it stood), and the
// ring then takes only the bytes that the span's last frames leave in it.
#include <cstdint>
#include <cstring>

#include "image/frame_steps.h"
#include "image/interleaver.h"
#include "image/span_gather.h"

namespace {

// A run of this many bytes or more inside a span goes through put_audio_run, whose
// cost hardly grows with the run but starts at about two ring cycles of work.
constexpr std::int64_t long_run_bytes = 4096;

// Frames gathered at a time, before they go to the sector; the drawing thread's.
constexpr std::int64_t gathered_frames = 1024;
std::uint8_t gathered[gathered_frames * frame_bytes];

// The frames that move out after frames first..frames-1 of the span were entered
// (first >= mixed_frames), gathered a piece at a time; whole records go straight
// to the file.
void put_gathered_frames(const std::uint8_t* span, std::int64_t first, std::int64_t frames, std::FILE* file)
{
    for (std::int64_t k = first; k < frames; k += gathered_frames) {
        const std::int64_t part = frames - k < gathered_frames ? frames - k : gathered_frames;
        gather_span_frames(span, k, k + part, gathered);
        put_many_sector_bytes(gathered, part * frame_bytes, file);
    }
    interleaver.current_slot = static_cast<int>((interleaver.current_slot + frames - first) % ring_frames);
}

// The frames that move out after the span's first `mixed` frames (mixed <=
// mixed_frames) were entered: each byte from the span where it reaches back into
// it, from the ring as it stood where it does not. Filled byte by byte of the
// frame, so that each is two plain loops.
void put_mixed_frames(const std::uint8_t* span, int mixed, std::FILE* file)
{
    std::uint8_t frames[mixed_frames * frame_bytes];
    const int first_out = next_slot(interleaver.current_slot);
    for (int b = 0; b < frame_bytes; ++b) {
        const GatherSource source = gather_source(b);
        const int from_ring = mixed < source.back ? mixed : source.back;
        int slot = first_out;
        for (int k = 0; k < from_ring; ++k) {
            frames[frame_bytes * k + b] = slot_bytes(slot)[b];
            slot = next_slot(slot);
        }
        for (int k = from_ring; k < mixed; ++k)
            frames[frame_bytes * k + b] = span[frame_bytes * (k - source.back) + source.lane];
    }
    interleaver.current_slot = (interleaver.current_slot + mixed) % ring_frames;
    put_many_sector_bytes(frames, std::int64_t{mixed} * frame_bytes, file);
}

// What the span's frames leave in the ring: any 112 successive frames store into
// every ring byte once, so the last 112 (or all, when fewer) decide the ring. Byte i
// of successive frames goes to successive slots, so each byte is one loop.
void store_frames_in_ring(const std::uint8_t* span, std::int64_t frames, int first_slot)
{
    const std::int64_t first = frames > ring_frames ? frames - ring_frames : 0;
    const auto count = static_cast<int>(frames - first);
    for (int i = 0; i < frame_bytes; ++i) {
        const InterleaveDelay delay = interleave_delays[i];
        const auto slot_of_first = static_cast<int>((first_slot + first - delay.frames_back) % ring_frames);
        int slot = slot_of_first < 0 ? slot_of_first + ring_frames : slot_of_first;
        const std::uint8_t* from = span + frame_bytes * first + i;
        for (std::ptrdiff_t n = 0; n < count; ++n) {
            slot_bytes(slot)[delay.byte_in_frame] = from[frame_bytes * n];
            slot = next_slot(slot);
        }
    }
}

// Equal to 24 * frames calls of put_audio_byte at byte index 0.
void put_whole_frames(const std::uint8_t* span, std::int64_t frames, std::FILE* file)
{
    const int first_slot = interleaver.current_slot;
    const int mixed = frames < mixed_frames ? static_cast<int>(frames) : mixed_frames;
    put_mixed_frames(span, mixed, file);
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
