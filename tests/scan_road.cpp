// The road's steps, each through the built tools as a user types them; the captures
// come from the simulated scanner in between, as the user's scans would.
#include "scan_road.h"

#include <cstdio>
#include <string>

#include "preview_support.h"
#include "refine_geometry_eye.h"
#include "refine_prompts.h"

namespace {

bool capture_image(const std::string& image, TrackModel disc, const CaptureConditions& asked, const std::string& path,
                   std::string& why)
{
    CaptureConditions conditions = asked;
    conditions.disc = disc;
    DiscFace face;
    if (!render_disc_face(image.c_str(), disc, face_side(conditions.dpi), face, why)) {
        why = "cannot render \"" + image + "\" " + why;
        return false;
    }
    Capture capture;
    CaptureTruth truth;
    simulate_capture(face, conditions, capture, truth);
    face = DiscFace{};
    return write_capture(capture, conditions.jpeg_quality, path.c_str(), why);
}

// The "expected picture error E degrees" of the last model line.
double last_expected(const std::string& out)
{
    const std::size_t at = out.rfind("expected picture error ");
    double e = -1;
    if (at != std::string::npos)
        std::sscanf(out.c_str() + at, "expected picture error %lf", &e);
    return e;
}

std::string bytes_text(double size)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", size);
    return text;
}

void run_in(const std::string& dir, TrackModel disc, const RoadSettings& settings, RoadResult& result)
{
    const std::string size = bytes_text(settings.size);
    const RunResult first = run_program(RINGETCH_BINARY, {"size", size}, "exit\n", dir, 120);
    if (first.exit_status != 0) {
        result.why = "ringetch: " + first.err;
        return;
    }
    const std::string first_capture = dir + (settings.first.jpeg_quality > 0 ? "/first.jpg" : "/first.png");
    if (!capture_image(dir + "/image.rge", disc, settings.first, first_capture, result.why))
        return;
    InteractiveRun refine(REFINE_BINARY, {"first", first_capture, "first_image", dir + "/image.rge", "size", size}, dir);
    // The first image was read once refine asks for the refinement image's line 0.
    const int prompt = refine_prompts::next_prompt(refine, 300);
    result.transcript = refine.out();
    if (prompt != 0) {
        const RunResult end = refine.finish(60);
        result.transcript = end.out;
        result.why = "first image: " + end.err;
        return;
    }
    result.first_read = true;
    double tr0 = 0;
    double dtr = 0;
    result.start_model = refine_prompts::last_model(refine.out(), tr0, dtr);
    result.start = {tr0, dtr};
    if (result.start_model) {
        result.start_expected = last_expected(refine.out());
        result.start_error = sim::picture_error({tr0, dtr}, {disc.tr0, disc.dtr}, settings.size);
    }
    if (settings.first_only) {
        refine.send("done\n");
        result.transcript = refine.finish(60).out;
        return;
    }
    const std::string burn_capture =
        dir + (settings.refinement.jpeg_quality > 0 ? "/refinement.jpg" : "/refinement.png");
    if (!capture_image(dir + "/refine.rge", disc, settings.refinement, burn_capture, result.why))
        return;
    refine.send("scan " + burn_capture + "\n");
    const int after = refine_prompts::next_prompt(refine, 300);
    result.refinement_read = after == refine_prompts::asked_next_image;
    if (!result.refinement_read) {
        const std::string& out = refine.out();
        const std::size_t at = out.rfind("the scan is not taken: ");
        result.why = at == std::string::npos ? "refinement image: no fit" : out.substr(at, out.find('\n', at) - at);
        result.why = result.why.substr(0, result.why.rfind("line 0 angle:"));
    }
    refine.send("done\n");
    const RunResult end = refine.finish(60);
    result.transcript = end.out;
    result.has_model = refine_prompts::last_model(end.out, tr0, dtr);
    if (!result.has_model)
        return;
    result.model = {tr0, dtr};
    result.expected = last_expected(end.out);
    result.error = sim::picture_error({tr0, dtr}, {disc.tr0, disc.dtr}, settings.size);
}

}  // namespace

RoadResult run_scan_road(TrackModel disc, const RoadSettings& settings)
{
    RoadResult result;
    WorkFolder folder;
    run_in(folder.path(), disc, settings, result);
    return result;
}
