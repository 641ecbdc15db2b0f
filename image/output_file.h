// The image file's open, write path and close. Every tool's image goes through here,
// so each gets the same guards: no image over the file that a standard stream uses,
// one writer at a time, a stop signal that can break a blocked open or write, and
// write failures (a full disk, a reader that went away, the file-size limit)
// reported through the console's fail_output (common/console.h).
#pragma once

#include <cstddef>
#include <cstdio>

// Opens path for writing, as "wb" does, with a large block buffer, once standard
// output is flushed (a console that cannot be written ends the run before the open
// truncates anything). A regular file is
// refused (message, exit status 1) when it is the file that standard input, output or
// error uses, or when another process is writing it (an advisory lock held until
// close_image); only then is it truncated. A Ctrl-C while the open waits (a FIFO
// without a reader) returns null: the image is abandoned before it began. Any other
// failure ends the process through fail_output.
//
// Writes wait for a slow file as long as it takes; once a Ctrl-C has come, a file
// that takes no byte for a while (a FIFO whose reader stalled) is given up and the
// rest of the image is dropped. Until then the records drawn so far still go out, so
// an abandoned image ends where its writer stopped drawing. One image is open at a time.
std::FILE* open_image(const char* path);

// Writes size bytes to the image's file after what the stream already holds, with
// no copy through the stream's buffer: for a writer that fills buffers of its own.
// Returns false after a failure, with errno set as fail_output would report it.
bool write_image_unbuffered(std::FILE* file, const void* data, std::size_t size);

// Closes the file (null: the open was abandoned) and reports the image: the success
// message with the burning hint when it was completed and all of it reached the
// file, the interruption message otherwise; returns which. A failed close is an
// output error, so success is never reported for an image that did not reach the file.
bool close_image(std::FILE* file, const char* path, bool completed);
