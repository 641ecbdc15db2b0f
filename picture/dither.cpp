// The dither. The threshold of byte j of a band's row is frac(j / g + o) with g the
// golden ratio, whose multiples spread more evenly than any other's: every stretch
// of a row of a dozen bytes (0.1 mm) draws its grey's mix to within a byte or two.
// The offset o is a hash of the band, so that successive bands (24 µm apart) do not
// line their bytes up into slanting streaks, as offsets in any fixed step would.
#include "picture/dither.h"

#include <immintrin.h>

#include <cstring>

#include "common/disc_geometry.h"

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

constexpr int bytes_per_sample = 4;

// The shades packed for the wide form, indexed by grey and, at 256, outside the
// picture: the share in bits 0-8, the byte below in bits 9-16, the one above in
// bits 17-24.
struct PackedShades {
    std::uint32_t of[257];
};

constexpr PackedShades make_packed_shades()
{
    PackedShades packed{};
    for (int grey = 0; grey < 257; ++grey) {
        const GreyShade shade = grey < 256 ? shade_table.of[grey] : GreyShade{light_byte, light_byte, 0};
        packed.of[grey] = std::uint32_t{shade.above_share} | std::uint32_t{shade.below} << 9 |
                          std::uint32_t{shade.above} << 17;
    }
    return packed;
}

constexpr PackedShades packed_shades = make_packed_shades();

#define WIDE_TARGET __attribute__((target("avx512f,avx512bw")))

// 16 samples (64 bytes) at a time: lane m of a register is sample m, and each of
// the sample's four bytes is found in a register of its own, then the four are
// merged into the sample's 32 bits.
WIDE_TARGET void dither_blocks(const std::int16_t* greys, std::int64_t blocks, std::uint32_t phase,
                               std::uint8_t* bytes)
{
    constexpr int lanes = 16;
    const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m512i phases[bytes_per_sample];
    for (int k = 0; k < bytes_per_sample; ++k)
        phases[k] = _mm512_add_epi32(
            _mm512_set1_epi32(static_cast<int>(phase + static_cast<std::uint32_t>(k) * phase_step)),
            _mm512_mullo_epi32(lane, _mm512_set1_epi32(static_cast<int>(bytes_per_sample * phase_step))));
    const __m512i block_step = _mm512_set1_epi32(static_cast<int>(lanes * bytes_per_sample * phase_step));
    const __m512i outside = _mm512_set1_epi32(256);
    const __m512i nine_bits = _mm512_set1_epi32(0x1FF);
    const __m512i byte_bits = _mm512_set1_epi32(0xFF);
    for (std::int64_t b = 0; b < blocks; ++b) {
        const __m256i grey16 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(greys + lanes * b));
        // -1 as unsigned is the largest: the minimum with 256 sends it to 256.
        const __m512i grey = _mm512_min_epu32(_mm512_cvtepi16_epi32(grey16), outside);
        const __m512i shade = _mm512_i32gather_epi32(grey, packed_shades.of, 4);
        const __m512i share = _mm512_and_si512(shade, nine_bits);
        const __m512i below = _mm512_and_si512(_mm512_srli_epi32(shade, 9), byte_bits);
        const __m512i above = _mm512_srli_epi32(shade, 17);
        __m512i merged = _mm512_setzero_si512();
        for (int k = 0; k < bytes_per_sample; ++k) {
            const __mmask16 lighter = _mm512_cmplt_epu32_mask(_mm512_srli_epi32(phases[k], 24), share);
            const __m512i byte = _mm512_mask_blend_epi32(lighter, below, above);
            merged = _mm512_or_si512(merged, _mm512_slli_epi32(byte, 8 * k));
            phases[k] = _mm512_add_epi32(phases[k], block_step);
        }
        _mm512_storeu_si512(bytes + std::int64_t{lanes} * bytes_per_sample * b, merged);
    }
}

#undef WIDE_TARGET

}  // namespace

const GreyShade& grey_shade(int grey) { return shade_table.of[grey]; }

void dither_samples_plain(const std::int16_t* greys, std::int64_t samples, std::uint32_t phase, std::uint8_t* bytes)
{
    constexpr GreyShade outside_shade{light_byte, light_byte, 0};
    for (std::int64_t m = 0; m < samples; ++m) {
        const int grey = greys[m];
        const GreyShade& shade = grey < 0 ? outside_shade : grey_shade(grey);
        const auto first = static_cast<std::uint32_t>(phase + static_cast<std::uint32_t>(m) * (bytes_per_sample * phase_step));
        std::uint8_t drawn[bytes_per_sample];
        for (int k = 0; k < bytes_per_sample; ++k)
            drawn[k] = dithered_byte(shade, first + static_cast<std::uint32_t>(k) * phase_step);
        std::memcpy(bytes + bytes_per_sample * m, drawn, bytes_per_sample);
    }
}

void dither_samples_wide(const std::int16_t* greys, std::int64_t samples, std::uint32_t phase, std::uint8_t* bytes)
{
    const std::int64_t blocks = samples / 16;
    dither_blocks(greys, blocks, phase, bytes);
    const std::int64_t done = 16 * blocks;
    dither_samples_plain(greys + done, samples - done,
                         phase + static_cast<std::uint32_t>(done) * (bytes_per_sample * phase_step),
                         bytes + bytes_per_sample * done);
}

bool wide_dither_supported() { return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"); }

void dither_samples(const std::int16_t* greys, std::int64_t samples, std::uint32_t phase, std::uint8_t* bytes)
{
    static const bool wide = wide_dither_supported();
    if (wide)
        dither_samples_wide(greys, samples, phase, bytes);
    else
        dither_samples_plain(greys, samples, phase, bytes);
}

std::uint32_t dither_phase(std::int64_t band, std::int64_t j)
{
    // Unsigned arithmetic wraps: only the fraction of the phase counts.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(j) * phase_step + band_offset(band));
}
