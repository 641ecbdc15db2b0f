// The image file's open, write path and close; the console's policy (flushes, the
// output-error exit) is common/console's. The image's descriptor is wrapped in
// a stdio stream whose writes come back here (write_image_bytes), so the writers keep
// their FILE* and the one static block buffer, which holds a whole number of
// sectors so that the disk sees large, sector-aligned writes, while every system
// call on the image is this file's: a wait for a slow FIFO is a poll that a Ctrl-C
// ends, and the error of a failed write is kept for the message.
#include "image/output_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/console.h"
#include "common/interrupt.h"
#include "common/program_name.h"
#include "common/units.h"

namespace {
// One block. Blocks from 28 to 896 sectors measured alike: writing the default
// image, the kernel's copy into the page cache costs three to four times what
// producing the bytes does, at any of these sizes.
// The thread that writes the image file: the main thread.
char output_block[block_bytes];

// After a Ctrl-C, an image file that takes no byte for this long is taken as stalled
// (a FIFO whose reader stopped reading) and the rest of the image is dropped.
constexpr double stall_seconds = 2;

// The image being written.
struct ImageOutput {
    int fd = -1;               // its descriptor; -1 between images
    bool polled = false;       // a FIFO or a device: each write waits in ppoll first
    bool interrupted = false;  // a Ctrl-C has come: waits are bounded by stall_seconds
    bool abandoned = false;    // given up as stalled: later bytes are dropped
    int error = 0;             // errno of a failed write or close; 0 while all went well
    timespec last_progress{};  // monotonic time the file last took bytes, or of the Ctrl-C
};
ImageOutput image_output;  // the main thread's, as output_block

timespec monotonic_now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

double seconds_since(const timespec& then)
{
    const timespec now = monotonic_now();
    return static_cast<double>(now.tv_sec - then.tv_sec) + static_cast<double>(now.tv_nsec - then.tv_nsec) / 1e9;
}

timespec as_timespec(double seconds)
{
    const auto whole = static_cast<time_t>(seconds);
    return {whole, static_cast<long>((seconds - static_cast<double>(whole)) * 1e9)};
}

enum class Wait { writable, interrupted, stalled };

// Waits until the image file takes bytes (or has an error for the write to report).
// The stop signals are blocked from the flag test until ppoll unblocks them, so a
// Ctrl-C that comes in between still ends the wait. From the first Ctrl-C on, the wait is
// bounded: stall_seconds after the file last took bytes it counts as stalled.
Wait wait_until_writable(ImageOutput& out)
{
    sigset_t interrupt;
    sigset_t previous;
    sigemptyset(&interrupt);
    add_stop_signals(interrupt);
    pthread_sigmask(SIG_BLOCK, &interrupt, &previous);
    if (break_requested != 0 && !out.interrupted) {
        out.interrupted = true;
        out.last_progress = monotonic_now();
    }
    const double left = out.interrupted ? stall_seconds - seconds_since(out.last_progress) : 0;
    int ready = 0;
    int error = 0;
    if (!out.interrupted || left > 0) {
        const timespec limit = as_timespec(left);
        pollfd file{out.fd, POLLOUT, 0};
        ready = ppoll(&file, 1, out.interrupted ? &limit : nullptr, &previous);
        error = errno;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (ready == 0)
        return Wait::stalled;
    if (ready < 0 && error == EINTR)
        return Wait::interrupted;
    return Wait::writable;
}

// A failed image keeps whole records only, as every image file does.
void keep_whole_records(int fd)
{
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size % sector_bytes != 0)
        static_cast<void>(ftruncate(fd, info.st_size - info.st_size % sector_bytes));
}

// The stream's write: all `size` bytes, or -1 with errno after a failure. Once the
// image has been given up, bytes are dropped and reported written, so that the
// writer runs on to its next interruption poll without waiting.
ssize_t write_image_bytes(void* cookie, const char* data, std::size_t size)
{
    ImageOutput& out = *static_cast<ImageOutput*>(cookie);
    if (out.error != 0) {
        errno = out.error;
        return -1;
    }
    std::size_t done = 0;
    while (done < size && !out.abandoned) {
        // A regular file is always ready to be written (poll says so at once), and
        // the three calls of a wait cost some 10 µs a block on a virtual machine.
        const Wait wait = out.polled ? wait_until_writable(out) : Wait::writable;
        if (wait == Wait::stalled) {
            out.abandoned = true;
            break;
        }
        if (wait == Wait::interrupted)
            continue;
        const ssize_t written = write(out.fd, data + done, size - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            if (out.interrupted)
                out.last_progress = monotonic_now();
            continue;
        }
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        out.error = written < 0 ? errno : EIO;
        keep_output_error(out.error);
        keep_whole_records(out.fd);
        errno = out.error;
        return -1;
    }
    return static_cast<ssize_t>(size);
}

int close_image_descriptor(void* cookie)
{
    ImageOutput& out = *static_cast<ImageOutput*>(cookie);
    const int closed = close(out.fd);
    if (closed != 0 && out.error == 0) {
        out.error = errno;
        keep_output_error(out.error);
    }
    out.fd = -1;
    return closed;
}

// The open that fopen's "wb" makes, but without truncating: the checks come first.
// Returns -1 with errno EINTR when a Ctrl-C ended the wait (or came before it).
int open_interruptibly(const char* path)
{
    let_interrupt_break_calls(true);
    int fd = -1;
    int error = EINTR;
    while (break_requested == 0) {
        fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        error = errno;
        if (fd >= 0 || error != EINTR)
            break;
    }
    let_interrupt_break_calls(false);
    errno = error;
    return fd;
}

[[noreturn]] void refuse_image(const char* path, const char* reason)
{
    if (program_name != nullptr)
        std::fprintf(stderr, "%s: ", program_name);
    std::fprintf(stderr, "image \"%s\" %s\n", path, reason);
    std::exit(1);
}

// The image would overwrite the file that a standard stream reads, or be overwritten
// by the console text written to it. Devices and FIFOs are shared harmlessly.
void refuse_standard_stream_file(const char* path, const struct stat& image)
{
    static const char* const reasons[] = {"is the same file as standard input", "is the same file as standard output",
                                          "is the same file as standard error"};
    for (int fd = 0; fd <= 2; ++fd) {
        struct stat stream {};
        if (fstat(fd, &stream) == 0 && S_ISREG(stream.st_mode) && stream.st_dev == image.st_dev &&
            stream.st_ino == image.st_ino)
            refuse_image(path, reasons[fd]);
    }
}

// Held until the descriptor is closed. A file system without locks is written
// without one.
void lock_image(int fd, const char* path)
{
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        refuse_image(path, "is being written by another process");
}

// The path as one shell word that pasting gives back exactly: in double quotes as
// always, unless it holds a character that is special there (" $ ` \) or a line end;
// then in single quotes, where only the single quote itself needs writing as '\''.
void print_shell_word(const char* path)
{
    if (std::strpbrk(path, "\"$`\\\n") == nullptr) {
        std::printf("\"%s\"", path);
        return;
    }
    std::putchar('\'');
    for (const char* c = path; *c != '\0'; ++c) {
        if (*c == '\'')
            std::fputs("'\\''", stdout);
        else
            std::putchar(*c);
    }
    std::putchar('\'');
}

}  // namespace

