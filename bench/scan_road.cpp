// The road with a scanner over many simulated discs across ringetch's default ranges
// (tests/scan_road.h): from a blank disc, the first image at full size scanned at
// 1200 dpi, then one refinement image scanned at 600 dpi, each read by
// ringetch-refine. Prints one row per disc and the median picture error at the rim.
//   ringetch_scan_road [discs N] [size BYTES] [contrast FRACTION] [lid SHADE]
// contrast and lid replace the captures' own (5 %, the simulated scanner's lid).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "refine_geometry_eye.h"
#include "scan_road.h"

namespace {

CaptureConditions flatbed(double dpi, int disc)
{
    CaptureConditions c;
    c.dpi = dpi;
    c.blur = 2;
    c.noise = 2;
    c.contrast = 0.05;
    c.gradient = 0.1;
    c.rotation = 23.0 * disc + (dpi > 1000 ? 0 : 90);
    c.offset_x_mm = 2 - 0.25 * disc;
    c.offset_y_mm = -1.5 + 0.2 * disc;
    c.seed = static_cast<unsigned>(disc * 2 + (dpi > 1000 ? 1 : 2));
    return c;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int discs = 16;
    double size = 736985088;
    double contrast = -1;
    double lid = -1;
    for (int k = 1; k + 1 < argc; k += 2) {
        const std::string name = argv[k];
        if (name == "discs")
            discs = std::atoi(argv[k + 1]);
        else if (name == "size")
            size = std::atof(argv[k + 1]);
        else if (name == "contrast")
            contrast = std::atof(argv[k + 1]);
        else if (name == "lid")
            lid = std::atof(argv[k + 1]);
        else
            discs = 0;
    }
    if (discs <= 0 || size <= 0 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: ringetch_scan_road [discs N] [size BYTES] [contrast FRACTION] [lid SHADE]\n");
        return 2;
    }
    std::printf("| disc tr0 | dtr | first image | start model's error | refinement image | picture error | "
                "refine's expected error |\n|---|---|---|---|---|---|---|\n");
    std::vector<double> errors;
    int confident_wrong = 0;
    int without_model = 0;
    for (int i = 0; i < discs; ++i) {
        const sim::Model d = sim::disc_number(i, discs);
        RoadSettings settings;
        settings.size = size;
        settings.first = flatbed(1200, i);
        settings.refinement = flatbed(600, i);
        for (CaptureConditions* c : {&settings.first, &settings.refinement}) {
            if (contrast >= 0)
                c->contrast = contrast;
            if (lid >= 0)
                c->lid = lid;
        }
        const RoadResult r = run_scan_road({d.tr0, d.dtr}, settings);
        char start[64] = "-";
        if (r.start_model)
            std::snprintf(start, sizeof start, "%.1f deg (stated %.1f)", r.start_error, r.start_expected);
        char error[64] = "no model";
        char expected[64] = "-";
        if (r.has_model) {
            std::snprintf(error, sizeof error, "%.2f deg", r.error);
            std::snprintf(expected, sizeof expected, "%.2f deg", r.expected);
            errors.push_back(r.error);
            if (r.error > 30 && r.expected * 3 < r.error)
                ++confident_wrong;
        } else {
            ++without_model;
        }
        std::printf("| %.1f | %.5f | %s | %s | %s | %s | %s |\n", d.tr0, d.dtr, r.first_read ? "read" : "refused",
                    start, r.refinement_read ? "read" : "refused", error, expected);
        if (!r.why.empty())
            std::fprintf(stderr, "disc %d: %s\n", i, r.why.c_str());
        std::fflush(stdout);
    }
    std::printf("\n%d discs: median picture error %.2f deg over the %zu with a model (%d without); "
                "%d confident models worse than 30 deg\n",
                discs, median(errors), errors.size(), without_model, confident_wrong);
    return 0;
}
