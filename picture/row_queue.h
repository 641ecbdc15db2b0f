// The bands' rows, made ahead of the drawing on threads of their own: sampling the
// picture and dithering cost about as much as entering the bytes, and the rows
// depend on nothing the drawing does, only on the turns, which every side counts
// alike. Two makers take alternate bands, so that making rows uses whatever either
// core has left; a few rows go round between them and the drawing.
#pragma once

#include <cstdint>

#include "common/slot_ring.h"
#include "common/track_model.h"
#include "picture/band_row.h"

constexpr int row_makers = 2;
constexpr int queued_rows = 8;
// Rows a maker makes in a row once it has waited: each wait and wake is a pair of
// context switches, which cost as much as the rows on a busy 2-core machine.
constexpr int row_burst = 3;

static_assert(queued_rows <= most_ring_slots && row_makers <= most_ring_producers, "the ring holds the rows");

// Item n of the ring is band n's row; the makers are its producers, the drawing its
// consumer.
struct RowQueue {
    SlotRing ring{queued_rows};
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
