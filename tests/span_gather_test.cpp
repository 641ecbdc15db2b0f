// The span gather against the delay table read directly, in its plain form and in
// the form the build and processor choose (the wide one on x86-64 with AVX-512):
// on random spans, for pieces that start anywhere from the first frame that needs
// no ring onward and that end on and off the 16-frame blocks and the wide form's
// 1024-frame pieces.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "image/span_gather.h"

namespace {

struct Piece {
    std::int64_t first;
    std::int64_t end;
};

std::vector<std::uint8_t> random_span(std::int64_t frames)
{
    std::mt19937 random(11);
    std::vector<std::uint8_t> span(static_cast<std::size_t>(frames * frame_bytes));
    for (std::uint8_t& byte : span)
        byte = static_cast<std::uint8_t>(random());
    return span;
}

// Byte b of the frame that moves out after frame k was entered: byte i of the frame
// entered 111 - frames_back frames before, for the physical byte i that lands in b.
std::vector<std::uint8_t> by_the_table(const std::vector<std::uint8_t>& span, Piece piece)
{
    std::vector<std::uint8_t> out(static_cast<std::size_t>((piece.end - piece.first) * frame_bytes));
    for (std::int64_t k = piece.first; k < piece.end; ++k)
        for (int i = 0; i < frame_bytes; ++i) {
            const InterleaveDelay delay = interleave_delays[i];
            const std::int64_t from = k - (move_out_lag - delay.frames_back);
            out[static_cast<std::size_t>((k - piece.first) * frame_bytes + delay.byte_in_frame)] =
                span[static_cast<std::size_t>(from * frame_bytes + i)];
        }
    return out;
}

const Piece pieces[] = {
    {mixed_frames, mixed_frames + 1},     {mixed_frames, mixed_frames + 16},   {mixed_frames, mixed_frames + 17},
    {mixed_frames + 5, 200},              {300, 300 + 1024},                   {300, 300 + 1025},
    {mixed_frames, mixed_frames + 2500},  {1999, 4000},
};

using Gather = void (*)(const std::uint8_t*, std::int64_t, std::int64_t, std::uint8_t*);

void expect_the_tables_bytes(Gather gather)
{
    const std::vector<std::uint8_t> span = random_span(4000);
    for (const Piece piece : pieces) {
        std::vector<std::uint8_t> out(static_cast<std::size_t>((piece.end - piece.first) * frame_bytes));
        gather(span.data(), piece.first, piece.end, out.data());
        EXPECT_EQ(out, by_the_table(span, piece)) << "frames " << piece.first << " to " << piece.end;
    }
}

TEST(SpanGather, PlainFormTakesEachByteWhereTheDelayTableSays) { expect_the_tables_bytes(gather_span_frames_plain); }

TEST(SpanGather, ChosenFormTakesEachByteWhereTheDelayTableSays)
{
    if (!wide_gather_chosen())
        GTEST_SKIP() << "the plain form is the one chosen here";
    expect_the_tables_bytes(gather_span_frames);
}

}  // namespace
