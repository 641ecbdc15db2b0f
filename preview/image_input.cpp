// The image file's open, block read and close.
#include "preview/image_input.h"

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

ReadStatus read_image_block(ImageInput& input, std::uint8_t* to, int room, int& got,
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
        input.bytes_read += n;
    }
    return ReadStatus::read;
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
