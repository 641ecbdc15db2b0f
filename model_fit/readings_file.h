// The readings file: everything a refinement session read, so that a later session
// can go on from it with more burns. Plain text, one fact a line:
//   ringetch-refine readings
//   ranges <tr0_f> <tr0_t> <dtr_t> <dtr_f>
//   first twists <count>   (a scanned first image; at most once, before the burns)
//     then <count> rows "<line> <twist> error <e> from <p> to <q> turns <n>": the
//     line's twist and its error, degrees, between stream positions p and q, the
//     first bytes of its first and last of n marked turns
//   burn <tr0> <dtr> lines <count>        read by eye (a file of eye burns only is
//     as it always was): <count> rows "<line> <angle>" or "<line> -"
//   burn <tr0> <dtr> lines <count> scan   read from a scan: <count> rows
//     "<line> <angle> error <e>", "<line> <angle> error <e> twist <t> error <te>
//     turns <n>" or "<line> -", angles, twists and errors in degrees, the twist
//     across the line's first n marked turns
// A burn line ending in "eye" is read as one without a source.
#pragma once

#include <cstddef>
#include <cstdio>

#include "model_fit/readings.h"

// Writes readings in that form.
void print_readings(const Readings& readings, std::FILE* file);

// Writes readings to path whole (temporary name, renamed). False, with the reason in
// `why`, when the file cannot be written; an earlier file of that name then stays.
bool save_readings(const Readings& readings, const char* path, char* why, std::size_t why_size);

// Whether path is a regular file whose first line is a readings file's.
bool starts_as_readings(const char* path);

enum class LoadResult { loaded, failed, interrupted };

// Reads path into readings. `failed` with a message in `why` (the line number and
// what is wrong, or the system error) when the file cannot be read or is not a
// readings file; `interrupted` when a Ctrl-C came while it waited (a FIFO without a
// writer). Readings are unspecified unless loaded.
LoadResult load_readings(const char* path, Readings& readings, char* why, std::size_t why_size);
