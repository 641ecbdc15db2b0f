// Writing PNG files through libpng: grey pictures (and the scan reader's colour
// overlay), written row by row to an open file. Errors come back as a status, never as a message printed here, so that the
// caller can remove what it created before it says why.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>

#include "picture_file/grey_picture.h"

enum class PngWriteStatus {
    written,       // every byte reached the file and it was flushed
    write_failed,  // a write or the flush failed; error_number says why
    stopped,       // *stop became non-zero between rows
    refused,       // libpng refused (out of memory, a bad size); message says why
};

struct PngWriteResult {
    PngWriteStatus status = PngWriteStatus::written;
    int error_number = 0;    // errno of the failed write
    char message[160] = {};  // libpng's reason when refused
};

// Writes picture to file as an 8-bit grey PNG and flushes it; the file stays open.
// Polls *stop (a Ctrl-C flag, or null) after every row. After any status but
// `written` the file holds part of a PNG at most.
PngWriteResult write_grey_png(std::FILE* file, const GreyPicture& picture, const volatile std::sig_atomic_t* stop);

// The same for an 8-bit RGB picture: width * height * 3 bytes, rows from the top.
PngWriteResult write_colour_png(std::FILE* file, std::uint32_t width, std::uint32_t height, const std::uint8_t* rgb,
                                const volatile std::sig_atomic_t* stop);
