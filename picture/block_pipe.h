// The image's records on their way from the thread that draws them to the main
// thread, which writes them to the file. The drawing thread writes into a stdio
// stream as every writer does; its bytes fill a few blocks that go round between the
// two, so that drawing and the kernel's copy into the file share both cores and
// memory stays the same whatever the image's size.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>

constexpr int pipe_blocks = 8;

struct BlockPipe {
    std::mutex lock;
    std::condition_variable published_one;  // the writing side waits here for a block
    std::condition_variable written_one;    // the drawing side waits here for a free one
    std::int64_t published = 0;  // blocks handed to the writing side
    std::int64_t written = 0;    // blocks it is done with
    std::size_t filling = 0;     // bytes in the block being filled (the drawing side's)
    std::size_t sizes[pipe_blocks] = {};  // bytes in each published block
    bool ended = false;          // the drawing side closed its stream
    bool given_up = false;       // the writing side failed: bytes are dropped
};

// The drawing side: an unbuffered stream whose writes fill the pipe's blocks,
// waiting while all are full. Closing it hands over the last, partial block and
// ends the pipe. One pipe at a time.
std::FILE* open_pipe_stream(BlockPipe& pipe);

// The writing side: writes each block to image as it comes, until the pipe ends.
// Returns false when a write failed (errno set); the pipe then drops what comes.
bool write_pipe_to_image(BlockPipe& pipe, std::FILE* image);
