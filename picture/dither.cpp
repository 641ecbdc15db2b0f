// The dither. The threshold of byte j of a band's row is frac(j / g + o) with g the
// golden ratio, whose multiples spread more evenly than any other's: every stretch
// of a row of a dozen bytes (0.1 mm) draws its grey's mix to within a byte or two.
// The offset o is a hash of the band, so that successive bands (24 µm apart) do not
// line their bytes up into slanting streaks, as offsets in any fixed step would.
#include "picture/dither.h"

#include <cstring>

#include "common/disc_geometry.h"
#include "common/units.h"

namespace {

// The band's offset: splitmix64's finaliser, top 32 bits.
std::uint32_t band_offset(std::int64_t band)
{
    std::uint64_t z = static_cast<std::uint64_t>(band) + 0x9E3779B97F4A7C15U;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9U;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBU;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
}

struct ShadeTable {
    GreyShade of[256];
};

constexpr ShadeTable make_shade_table()
{
    constexpr std::uint8_t levels[3] = {dark_byte, mid_byte, light_byte};
    ShadeTable table{};
    for (int grey = 0; grey < 256; ++grey) {
        // The level 2 * grey / 255 (0 dark, 1 mid, 2 light) as a whole level and
        // a remainder in 255ths.
        const int low = 2 * grey / 255;
        const int rest = 2 * grey - 255 * low;
        GreyShade& shade = table.of[grey];
        shade.below = levels[low];
        shade.above = levels[low < 2 ? low + 1 : 2];
        shade.above_share = static_cast<std::uint16_t>((rest * 256 + 127) / 255);
    }
    return table;
}

constexpr ShadeTable shade_table = make_shade_table();

static_assert(shade_table.of[0].below == dark_byte && shade_table.of[0].above_share == 0, "black is dark");
static_assert(shade_table.of[255].below == light_byte && shade_table.of[255].above_share == 0, "white is light");
static_assert(shade_table.of[128].below == mid_byte && shade_table.of[128].above_share == 1, "mid grey is mid");

}  // namespace

const GreyShade& grey_shade(int grey) { return shade_table.of[grey]; }

void dither_samples(const std::int16_t* greys, std::int64_t samples, std::uint32_t phase, std::uint8_t* bytes)
{
    constexpr GreyShade outside_shade{light_byte, light_byte, 0};
    for (std::int64_t m = 0; m < samples; ++m) {
        const int grey = greys[m];
        const GreyShade& shade = grey < 0 ? outside_shade : grey_shade(grey);
        const auto first = static_cast<std::uint32_t>(phase + static_cast<std::uint32_t>(m) * (sample_bytes * phase_step));
        std::uint8_t drawn[sample_bytes];
        for (int k = 0; k < sample_bytes; ++k)
            drawn[k] = dithered_byte(shade, first + static_cast<std::uint32_t>(k) * phase_step);
        std::memcpy(bytes + sample_bytes * m, drawn, sample_bytes);
    }
}

std::uint32_t dither_phase(std::int64_t band, std::int64_t j)
{
    // Unsigned arithmetic wraps: only the fraction of the phase counts.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(j) * phase_step + band_offset(band));
}
