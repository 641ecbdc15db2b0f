// The image's records on their way from the thread that draws them to the main
// thread, which writes them to the file. The drawing thread writes into a stdio
// stream as every writer does; its bytes fill a few buffers that go round between
// the two, so that drawing and the kernel's copy into the file share both cores and
// memory stays the same whatever the image's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/slot_ring.h"

constexpr int pipe_slots = 8;
static_assert(pipe_slots <= most_ring_slots, "the ring holds the pipe's buffers");

// Item n of the ring is the pipe's n-th full buffer; the drawing side is its
// producer, the writing side its consumer, and a failed write stops it.
struct RecordPipe {
    SlotRing ring{pipe_slots};
    std::int64_t filled = 0;      // buffers the drawing side has handed over (its own)
    std::size_t filling = 0;      // bytes in the buffer being filled (the drawing side's)
    std::size_t sizes[pipe_slots] = {};  // bytes in each handed-over buffer
};

// The drawing side: an unbuffered stream whose writes fill the pipe's buffers,
// waiting while all are full. Closing it hands over the last, partial buffer and
// ends the pipe. One pipe at a time.
std::FILE* open_pipe_stream(RecordPipe& pipe);

// The writing side: writes each buffer to image as it comes, until the pipe ends.
// Returns false when a write failed (errno set); the pipe then drops what comes.
bool write_pipe_to_image(RecordPipe& pipe, std::FILE* image);
