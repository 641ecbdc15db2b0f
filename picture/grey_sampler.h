// The picture's grey at bytes of the image, by the placement rule: the pixel under
// the byte's place on the disc, grey_under(picture_point(disc_point(place_on_disc))).
// The writer needs millions of these along each turn, so sample_greys follows the
// turn by small rotations between exactly placed ends, and asks the rule itself
// only about points that come within a safe margin of a pixel edge: both ways give
// the same pixel.
#pragma once

#include <cstdint>

#include "common/track_model.h"
#include "picture/placement.h"

struct GreySampler {
    TrackModel model{};
    const GreyPicture* picture = nullptr;
    PicturePlacement placement{};
};

// The rule as written: disc_point with libm's sine and cosine.
int exact_grey(const GreySampler& sampler, double position);

// greys[m] = exact_grey(sampler, first + m * step) for m in [0, count): positions
// that run forward (step > 0) by far less than a turn from one to the next.
void sample_greys(const GreySampler& sampler, std::int64_t first, std::int64_t step, std::int64_t count,
                  std::int16_t* greys);
