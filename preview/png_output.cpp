// Open, core, close for the preview's PNG, with the temporary name in between.
#include "preview/png_output.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/console.h"
#include "common/program_name.h"

namespace {

// Permissions a newly created file gets from the process's umask.
mode_t creation_mode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// Removes what was written, keeping errno for the message that follows.
[[noreturn]] void fail_png(PngTarget& target)
{
    const int error_number = errno;
    discard_png_target(target);
    errno = error_number;
    fail_output();
}

}  // namespace

void open_png_target(PngTarget& target, const char* path)
{
    target.path = path;
    struct stat existing {};
    const bool exists = stat(path, &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        errno = EISDIR;
        fail_output();
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        target.file = std::fopen(path, "wb");
        if (target.file == nullptr)
            fail_output();
        return;
    }
    target.temp_path = target.path + ".tmp-XXXXXX";
    const int fd = mkstemp(target.temp_path.data());
    if (fd < 0) {
        target.temp_path.clear();
        fail_output();
    }
    fchmod(fd, creation_mode());
    target.file = fdopen(fd, "wb");
    if (target.file == nullptr) {
        close(fd);
        fail_png(target);
    }
}

bool finish_png_target(PngTarget& target, const GreyPicture& picture, const volatile std::sig_atomic_t* stop)
{
    const PngWriteResult result = write_grey_png(target.file, picture, stop);
    switch (result.status) {
    case PngWriteStatus::written: break;
    case PngWriteStatus::stopped: discard_png_target(target); return false;
    case PngWriteStatus::write_failed: errno = result.error_number; fail_png(target);
    case PngWriteStatus::refused:
        discard_png_target(target);
        std::fprintf(stderr, "%s: libpng: %s\n", program_name, result.message);
        std::exit(1);
    }
    std::FILE* file = target.file;
    target.file = nullptr;
    if (std::fclose(file) != 0)
        fail_png(target);
    if (!target.temp_path.empty() && std::rename(target.temp_path.c_str(), target.path.c_str()) != 0)
        fail_png(target);
    target.temp_path.clear();
    return true;
}

void discard_png_target(PngTarget& target)
{
    if (target.file != nullptr)
        std::fclose(target.file);
    target.file = nullptr;
    if (!target.temp_path.empty())
        std::remove(target.temp_path.c_str());
    target.temp_path.clear();
}
