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

struct Drawing {
    PixelStream stream;
    double pos = 0;
    long long count = 0;
};

void draw_turn(Drawing& d, double a, int j, int line, bool gray)
{
    const long long n = static_cast<long long>(std::trunc(a));
    const long long m = (j >= 33 && j <= 592) ? n / 12 : 0;
    std::uint8_t marker = line % 2 == 0 ? 0x20 : 0xAA;
    std::uint8_t fill = line % 2 == 0 ? 0xAA : 0x20;
    if (gray)
        fill = 0x00;
    for (long long k = 0; k < m; ++k)
        d.stream.pixels.push_back(marker);
    for (long long k = 0; k < n - m; ++k)
        d.stream.pixels.push_back(fill);
    d.count += n;
    d.pos += a;
    while (d.count < static_cast<long long>(std::trunc(d.pos))) {
        d.stream.pixels.push_back(fill);
        d.count += 1;
    }
    d.stream.turn_ends.push_back(d.stream.pixels.size());
}

void print_line(Drawing& d, int line, bool gray)
{
    const char* colour = gray ? "gray" : line % 2 == 0 ? "white" : "black";
    char text[128];
    std::snprintf(text, sizeof text, "line number %d, start byte - %g Mb (%s)\n", line, d.pos / 1048576, colour);
    d.stream.progress.push_back({d.stream.turn_ends.size(), text});
}

// A turn is drawn only when it fits wholly under the limit and holds at least one
// byte, or, shorter but longer than nothing, grows to one byte (turn 1/g - a/g from
// here) before the turns could number as many as the bytes left to the limit.
bool drawable(double a, double g, double pos, double size_limit)
{
    if (!std::isfinite(a) || !(size_limit - a > pos))
        return false;
    if (a >= 1)
        return true;
    return a > 0 && g > 0 && (1 - a) / g < size_limit - pos;
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

PixelStream track_pixels(const TrackParams& p)
{
    Drawing d;
    const double crossing = (p.tr0 - p.ref_tr0) / (p.ref_dtr - p.dtr);
    bool gray = 0 <= crossing && crossing <= 625;
    print_line(d, 0, gray);
    double a = p.tr0;
    int line = 0;
    int j = 0;
    while (drawable(a, p.dtr, d.pos, p.size_limit)) {
        if (j > 624) {
            line += 1;
            j = 0;
            gray = 625.0 * line <= crossing && crossing <= 625.0 * line + 625;
            print_line(d, line, gray);
        }
        draw_turn(d, a, j, line, gray);
        a += p.dtr;
        j += 1;
    }
    return d.stream;
}

PixelStream sweep_pixels(const SweepParams& p)
{
    Drawing d;
    double t = p.tr0_start;
    bool gray = t <= p.ref_tr0 && p.ref_tr0 <= t + p.tr0_step;
    double g = (p.anchor_len * p.anchor_len - t * t) / (2 * p.anchor_pos);
    print_line(d, 0, gray);
    double a = t;
    int line = 0;
    int j = 0;
    while (drawable(a, g, d.pos, p.size_limit)) {
        if (j > 624) {
            line += 1;
            j = 0;
            t = t + p.tr0_step;
            g = (p.anchor_len * p.anchor_len - t * t) / (2 * p.anchor_pos);
            a = std::sqrt(t * t + 2 * g * d.pos);
            gray = t <= p.ref_tr0 && p.ref_tr0 <= t + p.tr0_step;
            print_line(d, line, gray);
            if (!drawable(a, g, d.pos, p.size_limit))
                break;
        }
        draw_turn(d, a, j, line, gray);
        a += g;
        j += 1;
    }
    return d.stream;
}

CoreRun image_file(State& state, const PixelStream& stream, int interrupt_at_record)
{
    CoreRun run;
    std::size_t printed = 0;
    auto print_up_to = [&](std::size_t turns) {
        for (; printed < stream.progress.size() && stream.progress[printed].before_turn <= turns; ++printed)
            run.out += stream.progress[printed].text;
    };
    std::size_t given = 0;
    for (std::size_t turn = 0; turn < stream.turn_ends.size(); ++turn) {
        print_up_to(turn);
        for (; given < stream.turn_ends[turn]; ++given)
            put_audio_byte(state, stream.pixels[given], run.file);
        const bool interrupted =
            interrupt_at_record == 0 ||
            (interrupt_at_record > 0 && run.file.size() >= static_cast<std::size_t>(interrupt_at_record) * 2352);
        if (interrupted)
            return run;
    }
    print_up_to(stream.turn_ends.size());
    finish_image(state, run.file);
    run.completed = true;
    return run;
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
