// The simulated eye that looks at a burned disc: ringetch-preview's report of an
// image on a simulated disc, one row per line (its first marker's angle and how far
// its markers drift along it), stands in for what a person sees.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "program_run.h"
#include "refine_geometry_eye.h"

namespace sim {

struct Row {
    bool marked = false;  // the report found a marker on the line
    double angle = 0;     // the first marker's angle, degrees
    double drift = 0;     // the markers' drift along the line, degrees
    int markers = 0;      // how many the report counted
};

// The preview's report of `image` on `disc`, one row per line of the image.
inline std::vector<Row> report_rows(const std::string& dir, const std::string& image, sim::Model disc)
{
    char tr0[40];
    char dtr[40];
    std::snprintf(tr0, sizeof tr0, "%.9f", disc.tr0);
    std::snprintf(dtr, sizeof dtr, "%.12f", disc.dtr);
    const RunResult r = run_program(PREVIEW_BINARY,
                                    {"image", image, "tr0", tr0, "dtr", dtr, "png", dir + "/preview.png", "pixels", "16"},
                                    "", dir, 300);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    std::vector<Row> rows;
    const char* p = r.out.c_str();
    while (*p != '\0') {
        int line = 0;
        int markers = 0;
        int used = 0;
        char colour[16];
        Row row;
        if (std::sscanf(p, "line %d %15s markers %d%n", &line, colour, &markers, &used) == 3) {
            double angle = 0;
            double drift = 0;
            int more = 0;
            if (markers > 0 && std::sscanf(p + used, " angle %lf drift %lf%n", &angle, &drift, &more) == 2)
                row = Row{true, angle, drift, markers};
            if (line == static_cast<int>(rows.size()))
                rows.push_back(row);
        }
        const char* end = std::strchr(p, '\n');
        if (end == nullptr)
            break;
        p = end + 1;
    }
    return rows;
}

}  // namespace sim
