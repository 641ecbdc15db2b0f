// How three byte values draw the picture's 256 greys: grey 0 is the dark byte, 255
// the light one, 127.5 the mid one, and a grey between two of them is a mix of both
// in proportion, decided byte by byte by an ordered dither whose thresholds spread
// as evenly as any can along every row, each band's row starting at its own place.
#pragma once

#include <cstdint>

struct GreyShade {
    std::uint8_t below = 0;          // the byte of the darker of the two levels around the grey
    std::uint8_t above = 0;          // the byte of the lighter one
    std::uint16_t above_share = 0;   // of the 256 thresholds, how many give the lighter byte
};

// The shade of each grey 0..255.
const GreyShade& grey_shade(int grey);

// The dither's phase at byte j of band b's row; a threshold is its top 8 bits, and
// the next byte's phase is phase + phase_step.
std::uint32_t dither_phase(std::int64_t band, std::int64_t j);
constexpr std::uint32_t phase_step = 2654435769U;  // 2^32 / 1.618..., the golden ratio

inline std::uint8_t dithered_byte(const GreyShade& shade, std::uint32_t phase)
{
    return (phase >> 24) < shade.above_share ? shade.above : shade.below;
}

// The bytes of `samples` samples of a row, four bytes each (bytes 4 m .. 4 m + 3
// show greys[m]; a grey of -1, outside the picture, is light whatever the
// threshold), byte j dithered at phase + j * phase_step.
void dither_samples(const std::int16_t* greys, std::int64_t samples, std::uint32_t phase, std::uint8_t* bytes);
