// Whole refinement sessions with a simulated user at full size. The user's eye is
// ringetch-preview's per-line report of each image on a simulated disc (the first
// marker's angle, the drift along the line): each readable line's angle with a
// seeded error of +-10 degrees (normal, rounded to 5), a random protractor zero per
// burn, lines twisting over 90 degrees skipped, typed into ringetch-refine's prompt;
// rereads answered carefully. Eight discs across the first-turn and growth ranges,
// three seeds each, entered with ranges as one cycle of the dialogue leaves them.
// Full-size images are 737 MB, so the whole table runs in the optimised build only;
// the sanitizer build runs one disc and one seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include "program_run.h"
#include "preview_eye.h"
#include "refine_geometry_eye.h"
#include "refine_prompts.h"

namespace {

constexpr double full_size = 736985088;

struct RunErrors {
    std::vector<double> after_burn;  // picture error of the model after burns 1, 2, 3
};

std::string ranges_text(double v, int decimals)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

// One session: three refinement burns, then done when asked whether to write the fourth
// image. The model in force when asked is the last one printed.
RunErrors run_session(sim::Model disc, unsigned seed, double misread_share)
{
    sim::Eye eye;
    eye.misread_share = misread_share;
    eye.random.seed(seed);
    const sim::Ranges ranges = sim::ranges_after_a_cycle(disc, eye.random);
    const std::string dir = make_work_dir();
    InteractiveRun run(REFINE_BINARY,
                       {"tr0_f", ranges_text(ranges.tr0_f, 6), "tr0_t", ranges_text(ranges.tr0_t, 6), "dtr_t",
                        ranges_text(ranges.dtr_t, 9), "dtr_f", ranges_text(ranges.dtr_f, 9)},
                       dir);
    RunErrors errors;
    std::vector<sim::Row> rows;
    std::vector<bool> answered;
    double zero = 0;
    int images = 0;
    for (;;) {
        const int line = refine_prompts::next_prompt(run, 300);
        if (line == -1)
            break;
        const std::string& out = run.out();
        if (line == refine_prompts::asked_next_image) {
            sim::Model m{0, 0};
            if (!refine_prompts::last_model(out, m.tr0, m.dtr))
                break;
            errors.after_burn.push_back(sim::picture_error(m, disc, full_size));
            run.send(errors.after_burn.size() == 3 ? "done\n" : "yes\n");
            if (errors.after_burn.size() == 3)
                break;
            continue;
        }
        const int now = refine_prompts::images_written(out);
        if (now != images) {
            images = now;
            rows = sim::report_rows(dir, dir + "/refine.rge", disc);
            answered.assign(rows.size() + 32, false);
            zero = eye.fresh_zero();
        }
        if (line >= static_cast<int>(rows.size()) || !rows[line].marked ||
            std::fabs(rows[line].drift) > 90) {
            run.send("-\n");
            continue;
        }
        const double angle = answered[line] ? eye.reread(rows[line].angle, zero) : eye.read(rows[line].angle, zero);
        answered[line] = true;
        char text[32];
        std::snprintf(text, sizeof text, "%g\n", angle);
        run.send(text);
    }
    const RunResult end = run.finish(300);
    EXPECT_EQ(end.exit_status, 0) << end.err;
    std::remove((dir + "/refine.rge").c_str());
    return errors;
}

using sim::disc_number;
using sim::quantile;

struct Table {
    std::vector<double> per_burn[3];
};

Table simulate(int discs, int seeds, double misread_share, const char* title)
{
    Table t;
    for (int i = 0; i < discs; ++i) {
        for (int s = 0; s < seeds; ++s) {
            const sim::Model disc = disc_number(i, discs);
            const RunErrors e = run_session(disc, 7000 + 100 * static_cast<unsigned>(i) + static_cast<unsigned>(s),
                                            misread_share);
            for (int b = 0; b < 3; ++b)
                t.per_burn[b].push_back(b < static_cast<int>(e.after_burn.size()) ? e.after_burn[b] : 1e9);
            std::printf("disc tr0 %.1f dtr %.4f seed %d: %.1f %.1f %.1f\n", disc.tr0, disc.dtr, s, t.per_burn[0].back(),
                        t.per_burn[1].back(), t.per_burn[2].back());
        }
    }
    std::printf("%s\npicture error, degrees   median   90th pct   worst\n", title);
    for (int b = 0; b < 3; ++b)
        std::printf("after refinement burn %d %9.1f %10.1f %7.1f\n", b + 1, quantile(t.per_burn[b], 0.5),
                    quantile(t.per_burn[b], 0.9), quantile(t.per_burn[b], 1.0));
    std::fflush(stdout);
    return t;
}

#ifdef RINGETCH_FULL_SIMULATION
constexpr int disc_count = 8;
constexpr int seed_count = 3;
#else
constexpr int disc_count = 1;
constexpr int seed_count = 1;
#endif

TEST(RefineSimulation, CarefulUsersReachAFewDegreesInThreeBurns)
{
    const Table t = simulate(disc_count, seed_count, 0, "eye +-10 degrees");
    if (disc_count * seed_count >= 8) {  // a median of a few sessions says little
        EXPECT_LE(quantile(t.per_burn[1], 0.5), 10);
        EXPECT_LE(quantile(t.per_burn[2], 0.5), 5);
    }
    EXPECT_LE(quantile(t.per_burn[2], 1.0), 100);
}

TEST(RefineSimulation, FivePercentMisreadsStillEndUnderAHundredDegrees)
{
    const Table t = simulate(disc_count, seed_count, 0.05, "eye +-10 degrees, 5 % of readings random, rereads careful");
    EXPECT_LE(quantile(t.per_burn[2], 1.0), 100);
}

}  // namespace
