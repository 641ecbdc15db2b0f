// The inverse of the interleaver: pixel streams go through put_audio_byte,
// put_audio_run and finish_image (or are abandoned, or their file is cut), and the
// recovery gives them back from the file, byte for byte. An image starts where the
// writer's state stands: after a drained image that is a fresh frame of a fresh
// record, after an abandoned one it is mid-frame and mid-record, and the stream
// comes back later by exactly that many bytes (the frames already in the record and
// the bytes already in the frame).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image/deinterleaver.h"
#include "image/interleaver.h"
#include "named_case.h"
#include "reference_image.h"

namespace {

using named_case::operator<<;

// A tag that differs from its neighbours' at almost every shift.
std::uint8_t tag(std::int64_t k) { return static_cast<std::uint8_t>(1 + ((static_cast<std::uint64_t>(k) * 2654435761U) >> 20) % 250); }

struct Segment {
    std::int64_t count;
    int run_byte;  // -1: tagged bytes
};

enum class Ending { drained, abandoned };

struct ImageSpec {
    std::vector<Segment> segments;
    Ending ending;
    long cut_bytes = 0;  // bytes cut from the end of the file
};

struct WrittenImage {
    Bytes pixels;             // what the writer was given
    Bytes file;               // what reached the file
    std::int64_t delay = 0;   // the constant delay the state at its start implies
};

// Writes one image from the interleaver's state as it stands.
WrittenImage write_image(const ImageSpec& layout)
{
    WrittenImage image;
    image.delay = static_cast<std::int64_t>(sector_sink.fill_offset) + interleaver.byte_index;
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    for (const Segment& segment : layout.segments) {
        if (segment.run_byte >= 0) {
            const auto byte = static_cast<std::uint8_t>(segment.run_byte);
            put_audio_run(byte, segment.count, file);
            image.pixels.insert(image.pixels.end(), static_cast<std::size_t>(segment.count), byte);
            continue;
        }
        for (std::int64_t k = 0; k < segment.count; ++k) {
            const std::uint8_t byte = tag(static_cast<std::int64_t>(image.pixels.size()));
            put_audio_byte(byte, file);
            image.pixels.push_back(byte);
        }
    }
    if (layout.ending == Ending::drained)
        finish_image(file);
    image.file = read_whole_file(file);
    std::fclose(file);
    image.file.resize(image.file.size() - static_cast<std::size_t>(layout.cut_bytes));
    return image;
}

RecoveryWindow window;

// The recovered stream of a file read `chunk` bytes at a time.
Bytes recover(const Bytes& file, std::size_t chunk)
{
    window = RecoveryWindow{};
    Bytes recovered;
    Bytes block(block_bytes);
    std::size_t at = 0;
    do {
        std::size_t part = file.size() - at < chunk ? file.size() - at : chunk;
        part = part < static_cast<std::size_t>(window_room(window)) ? part : static_cast<std::size_t>(window_room(window));
        std::memcpy(window_space(window), file.data() + at, part);
        at += part;
        const PixelSpan span = recover_from_window(window, static_cast<int>(part), block.data());
        EXPECT_EQ(span.first, static_cast<std::int64_t>(recovered.size())) << "spans follow each other";
        recovered.insert(recovered.end(), block.begin(), block.begin() + span.count);
    } while (at < file.size());
    return recovered;
}

// The frames of a file that are the writer's for certain, in bytes.
std::size_t certain_bytes(const Bytes& file)
{
    const long frames = static_cast<long>(file.size() / 24) - trailing_frames;
    return frames > 0 ? static_cast<std::size_t>(frames) * 24 : 0;
}

testing::AssertionResult comes_back_delayed(const WrittenImage& image, const Bytes& recovered)
{
    if (recovered.size() != certain_bytes(image.file))
        return testing::AssertionFailure() << recovered.size() << " bytes recovered, " << certain_bytes(image.file)
                                           << " expected";
    for (std::size_t q = static_cast<std::size_t>(image.delay); q < recovered.size(); ++q) {
        const std::size_t k = q - static_cast<std::size_t>(image.delay);
        if (k >= image.pixels.size())
            return testing::AssertionFailure() << "recovered byte " << q << " lies past the " << image.pixels.size()
                                               << " pixels";
        if (recovered[q] != image.pixels[k])
            return testing::AssertionFailure() << "recovered byte " << q << " is " << int{recovered[q]} << ", pixel "
                                               << k << " was " << int{image.pixels[k]};
    }
    return testing::AssertionSuccess();
}

struct Scenario {
    const char* name;
    std::vector<ImageSpec> images;  // written one after another, the state carried over
};

class Recovery : public testing::TestWithParam<Scenario> {};

TEST_P(Recovery, EveryImageComesBackAtItsConstantDelay)
{
    reset_synthesis_state();
    std::vector<WrittenImage> written;
    for (const ImageSpec& layout : GetParam().images)
        written.push_back(write_image(layout));
    for (std::size_t n = 0; n < written.size(); ++n) {
        for (const std::size_t chunk : {std::size_t{997}, std::size_t{1} << 30}) {
            const Bytes recovered = recover(written[n].file, chunk);
            EXPECT_TRUE(comes_back_delayed(written[n], recovered)) << "image " << n << ", read " << chunk << " at a time";
        }
    }
}

const std::vector<Segment> mixed = {{50000, -1}, {100000, 0xAA}, {3001, -1}, {7, 0x20}, {30000, -1}, {40000, 0x00}};

INSTANTIATE_TEST_SUITE_P(
    Deinterleaver, Recovery,
    testing::Values(
        Scenario{"TagsAndRunsDrained", {{mixed, Ending::drained}}},
        // Runs longer than the recovery's window, so that whole blocks come from one run.
        Scenario{"LongRunsAcrossBlocks", {{{{3000000, 0x20}, {1000, -1}, {2000000, 0xAA}}, Ending::drained}}},
        Scenario{"ShortImageGivesWhatIsCertain", {{{{5000, -1}}, Ending::drained}}},
        Scenario{"TinyImageGivesNothing", {{{{100, -1}}, Ending::drained}}},
        Scenario{"AbandonedImage", {{mixed, Ending::abandoned}}},
        Scenario{"CutFile", {{mixed, Ending::drained, 1000}}},
        Scenario{"ChainedAfterADrainedImage", {{{{40000, -1}}, Ending::drained}, {mixed, Ending::drained}}},
        // 30001 pixels leave one byte in the frame and 74 frames in the record.
        Scenario{"ChainedAfterAnAbandonedImage",
                 {{{{30001, -1}}, Ending::abandoned}, {mixed, Ending::drained}, {mixed, Ending::abandoned}}}),
    [](const testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

// The real writers' cores: the stream they give the interleaver (as the track rules
// have it) comes back from their files, completed or interrupted.
TEST(Recovery, WriterCoresComeBackFromTheirFiles)
{
    const reference::TrackParams p{600, 0.25, 620, 0.2, 2000000};
    reset_synthesis_state();
    const Bytes pixels = reference::track_rule_pixels(p, run_track_core(p).file);
    for (const int interrupt_at : {no_interrupt, 300}) {
        reset_synthesis_state();
        const CoreRun run = run_track_core(p, interrupt_at);
        const WrittenImage image{pixels, run.file, 0};
        EXPECT_TRUE(comes_back_delayed(image, recover(run.file, std::size_t{1} << 30))) << "interrupt at " << interrupt_at;
    }
}

}  // namespace
