// The gather of a span's frames, in two forms that give the same bytes. The wide
// form, compiled only for x86-64 and run only where the processor has AVX-512 byte
// permutes, first turns groups of 16 entered frames into 24 lanes (lane i: byte i of
// each frame, frame after frame), so that the 16 bytes that one byte of 16 successive
// outgoing frames needs lie side by side in one lane, then turns 24 such runs back
// into 16 frames. Each turn is a fixed permutation of 384 bytes: three two-register
// byte permutes and two blends per 64 bytes out.
#include "image/span_gather.h"

#include <cstdlib>
#include <cstring>

namespace {

void gather_frame(const std::uint8_t* entered, std::uint8_t* frame)
{
    // Unrolled, every offset is a constant of the instruction that loads with it.
#pragma GCC unroll 24
    for (int b = 0; b < frame_bytes; ++b)
        frame[b] = entered[gather_offsets.of[b]];
}

// RINGETCH_PLAIN=1 in the environment: run the plain form on any processor, so
// that a machine with the wide form can test the plain one end to end.
bool plain_forms_asked()
{
    const char* plain = std::getenv("RINGETCH_PLAIN");  // NOLINT(concurrency-mt-unsafe): no thread here sets the environment
    return plain != nullptr && std::strcmp(plain, "1") == 0;
}

using GatherForm = void (*)(const std::uint8_t* span, std::int64_t first, std::int64_t end, std::uint8_t* out);

}  // namespace

void gather_span_frames_plain(const std::uint8_t* span, std::int64_t first, std::int64_t end, std::uint8_t* out)
{
    for (std::int64_t k = first; k < end; ++k)
        gather_frame(span + frame_bytes * k, out + frame_bytes * (k - first));
}

// Everything that depends on the processor, behind this one guard.
#if defined(__x86_64__)
#include <immintrin.h>

namespace {

constexpr int group_frames = 16;
constexpr int group_bytes = group_frames * frame_bytes;  // 384: six 64-byte registers
constexpr int group_registers = group_bytes / 64;

// A permutation of 384 bytes held in six registers: output byte 64 w + t comes from
// register pair p (bytes 128 p .. 128 p + 127) at index[w][p][t] when bit t of
// mask[w][p] is set; the three masks of a register split its 64 bytes.
struct Permutation384 {
    std::uint8_t index[group_registers][3][64];
    std::uint64_t mask[group_registers][3];
};

template <typename Source>
constexpr Permutation384 make_permutation(Source source)
{
    Permutation384 permutation{};
    for (int out = 0; out < group_bytes; ++out) {
        const int from = source(out);
        const int w = out / 64;
        const int t = out % 64;
        permutation.index[w][from / 128][t] = static_cast<std::uint8_t>(from % 128);
        permutation.mask[w][from / 128] |= std::uint64_t{1} << t;
    }
    return permutation;
}

// 16 frames in (byte 24 f + l) to 24 lanes of 16 (byte 16 l + f), and back:
// outgoing frame f byte b from run b of the gathered lanes (byte 16 b + f).
constexpr Permutation384 frames_to_lanes =
    make_permutation([](int out) { return out % group_frames * frame_bytes + out / group_frames; });
constexpr Permutation384 runs_to_frames =
    make_permutation([](int out) { return out % frame_bytes * group_frames + out / frame_bytes; });

// Output frames per piece; a piece turns its frames and the 108 before them into lanes.
constexpr int piece_frames = 1024;
constexpr std::ptrdiff_t lane_stride = piece_frames + mixed_frames;  // lane bytes kept per piece (at most 1129 used)

alignas(64) std::uint8_t lanes[frame_bytes * lane_stride];

// The wide form's functions are compiled for AVX-512 and run only where it is.
#define WIDE_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))

WIDE_TARGET void permute_384(const __m512i* in, __m512i* out, const Permutation384& permutation)
{
    for (int w = 0; w < group_registers; ++w) {
        const __m512i index0 = _mm512_loadu_si512(permutation.index[w][0]);
        const __m512i index1 = _mm512_loadu_si512(permutation.index[w][1]);
        const __m512i index2 = _mm512_loadu_si512(permutation.index[w][2]);
        __m512i bytes = _mm512_permutex2var_epi8(in[0], index0, in[1]);
        bytes = _mm512_mask_blend_epi8(permutation.mask[w][1], bytes, _mm512_permutex2var_epi8(in[2], index1, in[3]));
        out[w] = _mm512_mask_blend_epi8(permutation.mask[w][2], bytes, _mm512_permutex2var_epi8(in[4], index2, in[5]));
    }
}

// Lanes of frames [0, count) of `frames`: byte j of lane l is byte l of frame j.
WIDE_TARGET void fill_lanes(const std::uint8_t* frames, std::int64_t count)
{
    std::int64_t j = 0;
    for (; j + group_frames <= count; j += group_frames) {
        __m512i in[group_registers];
        __m512i out[group_registers];
        for (std::ptrdiff_t r = 0; r < group_registers; ++r)
            in[r] = _mm512_loadu_si512(frames + frame_bytes * j + 64 * r);
        permute_384(in, out, frames_to_lanes);
        for (std::ptrdiff_t r = 0; r < group_registers; ++r) {
            std::uint8_t* lane = lanes + 4 * r * lane_stride + j;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), _mm512_extracti32x4_epi32(out[r], 0));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(lane + lane_stride), _mm512_extracti32x4_epi32(out[r], 1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(lane + 2 * lane_stride),
                             _mm512_extracti32x4_epi32(out[r], 2));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(lane + 3 * lane_stride),
                             _mm512_extracti32x4_epi32(out[r], 3));
        }
    }
    for (; j < count; ++j)
        for (std::ptrdiff_t l = 0; l < frame_bytes; ++l)
            lanes[l * lane_stride + j] = frames[frame_bytes * j + l];
}

