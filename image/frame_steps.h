// The frame and sector steps that the interleaver's byte-at-a-time path and its run
// fast path share. Internal to image/: writers use the operations in interleaver.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/units.h"
#include "image/interleaver.h"

inline int next_slot(int slot) { return slot == ring_frames - 1 ? 0 : slot + 1; }

// The 24 bytes of ring slot `slot`.
inline std::uint8_t* slot_bytes(int slot)
{
    return interleaver.ring + static_cast<std::ptrdiff_t>(slot) * frame_bytes;
}

// Writes `records` whole records from `from`; a failed write ends the process
// (fail_output). An image's stream is written by one thread only, so stdio's lock is
// not taken: a picture image makes some 60000 of these calls.
void write_records(const void* from, std::size_t records, std::FILE* file);

// Writes the sector as one record.
void write_sector_record(std::FILE* file);

// Writes the sector when it is full; bytes past the fill offset stay as they are.
inline void close_sector_if_full(std::FILE* file)
{
    if (sector_sink.fill_offset == sector_bytes) {
        write_sector_record(file);
        sector_sink.fill_offset = 0;
    }
}

// Equal to count calls of put_sector_byte with the bytes at from.
void put_sector_bytes(const std::uint8_t* from, int count, std::FILE* file);

// The same for many bytes: the whole records among them go to the file in one
// write, without a copy through the sector; the sector is left holding the last of
// them, as it would be after they passed through it.
void put_many_sector_bytes(const std::uint8_t* from, std::int64_t count, std::FILE* file);

// Equal to 24 calls of put_sector_byte with the bytes of frame. Frames arrive at a
// frame-aligned fill offset unless put_sector_byte was called on its own, so the
// whole-frame copy is the rule and the split the exception. Inline: it runs once per
// frame in both paths.
inline void put_sector_frame(const std::uint8_t* frame, std::FILE* file)
{
    if (sector_sink.fill_offset > sector_bytes - frame_bytes) {
        put_sector_bytes(frame, frame_bytes, file);
        return;
    }
    std::memcpy(sector_sink.buffer + sector_sink.fill_offset, frame, frame_bytes);
    sector_sink.fill_offset += frame_bytes;
    close_sector_if_full(file);
}
