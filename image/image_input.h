// Reading the image file: opened once, read in blocks straight into the recovery
// window, every failure named with the file's path. The file is streamed, so its
// size does not matter to memory; it may be a pipe. A WAV file (a RIFF header, told
// by content) is read as the raw image it was converted from: its header skipped,
// the little-endian samples' byte pairs swapped back to the image's big-endian ones.
#pragma once

#include <csignal>
#include <cstdint>

struct ImageInput {
    const char* path = nullptr;
    int fd = -1;
    std::int64_t size = -1;       // image bytes when known in advance (a regular file), else -1
    std::int64_t bytes_read = 0;  // image bytes read so far
    bool started = false;         // the first block, which tells a WAV file, is read
    bool wav = false;             // a WAV file
    std::int64_t wav_data_left = 0;  // WAV: bytes of its audio data still to come
};

enum class ReadStatus { read, end, stopped, failed };

// Opens path for reading; on failure (missing, unreadable, a folder) prints why on
// stderr and returns false. Returns false without a word when *stop is or becomes
// non-zero before the file is open (a Ctrl-C while a FIFO waits for its writer).
bool open_image_input(ImageInput& input, const char* path, const volatile std::sig_atomic_t* stop);

// Fills `room` bytes at `to` with image bytes unless the image ends first; `got`
// says how many came. `stopped` when *stop became non-zero while a read waited;
// `failed` after printing why the read failed, or why a WAV file holds no image
// (not 16-bit stereo PCM, or its header not within the first block).
ReadStatus read_image_block(ImageInput& input, std::uint8_t* to, int room, int& got,
                            const volatile std::sig_atomic_t* stop);

void close_image_input(ImageInput& input);

// Prints on stderr why the image cannot be previewed: "<tool>: image "<path>": <reason>".
void image_problem(const ImageInput& input, const char* reason);