std::FILE* open_image(const char* path)
{
    image_output = ImageOutput{};
    keep_output_error(0);
    // A console that cannot be written ends the run before the open truncates the
    // previous image.
    flush_console();
    const int fd = open_interruptibly(path);
    if (fd < 0) {
        if (errno == EINTR)
            return nullptr;
        fail_output();
    }
    struct stat info {};
    if (fstat(fd, &info) != 0)
        fail_output();
    if (S_ISREG(info.st_mode)) {
        refuse_standard_stream_file(path, info);
        lock_image(fd, path);
        // Only a file that holds something is truncated: ext4 takes the truncation
        // of a file as a sign that it is being replaced, and then starts writing it
        // out when it is closed, which made the close of a new 700 MB image wait
        // about 0.15 s.
        if (fstat(fd, &info) != 0 || (info.st_size != 0 && ftruncate(fd, 0) != 0))
            fail_output();
    } else {
        // A FIFO or a device: waits go through ppoll, so writes must not block.
        static_cast<void>(fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK));
        image_output.polled = true;
    }
    image_output.fd = fd;
    std::FILE* file = fopencookie(&image_output, "w", {nullptr, write_image_bytes, nullptr, close_image_descriptor});
    if (file == nullptr)
        fail_output();
    std::setvbuf(file, output_block, _IOFBF, sizeof output_block);
    return file;
}

bool write_image_unbuffered(std::FILE* file, const void* data, std::size_t size)
{
    if (std::fflush(file) != 0 || write_image_bytes(&image_output, static_cast<const char*>(data), size) < 0) {
        errno = image_output.error != 0 ? image_output.error : errno;
        return false;
    }
    return true;
}

bool close_image(std::FILE* file, const char* path, bool completed)
{
    if (file != nullptr && std::fclose(file) != 0)
        fail_output();
    if (!completed || image_output.abandoned) {
        std::fputs("Creating was break by user\n", stderr);
        return false;
    }
    std::printf("image \"%s\" created succesfully.\nburn it by command\n$ cdrecord -audio dev=<burner-device> ", path);
    print_shell_word(path);
    std::putchar('\n');
    flush_console();
    return true;
}
