// Per-byte cost of the preview's two passes, as Google Benchmark cases: recovering
// the pixel stream from an image file's bytes, and placing pixel bytes on a
// 1024-pixel picture of the disc. Both run on the first 16 MiB of ringetch's
// default DIRECT image, drawn into memory once: the inner turns, where a picture
// pixel gathers the fewest bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/track_model.h"
#include "image/deinterleaver.h"
#include "image/images.h"
#include "preview/disc_picture.h"

namespace {

constexpr TrackModel drawn{22500, 1.44};  // ringetch's first DIRECT image
constexpr TrackModel reference{23025, 1.38};
constexpr std::int64_t pixel_frames = (16 << 20) / frame_bytes;

// Draws the image into file with standard output on the null device: the writer's
// progress lines would otherwise land in the benchmark's report.
void draw_quietly(double size, std::FILE* file)
{
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, STDOUT_FILENO);
    draw_track_image(drawn, reference, size, file);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    close(null_fd);
}

// The image's file bytes: enough for pixel_frames pixel frames and the source
// frames the last of them reads, with two turns to spare (an image ends on a whole
// turn).
const std::vector<std::uint8_t>& image_bytes()
{
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> file_bytes;
        std::FILE* file = std::tmpfile();
        if (file == nullptr)
            return file_bytes;
        draw_quietly(static_cast<double>((pixel_frames + trailing_frames) * frame_bytes + 50000), file);
        file_bytes.resize(static_cast<std::size_t>(std::ftell(file)));
        std::rewind(file);
        if (std::fread(file_bytes.data(), 1, file_bytes.size(), file) != file_bytes.size())
            file_bytes.clear();
        std::fclose(file);
        return file_bytes;
    }();
    return bytes;
}

bool image_ready(benchmark::State& state)
{
    const std::size_t needed = static_cast<std::size_t>((pixel_frames + recovery_lag + 1) * frame_bytes);
    if (image_bytes().size() >= needed)
        return true;
    state.SkipWithError("could not draw the image");
    return false;
}

void preview_recovery_per_byte(benchmark::State& state)
{
    if (!image_ready(state))
        return;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(pixel_frames * frame_bytes));
    for (auto _ : state) {
        recover_pixel_frames(image_bytes().data(), pixel_frames, pixels.data());
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(state.iterations() * pixel_frames * frame_bytes);
}
BENCHMARK(preview_recovery_per_byte);

// Each iteration starts a new picture (untimed) and places the whole stream on it.
void preview_placement_per_byte(benchmark::State& state)
{
    if (!image_ready(state))
        return;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(pixel_frames * frame_bytes));
    recover_pixel_frames(image_bytes().data(), pixel_frames, pixels.data());
    const int count = static_cast<int>(pixels.size());
    DiscPicture picture;
    TrackPlacement placement;
    for (auto _ : state) {
        state.PauseTiming();
        start_picture(picture, placement, drawn, 1024);
        state.ResumeTiming();
        place_pixels(picture, placement, pixels.data(), 0, count);
        benchmark::DoNotOptimize(picture.cells.data());
    }
    state.SetBytesProcessed(state.iterations() * count);
}
BENCHMARK(preview_placement_per_byte);

}  // namespace

BENCHMARK_MAIN();
