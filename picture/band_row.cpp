// A band's row and its stretching to each turn of the band. The stretch is a few
// block copies: where a turn is longer than the row, a row byte is taken twice
// every count / (count - length) bytes; where it is shorter, one is left out every
// count / (length - count) bytes.
#include "picture/band_row.h"

#include <cstring>

#include "common/disc_geometry.h"
#include "picture/dither.h"

namespace {

bool all_alike(const std::uint8_t* bytes, std::int64_t count)
{
    for (std::int64_t j = 1; j < count; ++j)
        if (bytes[j] != bytes[0])
            return false;
    return true;
}

}  // namespace

void draw_band_row(const GreySampler& sampler, std::int64_t band, std::int64_t start, std::int64_t length,
                   BandRow& row)
{
    const std::int64_t samples = (length + sample_bytes - 1) / sample_bytes;
    sample_greys(sampler, start + sample_bytes / 2, sample_bytes, samples, row.greys);
    // Every sample's bytes are drawn whole, the last one's past `length` too (the
    // row has room).
    dither_samples(row.greys, samples, dither_phase(band, 0), row.bytes);
    row.length = length;
    row.uniform = all_alike(row.bytes, length);
}

void stretch_row(const std::uint8_t* row, std::int64_t length, std::uint8_t* turn, std::int64_t count)
{
    std::int64_t k = 0;
    if (count >= length) {
        // Byte k takes row byte k - ceil(k * extra / count): the offset steps up by
        // one after k = floor(i * count / extra) for i = 1, 2, ...
        const std::int64_t extra = count - length;
        while (k < count) {
            const std::int64_t i = extra == 0 ? 0 : (k * extra + count - 1) / count;
            const std::int64_t end = extra == 0 ? count : i * count / extra + 1;
            const std::int64_t stop = end < count ? end : count;
            std::memcpy(turn + k, row + k - i, stop - k);
            k = stop;
        }
        return;
    }
    // Byte k takes row byte k + floor(k * missing / count): the offset steps up by
    // one at k = ceil(i * count / missing).
    const std::int64_t missing = length - count;
    while (k < count) {
        const std::int64_t i = k * missing / count;
        const std::int64_t end = ((i + 1) * count + missing - 1) / missing;
        const std::int64_t stop = end < count ? end : count;
        std::memcpy(turn + k, row + k + i, stop - k);
        k = stop;
    }
}
