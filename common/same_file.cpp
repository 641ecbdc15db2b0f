// Same device and inode, through stat (which follows symbolic links) and fstat.
#include "common/same_file.h"

#include <sys/stat.h>

namespace {
bool same_inode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }
}  // namespace

bool same_file(const char* a, const char* b)
{
    struct stat first {};
    struct stat second {};
    return stat(a, &first) == 0 && stat(b, &second) == 0 && same_inode(first, second);
}

bool same_file_as_descriptor(const char* path, int fd)
{
    struct stat named {};
    struct stat open_file {};
    return stat(path, &named) == 0 && fstat(fd, &open_file) == 0 && same_inode(named, open_file);
}
