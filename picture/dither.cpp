// The dither. The thresholds of byte j of band b's row are frac(j / g + b / g^2)
// with g the plastic number: along a row every stretch of a few bytes draws its
// grey's mix, and successive bands (24 µm apart) shift the pattern by an amount
// that keeps neighbouring rows from lining their bytes up.
#include "picture/dither.h"

#include "common/disc_geometry.h"

namespace {

constexpr std::uint32_t band_step = 2447445414U;  // 2^32 / 1.3247...^2

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

std::uint32_t dither_phase(std::int64_t band, std::int64_t j)
{
    // Unsigned arithmetic wraps: only the fraction of a turn of the phase counts.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(j) * phase_step +
                                      static_cast<std::uint64_t>(band) * band_step + (1U << 31));
}
