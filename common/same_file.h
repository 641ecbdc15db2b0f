// Whether two names reach one file: the same device and inode, whatever the spelling
// (a hard link, a symbolic link, "./x" for "x"). The tools refuse to write an output
// over one of their own inputs, or over the file a standard stream is redirected to.
#pragma once

// True when both paths name one existing file. A path that does not exist (yet)
// names no file, so the answer is false.
bool same_file(const char* a, const char* b);

// True when path names the file open on descriptor fd (a redirected standard stream).
bool same_file_as_descriptor(const char* path, int fd);
