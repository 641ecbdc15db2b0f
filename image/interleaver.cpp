// The frame interleaver and the sector sink. Sector bytes only ever arrive as whole
// frames, so the sink's fill offset is a multiple of 24 whenever a frame moves out.
#include "image/interleaver.h"

#include <cstring>

#include "image/output_file.h"

FrameInterleaver interleaver;
SectorSink sector_sink;

namespace {

int wrap_ring_position(int position) { return position < 0 ? position + ring_bytes : position; }

void write_sector_record(std::FILE* file)
{
    if (std::fwrite(sector_sink.buffer, sector_bytes, 1, file) != 1)
        fail_output();
}

// Equal to 24 calls of put_sector_byte: the fill offset is frame-aligned here.
void move_out_frame(std::FILE* file)
{
    interleaver.current_slot = interleaver.current_slot == ring_frames - 1 ? 0 : interleaver.current_slot + 1;
    std::memcpy(sector_sink.buffer + sector_sink.fill_offset,
                interleaver.ring + interleaver.current_slot * frame_bytes, frame_bytes);
    sector_sink.fill_offset += frame_bytes;
    if (sector_sink.fill_offset == sector_bytes) {
        write_sector_record(file);
        sector_sink.fill_offset = 0;
    }
}

// One whole frame of equal pixel bytes, entered at byte index 0.
void place_frame_of(std::uint8_t byte)
{
    const int slot_start = interleaver.current_slot * frame_bytes;
    for (int offset : interleave_offsets)
        interleaver.ring[wrap_ring_position(slot_start + offset)] = byte;
}

}  // namespace

void put_sector_byte(std::uint8_t byte, std::FILE* file)
{
    sector_sink.buffer[sector_sink.fill_offset] = byte;
    sector_sink.fill_offset += 1;
    if (sector_sink.fill_offset == sector_bytes) {
        write_sector_record(file);
        sector_sink.fill_offset = 0;
    }
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

void put_audio_run(std::uint8_t byte, std::int64_t count, std::FILE* file)
{
    while (count > 0 && interleaver.byte_index != 0) {
        put_audio_byte(byte, file);
        --count;
    }
    for (; count >= frame_bytes; count -= frame_bytes) {
        place_frame_of(byte);
        move_out_frame(file);
    }
    for (; count > 0; --count)
        put_audio_byte(byte, file);
}

void finish_image(std::FILE* file)
{
    // Every frame up to 3 behind the last physical frame may still hold a pixel byte.
    constexpr int drained_frames = 109;
    for (int frame = 0; frame < drained_frames; ++frame)
        move_out_frame(file);
    interleaver.byte_index = 0;
    write_sector_record(file);
    sector_sink.fill_offset = 0;
}
