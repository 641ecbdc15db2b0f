// Files, reports and pictures for the preview's tests.
#include "preview_support.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <dirent.h>
#include <sstream>
#include <unistd.h>

#include "image/interleaver.h"

WorkFolder::WorkFolder() : path_(make_work_dir()) {}

WorkFolder::~WorkFolder()
{
    for (const std::string& name : entries())
        unlink((path_ + "/" + name).c_str());
    for (const char* harness : {".stdin", ".stdout", ".stderr"})
        unlink((path_ + "/" + harness).c_str());
    rmdir(path_.c_str());
}

std::vector<std::string> WorkFolder::entries() const
{
    std::vector<std::string> names;
    DIR* dir = opendir(path_.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != ".stdin" && name != ".stdout" && name != ".stderr")
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

RunResult run_preview(const std::vector<std::string>& args, const std::string& work_dir)
{
    return run_program(PREVIEW_BINARY, args, "", work_dir);
}

void write_file(const std::string& path, const Bytes& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    ASSERT_EQ(std::fclose(file), 0);
}

void write_pixel_image(const std::string& path, const Bytes& pixels)
{
    reset_synthesis_state();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    for (std::size_t k = 0; k < pixels.size();) {
        std::size_t end = k + 1;
        while (end < pixels.size() && pixels[end] == pixels[k])
            ++end;
        put_audio_run(pixels[k], static_cast<std::int64_t>(end - k), file);
        k = end;
    }
    finish_image(file);
    ASSERT_EQ(std::fclose(file), 0);
}

std::string without_progress(const std::string& err)
{
    std::istringstream lines(err);
    std::string kept;
    std::string text;
    while (std::getline(lines, text)) {
        const bool progress = text.rfind("ringetch-preview: read ", 0) == 0 || text.rfind("ringetch-preview: writing ", 0) == 0;
        if (!progress)
            kept += text + "\n";
    }
    return kept;
}

Report parse_report(const std::string& out)
{
    Report report;
    std::istringstream lines(out);
    std::string text;
    while (std::getline(lines, text)) {
        ReportRow row;
        char colour[16] = {};
        char straight[16] = {};
        int consumed = 0;
        const int fields = std::sscanf(text.c_str(), "line %d %15s markers %d angle %lf drift %lf %15s%n", &row.line,
                                       colour, &row.markers, &row.angle, &row.drift, straight, &consumed);
        if (fields >= 5 || (fields == 3 && row.markers == 0)) {
            row.colour = colour;
            row.straight = fields == 6 && std::string(straight) == "straight";
            if (fields == 6) {
                EXPECT_TRUE(row.straight) << "row \"" << text << "\"";
            }
            report.rows.push_back(row);
            continue;
        }
        report.closing = text;
        EXPECT_TRUE(lines.peek() == EOF) << "a row after the closing row: \"" << text << "\"";
    }
    return report;
}

const ReportRow& least_drift(const Report& report)
{
    const ReportRow* least = nullptr;
    for (const ReportRow& row : report.rows)
        if (row.markers > 0 && (least == nullptr || std::fabs(row.drift) < std::fabs(least->drift)))
            least = &row;
    EXPECT_NE(least, nullptr) << "no row with markers";
    static const ReportRow none;
    return least != nullptr ? *least : none;
}

bool read_grey_png(const std::string& path, GreyImage& image)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0)
        return false;
    png.format = PNG_FORMAT_GRAY;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels.assign(PNG_IMAGE_SIZE(png), 0);
    return png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr) != 0;
}

int pixel_at(const GreyImage& image, double radius_mm, double degrees)
{
    const double scale = image.width / 120.0;
    const double angle = degrees * 3.141592653589793 / 180;
    const auto x = static_cast<int>(std::floor(image.width / 2.0 + radius_mm * scale * std::sin(angle)));
    const auto y = static_cast<int>(std::floor(image.height / 2.0 - radius_mm * scale * std::cos(angle)));
    return image.at(x, y);
}
