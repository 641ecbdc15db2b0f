// The image file's open, block read and close.
#include "image/image_input.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/program_name.h"

bool open_image_input(ImageInput& input, const char* path, const volatile std::sig_atomic_t* stop)
{
    input = ImageInput{};
    input.path = path;
    // The open of a FIFO waits for its writer; a stop request breaks that wait (EINTR),
    // any other signal does not.
    while (*stop == 0) {
        input.fd = open(path, O_RDONLY | O_CLOEXEC);
        if (input.fd >= 0 || errno != EINTR)
            break;
    }
    if (input.fd < 0) {
        if (*stop == 0)
            image_problem(input, std::strerror(errno));
        return false;
    }
    struct stat info {};
    if (fstat(input.fd, &info) != 0) {
        image_problem(input, std::strerror(errno));
        close_image_input(input);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        image_problem(input, "is a folder, not an image file");
        close_image_input(input);
        return false;
    }
    if (S_ISREG(info.st_mode))
        input.size = static_cast<std::int64_t>(info.st_size);
    return true;
}

namespace {

// A pipe may keep a read waiting for ever; a Ctrl-C that lands just before the read
// would then go unseen. So a pipe is read only once it has something, and the stop
// flag is looked at every tenth of a second meanwhile.
bool wait_for_data(const ImageInput& input, const volatile std::sig_atomic_t* stop)
{
    if (input.size >= 0)
        return true;
    for (;;) {
        if (*stop != 0)
            return false;
        pollfd ready{input.fd, POLLIN, 0};
        const int waiting = poll(&ready, 1, 100);
        // Interrupted: look at the flag again. Failed: the read will say why.
        if (waiting > 0 || (waiting < 0 && errno != EINTR))
            return true;
    }
}

}  // namespace

namespace {

// Fills `room` bytes at `to` from the file unless it ends first.
ReadStatus read_file_block(ImageInput& input, std::uint8_t* to, int room, int& got,
                           const volatile std::sig_atomic_t* stop)
{
    got = 0;
    while (got < room) {
        if (!wait_for_data(input, stop))
            return ReadStatus::stopped;
        const ssize_t n = read(input.fd, to + got, static_cast<std::size_t>(room - got));
        if (n < 0 && errno == EINTR) {
            if (*stop != 0)
                return ReadStatus::stopped;
            continue;
        }
        if (n < 0) {
            image_problem(input, std::strerror(errno));
            return ReadStatus::failed;
        }
        if (n == 0)
            return got > 0 ? ReadStatus::read : ReadStatus::end;
        got += static_cast<int>(n);
    }
    return ReadStatus::read;
}

std::uint32_t little_endian(const std::uint8_t* bytes, int count)
{
    std::uint32_t value = 0;
    for (int k = count - 1; k >= 0; --k)
        value = value << 8 | bytes[k];
    return value;
}

bool is_wav(const std::uint8_t* bytes, int count)
{
    return count >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WAVE", 4) == 0;
}

// CD audio as a WAV file holds: PCM (format 1, or the extensible form 0xFFFE), two
// channels, 16 bits a sample.
bool is_cd_audio_format(const std::uint8_t* fmt, std::uint32_t size)
{
    if (size < 16)
        return false;
    const std::uint32_t format = little_endian(fmt, 2);
    return (format == 1 || format == 0xFFFE) && little_endian(fmt + 2, 2) == 2 && little_endian(fmt + 14, 2) == 16;
}

// Finds the WAV file's audio data in its first block: the chunks from byte 12 on,
// the format chunk checked, up to the data chunk. Returns the data's offset in the
// block and sets wav_data_left, or -1 after printing why there is no image.
int find_wav_data(ImageInput& input, const std::uint8_t* block, int count)
{
    bool format_seen = false;
    std::int64_t at = 12;
    while (at + 8 <= count) {
        const std::uint8_t* chunk = block + at;
        const std::uint32_t size = little_endian(chunk + 4, 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (!format_seen)
                break;
            input.wav_data_left = size;
            return static_cast<int>(at + 8);
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (at + 8 + size > count || !is_cd_audio_format(chunk + 8, size)) {
                image_problem(input, "is a WAV file, but not of 16-bit stereo PCM (CD audio)");
                return -1;
            }
            format_seen = true;
        }
        at += 8 + size + (size & 1);  // chunks are padded to an even length
    }
    char reason[96];
    std::snprintf(reason, sizeof reason, "is a WAV file without its format and audio data in its first %d bytes", count);
    image_problem(input, reason);
    return -1;
}

// The little-endian samples back to the image's big-endian ones: each byte pair
// swapped (a last odd byte has no pair and stays).
void swap_byte_pairs(std::uint8_t* bytes, int count)
{
    for (int k = 0; k + 1 < count; k += 2) {
        const std::uint8_t first = bytes[k];
        bytes[k] = bytes[k + 1];
        bytes[k + 1] = first;
    }
}

// The first block: a WAV file's header is taken out of it, and the image's size
// known in advance becomes that of its audio data.
ReadStatus start_image(ImageInput& input, std::uint8_t* to, int& got)
{
    input.started = true;
    input.wav = is_wav(to, got);
    if (!input.wav)
        return ReadStatus::read;
    const int data = find_wav_data(input, to, got);
    if (data < 0)
        return ReadStatus::failed;
    got -= data;
    std::memmove(to, to + data, static_cast<std::size_t>(got));
    if (input.size >= 0)
        input.size = std::min(input.size - data, input.wav_data_left);
    return ReadStatus::read;
}

}  // namespace

ReadStatus read_image_block(ImageInput& input, std::uint8_t* to, int room, int& got,
                            const volatile std::sig_atomic_t* stop)
{
    got = 0;
    if (input.wav && input.wav_data_left == 0)
        return ReadStatus::end;
    // Whole byte pairs of a WAV file's data in every block but the last.
    const ReadStatus status = read_file_block(input, to, input.wav ? room & ~1 : room, got, stop);
    if (status != ReadStatus::read)
        return status;
    if (!input.started && start_image(input, to, got) == ReadStatus::failed)
        return ReadStatus::failed;
    if (input.wav) {
        got = static_cast<int>(std::min<std::int64_t>(got, input.wav_data_left));
        input.wav_data_left -= got;
        swap_byte_pairs(to, got);
    }
    input.bytes_read += got;
    return got > 0 || !input.wav ? ReadStatus::read : ReadStatus::end;
}

void close_image_input(ImageInput& input)
{
    if (input.fd >= 0)
        close(input.fd);
    input.fd = -1;
}

void image_problem(const ImageInput& input, const char* reason)
{
    std::fprintf(stderr, "%s: image \"%s\": %s\n", program_name, input.path, reason);
}
