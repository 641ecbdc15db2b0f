// The bands' rows, made ahead of the drawing on threads of their own: sampling the
// picture and dithering cost about as much as entering the bytes, and the rows
// depend on nothing the drawing does, only on the turns, which every side counts
// alike. Two makers take alternate bands, so that making rows uses whatever either
// core has left; a few rows go round between them and the drawing.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "common/track_model.h"
#include "picture/band_row.h"

constexpr int row_makers = 2;
constexpr int queued_rows = 8;
// Rows a maker makes in a row once it has waited: each wait and wake is a pair of
// context switches, which cost as much as the rows on a busy 2-core machine.
constexpr int row_burst = 3;

struct RowQueue {
    std::mutex lock;
    std::condition_variable made;               // the drawing waits here for its row
    std::condition_variable freed[row_makers];  // each maker waits here for free buffers
    std::int64_t ready[queued_rows] = {-1, -1, -1, -1, -1, -1, -1, -1};  // the band each buffer holds, or -1
    std::int64_t waiting_for[row_makers] = {-1, -1};  // the last band of a maker's burst while it waits, or -1
    std::int64_t used = 0;  // bands before this one the drawing is done with
    bool stopped = false;   // the drawing ended early: make no more
};

// The work of row maker `maker` (0 .. row_makers - 1): the rows of bands maker,
// maker + row_makers, ... up to the last band of the `turns` turns that the drawing
// of `model` draws, row_burst at a time once their buffers are free; returns after
// the last or on a stop.
void make_band_rows(RowQueue& queue, TrackModel model, std::int64_t turns, const GreySampler& sampler, int maker);

// The drawing side: the row of band `band`, waiting until it is made; the rows of
// earlier bands are given back.
const BandRow& take_band_row(RowQueue& queue, std::int64_t band);

// Lets the row makers return without making the rest.
void stop_band_rows(RowQueue& queue);
