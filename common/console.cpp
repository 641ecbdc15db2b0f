// The console policy. The error kept from a failed image write outlives the calls
// made after it (a close, a message), which may leave errno anything.
#include "common/console.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>

#include "common/program_name.h"

namespace {
int kept_error = 0;  // errno of the failed write that fail_output reports; 0 for none
}  // namespace

void fail_output()
{
    if (kept_error != 0)
        errno = kept_error;
    std::perror(program_name);
    std::exit(1);
}

void keep_output_error(int error) { kept_error = error; }

void reserve_standard_descriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        // Descriptors below fd are open, so the null device takes fd itself.
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF && open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd)
            std::exit(1);
    }
}

void flush_console()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)
        fail_output();
}

int finish_console(int status)
{
    flush_console();
    return std::ferror(stderr) != 0 ? 1 : status;
}
