// The fast path for runs of equal pixel bytes. A run is not entered byte by byte:
// which bytes of each frame that moves out come from the run follows from the delays
// alone, so the run's frames go out first, read against the ring as it stood, and
// then the ring takes the bytes the run leaves in it. The frames of a long run that
// hold nothing but its byte go out as whole records.
#include <cstddef>
#include <cstring>

#include "image/frame_steps.h"
#include "image/interleaver.h"

namespace {

// The offset table seen from the ring: byte b of slot s is stored by the frame
// entered in slot s + delay.of[b].
struct ByteDelays {
    std::uint8_t of[frame_bytes];
};

constexpr ByteDelays make_byte_delays()
{
    ByteDelays delays{};
    for (const InterleaveDelay delay : interleave_delays)
        delays.of[delay.byte_in_frame] = static_cast<std::uint8_t>(delay.frames_back);
    return delays;
}

constexpr ByteDelays byte_delays = make_byte_delays();

constexpr int smallest_delay()
{
    int smallest = ring_frames;
    for (int delay : byte_delays.of)
        smallest = delay < smallest ? delay : smallest;
    return smallest;
}

// A frame moves out 111 slots behind the frame just entered, so while a run is
// entered, the first frames that move out still hold bytes stored before the run;
// from this many frames into the run on, every frame that moves out is the run's.
constexpr int mixed_frames = move_out_lag - smallest_delay();

static_assert(byte_delays.of[0] == 3 && byte_delays.of[frame_bytes - 1] == 108, "bytes 0 and 23 keep their place");
static_assert(mixed_frames == 108, "the shortest delay is 3 frames");

// Whole sectors of one byte go to the file straight from this buffer, several
// records to a write, instead of being filled into the sector one by one. It is
// scratch space, not state: `byte` says what it holds, -1 before its first use.
struct FillBuffer {
    std::uint8_t bytes[16 * sector_bytes];
    int byte = -1;
};

// The drawing thread's: the one thread that enters an image's bytes.
FillBuffer fill_buffer;

constexpr int fill_buffer_sectors = sizeof fill_buffer.bytes / sector_bytes;

void write_fill_sectors(std::uint8_t byte, std::int64_t sectors, std::FILE* file)
{
    if (fill_buffer.byte != byte) {
        std::memset(fill_buffer.bytes, byte, sizeof fill_buffer.bytes);
        fill_buffer.byte = byte;
    }
    while (sectors > 0) {
        const int part = sectors < fill_buffer_sectors ? static_cast<int>(sectors) : fill_buffer_sectors;
        write_records(fill_buffer.bytes, static_cast<std::size_t>(part), file);
        sectors -= part;
    }
}

// Equal to count calls of put_sector_byte with one byte.
void put_sector_fill(std::uint8_t byte, std::int64_t count, std::FILE* file)
{
    if (sector_sink.fill_offset != 0) {
        const int room = sector_bytes - sector_sink.fill_offset;
        const int part = count < room ? static_cast<int>(count) : room;
        std::memset(sector_sink.buffer + sector_sink.fill_offset, byte, part);
        sector_sink.fill_offset += part;
        count -= part;
        close_sector_if_full(file);
        if (count == 0)
            return;
    }
    const std::int64_t sectors = count / sector_bytes;
    const auto rest = static_cast<int>(count % sector_bytes);
    if (sectors > 0) {
        write_fill_sectors(byte, sectors, file);
        // The sector now holds the last record written, whole, and the rest with it.
        std::memset(sector_sink.buffer, byte, sector_bytes);
    } else {
        std::memset(sector_sink.buffer, byte, rest);
    }
    sector_sink.fill_offset = rest;
}

// The frames that move out while a run of whole frames of one byte is entered,
// taken from the ring as it stood before the run. The t-th of them (from 0) moves
// out of the slot after the one the t-th frame of the run entered; its byte b was
// stored t + 1 + delay - 112 frames into the run, or before the run when that is
// negative, and then the ring still holds it. Advances the current slot by frames.
void move_out_run(std::uint8_t byte, std::int64_t frames, std::FILE* file)
{
    const int mixed = frames < mixed_frames ? static_cast<int>(frames) : mixed_frames;
    for (int t = 0; t < mixed; ++t) {
        interleaver.current_slot = next_slot(interleaver.current_slot);
        const std::uint8_t* stored = slot_bytes(interleaver.current_slot);
        // Byte b is the run's when t + delay >= 111.
        const auto stored_before = static_cast<std::uint8_t>(move_out_lag - t);
        std::uint8_t frame[frame_bytes];
        for (int b = 0; b < frame_bytes; ++b) {
            const std::uint8_t earlier = stored[b];
            frame[b] = byte_delays.of[b] >= stored_before ? byte : earlier;
        }
        put_sector_frame(frame, file);
    }
    const std::int64_t uniform = frames - mixed;
    if (uniform == 0)
        return;
    interleaver.current_slot = static_cast<int>((interleaver.current_slot + uniform) % ring_frames);
    put_sector_fill(byte, uniform * frame_bytes, file);
}

// The ring after a run of whole frames of one byte entered from first_slot on: the
// u-th frame of the run stores byte b into slot first_slot + u - delay, so slot
// first_slot + w holds the run's byte in b when (w + delay) mod 112 is below the
// run's length. A run of 112 frames or more has stored into every ring byte.
void store_run_in_ring(std::uint8_t byte, std::int64_t frames, int first_slot)
{
    if (frames >= ring_frames) {
        std::memset(interleaver.ring, byte, ring_bytes);
        return;
    }
    // w + delay stays below 2 * 112, so every step fits a byte.
    const auto entered = static_cast<std::uint8_t>(frames);
    int slot = first_slot;
    for (int w = 0; w < ring_frames; ++w) {
        std::uint8_t* stored = slot_bytes(slot);
        for (int b = 0; b < frame_bytes; ++b) {
            auto u = static_cast<std::uint8_t>(w + byte_delays.of[b]);
            u = u >= ring_frames ? static_cast<std::uint8_t>(u - ring_frames) : u;
            stored[b] = u < entered ? byte : stored[b];
        }
        slot = next_slot(slot);
    }
}

// Equal to 24 * frames calls of put_audio_byte at byte index 0, done as two passes:
// first every frame that moves out, then every byte the run leaves in the ring.
void put_whole_frames(std::uint8_t byte, std::int64_t frames, std::FILE* file)
{
    const int first_slot = interleaver.current_slot;
    move_out_run(byte, frames, file);
    store_run_in_ring(byte, frames, first_slot);
}

}  // namespace

void put_audio_run(std::uint8_t byte, std::int64_t count, std::FILE* file)
{
    while (count > 0 && interleaver.byte_index != 0) {
        put_audio_byte(byte, file);
        --count;
    }
    if (count >= frame_bytes)
        put_whole_frames(byte, count / frame_bytes, file);
    for (count %= frame_bytes; count > 0; --count)
        put_audio_byte(byte, file);
}
