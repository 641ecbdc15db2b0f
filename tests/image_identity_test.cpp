// Whole images from the real writers, byte for byte: the writers hand the
// interleaver runs that it places a frame at a time, and these must give exactly the
// bytes of one put_audio_byte per pixel byte. Each scenario runs a sequence of images
// and direct calls without resetting the state in between, so images start mid-frame
// and mid-sector and inherit the stale bytes that earlier ones leave in the ring and
// in the last record. Every scenario ends with a drain, which writes out whatever
// state is left. Until its first image, a scenario is checked against the slow
// model step by step; all of it against the digest recorded when every image also
// matched a byte-at-a-time model of the turn loops (the track images' rules are
// checked in track_image_test).
#include <gtest/gtest.h>

#include <cstdio>

#include "image/images.h"
#include "image/interleaver.h"
#include "program_run.h"
#include "reference_image.h"
#include "named_case.h"

namespace {

using named_case::operator<<;

using reference::SweepParams;
using reference::TrackParams;

struct Step {
    enum Kind { pixel_bytes, pixel_run, track, sweep, drain };
    Kind kind = drain;
    Bytes bytes;                 // pixel_bytes
    std::uint8_t run_byte = 0;   // pixel_run
    std::int64_t run_count = 0;  // pixel_run
    TrackParams track_image{};
    SweepParams sweep_image{};
    int interrupt_at_record = no_interrupt;
};

Step bytes(Bytes values) { return {Step::pixel_bytes, std::move(values), 0, 0, {}, {}, no_interrupt}; }
Step run(std::uint8_t byte, std::int64_t count) { return {Step::pixel_run, {}, byte, count, {}, {}, no_interrupt}; }
Step track(TrackParams p, int interrupt_at_record = no_interrupt)
{
    return {Step::track, {}, 0, 0, p, {}, interrupt_at_record};
}
Step sweep(SweepParams p, int interrupt_at_record = no_interrupt)
{
    return {Step::sweep, {}, 0, 0, {}, p, interrupt_at_record};
}
Step drain() { return Step{}; }

struct Scenario {
    const char* name;
    std::vector<Step> steps;
    std::uint64_t recorded = 0;  // digest of what every step wrote and printed (add_to_digest)
};

// FNV-1a over each step's file, printed text and completion, in order.
void add_to_digest(std::uint64_t& digest, const CoreRun& run)
{
    const auto add = [&digest](std::uint8_t byte) { digest = (digest ^ byte) * 0x100000001b3ULL; };
    for (const std::uint8_t byte : run.file)
        add(byte);
    for (const char c : run.out)
        add(static_cast<std::uint8_t>(c));
    add(run.completed ? 1 : 0);
}

// A direct call of the real interleaver: the bytes it writes to a file of its own.
template <class Call>
Bytes real_records(Call call)
{
    std::FILE* file = std::tmpfile();
    if (file == nullptr)
        return {};
    call(file);
    Bytes content = read_whole_file(file);
    std::fclose(file);
    return content;
}

CoreRun real_step(const Step& step)
{
    switch (step.kind) {
    case Step::pixel_bytes:
        return {real_records([&](std::FILE* f) {
                    for (std::uint8_t b : step.bytes)
                        put_audio_byte(b, f);
                }),
                "", true};
    case Step::pixel_run:
        return {real_records([&](std::FILE* f) { put_audio_run(step.run_byte, step.run_count, f); }), "", true};
    case Step::track:
        return run_track_core(step.track_image, step.interrupt_at_record);
    case Step::sweep:
        return run_sweep_core(step.sweep_image, step.interrupt_at_record);
    case Step::drain:
        return {real_records([](std::FILE* f) { finish_image(f); }), "", true};
    }
    return {};
}

// The slow model's account of a step that is no image.
CoreRun reference_step(reference::State& state, const Step& step)
{
    CoreRun result{{}, "", true};
    switch (step.kind) {
    case Step::pixel_bytes:
        for (std::uint8_t b : step.bytes)
            reference::put_audio_byte(state, b, result.file);
        break;
    case Step::pixel_run:
        for (std::int64_t k = 0; k < step.run_count; ++k)
            reference::put_audio_byte(state, step.run_byte, result.file);
        break;
    case Step::track:
    case Step::sweep:
        break;
    case Step::drain:
        reference::finish_image(state, result.file);
        break;
    }
    return result;
}

class ImageIdentity : public testing::TestWithParam<Scenario> {};

TEST_P(ImageIdentity, EveryStepWritesTheRecordedBytes)
{
    reset_synthesis_state();
    reference::State model;
    std::vector<Step> steps = GetParam().steps;
    steps.push_back(drain());
    std::uint64_t digest = 0xcbf29ce484222325ULL;
    bool modelled = true;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        SCOPED_TRACE("step " + std::to_string(k));
        const CoreRun got = real_step(steps[k]);
        add_to_digest(digest, got);
        if (steps[k].interrupt_at_record != no_interrupt) {
            EXPECT_FALSE(got.completed) << "the Ctrl-C arrives after the image has ended";
        }
        modelled = modelled && steps[k].kind != Step::track && steps[k].kind != Step::sweep;
        if (modelled) {
            const CoreRun expected = reference_step(model, steps[k]);
            EXPECT_TRUE(same_bytes(got.file, expected.file));
        }
    }
    EXPECT_EQ(digest, GetParam().recorded) << std::hex << "digest 0x" << digest;
}

