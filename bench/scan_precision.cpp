// The scan reader's precision on simulated captures (tests/scan_capture.h): for each
// simulated disc a refinement image as ringetch-refine draws it after one dialogue
// cycle, captured under each row of a table of conditions, read by ringetch-scan,
// and each line's angle and twist compared with where the disc really puts them.
// The reader's zero is the capture's own, so one common offset per capture is
// removed before the angle errors are taken. Prints one Markdown table.
//   ringetch_scan_precision scan PATH [discs N] [size BYTES] [lid SHADE] [rows TEXT]
// lid gives every row that shade of lid (default: the simulated scanner's); rows
// runs only the rows whose names contain TEXT (their noise stays as in a full run).
// The images and captures go to a fresh folder under the system's temporary folder.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "image/test_pattern.h"
#include "model_fit/fit.h"
#include "preview_support.h"
#include "refine/refinement_image.h"
#include "refine_geometry_eye.h"
#include "scan_capture.h"
#include "scan_output.h"

namespace {

constexpr double pi = 3.14159265358979323846;

struct Condition {
    const char* name;
    CaptureConditions capture;
};

// The scanner of the Targets' first row: 600 dpi, blur 2 px, 5 % contrast, a little
// noise, the disc a little off the bed's centre; each row changes a few of these.
CaptureConditions scanner()
{
    CaptureConditions c;
    c.dpi = 600;
    c.blur = 2;
    c.noise = 2;
    c.contrast = 0.05;
    c.offset_x_mm = 2;
    c.offset_y_mm = -1.5;
    c.rotation = 11;
    return c;
}

std::vector<Condition> conditions()
{
    std::vector<Condition> rows;
    // A control, far easier than the Targets ask: the harness's own zero.
    CaptureConditions c = scanner();
    c.contrast = 0.3;
    c.blur = 1;
    c.noise = 1;
    rows.push_back({"control: 600 dpi, blur 1 px, contrast 30 %", c});
    c = scanner();
    c.contrast = 0.15;
    rows.push_back({"600 dpi, blur 2 px, contrast 15 %", c});
    rows.push_back({"600 dpi, blur 2 px, contrast 5 %", scanner()});
    c = scanner();
    c.dpi = 1200;
    c.blur = 2;
    rows.push_back({"1200 dpi, blur 2 px, contrast 5 %", c});
    c = scanner();
    c.tilt = 20;
    c.jpeg_quality = 85;
    c.colour = true;
    c.blur = 1.5;
    c.noise = 3;
    c.gradient = 0.2;
    rows.push_back({"phone: tilt 20 deg, JPEG 85, colour", c});
    c = scanner();
    c.contrast = 0.02;
    rows.push_back({"600 dpi, contrast 2 %", c});
    c = scanner();
    c.gradient = 0.3;
    c.band = 0.2;
    rows.push_back({"600 dpi, gradient 0.3 + band 0.2", c});
    c = scanner();
    c.mirror = true;
    rows.push_back({"600 dpi, mirrored", c});
    c = scanner();
    c.rotation = 137;
    c.offset_x_mm = 5;
    c.offset_y_mm = -4;
    rows.push_back({"600 dpi, turned 137 deg, off by 5,-4 mm", c});
    c = scanner();
    c.blur = 3;
    rows.push_back({"600 dpi, blur 3 px", c});
    c = scanner();
    c.bits = 16;
    c.colour = true;
    rows.push_back({"600 dpi, 16-bit colour", c});
    // Colour where grey is weak: the band, and a pattern at 2 %.
    c.gradient = 0.3;
    c.band = 0.2;
    rows.push_back({"600 dpi, 16-bit colour, gradient 0.3 + band 0.2", c});
    c = scanner();
    c.contrast = 0.02;
    c.colour = true;
    rows.push_back({"600 dpi, colour, contrast 2 %", c});
    return rows;
}

double wrap180(double degrees) { return std::remainder(degrees, 360.0); }

// One capture's errors against the truth.
struct Errors {
    int held = 0;             // lines of the image
    int read = 0;             // lines the reader read
    int wrong = 0;            // read, but more than 3 of their stated errors off
    double sum_square = 0;    // of the angle errors, degrees squared
    double worst = 0;         // degrees
    double twist_square = 0;  // of the twist errors
    double stated_square = 0; // of the stated angle errors
    double stated_twist_square = 0;  // of the stated twist errors
    int twist_wrong = 0;      // twists more than 3 of their stated errors off
    double worst_twist = 0;   // degrees
    int worst_twist_line = -1;
    bool refused = false;
    bool model = false;
    double model_tr0_error = 0;  // bytes
    std::string why;
};

// A line's twist on the disc across the marked turns the image holds: the last line
// of an image cut at its size may hold fewer than the pattern's.
double true_twist(TrackModel disc, TrackModel drawn, int line, double size)
{
    const double first = reading_turn(line);
    double last = first + (last_marker_turn - first_marker_turn);
    while (last > first && turn_start(drawn, last) + turn_length(drawn, last) / 12 > size)
        last -= 1;
    return predicted_angle(disc, drawn, last) - predicted_angle(disc, drawn, first);
}

Errors compare(const ScanOutput& out, TrackModel disc, TrackModel drawn, int held, double size)
{
    Errors e;
    e.held = held;
    e.refused = out.status != 0;
    e.why = out.why;
    if (e.refused)
        return e;
    std::vector<double> differences;
    for (const ScanLine& line : out.lines)
        if (line.read && line.line < held)
            differences.push_back(wrap180(line.angle - predicted_angle(disc, drawn, reading_turn(line.line))));
    // The reader's zero: the circular mean of the differences.
    double s = 0;
    double c = 0;
    for (double d : differences) {
        s += std::sin(d * pi / 180);
        c += std::cos(d * pi / 180);
    }
    const double zero = std::atan2(s, c) * 180 / pi;
    for (const ScanLine& line : out.lines) {
        if (!line.read || line.line >= held)
            continue;
        const double error =
            wrap180(line.angle - predicted_angle(disc, drawn, reading_turn(line.line)) - zero);
        const double twist_error = line.twist - true_twist(disc, drawn, line.line, size);
        e.read += 1;
        e.sum_square += error * error;
        e.worst = std::max(e.worst, std::fabs(error));
        e.twist_square += twist_error * twist_error;
        e.stated_square += line.error * line.error;
        e.stated_twist_square += line.twist_error * line.twist_error;
        if (std::fabs(error) > 3 * line.error)
            e.wrong += 1;
        if (std::fabs(twist_error) > 3 * line.twist_error)
            e.twist_wrong += 1;
        if (std::fabs(twist_error) > std::fabs(e.worst_twist)) {
            e.worst_twist = twist_error;
            e.worst_twist_line = line.line;
        }
    }
    e.model = out.has_model;
    if (out.has_model)
        e.model_tr0_error = out.model.tr0 - disc.tr0;
    return e;
}

struct Settings {
    std::string scan;
    int discs = 3;
    double size = 736985088;
    double lid = -1;  // the rows' own when negative
    std::string rows;  // only the rows whose names contain it, when not empty
};

bool read_settings(int argc, char** argv, Settings& s)
{
    for (int k = 1; k + 1 < argc; k += 2) {
        const std::string name = argv[k];
        const char* value = argv[k + 1];
        if (name == "scan")
            s.scan = value;
        else if (name == "discs")
            s.discs = std::atoi(value);
        else if (name == "size")
            s.size = std::atof(value);
        else if (name == "lid")
            s.lid = std::atof(value);
        else if (name == "rows")
            s.rows = value;
        else
            return false;
    }
    return argc % 2 == 1 && !s.scan.empty() && s.discs > 0 && s.size > 0;
}

std::string number(double value, const char* format)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// One capture of the image under c, read and compared; false when the capture
// could not be made.
bool read_one(const std::string& work, const std::string& image, const DiscFace& face, const CaptureConditions& c,
              const Settings& settings, TrackModel drawn, int held, Errors& errors)
{
    Capture capture;
    CaptureTruth truth;
    simulate_capture(face, c, capture, truth);
    const std::string path = work + (c.jpeg_quality > 0 ? "/capture.jpg" : "/capture.png");
    std::string why;
    if (!write_capture(capture, c.jpeg_quality, path.c_str(), why)) {
        std::fprintf(stderr, "scan_precision: %s\n", why.c_str());
        return false;
    }
    capture = Capture{};
    const RunResult run = run_program(settings.scan, {"scan", path, "image", image}, "", work, 300);
    errors = compare(parse_scan_output(run), c.disc, drawn, held, settings.size);
    std::remove(path.c_str());
    return true;
}

// Disc d's refinement image, captured and read under every row.
bool read_disc(int d, const Settings& settings, const std::vector<Condition>& rows, std::mt19937_64& random,
               std::vector<std::vector<Errors>>& results)
{
    const sim::Model m = sim::disc_number(d, settings.discs);
    const TrackModel disc{m.tr0, m.dtr};
    const sim::Ranges r = sim::ranges_after_a_cycle(m, random);
    const std::string work = make_work_dir();
    const std::string image = work + "/refine.rge";
    const RunResult drawn_run =
        run_program(REFINE_BINARY,
                    {"tr0", number(r.tr0_f, "%.6f") + "-" + number(r.tr0_t, "%.6f"), "dtr",
                     number(r.dtr_t, "%.9f") + "-" + number(r.dtr_f, "%.9f"), "size", number(settings.size, "%.0f")},
                    "", work, 120);
    if (file_size(image) <= 0) {
        std::fprintf(stderr, "scan_precision: no refinement image: %s\n", drawn_run.err.c_str());
        return false;
    }
    const TrackModel drawn{(r.tr0_f + r.tr0_t) / 2, (r.dtr_t + r.dtr_f) / 2};
    const int held = lines_held(drawn, settings.size);
    DiscFace face;
    double face_dpi = 0;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (std::strstr(rows[k].name, settings.rows.c_str()) == nullptr)
            continue;
        CaptureConditions c = rows[k].capture;
        c.disc = disc;
        c.seed = static_cast<unsigned>(100 * d) + static_cast<unsigned>(k) + 1;
        if (settings.lid >= 0)
            c.lid = settings.lid;
        std::string why;
        if (c.dpi != face_dpi && !render_disc_face(image.c_str(), disc, face_side(c.dpi), face, why)) {
            std::fprintf(stderr, "scan_precision: %s\n", why.c_str());
            return false;
        }
        face_dpi = c.dpi;
        Errors e;
        if (!read_one(work, image, face, c, settings, drawn, held, e))
            return false;
        std::fprintf(stderr,
                     "disc %d (tr0 %.1f dtr %.4f, drawn %.1f %.5f), %s: %s, %d of %d lines, rms %.3f deg, "
                     "worst twist error %.2f deg on line %d\n",
                     d, disc.tr0, disc.dtr, drawn.tr0, drawn.dtr, rows[k].name,
                     e.refused ? ("refused: " + e.why).c_str() : "read", e.read, e.held,
                     e.read > 0 ? std::sqrt(e.sum_square / e.read) : 0.0, e.worst_twist, e.worst_twist_line);
        results[k].push_back(e);
    }
    std::remove(image.c_str());
    return true;
}

