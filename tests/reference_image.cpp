// The slow model of the image synthesis: one pixel byte, one sector byte at a time.
#include "reference_image.h"

#include <cmath>

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
}

void print_line(Drawing& d, int line, bool gray)
{
    const char* colour = gray ? "gray" : line % 2 == 0 ? "white" : "black";
    char text[128];
    std::snprintf(text, sizeof text, "line number %d, start byte - %g Mb (%s)\n", line, d.pos / 1048576, colour);
    d.stream.progress += text;
}

// A turn is drawn only when it holds at least one byte and fits wholly under the limit.
bool drawable(double a, double pos, double size_limit)
{
    return std::isfinite(a) && a >= 1 && size_limit - a > pos;
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

PixelStream track_pixels(const TrackParams& p, bool interrupted_after_first_turn)
{
    Drawing d;
    const double crossing = (p.tr0 - p.ref_tr0) / (p.ref_dtr - p.dtr);
    bool gray = 0 <= crossing && crossing <= 625;
    print_line(d, 0, gray);
    double a = p.tr0;
    int line = 0;
    int j = 0;
    while (drawable(a, d.pos, p.size_limit)) {
        if (j > 624) {
            line += 1;
            j = 0;
            gray = 625.0 * line <= crossing && crossing <= 625.0 * line + 625;
            print_line(d, line, gray);
        }
        draw_turn(d, a, j, line, gray);
        a += p.dtr;
        j += 1;
        if (interrupted_after_first_turn) {
            d.stream.completed = false;
            break;
        }
    }
    return d.stream;
}

PixelStream sweep_pixels(const SweepParams& p, bool interrupted_after_first_turn)
{
    Drawing d;
    double t = p.tr0_start;
    bool gray = t <= p.ref_tr0 && p.ref_tr0 <= t + p.tr0_step;
    double g = (p.anchor_len * p.anchor_len - t * t) / (2 * p.anchor_pos);
    print_line(d, 0, gray);
    double a = t;
    int line = 0;
    int j = 0;
    while (drawable(a, d.pos, p.size_limit)) {
        if (j > 624) {
            line += 1;
            j = 0;
            t = t + p.tr0_step;
            g = (p.anchor_len * p.anchor_len - t * t) / (2 * p.anchor_pos);
            a = std::sqrt(t * t + 2 * g * d.pos);
            gray = t <= p.ref_tr0 && p.ref_tr0 <= t + p.tr0_step;
            print_line(d, line, gray);
            if (!drawable(a, d.pos, p.size_limit))
                break;
        }
        draw_turn(d, a, j, line, gray);
        a += g;
        j += 1;
        if (interrupted_after_first_turn) {
            d.stream.completed = false;
            break;
        }
    }
    return d.stream;
}

Bytes image_file(State& state, const PixelStream& stream)
{
    Bytes file;
    for (std::uint8_t byte : stream.pixels)
        put_audio_byte(state, byte, file);
    if (stream.completed)
        finish_image(state, file);
    return file;
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