// Models: 36 and 35.5 bytes hold 3 and 2 marker bytes; 12.25 holds one; 3001.7
// is longer than a sector; the fractional ones carry a byte every few turns.
const TrackParams integer_turns{36, 0, 1000, 1, 30000};
const TrackParams fractional_with_gray_line_0{37.3, 0.0173, 30, 0.03, 50001.7};
const TrackParams one_byte_markers_gray_line_6{12.25, 0.003, 20, 0.001, 30000};
const TrackParams longer_than_a_sector{3001.7, 0.9, 3000, 1, 60000.3};
const TrackParams half_byte_turns{35.5, 0.011, 36, 0.02, 23000};
const TrackParams no_turn_fits{300, 1, 300, 1, 200};
// First turns under a byte that grow: drawn like any other (gray line 0 at turn 10).
const TrackParams short_growing_turns{0.5, 0.3, 1, 0.25, 100000};
const TrackParams short_slowly_growing_turns{0.25, 0.0011, 0.3, 0.001, 30000};
// One turn of 2088 bytes: 87 frames, and the drain's 109 more close the second record.
const TrackParams drain_closes_a_sector{2088, 0, 0, 1, 4176};

// Turns about as long as the ring (112 frames), the last few of them marked.
const TrackParams turns_about_a_ring_long{2592.5, 0.5, 0, 1, 40000};
const TrackParams marked_turns_about_a_ring_long{2600.7, 0.3, 0, 1, 100000};

const SweepParams sweep_gray_line_1{30.5, 1.75, 33, 60000.25, 40000, 45};
// Line 0 starts at half a byte and grows by about 1 a turn through the anchor.
const SweepParams sweep_from_half_a_byte{0.5, 0.25, 1, 30000, 5000, 100};
const SweepParams sweep_past_the_anchor{40, 8, 52, 60000, 20000, 44};
const SweepParams sweep_long_turns{2500.5, 3, 2400, 100000, 50000, 2600};
const SweepParams sweep_without_a_real_line_1{4, 100, -100, 20000, 100, 4};
// Line 1's first turn (about 1010 bytes) would overrun the limit where line 0's
// next turn of 10 bytes would not: the image ends before it.
const SweepParams sweep_line_1_overruns_the_limit{10, 1000, -100, 6750, 1e9, 10};

