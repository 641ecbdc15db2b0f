// The refinement loop. Every step refits all readings of all burns from the start;
// the model in force is the one the next image is drawn with, asked for after each
// fit. The readings are saved after every accepted step, so a session cut short
// loses at most one image, and a file that cannot be written never loses them.
#include "refine/session.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "common/program_name.h"
#include "common/units.h"
#include "model_fit/fit.h"
#include "model_fit/picture_model.h"
#include "refine/protractor.h"
#include "refine/reading_prompt.h"
#include "model_fit/readings_file.h"
#include "refine/refinement_image.h"
#include "refine/scan_readings.h"
#include "model_fit/text_output.h"

namespace {

struct SessionState {
    const RefineParameters* p = nullptr;
    Readings* readings = nullptr;
    TrackModel model{0, 0};      // in force: the next image is drawn from it
    bool fitted = false;         // the model is a fit's, not the middle of the ranges
    double model_error = 0;      // that fit's expected picture error at the rim, degrees
    double model_rms = 0;        // its residual rms, degrees
    bool model_far_off = false;  // its residual is far above an eye's
    std::string svg_path;
    std::string readings_path;  // where the readings are saved; a rescue file after a failure there
    bool file_failed = false;   // a file could not be written: the session ends with status 1
};

enum class BurnEnd { complete, done, input_failed };

void print_model(TrackModel m) { std::printf("model tr0 %.6f dtr %.9f\n", m.tr0, m.dtr); }

void take_model(SessionState& s, const FitResult& fit)
{
    s.model = fit.model;
    s.fitted = true;
    s.model_error = expected_picture_error(fit, s.p->size);
    s.model_rms = fit.rms;
    s.model_far_off = residual_far_above_eye(fit);
}

// A new file of the rescue's name in folder, or "" when none can be made there.
std::string make_rescue_file(const std::string& folder)
{
    std::string name = folder + "ringetch-refine-XXXXXX.readings";
    const int fd = mkstemps(name.data(), 9);
    if (fd < 0)
        return "";
    close(fd);
    return name;
}

// Saves the readings. When their file cannot be written, says so and saves them to a
// new file in the current folder, or else the temporary folder, which the session
// then keeps them in; when no file takes them, they are printed on standard error.
bool save_session_readings(SessionState& s)
{
    char why[512];
    if (save_readings(*s.readings, s.readings_path.c_str(), why, sizeof why))
        return true;
    std::fprintf(stderr, "%s: cannot save the readings to \"%s\": %s\n", program_name, s.readings_path.c_str(), why);
    s.file_failed = true;
    const char* temporary = std::getenv("TMPDIR");
    const std::string folders[] = {"", std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") + "/"};
    for (const std::string& folder : folders) {
        const std::string rescue = make_rescue_file(folder);
        if (rescue.empty())
            continue;
        if (save_readings(*s.readings, rescue.c_str(), why, sizeof why)) {
            std::fprintf(stderr, "%s: the readings are saved to \"%s\" instead, from now on\n", program_name,
                         rescue.c_str());
            s.readings_path = rescue;
            return true;
        }
        std::remove(rescue.c_str());
    }
    std::fprintf(stderr, "%s: no file takes the readings; here they are, to keep as a readings file:\n", program_name);
    print_readings(*s.readings, stderr);
    return false;
}

bool scanned(const Readings& r)
{
    bool any = r.first_twist_count > 0;
    for (int b = 0; b < r.burn_count; ++b)
        any = any || r.burns[b].source == ReadBy::scan;
    return any;
}

// The fit's figures; the warning only on a step's last fit (after any rereads).
void print_fit(const SessionState& s, const FitResult& fit, int burns, bool last)
{
    if (burns == 0)
        std::printf("fit of the first image's %d twist%s:\n", fit.twists, fit.twists == 1 ? "" : "s");
    else if (fit.twists == 0)
        std::printf("fit of %d image%s, %d readings:\n", burns, burns == 1 ? "" : "s", fit.readings);
    else
        std::printf("fit of %d image%s, %d readings, %d twists:\n", burns, burns == 1 ? "" : "s", fit.readings,
                    fit.twists);
    print_model(fit.model);
    std::printf("residual rms %.1f degrees; expected picture error %.1f degrees at the rim\n", fit.rms,
                expected_picture_error(fit, s.p->size));
    if (last && residual_far_above_eye(fit) && scanned(*s.readings))
        std::puts("warning: the residual is far above the readings' own errors: is the disc unlike the model (uneven "
                  "pitch, clamped off-centre), or did a scan take something else for the wedges (see its overlay "
                  "with ringetch-scan)?");
    else if (last && residual_far_above_eye(fit))
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

enum class Shown { shown, done, failed };

// Writes the protractor and then the image for the model in force. `done` when the
// user typed done instead of writing an interrupted image again; `failed` when input
// is gone or the protractor cannot be written (said why).
Shown show_image(SessionState& s)
{
    const int number = s.readings->burn_count + 1;
    std::printf("refinement image %d from tr0 %.6f dtr %.9f\n", number, s.model.tr0, s.model.dtr);
    const int lines = lines_held(s.model, s.p->size);
    char why[512];
    if (!write_protractor(s.model, lines, s.svg_path.c_str(), why, sizeof why)) {
        std::fprintf(stderr, "%s: cannot write the protractor \"%s\": %s\n", program_name, s.svg_path.c_str(), why);
        s.file_failed = true;
        return Shown::failed;
    }
    bool done = false;
    while (!write_refinement_image(s.model, s.p->size, s.p->image_path))
        if (!ask_image_again(done))
            return done ? Shown::done : Shown::failed;
    std::printf("protractor \"%s\": print it at 100 %% scale and lay it under the disc\n", s.svg_path.c_str());
    print_radii(s.model, lines);
    std::puts("read each line's wedge at its inner end: the angle of its leading edge, in degrees, 0 to under 360,\n"
              "counted in the track's direction (line 0's thin mark follows each marker), the protractor's zero\n"
              "anywhere but the same for the whole disc. Type - for a wedge that twists by more than about 90\n"
              "degrees along its band or cannot be found, back to go back a line, done to end. With a scan or\n"
              "photo of the burned disc, type scan and its file at line 0 instead: it reads every line.");
    return Shown::shown;
}

// Asks lines[0..count) in order, storing into burn; back goes to the previous one.
// When whole (the burn's every line from line 0), a scan answered at the first prompt
// reads the burn instead; a scan the reader refuses is said why and line 0 asked again.
BurnEnd ask_lines(const SessionState& s, BurnReadings& burn, const int* lines, int count, bool whole)
{
    for (int i = 0; i < count;) {
        const int k = lines[i];
        double angle = 0;
        ScanRequest scan;
        switch (ask_line_angle(k, i > 0, whole && i == 0, angle, scan)) {
        case Answer::scan:
            if (read_burn_from_scan(s.p->size, scan.capture.c_str(), scan.turned.c_str(), burn))
                return BurnEnd::complete;
            break;
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

BurnEnd ask_burn(const SessionState& s, BurnReadings& burn)
{
    int lines[max_refine_lines];
    for (int k = 0; k < burn.line_count; ++k)
        lines[k] = k;
    return ask_lines(s, burn, lines, burn.line_count, true);
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
int ask_rereads(const SessionState& s, BurnReadings& burn, const FitResult& fit, int b, BurnEnd& end)
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
    end = ask_lines(s, burn, lines, count, false);
    return count;
}

// Fits the burns so far. The new burn (the last) is read again where it is far off
// and its model taken unless the image showed fewer readable lines than the one
// before it; a burn whose readings ended early (done, end of input) is neither
// reread nor compared, as its unread lines were never asked. A scanned burn is not
// reread: its far-off lines already weigh little, and a second look would be the
// reader's same look.
BurnEnd fit_step(SessionState& s, bool ended_early)
{
    Readings& r = *s.readings;
    const int b = r.burn_count - 1;
    FitResult fit = fit_readings(r, r.burn_count);
    const bool far_off = !ended_early && r.burns[b].source == ReadBy::eye && has_far_off_line(r.burns[b], fit, b);
    print_fit(s, fit, r.burn_count, !far_off);
    BurnEnd end = BurnEnd::complete;
    if (far_off && ask_rereads(s, r.burns[b], fit, b, end) > 0) {
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
        take_model(s, fit);
    }
    save_session_readings(s);
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

// The model for a picture, only once a fit gave one, with what keeps it from being
// good enough on the same lines.
void print_picture_offer(const SessionState& s)
{
    if (!s.fitted) {
        std::puts("no model for a picture yet: one comes from the angles read on at least one refinement image");
        return;
    }
    std::printf("model tr0 %.6f dtr %.9f, expected picture error %.1f degrees at the rim", s.model.tr0, s.model.dtr,
                s.model_error);
    const bool too_large = s.model_error > picture_error_limit_degrees;
    if (s.model_far_off)
        std::printf(": not for a picture, the residual rms %.1f degrees is far above an eye's error", s.model_rms);
    else if (too_large)
        std::printf(": too large for a picture (over %.0f degrees)", picture_error_limit_degrees);
    if (s.model_far_off || too_large)
        std::puts("; burn and read another refinement image first\na picture drawn now would come out turned; to draw "
                  "one anyway:");
    else
        std::puts("\ndraw your picture with:");
    std::printf("$ ringetch-picture png <your-picture.png> tr0 %.6f dtr %.9f", s.model.tr0, s.model.dtr);
    if (s.p->size != default_image_size)
        std::printf(" size %d", static_cast<int>(s.p->size));
    std::puts("");
}

int finish(SessionState& s, int status)
{
    const bool saved = save_session_readings(s);
    if (status == 0)
        print_picture_offer(s);
    if (saved)
        std::fprintf(status == 0 && !s.file_failed ? stdout : stderr,
                     "readings saved to \"%s\": go on later with ringetch-refine readings \"%s\"\n",
                     s.readings_path.c_str(), s.readings_path.c_str());
    return s.file_failed ? 1 : status;
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

// Prints the start, saves the readings (so that a readings file that cannot be
// written is found before an image is written and an angle typed) and fits an
// earlier session's burns. False, with the reason printed, when the save failed.
bool start_session(SessionState& s, const SessionFiles& files)
{
    Readings& readings = *s.readings;
    s.model = range_middle(readings.ranges);
    std::printf("start: tr0 %.6f dtr %.9f, the middle of the ranges\n", s.model.tr0, s.model.dtr);
    if (!files.note.empty())
        std::printf("%s\n", files.note.c_str());
    char why[512];
    if (!save_readings(readings, s.readings_path.c_str(), why, sizeof why)) {
        std::fprintf(stderr, "%s: cannot save the readings to \"%s\": %s\n", program_name, s.readings_path.c_str(), why);
        return false;
    }
    if (readings.burn_count > 0)
        std::printf("%d image%s read in the earlier session\n", readings.burn_count,
                    readings.burn_count == 1 ? "" : "s");
    if (readings.burn_count > 0 || readings.first_twist_count > 0) {
        const FitResult fit = fit_readings(readings, readings.burn_count);
        print_fit(s, fit, readings.burn_count, true);
        take_model(s, fit);
    }
    return true;
}

// Asks the new image's lines until at least 4 are read or the session ends there.
BurnEnd read_new_burn(SessionState& s)
{
    Readings& readings = *s.readings;
    const int b = readings.burn_count;
    for (;;) {
        readings.burns[b] = BurnReadings{};
        readings.burns[b].drawn = s.model;
        readings.burns[b].line_count = lines_held(s.model, s.p->size);
        readings.burn_count = b + 1;
        const BurnEnd end = ask_burn(s, readings.burns[b]);
        if (end != BurnEnd::complete || enough_lines(readings.burns[b]))
            return end;
        readings.burn_count = b;
    }
}

}  // namespace

int run_refinement(const RefineParameters& p, const SessionFiles& files, Readings& readings)
{
    SessionState s;
    s.p = &p;
    s.readings = &readings;
    s.svg_path = files.protractor;
    s.readings_path = files.readings;
    if (!start_session(s, files))
        return 1;
    for (;;) {
        if (readings.burn_count == max_burns) {
            std::printf("%d images is as many as a session keeps\n", max_burns);
            return finish(s, 0);
        }
        bool done = false;
        if (readings.burn_count > 0 && !ask_next_image(readings.burn_count + 1, done))
            return finish(s, done ? 0 : 1);
        const Shown shown = show_image(s);
        if (shown != Shown::shown)
            return finish(s, shown == Shown::done ? 0 : 1);
        const BurnEnd read = read_new_burn(s);
        if (read != BurnEnd::complete)
            return end_in_burn(s, read);
        const BurnEnd end = fit_step(s, false);
        if (end != BurnEnd::complete)
            return finish(s, end == BurnEnd::done ? 0 : 1);
    }
}
