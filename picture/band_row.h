// The picture is drawn band by band: 16 successive turns (24 µm of the disc across)
// share one row of bytes, the shades of the band's middle turn, and every turn of
// the band takes that row stretched to its own length. The turns of a band differ
// by a few bytes in length and by 12 µm at most in radius, far below the dither's
// grain, so the row stands for all of them; it is computed once, not 16 times.
#pragma once

#include <cstdint>

#include "common/units.h"
#include "picture/grey_sampler.h"

constexpr int band_turns = 16;

// The longest turn a picture image draws: a turn of a real disc holds some 60000
// bytes; the rows are fixed buffers of this size.
constexpr std::int64_t max_turn_bytes = std::int64_t{1} << 20;

struct BandRow {
    std::uint8_t bytes[max_turn_bytes + sample_bytes] = {};  // a turn's catch-up byte, and the last sample whole
    std::int16_t greys[max_turn_bytes / sample_bytes + 1] = {};  // the samples, scratch space
    std::int64_t length = 0;                      // bytes in use
    bool uniform = false;                         // all bytes in use alike
};

// Fills row with the shades of the length bytes (at most max_turn_bytes + 1) from
// image byte `start` on, for band `band`: byte j shows the grey sampled at byte
// start + 4 * (j / 4) + 2, dithered by the band's thresholds; light where the
// sample falls outside the picture.
void draw_band_row(const GreySampler& sampler, std::int64_t band, std::int64_t start, std::int64_t length,
                   BandRow& row);

// Fills turn[0, count) from row[0, length): byte k takes row byte k * length / count
// (rounded down), so that the two span the same turn of the disc.
void stretch_row(const std::uint8_t* row, std::int64_t length, std::uint8_t* turn, std::int64_t count);
