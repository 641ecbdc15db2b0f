// The refinement loop. Every step refits all readings of all burns from the start;
// the model in force is the one the next image is drawn with. The readings are
// saved after every accepted step, so a session cut short loses at most one image.
#include "refine/session.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "common/units.h"
#include "model_fit/fit.h"
#include "refine/protractor.h"
#include "refine/reading_prompt.h"
#include "model_fit/readings_file.h"
#include "refine/refinement_image.h"
#include "model_fit/text_output.h"

namespace {

struct SessionState {
    const RefineParameters* p = nullptr;
    Readings* readings = nullptr;
    TrackModel model{0, 0};  // in force: the next image is drawn from it
    std::string svg_path;
    std::string readings_path;
};

enum class BurnEnd { complete, done, input_failed };

void print_model(TrackModel m) { std::printf("model tr0 %.6f dtr %.9f\n", m.tr0, m.dtr); }

// The fit's figures; the warning only on a step's last fit (after any rereads).
void print_fit(const SessionState& s, const FitResult& fit, int burns, bool last)
{
    std::printf("fit of %d image%s, %d readings:\n", burns, burns == 1 ? "" : "s", fit.readings);
    print_model(fit.model);
    std::printf("residual rms %.1f degrees; expected picture error %.1f degrees at the rim\n", fit.rms,
                expected_picture_error(fit, s.p->size));
    if (last && residual_far_above_eye(fit))
        std::printf("warning: the residual is far above an eye's error (about %.0f degrees): were the angles read "
                    "against the track's direction (line 0's thin mark follows its marker), lines mixed up, or is "
                    "the disc unlike the model (uneven pitch, clamped off-centre)?\n",
                    eye_error_degrees);
}

void print_radii(TrackModel m, int lines)
{
    std::puts("line radii on the disc:");
    for (int k = 0; k < lines; ++k) {
        const double first = static_cast<double>(turns_per_line) * k;
        std::printf("line %2d: %.2f-%.2f mm\n", k, turn_radius_mm(m, first), turn_radius_mm(m, first + turns_per_line));
    }
}

// Writes the image and the protractor for the model in force. False when the
// user typed done instead of writing an interrupted image again (`done` set) or
// input is gone.
bool show_image(SessionState& s, bool& done)
{
    const int number = s.readings->burn_count + 1;
    done = false;
    std::printf("refinement image %d from tr0 %.6f dtr %.9f\n", number, s.model.tr0, s.model.dtr);
    while (!write_refinement_image(s.model, s.p->size, s.p->image_path))
        if (!ask_image_again(done))
            return false;
    const int lines = lines_held(s.model, s.p->size);
    write_protractor(s.model, lines, s.svg_path.c_str());
    std::printf("protractor \"%s\": print it at 100 %% scale and lay it under the disc\n", s.svg_path.c_str());
    print_radii(s.model, lines);
    std::puts("read each line's wedge at its inner end: the angle of its leading edge, in degrees, 0 to under 360,\n"
              "counted in the track's direction (line 0's thin mark follows each marker), the protractor's zero\n"
              "anywhere but the same for the whole disc. Type - for a wedge that twists by more than about 90\n"
              "degrees along its band or cannot be found, back to go back a line, done to end.");
    return true;
}

// Asks lines[0..count) in order, storing into burn; back goes to the previous one.
BurnEnd ask_lines(BurnReadings& burn, const int* lines, int count)
{
    for (int i = 0; i < count;) {
        const int k = lines[i];
        double angle = 0;
        switch (ask_line_angle(k, i > 0, angle)) {
        case Answer::angle:
            burn.read[k] = true;
            burn.angle[k] = angle;
            ++i;
            break;
        case Answer::unreadable:
            burn.read[k] = false;
            ++i;
            break;
        case Answer::back: --i; break;
        case Answer::done: return BurnEnd::done;
        case Answer::input_failed: return BurnEnd::input_failed;
        }
    }
    return BurnEnd::complete;
}

BurnEnd ask_burn(BurnReadings& burn)
{
    int lines[max_refine_lines];
    for (int k = 0; k < burn.line_count; ++k)
        lines[k] = k;
    return ask_lines(burn, lines, burn.line_count);
}

bool has_far_off_line(const BurnReadings& burn, const FitResult& fit, int b)
{
    for (int k = 0; k < burn.line_count; ++k)
        if (burn.read[k] && std::fabs(fit.residual[b][k]) > misread_degrees)
            return true;
    return false;
}

// Asks again for the new burn's lines whose residual is beyond misread_degrees;
// returns how many were asked, or -1 when the answers ended the session.
int ask_rereads(BurnReadings& burn, const FitResult& fit, int b, BurnEnd& end)
{
    int lines[max_refine_lines];
    int count = 0;
    for (int k = 0; k < burn.line_count; ++k)
        if (burn.read[k] && std::fabs(fit.residual[b][k]) > misread_degrees)
            lines[count++] = k;
    end = BurnEnd::complete;
    if (count == 0)
        return 0;
    std::printf("%d reading%s more than %.0f degrees off the fit; read %s again (- if the wedge cannot be read):\n",
                count, count == 1 ? " is" : "s are", misread_degrees, count == 1 ? "it" : "them");
    for (int i = 0; i < count; ++i)
        std::printf("line %d: read %g, off by %.0f degrees\n", lines[i], burn.angle[lines[i]], fit.residual[b][lines[i]]);
    end = ask_lines(burn, lines, count);
    return count;
}

// Fits the burns so far. The new burn (the last) is read again where it is far off
// and its model taken unless the image showed fewer readable lines than the one
// before it; a burn whose readings ended early (done, end of input) is neither
// reread nor compared, as its unread lines were never asked.
BurnEnd fit_step(SessionState& s, bool ended_early)
{
    Readings& r = *s.readings;
    const int b = r.burn_count - 1;
    FitResult fit = fit_readings(r, r.burn_count);
    const bool far_off = !ended_early && has_far_off_line(r.burns[b], fit, b);
    print_fit(s, fit, r.burn_count, !far_off);
    BurnEnd end = BurnEnd::complete;
    if (far_off && ask_rereads(r.burns[b], fit, b, end) > 0) {
        if (lines_read(r.burns[b]) < 4) {
            std::printf("image %d now has fewer than 4 lines read: its readings are not kept\n", b + 1);
            r.burn_count -= 1;
            return end;
        }
        fit = fit_readings(r, r.burn_count);
        print_fit(s, fit, r.burn_count, true);
    }
    const int now = lines_read(r.burns[b]);
    const int before = b > 0 ? lines_read(r.burns[b - 1]) : 0;
    if (!ended_early && now < before) {
        std::printf("image %d showed %d readable lines, fewer than the %d of image %d: the model stays as it was\n",
                    b + 1, now, before, b);
        print_model(s.model);
    } else {
        s.model = fit.model;
    }
    save_readings(r, s.readings_path.c_str());
    return end;
}

bool enough_lines(const BurnReadings& burn)
{
    const int read = lines_read(burn);
    if (read >= 4)
        return true;
    std::printf("only %d line%s read: a fit needs at least 4. The model is too far from this disc for a "
                "refinement: go back to ringetch for another cycle, or read the image again.\n",
                read, read == 1 ? "" : "s");
    return false;
}

void print_picture_command(const SessionState& s)
{
    std::puts("draw your picture with:");
    std::printf("$ ringetch-picture png <your-picture.png> tr0 %.6f dtr %.9f", s.model.tr0, s.model.dtr);
    if (s.p->size != default_image_size)
        std::printf(" size %d", static_cast<int>(s.p->size));
    std::puts("");
}

int finish(SessionState& s, int status)
{
    save_readings(*s.readings, s.readings_path.c_str());
    if (status == 0) {
        print_model(s.model);
        print_picture_command(s);
    }
    std::fprintf(status == 0 ? stdout : stderr,
                 "readings saved to \"%s\": go on later with ringetch-refine readings \"%s\"\n",
                 s.readings_path.c_str(), s.readings_path.c_str());
    return status;
}

// A session ended at a readings prompt: a new burn with at least 4 lines read is
// fitted (no rereads) before the end; a shorter one is dropped.
int end_in_burn(SessionState& s, BurnEnd end)
{
    Readings& r = *s.readings;
    const int b = r.burn_count - 1;
    if (lines_read(r.burns[b]) >= 4) {
        fit_step(s, true);
    } else {
        if (lines_read(r.burns[b]) > 0)
            std::printf("the readings of image %d (fewer than 4) are not kept\n", b + 1);
        r.burn_count -= 1;
    }
    return finish(s, end == BurnEnd::done ? 0 : 1);
}

}  // namespace