// The run of 16 lane bytes that byte b of 16 outgoing frames takes, the first of
// them moving out `at` frames after the lanes' first frame was entered.
WIDE_TARGET __m128i lane_run(int b, std::int64_t at)
{
    const GatherSource source = gather_source(b);
    return _mm_loadu_si128(
        reinterpret_cast<const __m128i*>(lanes + source.lane * lane_stride + at - source.back));
}

// Frames k in [first, end) of one piece (end - first <= piece_frames).
WIDE_TARGET void gather_piece(const std::uint8_t* span, std::int64_t first, std::int64_t end, std::uint8_t* out)
{
    // Lanes from frame first - 108, the furthest back any outgoing frame reaches.
    const std::int64_t base = first - mixed_frames;
    fill_lanes(span + frame_bytes * base, end - 3 - base);
    std::int64_t k = first;
    for (; k + group_frames <= end; k += group_frames) {
        __m512i runs[group_registers];
        __m512i frames[group_registers];
        for (int r = 0; r < group_registers; ++r) {
            const std::int64_t at = k - base;
            __m512i four = _mm512_castsi128_si512(lane_run(4 * r, at));
            four = _mm512_inserti32x4(four, lane_run(4 * r + 1, at), 1);
            four = _mm512_inserti32x4(four, lane_run(4 * r + 2, at), 2);
            runs[r] = _mm512_inserti32x4(four, lane_run(4 * r + 3, at), 3);
        }
        permute_384(runs, frames, runs_to_frames);
        for (std::ptrdiff_t r = 0; r < group_registers; ++r)
            _mm512_storeu_si512(out + frame_bytes * (k - first) + 64 * r, frames[r]);
    }
    for (; k < end; ++k)
        gather_frame(span + frame_bytes * k, out + frame_bytes * (k - first));
}

void gather_span_frames_wide(const std::uint8_t* span, std::int64_t first, std::int64_t end, std::uint8_t* out)
{
    for (std::int64_t k = first; k < end; k += piece_frames) {
        const std::int64_t piece_end = end - k < piece_frames ? end : k + piece_frames;
        gather_piece(span, k, piece_end, out + frame_bytes * (k - first));
    }
}

#undef WIDE_TARGET

// The wide form where this processor has what it needs, else none.
GatherForm wide_form()
{
    const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                     __builtin_cpu_supports("avx512vbmi");
    return has ? gather_span_frames_wide : nullptr;
}

}  // namespace
#else
namespace {

GatherForm wide_form() { return nullptr; }

}  // namespace
#endif

bool wide_gather_chosen()
{
    static const bool chosen = wide_form() != nullptr && !plain_forms_asked();
    return chosen;
}

void gather_span_frames(const std::uint8_t* span, std::int64_t first, std::int64_t end, std::uint8_t* out)
{
    static const GatherForm form = wide_gather_chosen() ? wide_form() : gather_span_frames_plain;
    form(span, first, end, out);
}
