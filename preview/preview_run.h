// A whole preview: the image read, its pixel stream recovered and its lines found on
// one thread while the other places the stream on the picture; then the PNG and the
// report.
#pragma once

#include "preview/parameters.h"

// Exit status of the process after printing what there is to print: 0 when the PNG
// was written and the report printed (also for an image cut short), 1 after a
// failure, 128 + the signal after a Ctrl-C, SIGTERM or SIGHUP (no PNG left behind;
// the caller polls for them throughout, poll_stop_signals). Standard output is
// flushed by the caller (finish_console).
int run_preview(const PreviewParameters& parameters);
