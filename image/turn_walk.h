// The loop every image writer runs: turns while they fit under the size limit,
// counted in lines of 625, a hook at each line's start, the interruption poll once
// per turn, and the drain at the end. A writer supplies what changes: how a line
// starts (its model, its progress line) and how a turn is drawn.
#pragma once

#include <cstdio>

#include "common/interrupt.h"
#include "common/units.h"
#include "image/interleaver.h"
#include "image/output_file.h"
#include "image/turn.h"

// Walks the turns of one image into file. The writer's start_line(walk) runs for
// line 0 before anything is checked and for every later line before its first turn
// (it may set a and growth; a line whose first turn then does not fit ends the
// image); draw_turn(walk, file) draws turn walk.turn_in_line of walk.line, advancing
// walk.cursor. Returns true when the image was completed and drained, false when it
// was abandoned on an interruption (not drained).
template <typename Writer>
bool walk_turns(Writer& writer, TurnWalk& walk, double size_limit, std::FILE* file)
{
    writer.start_line(walk);
    while (turn_fits(walk, size_limit)) {
        if (begin_due_line(walk)) {
            writer.start_line(walk);
            if (!turn_fits(walk, size_limit))
                break;
        }
        writer.draw_turn(walk, file);
        end_turn(walk);
        if (break_requested != 0)
            return false;
    }
    finish_image(file);
    return true;
}

// Open, core, close: clears the interruption flag, opens path (truncating), runs
// draw(file) -> completed, and closes with the success or interruption message.
// Returns whether the image was completed and all of it reached the file. A stop
// signal while the open waits abandons the image before anything is drawn; a
// SIGTERM or SIGHUP during the image ends the process once it is closed.
template <typename Draw>
bool write_image_file(const char* path, Draw draw)
{
    break_requested = 0;
    poll_stop_signals(true);
    std::FILE* file = open_image(path);
    const bool completed = file != nullptr && draw(file);
    const bool whole = close_image(file, path, completed);
    poll_stop_signals(false);
    return whole;
}
