// The frame interleaver and the sector sink: where one pixel byte lands in the ring,
// when records are written, what a drain writes, and that the whole path is a pure
// permutation with the encoder's delays.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "image/interleaver.h"
#include "reference_image.h"
#include "named_case.h"

namespace {

using named_case::operator<<;

struct Landing {
    const char* name;
    int slot;
    int byte_index;
    int ring_byte;
};

class PixelLanding : public testing::TestWithParam<Landing> {};

TEST_P(PixelLanding, StoresThePixelAtItsRingByteAndNowhereElse)
{
    const Landing& row = GetParam();
    reset_synthesis_state();
    interleaver.current_slot = row.slot;
    interleaver.byte_index = row.byte_index;
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);

    put_audio_byte(0x5A, file);

    for (int k = 0; k < ring_bytes; ++k)
        ASSERT_EQ(interleaver.ring[k], k == row.ring_byte ? 0x5A : 0) << "ring byte " << k;
    std::fclose(file);
}

INSTANTIATE_TEST_SUITE_P(
    Interleaver, PixelLanding,
    testing::Values(Landing{"FirstByteOfTheStartUpSlot", 111, 0, 2592},    // 111*24 - 72
                    Landing{"LastByteOfSlotZeroWraps", 0, 23, 119},        // 0 - 2569 + 2688
                    Landing{"FirstByteOfSlotZeroWraps", 0, 0, 2616},       // 0 - 72 + 2688
                    Landing{"LargestDelayFromTheLastSlot", 111, 23, 95},   // 2664 - 2569
                    Landing{"LargestDelayJustWithoutWrap", 108, 23, 23},   // 2592 - 2569
                    Landing{"WrapsOntoTheLastRingByte", 107, 23, 2687},    // 2568 - 2569 + 2688
                    Landing{"SmallestDelayOntoRingByteZero", 3, 0, 0},     // 72 - 72
                    Landing{"MiddleOfTheTableWraps", 50, 12, 2332}),       // 1200 - 1556 + 2688
    [](const testing::TestParamInfo<Landing>& info) { return std::string(info.param.name); });

struct RecordCount {
    const char* name;
    int pixel_bytes;
    long file_bytes;
};

class RecordsWritten : public testing::TestWithParam<RecordCount> {};

TEST_P(RecordsWritten, OneRecordPerNinetyEightCompletedFrames)
{
    reset_synthesis_state();
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    for (int k = 0; k < GetParam().pixel_bytes; ++k)
        put_audio_byte(0x77, file);
    EXPECT_EQ(static_cast<long>(read_whole_file(file).size()), GetParam().file_bytes);
    std::fclose(file);
}

INSTANTIATE_TEST_SUITE_P(Sink, RecordsWritten,
                         testing::Values(RecordCount{"NothingBeforeTheFirstFrame", 23, 0},
                                         RecordCount{"NothingOneByteShortOfASector", 2351, 0},
                                         RecordCount{"OneRecordAfter98Frames", 2352, 2352},
                                         RecordCount{"StillOneRecordOneByteShortOfTwo", 4703, 2352},
                                         RecordCount{"TwoRecordsAfter196Frames", 4704, 4704}),
                         [](const testing::TestParamInfo<RecordCount>& info) { return std::string(info.param.name); });

TEST(Drain, FromAFreshStartWritesTwoRecordsOfZeros)
{
    reset_synthesis_state();
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    finish_image(file);
    EXPECT_TRUE(same_bytes(read_whole_file(file), Bytes(4704, 0)));
    std::fclose(file);
}

// Sector bytes given on their own leave the fill offset off a frame boundary; the
// frames that follow must still go out in step, split across the record they close.
TEST(SectorSink, FramesAfterStraySectorBytesStraddleTheRecordBoundary)
{
    reset_synthesis_state();
    reference::State model;
    Bytes expected;
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    for (int k = 0; k < 5; ++k) {
        put_sector_byte(0x11, file);
        model.sector[model.fill++] = 0x11;
    }
    const std::int64_t run = 24 * 300 + 7;
    put_audio_run(0xAA, run, file);
    for (std::int64_t k = 0; k < run; ++k)
        reference::put_audio_byte(model, 0xAA, expected);
    finish_image(file);
    reference::finish_image(model, expected);
    EXPECT_TRUE(same_bytes(read_whole_file(file), expected));
    std::fclose(file);
}

