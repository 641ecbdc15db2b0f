// Reading the model from a readings file. The readings are large (64 burns of 32
// lines), so they live on the heap for the moment they are needed.
#include "picture/readings_model.h"

#include <cstdio>
#include <memory>

#include "common/interrupt.h"
#include "common/program_name.h"
#include "model_fit/picture_model.h"
#include "model_fit/readings_file.h"

int take_readings_model(const char* path, std::int32_t size_limit, TrackModel& model)
{
    const auto readings = std::make_unique<Readings>();
    char why[256];
    const LoadResult loaded = load_readings(path, *readings, why, sizeof why);
    if (loaded == LoadResult::interrupted)
        return stopped_status();
    if (loaded == LoadResult::failed) {
        std::fprintf(stderr, "%s: readings \"%s\": %s\n", program_name, path, why);
        return 1;
    }
    if (readings->burn_count == 0) {
        std::fprintf(stderr,
                     "%s: readings \"%s\" hold no refinement image's angles yet: read one with ringetch-refine "
                     "readings \"%s\" first\n",
                     program_name, path, path);
        return 1;
    }
    const PictureModel m = picture_model(*readings, size_limit);
    std::printf("readings \"%s\": fit of %d image%s, %d readings\n", path, m.burns, m.burns == 1 ? "" : "s",
                m.readings);
    print_picture_model(m, stdout);
    model = m.model;
    return 0;
}