void print_table(const std::vector<Condition>& rows, const std::vector<std::vector<Errors>>& results)
{
    std::printf("| condition | captures read | lines read | rms angle error | worst | lines off by > 3 stated errors | "
                "rms stated error | rms twist error | rms stated twist error | twists off by > 3 stated errors |\n"
                "|---|---|---|---|---|---|---|---|---|---|\n");
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (results[k].empty())
            continue;
        Errors all;
        int captures = 0;
        for (const Errors& e : results[k]) {
            captures += e.refused ? 0 : 1;
            all.held += e.held;
            all.read += e.read;
            all.wrong += e.wrong;
            all.sum_square += e.sum_square;
            all.worst = std::max(all.worst, e.worst);
            all.twist_square += e.twist_square;
            all.stated_square += e.stated_square;
            all.stated_twist_square += e.stated_twist_square;
            all.twist_wrong += e.twist_wrong;
        }
        if (results[k].empty())
            continue;
        if (all.read == 0) {
            std::printf("| %s | %d of %zu | 0 of %d | - | - | - | - | - | - | - |\n", rows[k].name, captures, results[k].size(),
                        all.held);
            continue;
        }
        const auto rms = [&all](double sum) { return std::sqrt(sum / all.read); };
        std::printf("| %s | %d of %zu | %d of %d | %.3f deg | %.3f deg | %d | %.3f deg | %.3f deg | %.3f deg | %d |\n",
                    rows[k].name, captures, results[k].size(), all.read, all.held, rms(all.sum_square), all.worst,
                    all.wrong, rms(all.stated_square), rms(all.twist_square), rms(all.stated_twist_square),
                    all.twist_wrong);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Settings settings;
    if (!read_settings(argc, argv, settings)) {
        std::fprintf(stderr, "usage: ringetch_scan_precision scan PATH [discs N] [size BYTES] [lid SHADE] [rows TEXT]\n");
        return 2;
    }
    const std::vector<Condition> rows = conditions();
    std::vector<std::vector<Errors>> results(rows.size());
    std::mt19937_64 random(2026);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same discs every run
    for (int d = 0; d < settings.discs; ++d)
        if (!read_disc(d, settings, rows, random, results))
            return 1;
    print_table(rows, results);
    return 0;
}
