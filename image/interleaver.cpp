// The frame interleaver and the sector sink: the three operations through which
// every image reaches its file (put_sector_byte, put_audio_byte, finish_image), and
// the frame and sector steps that the run fast path (audio_run.cpp) shares.
#include "image/interleaver.h"

#include <algorithm>
#include <cstring>

#include "common/console.h"
#include "image/frame_steps.h"

// The drawing thread's: the one thread that enters an image's bytes.
FrameInterleaver interleaver;
SectorSink sector_sink;

namespace {

int wrap_ring_position(int position)
{
    if (position > ring_bytes - 1)
        return position - ring_bytes;
    if (position < 0)
        return position + ring_bytes;
    return position;
}

void move_out_frame(std::FILE* file)
{
    interleaver.current_slot = next_slot(interleaver.current_slot);
    put_sector_frame(slot_bytes(interleaver.current_slot), file);
}

}  // namespace

void write_records(const void* from, std::size_t records, std::FILE* file)
{
    if (fwrite_unlocked(from, sector_bytes, records, file) != records)
        fail_output();
}

void write_sector_record(std::FILE* file) { write_records(sector_sink.buffer, 1, file); }

void put_sector_bytes(const std::uint8_t* from, int count, std::FILE* file)
{
    while (count > 0) {
        const int room = sector_bytes - sector_sink.fill_offset;
        const int part = count < room ? count : room;
        std::memcpy(sector_sink.buffer + sector_sink.fill_offset, from, part);
        sector_sink.fill_offset += part;
        from += part;
        count -= part;
        close_sector_if_full(file);
    }
}

void put_many_sector_bytes(const std::uint8_t* from, std::int64_t count, std::FILE* file)
{
    if (sector_sink.fill_offset != 0) {
        const int part = static_cast<int>(std::min<std::int64_t>(count, sector_bytes - sector_sink.fill_offset));
        put_sector_bytes(from, part, file);
        from += part;
        count -= part;
    }
    const std::int64_t records = count / sector_bytes;
    if (records > 0) {
        write_records(from, static_cast<std::size_t>(records), file);
        std::memcpy(sector_sink.buffer, from + (records - 1) * sector_bytes, sector_bytes);
        from += records * sector_bytes;
        count -= records * sector_bytes;
    }
    put_sector_bytes(from, static_cast<int>(count), file);
}

void put_sector_byte(std::uint8_t byte, std::FILE* file)
{
    sector_sink.buffer[sector_sink.fill_offset] = byte;
    sector_sink.fill_offset += 1;
    close_sector_if_full(file);
}

void put_audio_byte(std::uint8_t byte, std::FILE* file)
{
    const int i = interleaver.byte_index;
    interleaver.ring[wrap_ring_position(interleaver.current_slot * frame_bytes + interleave_offsets[i])] = byte;
    interleaver.byte_index = i + 1;
    if (interleaver.byte_index == frame_bytes) {
        interleaver.byte_index = 0;
        move_out_frame(file);
    }
}

void finish_image(std::FILE* file)
{
    // Every frame up to 3 behind the last physical frame may still hold a pixel byte.
    constexpr int drained_frames = 109;
    for (int frame = 0; frame < drained_frames; ++frame)
        move_out_frame(file);
    interleaver.byte_index = 0;
    // The last record goes out whole: past the fill offset, what the sector last held.
    write_sector_record(file);
    sector_sink.fill_offset = 0;
}
