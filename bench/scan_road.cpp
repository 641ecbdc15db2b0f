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

double largest(const std::vector<double>& v) { return v.empty() ? NAN : *std::max_element(v.begin(), v.end()); }

struct Settings {
    int discs = 16;
    double size = 736985088;
    double contrast = -1;  // the captures' own when negative
    double lid = -1;
};

bool read_settings(int argc, char** argv, Settings& s)
{
    for (int k = 1; k + 1 < argc; k += 2) {
        const std::string name = argv[k];
        const double value = std::atof(argv[k + 1]);
        if (name == "discs")
            s.discs = static_cast<int>(value);
        else if (name == "size")
            s.size = value;
        else if (name == "contrast")
            s.contrast = value;
        else if (name == "lid")
            s.lid = value;
        else
            return false;
    }
    return s.discs > 0 && s.size > 0 && argc % 2 == 1;
}

// What the table and the closing line count.
struct Tally {
    std::vector<double> errors;  // of the runs that ended with a model, degrees
    std::vector<double> start_ratios;  // true over stated error of the start models
    std::vector<double> ratios;        // and of the final models
    int confident_wrong = 0;
    int without_model = 0;
};

void print_row(const sim::Model& d, const RoadResult& r, Tally& tally)
{
    char start[64] = "-";
    if (r.start_model) {
        std::snprintf(start, sizeof start, "%.1f deg (stated %.1f)", r.start_error, r.start_expected);
        tally.start_ratios.push_back(r.start_error / r.start_expected);
    }
    char error[64] = "no model";
    char expected[64] = "-";
    if (r.has_model) {
        std::snprintf(error, sizeof error, "%.2f deg", r.error);
        std::snprintf(expected, sizeof expected, "%.2f deg (true / stated %.1f)", r.expected, r.error / r.expected);
        tally.errors.push_back(r.error);
        tally.ratios.push_back(r.error / r.expected);
        if (r.error > 30 && r.expected * 3 < r.error)
            ++tally.confident_wrong;
    } else {
        ++tally.without_model;
    }
    std::printf("| %.1f | %.5f | %s | %s | %s | %s | %s |\n", d.tr0, d.dtr, r.first_read ? "read" : "refused", start,
                r.refinement_read ? "read" : "refused", error, expected);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    Settings s;
    if (!read_settings(argc, argv, s)) {
        std::fprintf(stderr, "usage: ringetch_scan_road [discs N] [size BYTES] [contrast FRACTION] [lid SHADE]\n");
        return 2;
    }
    std::printf("| disc tr0 | dtr | first image | start model's error | refinement image | picture error | "
                "refine's expected error |\n|---|---|---|---|---|---|---|\n");
    Tally tally;
    for (int i = 0; i < s.discs; ++i) {
        const sim::Model d = sim::disc_number(i, s.discs);
        RoadSettings settings;
        settings.size = s.size;
        settings.first = flatbed(1200, i);
        settings.refinement = flatbed(600, i);
        for (CaptureConditions* c : {&settings.first, &settings.refinement}) {
            c->contrast = s.contrast >= 0 ? s.contrast : c->contrast;
            c->lid = s.lid >= 0 ? s.lid : c->lid;
        }
        const RoadResult r = run_scan_road({d.tr0, d.dtr}, settings);
        print_row(d, r, tally);
        if (!r.why.empty())
            std::fprintf(stderr, "disc %d: %s\n", i, r.why.c_str());
    }
    std::printf("\n%d discs: median picture error %.2f deg over the %zu with a model (%d without); "
                "%d confident models worse than 30 deg\n",
                s.discs, median(tally.errors), tally.errors.size(), tally.without_model, tally.confident_wrong);
    std::printf("true over stated error: start models median %.2f (largest %.2f), final models median %.2f "
                "(largest %.2f)\n",
                median(tally.start_ratios), largest(tally.start_ratios), median(tally.ratios), largest(tally.ratios));
    return 0;
}
