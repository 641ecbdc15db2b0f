// How a pixel byte looks on the recorded side: 0xAA light, 0x20 dark, 0x00 mid grey.
// Other values fall on the straight lines between those three by byte value (0x01..0x1F
// between mid grey and dark, 0x21..0xA9 between dark and light) and above 0xAA stay
// light. The preview, its colour names and the scan reader read shades from here.
#pragma once

#include <array>
#include <cstdint>

#include "common/disc_geometry.h"

constexpr int light_shade = 208;
constexpr int mid_shade = 128;
constexpr int dark_shade = 40;
constexpr std::uint8_t background_shade = 255;  // no track there

// The shade on the straight line from (from_byte, from_shade) to (to_byte, to_shade),
// rounded to the nearest whole shade.
constexpr int interpolate_shade(int byte, int from_byte, int from_shade, int to_byte, int to_shade)
{
    const int span = to_byte - from_byte;
    const int step = (to_shade - from_shade) * (byte - from_byte);
    const int rounded = step >= 0 ? (2 * step + span) / (2 * span) : -((-2 * step + span) / (2 * span));
    return from_shade + rounded;
}

constexpr std::array<std::uint8_t, 256> make_shades()
{
    std::array<std::uint8_t, 256> shades{};
    for (int byte = 0; byte < 256; ++byte) {
        int shade = light_shade;
        if (byte <= dark_byte)
            shade = interpolate_shade(byte, mid_byte, mid_shade, dark_byte, dark_shade);
        else if (byte <= light_byte)
            shade = interpolate_shade(byte, dark_byte, dark_shade, light_byte, light_shade);
        shades[byte] = static_cast<std::uint8_t>(shade);
    }
    return shades;
}

constexpr std::array<std::uint8_t, 256> byte_shades = make_shades();

static_assert(byte_shades[light_byte] == light_shade && byte_shades[dark_byte] == dark_shade &&
                  byte_shades[mid_byte] == mid_shade && byte_shades[0xFF] == light_shade,
              "the three drawn bytes keep their shades");
static_assert(light_shade < background_shade, "the track stands out from the background");
