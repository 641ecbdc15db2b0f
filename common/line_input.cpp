// Console line input shared by the interactive tools.
#include "common/line_input.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

// Standard input left non-blocking (by another program sharing it) reports a read
// that would block as an error; that is no failed read, the input is not there yet.
// False when the wait itself fails; a Ctrl-C does not end it.
bool wait_for_input()
{
    pollfd input{STDIN_FILENO, POLLIN, 0};
    for (;;) {
        if (poll(&input, 1, -1) >= 0)
            return true;  // readable, or at its end or in error: the next read says which
        if (errno != EINTR)
            return false;
    }
}

void drop_carriage_return(char* buffer)
{
    const std::size_t length = std::strlen(buffer);
    if (length >= 2 && buffer[length - 2] == '\r' && buffer[length - 1] == '\n') {
        buffer[length - 2] = '\n';
        buffer[length - 1] = '\0';
    }
}

}  // namespace

bool read_input_once(char* buffer, int size)
{
    int length = 0;
    while (length < size - 1) {
        const int c = std::getc(stdin);
        if (c == EOF) {
            const bool would_block = std::ferror(stdin) != 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            if (would_block && wait_for_input()) {
                std::clearerr(stdin);
                continue;
            }
            if (std::ferror(stdin) != 0 || length == 0)
                return false;
            break;
        }
        buffer[length] = static_cast<char>(c);
        length += 1;
        if (c == '\n')
            break;
    }
    buffer[length] = '\0';
    return true;
}

bool read_input_line(char* buffer, int size, int& retries)
{
    for (;;) {
        if (read_input_once(buffer, size)) {
            retries = full_retry_count;
            drop_carriage_return(buffer);
            return true;
        }
        retries -= 1;
        if (retries <= 0) {
            std::fputs("read stdin error\n", stderr);
            return false;
        }
        std::clearerr(stdin);
    }
}
