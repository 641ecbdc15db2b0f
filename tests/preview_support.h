// Support for the tests that run ringetch-preview as a user would: a work folder
// that is removed with everything in it, image files written by the writers' cores
// or from a stream of pixel bytes, the report parsed, the PNG decoded with libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "program_run.h"
#include "reference_image.h"

// A fresh folder, removed with the files in it when the test ends.
class WorkFolder {
public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // The names in it, sorted, without the run harness's own files.
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

// Runs ringetch-preview in the folder, with stdin closed at once.
RunResult run_preview(const std::vector<std::string>& args, const std::string& work_dir);

// ringetch-preview running, for a test that signals it.
class PreviewRun : public InteractiveRun {
public:
    PreviewRun(const std::vector<std::string>& args, const std::string& work_dir)
        : InteractiveRun(PREVIEW_BINARY, args, work_dir)
    {
    }
};

void write_file(const std::string& path, const Bytes& bytes);

// An image file of the pixel stream, written from a fresh interleaver and drained.
void write_pixel_image(const std::string& path, const Bytes& pixels);

// Standard error without the progress lines that a slow run (under the sanitizers)
// prints after a second.
std::string without_progress(const std::string& err);

// One row of the report.
struct ReportRow {
    int line = -1;
    std::string colour;
    int markers = 0;
    double angle = 0;
    double drift = 0;
    bool straight = false;
};

struct Report {
    std::vector<ReportRow> rows;
    std::string closing;  // the last row, without its newline
};

// Parses the report; a row of another shape fails the test that parses it.
Report parse_report(const std::string& out);

// The row whose |drift| is least among the rows with markers.
const ReportRow& least_drift(const Report& report);

struct GreyImage {
    int width = 0;
    int height = 0;
    Bytes pixels;  // row by row

    int at(int x, int y) const { return pixels.at(static_cast<std::size_t>(y) * width + x); }
};

// Decodes a PNG to 8-bit grey; false when libpng cannot.
bool read_grey_png(const std::string& path, GreyImage& image);

// The picture pixel at `radius_mm` and `degrees` (clockwise from the top) on a
// picture of the whole 120 mm disc.
int pixel_at(const GreyImage& image, double radius_mm, double degrees);
