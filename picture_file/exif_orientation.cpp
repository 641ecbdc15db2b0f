// EXIF orientation: the TIFF header after "Exif\0\0" says the byte order and where
// the first directory is; its 12-byte entries are searched for tag 0x0112, a SHORT
// whose value sits in the entry itself. Every offset is checked against the size.
#include "picture_file/exif_orientation.h"

#include <cstring>

namespace {

constexpr std::uint16_t orientation_tag = 0x0112;
constexpr std::uint16_t short_type = 3;

struct TiffBytes {
    const std::uint8_t* data;  // the TIFF header's first byte
    std::size_t size;
    bool big_endian;

    bool holds(std::size_t offset, std::size_t bytes) const { return offset <= size && bytes <= size - offset; }
    std::uint32_t read(std::size_t offset, int bytes) const
    {
        std::uint32_t value = 0;
        for (int k = 0; k < bytes; ++k) {
            const std::uint32_t byte = data[offset + static_cast<std::size_t>(big_endian ? k : bytes - 1 - k)];
            value = value << 8 | byte;
        }
        return value;
    }
};

}  // namespace

int exif_orientation(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t signature_bytes = 6;
    if (size < signature_bytes + 8 || std::memcmp(data, "Exif\0\0", signature_bytes) != 0)
        return 1;
    TiffBytes tiff{data + signature_bytes, size - signature_bytes, false};
    if (std::memcmp(tiff.data, "MM\0*", 4) == 0)
        tiff.big_endian = true;
    else if (std::memcmp(tiff.data, "II*\0", 4) != 0)
        return 1;
    const std::size_t directory = tiff.read(4, 4);
    if (!tiff.holds(directory, 2))
        return 1;
    const std::uint32_t entries = tiff.read(directory, 2);
    for (std::uint32_t k = 0; k < entries; ++k) {
        const std::size_t entry = directory + 2 + std::size_t{k} * 12;
        if (!tiff.holds(entry, 12))
            return 1;
        if (tiff.read(entry, 2) != orientation_tag)
            continue;
        const std::uint32_t value = tiff.read(entry + 8, 2);
        const bool usable = tiff.read(entry + 2, 2) == short_type && value >= 1 && value <= 8;
        return usable ? static_cast<int>(value) : 1;
    }
    return 1;
}
