// The frame and sector steps that the interleaver's byte-at-a-time path and its run
// fast path share. Internal to image/: writers use the operations in interleaver.h.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/units.h"

inline int next_slot(int slot) { return slot == ring_frames - 1 ? 0 : slot + 1; }

// The 24 bytes of ring slot `slot`.
std::uint8_t* slot_bytes(int slot);

// Writes the sector as one record; a failed write ends the process (fail_output).
void write_sector_record(std::FILE* file);

// Writes the sector when it is full; bytes past the fill offset stay as they are.
void close_sector_if_full(std::FILE* file);

// Equal to 24 calls of put_sector_byte with the bytes of frame. Frames arrive at a
// frame-aligned fill offset unless put_sector_byte was called on its own, so the
// whole-frame copy is the rule and the split the exception.
void put_sector_frame(const std::uint8_t* frame, std::FILE* file);
