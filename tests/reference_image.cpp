// The slow model of the image synthesis: one pixel byte, one sector byte at a time.
#include "reference_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <algorithm>
#include <utility>

#include "common/interrupt.h"
#include "image/images.h"
#include "image/interleaver.h"

namespace reference {

// The disc encoder's delay lines, byte by byte of the physical frame.
const Delay encoder_delays[24] = {
    {3, 0},   {6, 1},   {11, 8},  {14, 9},  {19, 16}, {22, 17}, {27, 2},  {30, 3},
    {35, 10}, {38, 11}, {43, 18}, {46, 19}, {65, 4},  {68, 5},  {73, 12}, {76, 13},
    {81, 20}, {84, 21}, {89, 6},  {92, 7},  {97, 14}, {100, 15}, {105, 22}, {108, 23},
};

namespace {

void put_sector_byte(State& state, std::uint8_t byte, Bytes& file)
{
    state.sector[state.fill] = byte;
    state.fill += 1;
    if (state.fill == 2352) {
        file.insert(file.end(), state.sector, state.sector + 2352);
        state.fill = 0;
    }
}

void move_out_next_slot(State& state, Bytes& file)
{
    state.slot = (state.slot + 1) % 112;
    for (int m = 0; m < 24; ++m)
        put_sector_byte(state, state.ring[state.slot][m], file);
}

}  // namespace

void put_audio_byte(State& state, std::uint8_t byte, Bytes& file)
{
    const Delay delay = encoder_delays[state.byte_index];
    state.ring[(state.slot - delay.frames_back + 112) % 112][delay.byte] = byte;
    state.byte_index += 1;
    if (state.byte_index == 24) {
        state.byte_index = 0;
        move_out_next_slot(state, file);
    }
}

void finish_image(State& state, Bytes& file)
{
    for (int frame = 0; frame < 109; ++frame)
        move_out_next_slot(state, file);
    state.byte_index = 0;
    file.insert(file.end(), state.sector, state.sector + 2352);
    state.fill = 0;
}

Bytes track_rule_pixels(const TrackParams& p, const Bytes& file)
{
    const std::size_t frames = file.size() / 24;
    const Bytes drawn = recover_pixels(file, frames > 111 ? (frames - 111) * 24 : 0);
    const double crossing = (p.tr0 - p.ref_tr0) / (p.ref_dtr - p.dtr);
    Bytes pixels;
    for (long long n = 0;; ++n) {
        const long double a = p.tr0 + static_cast<long double>(n) * p.dtr;
        const long double start = n * static_cast<long double>(p.tr0) + n * (n - 1) / 2.0L * p.dtr;
        const bool fits = std::isfinite(static_cast<double>(a)) && start + a < p.size_limit;
        const bool whole_or_growing = a >= 1 || (a > 0 && p.dtr > 0 && (1 - a) / p.dtr < p.size_limit - start);
        if (!fits || !whole_or_growing)
            return pixels;
        const long long line = n / 625;
        const long long j = n % 625;
        const bool even = line % 2 == 0;
        const auto first = 625.0 * static_cast<double>(line);
        const bool gray = first <= crossing && crossing <= first + 625;
        const std::uint8_t marker = even ? 0x20 : 0xAA;
        const std::uint8_t fill = gray ? 0x00 : even ? 0xAA : 0x20;
        const auto whole = static_cast<long long>(a);
        const long long marked = j >= 33 && j <= 592 ? whole / 12 : 0;
        const long double end = start + a;
        auto last = static_cast<std::size_t>(std::floor(end + 1e-6L));
        if (end + 1e-6L - static_cast<long double>(last) < 2e-6L && last > 0 && last <= drawn.size() &&
            drawn[last - 1] != fill)
            last -= 1;
        pixels.insert(pixels.end(), static_cast<std::size_t>(marked), marker);
        pixels.resize(last, fill);
    }
}

Bytes recover_pixels(const Bytes& file, std::size_t count)
{
    Bytes pixels(count);
    for (std::size_t k = 0; k < count; ++k) {
        const Delay delay = encoder_delays[k % 24];
        pixels[k] = file.at(24 * (k / 24 + 111 - delay.frames_back) + delay.byte);
    }
    return pixels;
}

}  // namespace reference

void reset_synthesis_state()
{
    interleaver = FrameInterleaver{};
    sector_sink = SectorSink{};
}

Bytes read_whole_file(std::FILE* file)
{
    Bytes content;
    std::fflush(file);
    std::rewind(file);
    std::uint8_t block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        content.insert(content.end(), block, block + got);
    return content;
}