INSTANTIATE_TEST_SUITE_P(
    Writers, ImageIdentity,
    testing::Values(
        Scenario{"IntegerTurnsFromAFreshStart", {track(integer_turns)}, 0x237b83cf8d2c8148},
        Scenario{"FractionalTurnsWithAGrayLine", {track(fractional_with_gray_line_0)}, 0x454270b4df8b7114},
        Scenario{"OneByteMarkersAcrossSeveralLines", {track(one_byte_markers_gray_line_6)}, 0xf83107867ea7d9a9},
        Scenario{"TurnsLongerThanASector", {track(longer_than_a_sector)}, 0x3e5744f2f415549e},
        Scenario{"DrainClosingASectorExactly", {track(drain_closes_a_sector), track(integer_turns)},
                 0x61f6f94384759572},
        Scenario{"SweepFromAFreshStart", {sweep(sweep_gray_line_1)}, 0xff3231d13704f7ec},
        Scenario{"TurnsUnderAByteThatGrow",
                 {track(short_growing_turns), bytes({7}), track(short_slowly_growing_turns),
                  sweep(sweep_from_half_a_byte), track(short_growing_turns, 2)}, 0x6dd92ee8d69bf953},
        Scenario{"SweepPastTheAnchor", {sweep(sweep_past_the_anchor)}, 0x4eb6ca4ba7cbfb98},
        Scenario{"SweepEndingAtALineWithoutARealTurn", {sweep(sweep_without_a_real_line_1)}, 0x31dae959258363c9},
        Scenario{"SweepEndingAtALineThatOverrunsTheLimit", {sweep(sweep_line_1_overruns_the_limit)},
                 0xca1cf204b30944e2},
        Scenario{"ImageStartedMidFrame", {bytes({1, 2, 3, 4, 5}), track(half_byte_turns)}, 0x832423de6f8386ba},
        Scenario{"ImageStartedMidSector", {run(0x33, 1000), sweep(sweep_gray_line_1)}, 0xda5a568a52b8f617},
        Scenario{"InterruptedAfterTheFirstTurn",
                 {track(longer_than_a_sector, 0), track(integer_turns), sweep(sweep_long_turns, 0),
                  sweep(sweep_past_the_anchor)}, 0x9ee6223a6c40a650},
        Scenario{"InterruptedMidImage",
                 {track(fractional_with_gray_line_0, 7), sweep(sweep_gray_line_1), track(half_byte_turns, 3),
                  track(no_turn_fits), track(one_byte_markers_gray_line_6)}, 0xddfa26b5f8aba0fb},
        Scenario{"RunsOfEveryAlignment",
                 {run(0x11, 0), run(0x12, -3), run(0x13, 1), run(0x14, 23), run(0x15, 24), run(0x16, 25),
                  run(0x17, 47), run(0x18, 48), run(0x19, 2352), run(0x1A, 2 * 2688 + 5), run(0x1B, 2352 - 7), drain(),
                  run(0x1C, 5), drain(), run(0x1D, 24 * 111)}, 0x72ca5cb71e94b573},
        Scenario{"RunsAroundTheRingLength",
                 {run(0x21, 24 * 107), run(0x22, 24 * 108), run(0x23, 24 * 109), run(0x24, 24 * 110),
                  run(0x25, 24 * 111), run(0x26, 24 * 112), run(0x27, 24 * 113), bytes({1, 2, 3}),
                  run(0x28, 21 + 24 * 108), run(0x29, 24 * 200 + 1), run(0x2A, 23 + 24 * 111), run(0x2B, 24),
                  run(0x2C, 3), run(0x2D, 24 * 5 - 3), drain(), run(0x2E, 24 * 109 + 7)}, 0x81ed063a2cd2f7de},
        Scenario{"TurnsAboutAsLongAsTheRing",
                 {track(turns_about_a_ring_long), bytes({0xFE}), track(marked_turns_about_a_ring_long),
                  sweep(sweep_long_turns)}, 0x4ee1b732d17e2caf},
        Scenario{"ManyImagesWithoutReset",
                 {bytes({9, 8, 7, 6, 5, 4, 3}), sweep(sweep_long_turns, 0), track(half_byte_turns), track(no_turn_fits),
                  run(0x55, 1000), sweep(sweep_gray_line_1), track(fractional_with_gray_line_0, 2),
                  sweep(sweep_past_the_anchor, 4), track(one_byte_markers_gray_line_6), track(drain_closes_a_sector),
                  sweep(sweep_without_a_real_line_1), track(longer_than_a_sector)}, 0xda6709d0bfd4ac2b}),
    [](const testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

// The public writer, with its own file buffer, writes what its core does.
TEST(ImageIdentity, WrittenFileHoldsTheBytesOfItsCores)
{
    reset_synthesis_state();
    const std::string path = make_work_dir() + "/image.rge";
    testing::internal::CaptureStdout();
    write_track_image({37.3, 0.0173}, {30, 0.03}, 50001.7, path.c_str());
    write_sweep_image({30.5, 1.75, 40000, 45}, 33, 60000.25, path.c_str());
    testing::internal::GetCapturedStdout();
    // The sweep replaced the track image, from the state the track image left.
    reset_synthesis_state();
    run_track_core(fractional_with_gray_line_0);
    const CoreRun expected = run_sweep_core(sweep_gray_line_1);
    const std::string text = read_file(path);
    EXPECT_TRUE(same_bytes(Bytes(text.begin(), text.end()), expected.file));
}

}  // namespace
