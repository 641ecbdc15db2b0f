// The units that images are measured in. A frame is always 24 audio bytes and a
// sector always 2352 bytes (98 frames); everything larger is derived here once.
#pragma once

constexpr int frame_bytes = 24;
constexpr int frames_per_sector = 98;
constexpr int sector_bytes = frames_per_sector * frame_bytes;
constexpr int ring_frames = 112;  // room for the encoder's largest delay (108 frames)
constexpr int ring_bytes = ring_frames * frame_bytes;

constexpr int turns_per_line = 625;

// A block: what the image files are written and read in, 448 records (about 1 MiB).
constexpr int block_sectors = 448;
constexpr int block_bytes = block_sectors * sector_bytes;

// A sample: the 4 bytes of one 16-bit stereo sample, the grain of a picture's row
// (one grey a sample, about 30 µm of track).
constexpr int sample_bytes = 4;

// Every tool's image size limit unless the user names one: 313344 sectors.
constexpr int default_image_size = 313344 * sector_bytes;
constexpr double bytes_per_mib = 1048576.0;

static_assert(sector_bytes == 2352, "a CD-DA sector holds 2352 audio bytes");
static_assert(ring_bytes == 2688, "the interleaver ring holds 112 frames");
static_assert(sector_bytes % sample_bytes == 0, "a sector holds whole samples");
static_assert(default_image_size == 736985088, "the default image holds 736985088 bytes");
