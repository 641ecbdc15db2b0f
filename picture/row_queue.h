// The bands' rows, made ahead of the drawing on a thread of their own: sampling the
// picture and dithering cost about as much as entering the bytes, and the rows
// depend on nothing the drawing does, only on the turns, which both sides count
// alike. A few rows go round between the two.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "picture/band_row.h"
#include "picture/picture_image.h"

struct RowQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::int64_t made = 0;  // rows ready, band 0 first
    std::int64_t used = 0;  // rows the drawing is done with
    bool stopped = false;   // the drawing ended early: make no more
};

// The row-making thread's work: the row of every band the drawing will draw, in
// order, each as soon as a buffer is free; returns after the last or on a stop.
void make_band_rows(RowQueue& queue, const PictureDrawing& drawing, const GreySampler& sampler);

// The drawing side: the row of band `band`, waiting until it is made; the rows of
// earlier bands are given back.
const BandRow& take_band_row(RowQueue& queue, std::int64_t band);

// Lets the row-making thread return without making the rest.
void stop_band_rows(RowQueue& queue);