int run_refinement(const RefineParameters& p, Readings& readings)
{
    SessionState s;
    s.p = &p;
    s.readings = &readings;
    s.svg_path = sibling_path(p.image_path, ".svg");
    s.readings_path = p.readings_path != nullptr ? p.readings_path : sibling_path(p.image_path, ".readings");
    s.model = range_middle(readings.ranges);
    std::printf("start: tr0 %.6f dtr %.9f, the middle of the ranges\n", s.model.tr0, s.model.dtr);
    if (readings.burn_count > 0) {
        std::printf("%d image%s read in the earlier session\n", readings.burn_count,
                    readings.burn_count == 1 ? "" : "s");
        const FitResult fit = fit_readings(readings, readings.burn_count);
        print_fit(s, fit, readings.burn_count, true);
        s.model = fit.model;
    }
    for (;;) {
        if (readings.burn_count == max_burns) {
            std::printf("%d images is as many as a session keeps\n", max_burns);
            return finish(s, 0);
        }
        bool done = false;
        if (!show_image(s, done))
            return finish(s, done ? 0 : 1);
        const int b = readings.burn_count;
        for (;;) {
            readings.burns[b] = BurnReadings{};
            readings.burns[b].drawn = s.model;
            readings.burns[b].line_count = lines_held(s.model, p.size);
            readings.burn_count = b + 1;
            const BurnEnd end = ask_burn(readings.burns[b]);
            if (end != BurnEnd::complete)
                return end_in_burn(s, end);
            if (enough_lines(readings.burns[b]))
                break;
            readings.burn_count = b;
        }
        const BurnEnd end = fit_step(s, false);
        if (end != BurnEnd::complete)
            return finish(s, end == BurnEnd::done ? 0 : 1);
    }
}