// 109 frames are 2616 bytes: one whole record of slots 0..97, then slots 98..108 in
// the first 264 bytes of the last record, whose other 2088 bytes are still those of
// the first record.
TEST(Drain, WritesTheLastRecordWholeWithTheStaleTailOfTheEarlierFill)
{
    reset_synthesis_state();
    for (int k = 0; k < ring_bytes; ++k)
        interleaver.ring[k] = static_cast<std::uint8_t>(1 + k % 251);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);

    finish_image(file);

    const Bytes content = read_whole_file(file);
    ASSERT_EQ(content.size(), 4704u);
    for (int k = 0; k < 2352; ++k)
        ASSERT_EQ(content[k], interleaver.ring[k]) << "first record, byte " << k;
    for (int k = 0; k < 264; ++k)
        ASSERT_EQ(content[2352 + k], interleaver.ring[2352 + k]) << "last record, byte " << k;
    for (int k = 264; k < 2352; ++k)
        ASSERT_EQ(content[2352 + k], content[k]) << "stale byte " << k;
    std::fclose(file);
}

// Every pixel byte is tagged by its position (two passes: the position's low and
// high digits in base 255, never zero), so a byte that lands in the wrong place,
// twice, or not at all shows up.
struct PixelRun {
    const char* name;
    int pixel_bytes;
};

class Permutation : public testing::TestWithParam<PixelRun> {};

TEST_P(Permutation, EveryPixelComesOutOnceDelayedByItsFramesIntoItsByte)
{
    const int count = GetParam().pixel_bytes;
    const long frames_out = count / 24 + 109;
    const long filled = frames_out * 24;
    const long records = filled / 2352 + 1;  // the last record is written whole, even when empty

    for (int digit = 0; digit < 2; ++digit) {
        auto tag = [digit](long k) { return static_cast<std::uint8_t>(1 + (digit == 0 ? k % 255 : k / 255 % 255)); };
        reset_synthesis_state();
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        for (long k = 0; k < count; ++k)
            put_audio_byte(tag(k), file);
        finish_image(file);
        const Bytes content = read_whole_file(file);
        std::fclose(file);
        ASSERT_EQ(static_cast<long>(content.size()), records * 2352);

        std::vector<bool> claimed(content.size(), false);
        for (long k = 0; k < count; ++k) {
            const reference::Delay delay = reference::encoder_delays[k % 24];
            const long at = 24 * (k / 24 + 111 - delay.frames_back) + delay.byte;
            ASSERT_LT(at, filled) << "pixel " << k;
            ASSERT_FALSE(claimed[at]) << "pixel " << k << " shares byte " << at;
            claimed[at] = true;
            ASSERT_EQ(content[at], tag(k)) << "pixel " << k << " at file byte " << at;
        }
        // A ring byte that no pixel reached still holds what it held one cycle earlier.
        for (long at = 0; at < filled; ++at) {
            if (!claimed[at]) {
                ASSERT_EQ(content[at], at < ring_bytes ? 0 : content[at - ring_bytes]) << "unreached file byte " << at;
            }
        }
        for (long at = filled; at < records * 2352; ++at)
            ASSERT_EQ(content[at], content[at - 2352]) << "stale file byte " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(Interleaver, Permutation,
                         testing::Values(PixelRun{"NoPixel", 0}, PixelRun{"OnePixel", 1},
                                         PixelRun{"OneFrameLessOne", 23}, PixelRun{"OneFrame", 24},
                                         PixelRun{"OneSector", 2352}, PixelRun{"ExactlyOneRingCycle", 2688},
                                         PixelRun{"SeveralRingCyclesEndingMidFrame", 24 * 300 + 7},
                                         PixelRun{"DrainEndingOnASectorBoundary", 24 * (196 - 109)}),
                         [](const testing::TestParamInfo<PixelRun>& info) { return std::string(info.param.name); });

}  // namespace
