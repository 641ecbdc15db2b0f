// Runs of equal bytes, found a machine word at a time. Calibration images are long
// runs of a few byte values, so the tools that read images step from run to run
// instead of from byte to byte.
#pragma once

#include <cstdint>
#include <cstring>

// The end of the run that starts at `from` (from < end): the first byte before `end`
// that differs from *from, or `end`.
inline const std::uint8_t* run_end(const std::uint8_t* from, const std::uint8_t* end)
{
    const std::uint8_t byte = *from;
    const std::uint64_t repeated = 0x0101010101010101ULL * byte;
    const std::uint8_t* p = from + 1;
    // Four words at a time while they all match, then word by word to the change.
    while (end - p >= 32) {
        std::uint64_t words[4];
        std::memcpy(words, p, sizeof words);
        if (((words[0] ^ repeated) | (words[1] ^ repeated) | (words[2] ^ repeated) | (words[3] ^ repeated)) != 0)
            break;
        p += 32;
    }
    while (end - p >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, sizeof word);
        if (word != repeated)
            break;
        p += 8;
    }
    while (p < end && *p == byte)
        ++p;
    return p;
}