namespace {

// The image file of a real run: collects every byte written, unbuffered, and plays
// the Ctrl-C as the chosen record goes out.
struct Collector {
    Bytes bytes;
    int interrupt_at_record;
};

ssize_t collect(void* cookie, const char* data, std::size_t size)
{
    auto* collector = static_cast<Collector*>(cookie);
    const std::size_t before = collector->bytes.size();
    collector->bytes.insert(collector->bytes.end(), data, data + size);
    if (collector->interrupt_at_record > 0) {
        const std::size_t at = static_cast<std::size_t>(collector->interrupt_at_record) * 2352;
        if (before < at && at <= collector->bytes.size())
            on_interrupt(SIGINT);
    }
    return static_cast<ssize_t>(size);
}

template <class Draw>
CoreRun run_core(int interrupt_at_record, Draw draw)
{
    CoreRun run;
    Collector collector{{}, interrupt_at_record};
    std::FILE* file = fopencookie(&collector, "w", cookie_io_functions_t{nullptr, collect, nullptr, nullptr});
    if (file == nullptr)
        return run;
    std::setvbuf(file, nullptr, _IONBF, 0);
    break_requested = interrupt_at_record == 0 ? 1 : 0;
    testing::internal::CaptureStdout();
    run.completed = draw(file);
    run.out = testing::internal::GetCapturedStdout();
    break_requested = 0;
    std::fclose(file);
    run.file = std::move(collector.bytes);
    return run;
}

}  // namespace

CoreRun run_track_core(const reference::TrackParams& p, int interrupt_at_record)
{
    return run_core(interrupt_at_record, [&p](std::FILE* file) {
        return draw_track_image({p.tr0, p.dtr}, {p.ref_tr0, p.ref_dtr}, p.size_limit, file);
    });
}

CoreRun run_sweep_core(const reference::SweepParams& p, int interrupt_at_record)
{
    return run_core(interrupt_at_record, [&p](std::FILE* file) {
        return draw_sweep_image({p.tr0_start, p.tr0_step, p.anchor_pos, p.anchor_len}, p.ref_tr0, p.size_limit, file);
    });
}

std::vector<ProgressLine> progress_lines(const std::string& out)
{
    std::vector<ProgressLine> lines;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        const std::string text = out.substr(start, end - start);
        int line = 0;
        double mib = 0;
        char colour[16] = {};
        if (std::sscanf(text.c_str(), "line number %d, start byte - %lf Mb (%15[a-z])", &line, &mib, colour) == 3)
            lines.push_back({line, colour});
        start = end + 1;
    }
    return lines;
}

std::vector<ProgressLine> expected_colours(int lines, const std::vector<int>& gray)
{
    std::vector<ProgressLine> colours;
    for (int line = 0; line < lines; ++line) {
        bool is_gray = false;
        for (int g : gray)
            is_gray = is_gray || g == line;
        colours.push_back({line, is_gray ? "gray" : line % 2 == 0 ? "white" : "black"});
    }
    return colours;
}

namespace {

void expect_colours(const CoreRun& run, int lines, const std::vector<int>& gray)
{
    EXPECT_TRUE(run.completed);
    EXPECT_EQ(progress_lines(run.out), expected_colours(lines, gray)) << run.out;
}

}  // namespace

void expect_gray_lines(const LineColourCase<reference::TrackParams>& row)
{
    reset_synthesis_state();
    expect_colours(run_track_core(row.image), row.lines, row.gray);
}

void expect_gray_lines(const LineColourCase<reference::SweepParams>& row)
{
    reset_synthesis_state();
    expect_colours(run_sweep_core(row.image), row.lines, row.gray);
}

bool operator==(const ProgressLine& a, const ProgressLine& b) { return a.line == b.line && a.colour == b.colour; }

Bytes continued_with_tag(const CoreRun& abandoned, std::uint8_t tag)
{
    Bytes file = abandoned.file;
    std::FILE* rest = std::tmpfile();
    if (rest == nullptr)
        return file;
    put_audio_byte(tag, rest);
    finish_image(rest);
    const Bytes tail = read_whole_file(rest);
    std::fclose(rest);
    file.insert(file.end(), tail.begin(), tail.end());
    return file;
}

void expect_drained_white_image(const std::string& out, const std::string& path, int lines, std::size_t pixel_bytes)
{
    EXPECT_EQ(progress_lines(out), expected_colours(lines, {}));
    const std::string success = "image \"" + path + "\" created succesfully.\nburn it by command\n"
                                "$ cdrecord -audio dev=<burner-device> \"" + path + "\"\n";
    EXPECT_TRUE(out.size() >= success.size() && out.substr(out.size() - success.size()) == success) << out;

    std::FILE* image = std::fopen(path.c_str(), "rb");
    ASSERT_NE(image, nullptr);
    const Bytes file = read_whole_file(image);
    std::fclose(image);
    const std::size_t n = pixel_bytes;
    EXPECT_EQ(file.size(), (n / 24 + 109) * 24 / 2352 * 2352 + 2352);
    // Past the image, up to the end of the next frame, the ring's start-up zeros.
    Bytes expected(24 * (n / 24 + 1), 0);
    std::fill(expected.begin(), expected.begin() + static_cast<long>(n), 0xAA);
    EXPECT_TRUE(same_bytes(reference::recover_pixels(file, expected.size()), expected));
}

testing::AssertionResult same_bytes(const Bytes& got, const Bytes& expected)
{
    const std::size_t common = std::min(got.size(), expected.size());
    for (std::size_t k = 0; k < common; ++k)
        if (got[k] != expected[k])
            return testing::AssertionFailure() << "first difference at byte " << k << " (record " << k / 2352
                                               << ", offset " << k % 2352 << "): got " << int(got[k])
                                               << ", expected " << int(expected[k]);
    if (got.size() != expected.size())
        return testing::AssertionFailure() << got.size() << " bytes, expected " << expected.size();
    return testing::AssertionSuccess();
}
