// Per-byte cost of the image path's two entry points, put_audio_byte and
// put_audio_run, as Google Benchmark cases. The sectors they complete go to
// /dev/null through a 1 MiB stdio buffer, as an image's go to its file, so the cost
// includes the sector output but not the kernel's copy into a file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>

#include "image/interleaver.h"

namespace {

constexpr std::int64_t bytes_per_iteration = 1 << 20;

// The null device, opened once for the whole run like an image file.
std::FILE* null_output()
{
    static char buffer[1 << 20];
    static std::FILE* file = [] {
        std::FILE* opened = std::fopen("/dev/null", "wb");
        if (opened != nullptr)
            std::setvbuf(opened, buffer, _IOFBF, sizeof buffer);
        return opened;
    }();
    return file;
}

// Each case starts from the start-up state, so that no case inherits where in a
// frame the one before it stopped.
void reset_image_path()
{
    interleaver = FrameInterleaver{};
    sector_sink = SectorSink{};
}

// Pixel bytes that change every few bytes, in the three shades the writers use, so
// that no two neighbouring calls see a pattern the compiler could fold.
struct PixelBytes {
    std::uint8_t bytes[4096];
    PixelBytes()
    {
        constexpr std::uint8_t shades[3] = {0xAA, 0x00, 0x20};
        std::uint32_t state = 12345;
        for (std::uint8_t& byte : bytes) {
            state = state * 1103515245U + 12345U;
            byte = shades[(state >> 16) % 3];
        }
    }
};

void put_audio_byte_per_byte(benchmark::State& state)
{
    static const PixelBytes pixels;
    std::FILE* file = null_output();
    if (file == nullptr) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    reset_image_path();
    for (auto _ : state) {
        for (std::int64_t k = 0; k < bytes_per_iteration; ++k)
            put_audio_byte(pixels.bytes[k % sizeof pixels.bytes], file);
    }
    state.SetBytesProcessed(state.iterations() * bytes_per_iteration);
}
BENCHMARK(put_audio_byte_per_byte);

// Runs of state.range(0) equal bytes, alternating light and dark, about 1 MiB an
// iteration. Lengths that are not whole frames start anywhere in a frame, as the
// writers' runs do.
void put_audio_run_per_byte(benchmark::State& state)
{
    std::FILE* file = null_output();
    if (file == nullptr) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    const std::int64_t run = state.range(0);
    const std::int64_t runs = bytes_per_iteration / run;
    reset_image_path();
    for (auto _ : state) {
        for (std::int64_t k = 0; k < runs; ++k)
            put_audio_run(k % 2 == 0 ? 0xAA : 0x20, run, file);
    }
    state.SetBytesProcessed(state.iterations() * runs * run);
}
// From a few bytes (a dithered picture) through two frames and a few frames to a
// marker (a twelfth of a turn, about 1900 bytes) and a whole turn (about 23000).
BENCHMARK(put_audio_run_per_byte)->Arg(4)->Arg(50)->Arg(200)->Arg(1900)->Arg(23000);

}  // namespace

BENCHMARK_MAIN();
