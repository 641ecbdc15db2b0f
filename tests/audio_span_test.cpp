// put_audio_span against put_audio_byte: from the same state, a span and the same
// bytes given one at a time must write the same records and leave the same ring,
// slot, byte index and sector behind, whatever the span holds (no runs, short runs,
// long runs where the run fast path takes over) and wherever it starts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "image/interleaver.h"
#include "named_case.h"
#include "reference_image.h"

namespace {

using named_case::operator<<;

struct Piece {
    int byte;            // the run's byte, or -1 for random bytes
    std::int64_t count;  // bytes
};

constexpr int random_bytes = -1;

struct SpanCase {
    const char* name;
    int slot;                                 // current slot before the bytes
    int lead_pixels;                          // put_audio_byte calls first: a span that starts mid-frame
    int stray_sector_bytes;                   // put_sector_byte calls first: a fill offset off the frame grid
    std::vector<std::vector<Piece>> spans;    // given one after the other
};


std::vector<std::uint8_t> span_bytes(const std::vector<Piece>& pieces, std::mt19937& random)
{
    std::vector<std::uint8_t> bytes;
    for (const Piece& piece : pieces)
        for (std::int64_t k = 0; k < piece.count; ++k)
            bytes.push_back(static_cast<std::uint8_t>(piece.byte == random_bytes ? random() % 3 * 0x55 : piece.byte));
    return bytes;
}

struct Outcome {
    Bytes file;
    FrameInterleaver interleaver_after;
    SectorSink sink_after;
};

Outcome give(const SpanCase& c, bool as_spans)
{
    reset_synthesis_state();
    std::mt19937 random(7);
    for (std::uint8_t& byte : interleaver.ring)
        byte = static_cast<std::uint8_t>(random());
    interleaver.current_slot = c.slot;
    std::FILE* file = std::tmpfile();
    if (file == nullptr)
        return {};
    for (int k = 0; k < c.lead_pixels; ++k)
        put_audio_byte(static_cast<std::uint8_t>(0x40 + k), file);
    for (int k = 0; k < c.stray_sector_bytes; ++k)
        put_sector_byte(0x11, file);
    for (const std::vector<Piece>& pieces : c.spans) {
        const std::vector<std::uint8_t> bytes = span_bytes(pieces, random);
        if (as_spans) {
            put_audio_span(bytes.data(), static_cast<std::int64_t>(bytes.size()), file);
        } else {
            for (std::uint8_t byte : bytes)
                put_audio_byte(byte, file);
        }
    }
    Outcome outcome{read_whole_file(file), interleaver, sector_sink};
    std::fclose(file);
    return outcome;
}

class SpanAgainstBytes : public testing::TestWithParam<SpanCase> {};

TEST_P(SpanAgainstBytes, WritesTheSameRecordsAndLeavesTheSameState)
{
    const Outcome span = give(GetParam(), true);
    const Outcome bytes = give(GetParam(), false);
    EXPECT_TRUE(same_bytes(span.file, bytes.file));
    EXPECT_EQ(span.interleaver_after.current_slot, bytes.interleaver_after.current_slot);
    EXPECT_EQ(span.interleaver_after.byte_index, bytes.interleaver_after.byte_index);
    EXPECT_TRUE(same_bytes(Bytes(span.interleaver_after.ring, span.interleaver_after.ring + ring_bytes),
                           Bytes(bytes.interleaver_after.ring, bytes.interleaver_after.ring + ring_bytes)))
        << "ring";
    EXPECT_EQ(span.sink_after.fill_offset, bytes.sink_after.fill_offset);
    EXPECT_TRUE(same_bytes(Bytes(span.sink_after.buffer, span.sink_after.buffer + sector_bytes),
                           Bytes(bytes.sink_after.buffer, bytes.sink_after.buffer + sector_bytes)))
        << "sector";
}

const Piece no_runs_30000{random_bytes, 30000};

INSTANTIATE_TEST_SUITE_P(
    Interleaver, SpanAgainstBytes,
    testing::Values(
        SpanCase{"NothingAtAll", 111, 0, 0, {{}}},
        SpanCase{"LessThanAFrame", 111, 0, 0, {{{random_bytes, 5}}}},
        SpanCase{"FewerFramesThanMixTheRingIn", 20, 0, 0, {{{random_bytes, 24 * 50 + 3}}}},
        SpanCase{"ExactlyTheFramesThatMixTheRingIn", 0, 0, 0, {{{random_bytes, 24 * 108}}}},
        SpanCase{"OneFrameMoreThanTheRing", 111, 0, 0, {{{random_bytes, 24 * 113}}}},
        SpanCase{"AWholeTurnFromEverySlotKind", 57, 0, 0, {{{random_bytes, 40007}}}},
        SpanCase{"StartingMidFrame", 111, 7, 0, {{no_runs_30000}}},
        SpanCase{"AfterStraySectorBytes", 5, 0, 5, {{no_runs_30000}}},
        SpanCase{"RunOneByteShortOfLong", 111, 0, 0, {{{random_bytes, 3001}, {0xAA, 4095}, {random_bytes, 3000}}}},
        SpanCase{"LongRunInTheMiddle", 111, 3, 0, {{{random_bytes, 3001}, {0xAA, 4096}, {random_bytes, 3000}}}},
        SpanCase{"LongRunsBackToBack", 90, 0, 0, {{{0xAA, 5000}, {0x20, 6001}, {random_bytes, 100}, {0x00, 10000}}}},
        SpanCase{"OneLongRun", 111, 0, 0, {{{0x20, 50000}}}},
        SpanCase{"LongRunEndingMidFrame", 111, 0, 0, {{{random_bytes, 1001}, {0x00, 9000}}}},
        SpanCase{"ShortRunsOfAlikeWords",
                 111,
                 0,
                 0,
                 {{{0xAA, 9}, {0x20, 17}, {0xAA, 2100}, {0x00, 2047}, {0xAA, 31}, {random_bytes, 3000}, {0x00, 4100}}}},
        SpanCase{"SpansOneAfterAnother",
                 3,
                 1,
                 0,
                 {{{random_bytes, 23}}, {{random_bytes, 24 * 110}}, {{0xAA, 8000}}, {no_runs_30000}, {}}}),
    [](const testing::TestParamInfo<SpanCase>& info) { return std::string(info.param.name); });

}  // namespace
