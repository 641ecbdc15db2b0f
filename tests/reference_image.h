// A slow, byte-at-a-time model of the interleaver for the tests to check the real
// writers against, the track images' turn rules in closed form, and the plumbing to
// run the real writers' cores. Nothing here shares code with image/: the encoder
// delays are kept as (frames back, byte) pairs, the ring is indexed by frame slot
// and byte, and each turn's place is computed on its own, not walked to.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// What a writer's core leaves behind: the bytes it wrote to its file, what it
// printed, and whether it completed (drained) the image.
struct CoreRun {
    Bytes file;
    std::string out;
    bool completed = false;
};

// A Ctrl-C can be made to arrive while the image's record number r is written
// (r = 0: before the image starts). The writer abandons the image after the turn in
// which it arrived; the file then holds only the records written so far.
constexpr int no_interrupt = -1;

namespace reference {

// Physical byte i of a frame is stored frames_back frames earlier, in byte `byte`.
struct Delay {
    int frames_back;
    int byte;
};
extern const Delay encoder_delays[24];

// The interleaver ring and the sector buffer with their counters, at start-up values.
struct State {
    std::uint8_t ring[112][24] = {};  // [frame slot][byte]
    int slot = 111;                   // slot of the physical frame being filled
    int byte_index = 0;               // next physical byte of that frame
    std::uint8_t sector[2352] = {};   // keeps stale bytes past `fill`
    int fill = 0;                     // bytes of the next record filled so far
};

// `file` collects the records written, as the image file would.
void put_audio_byte(State& state, std::uint8_t byte, Bytes& file);
void finish_image(State& state, Bytes& file);

struct TrackParams {
    double tr0, dtr, ref_tr0, ref_dtr, size_limit;
};
struct SweepParams {
    double tr0_start, tr0_step, ref_tr0, size_limit, anchor_pos, anchor_len;
};

// The pixel stream of a track image from a fresh start, from the stage-one rules in
// closed form, each turn on its own: turn n (turn n % 625 of line n / 625) is
// a = tr0 + n dtr long and holds the bytes from floor(P) to floor(P + a), where
// P = n tr0 + n (n - 1) / 2 dtr; turns 33 to 592 of a line open with floor(a) / 12
// marker bytes, the rest is fill; markers are 0x20 and fill 0xAA on even lines, the
// other way round on odd ones, and the gray line (the one whose turns span the
// crossing with the reference) has fill 0x00. The turns drawn are those that end
// under the size limit and hold a byte, or grow to one before the limit. Where P
// is a whole byte in decimal, the writer's binary sums may land a hair either side:
// the byte before it is taken as the next turn's when the image's `file`, read back,
// says so.
Bytes track_rule_pixels(const TrackParams& p, const Bytes& file);

// Turn lengths that no image can draw.
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The first `count` pixel bytes of an image written from a fresh start, read back
// from its file: pixel 24f + i stands at byte b_i of audio frame f + 111 - d_i.
Bytes recover_pixels(const Bytes& file, std::size_t count);

}  // namespace reference

// Puts the real interleaver and sector sink back to their start-up state.
void reset_synthesis_state();

// The whole content of an open file, read from its start.
Bytes read_whole_file(std::FILE* file);

// The real cores, from the real state as it stands.
CoreRun run_track_core(const reference::TrackParams& p, int interrupt_at_record = no_interrupt);
CoreRun run_sweep_core(const reference::SweepParams& p, int interrupt_at_record = no_interrupt);

// An abandoned image's file continued by one tagged pixel byte and a drain from the
// real state, so that a read-back shows exactly where the abandoned stream stopped.
Bytes continued_with_tag(const CoreRun& abandoned, std::uint8_t tag);

// Checks an image written from a fresh start by a public writer to `path`, with
// `out` printed, that ended before a turn it could not draw: `lines` progress lines,
// none gray, the success message, and exactly `pixel_bytes` (fewer than the ring
// holds) pixel bytes of 0xAA, the fill of an unmarked white line.
void expect_drained_white_image(const std::string& out, const std::string& path, int lines, std::size_t pixel_bytes);

// Equal byte strings, or where they first differ.
testing::AssertionResult same_bytes(const Bytes& got, const Bytes& expected);

// The progress lines of a writer's output, in order: line number and colour name.
struct ProgressLine {
    int line;
    std::string colour;
};
std::vector<ProgressLine> progress_lines(const std::string& out);
bool operator==(const ProgressLine& a, const ProgressLine& b);
inline std::ostream& operator<<(std::ostream& os, const ProgressLine& p)
{
    return os << "line " << p.line << " " << p.colour;
}

// Colour names of lines 0..lines-1 when exactly the lines in `gray` are gray.
std::vector<ProgressLine> expected_colours(int lines, const std::vector<int>& gray);

// A row of a gray-line table: an image, the lines it prints, those of them gray.
template <typename Params>
struct LineColourCase {
    const char* name;
    Params image;
    int lines;
    std::vector<int> gray;
};

// Writes the row's image from a fresh start through its core: completed, with the
// row's lines, exactly its gray ones gray.
void expect_gray_lines(const LineColourCase<reference::TrackParams>& row);
void expect_gray_lines(const LineColourCase<reference::SweepParams>& row);

