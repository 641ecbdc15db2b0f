// The README's road from a blank disc to a picture, walked on a simulated disc: the
// commands are the ones the README's first section gives to paste, run with the
// built tools; ringetch-preview's report of each image on the disc stands in for the
// eye, and the answers follow the README's rules. Full-size images: labelled slow.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "png_fixture.h"
#include "preview_eye.h"
#include "program_run.h"

namespace {

constexpr double full_size = 736985088;
const sim::Model disc{23123.4625, 1.3891124};

using Words = std::vector<std::string>;

std::string road_section()
{
    const std::string readme = read_file(README_PATH);
    const std::size_t start = readme.find("## From a blank disc to a picture");
    if (start == std::string::npos)
        return "";
    const std::size_t end = readme.find("\n## ", start + 1);
    return readme.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The lines to paste: "$ ./build/release/..." lines of the code blocks (indented),
// split at blanks.
std::vector<Words> pasted_commands(const std::string& section)
{
    std::vector<Words> commands;
    std::istringstream lines(section);
    std::string line;
    const std::string prefix = "$ ./build/release/";
    while (std::getline(lines, line)) {
        const std::size_t text = line.find_first_not_of(' ');
        if (text == std::string::npos || text < 4 || line.compare(text, prefix.size(), prefix) != 0)
            continue;
        std::istringstream words(line.substr(text + 2));
        Words command;
        for (std::string word; words >> word;)
            command.push_back(word);
        commands.push_back(command);
    }
    return commands;
}

const Words* command_of(const std::vector<Words>& commands, const std::string& tool)
{
    for (const Words& c : commands)
        if (c[0] == tool)
            return &c;
    return nullptr;
}

bool full_line(const sim::Row& row) { return row.marked && row.markers >= 100; }

// Stage one: the straight lines; else the two neighbours between which the wedges
// turn from falling behind to running ahead; else all lean one way: next or prev.
std::string stage_one_answer(const std::vector<sim::Row>& rows, int& anchor)
{
    int best = -1;
    int best_length = 0;
    int run = 0;
    for (int k = 0; k < static_cast<int>(rows.size()); ++k) {
        run = full_line(rows[k]) && std::fabs(rows[k].drift) < 15 ? run + 1 : 0;
        if (run > best_length) {
            best_length = run;
            best = k - run + 1;
        }
    }
    if (best >= 0) {
        anchor = (2 * best + best_length) / 2;
        return std::to_string(best) + "-" + std::to_string(best + best_length - 1);
    }
    int behind = 0;
    for (int k = 0; k + 1 < static_cast<int>(rows.size()) && full_line(rows[k + 1]); ++k) {
        behind += rows[k].drift < 0 ? 1 : 0;
        if ((rows[k].drift < 0) != (rows[k + 1].drift < 0)) {
            anchor = k + 1;
            return std::to_string(k) + "-" + std::to_string(k + 1);
        }
    }
    return behind > 0 ? "next 2" : "prev 2";
}

// The sweep: away from stage one's lines (straight in every sweep), the flattest
// line with one line either side; at the first or last line, the sweep moves.
std::string sweep_answer(const std::vector<sim::Row>& rows, int anchor)
{
    int last = 0;
    while (last + 1 < static_cast<int>(rows.size()) && full_line(rows[last + 1]))
        ++last;
    int flattest = -1;
    for (int k = 0; k <= last; ++k)
        if (k != anchor - 1 && k != anchor &&
            (flattest < 0 || std::fabs(rows[k].drift) < std::fabs(rows[flattest].drift)))
            flattest = k;
    if (flattest == 0)
        return "prev 1";
    if (flattest == last)
        return "next 1";
    return std::to_string(flattest - 1) + "-" + std::to_string(flattest + 1);
}

// The text after the last "name: " up to its line end.
std::string last_value(const std::string& out, const std::string& name)
{
    const std::size_t at = out.rfind("\n" + name + ": ");
    if (at == std::string::npos)
        return "";
    const std::size_t from = at + name.size() + 3;
    return out.substr(from, out.find('\n', from) - from);
}

std::string binary(const std::string& pasted)
{
    if (pasted == "./build/release/ringetch")
        return RINGETCH_BINARY;
    if (pasted == "./build/release/refine/ringetch-refine")
        return REFINE_BINARY;
    if (pasted == "./build/release/picture/ringetch-picture")
        return PICTURE_BINARY;
    return pasted;
}

// The dialogue until the ranges are narrow enough; the ranges as last printed.
int walk_dialogue(const Words& command, const std::string& dir, std::string& tr0, std::string& dtr)
{
    InteractiveRun run(binary(command[0]), Words(command.begin() + 1, command.end()), dir);
    int discs = 0;
    int anchor = -1;
    bool sweep = false;
    bool cycled = false;
    while (run.wait_for("enter number of the LINE\n", 300)) {
        tr0 = last_value(run.out(), "tr0");
        dtr = last_value(run.out(), "dtr");
        double from = 0;
        double to = 0;
        if (cycled && std::sscanf(tr0.c_str(), "%lf-%lf", &from, &to) == 2 && to - from <= 150) {
            run.send("exit\n");
            break;
        }
        const std::vector<sim::Row> rows = sim::report_rows(dir, dir + "/image.rge", disc);
        ++discs;
        const std::string answer = sweep ? sweep_answer(rows, anchor) : stage_one_answer(rows, anchor);
        std::printf("disc %d: %s image, typed %s\n", discs, sweep ? "sweep" : "first-stage", answer.c_str());
        if (answer.find('-') != std::string::npos) {
            cycled = cycled || sweep;
            sweep = !sweep;
        }
        run.send(answer + "\n");
    }
    EXPECT_EQ(run.finish(60).exit_status, 0);
    std::remove((dir + "/image.rge").c_str());
    return discs;
}

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The refine session: every readable wedge read by a +-10 degree eye; done when asked
// after a fit whose expected picture error is 5 degrees or less, or after the third.
int walk_refinement(Words command, const std::string& tr0, const std::string& dtr, const std::string& dir)
{
    // The ranges pasted as printed (tr0 F-T dtr T-F), or end by end.
    const std::size_t tr0_dash = tr0.find('-');
    const std::size_t dtr_dash = dtr.find('-');
    for (std::size_t i = 1; i + 1 < command.size(); ++i) {
        const std::string& name = command[i];
        std::string& value = command[i + 1];
        if (name == "tr0" || name == "dtr")
            value = name == "tr0" ? tr0 : dtr;
        else if (name == "tr0_f" || name == "tr0_t")
            value = name == "tr0_f" ? tr0.substr(0, tr0_dash) : tr0.substr(tr0_dash + 1);
        else if (name == "dtr_t" || name == "dtr_f")
            value = name == "dtr_t" ? dtr.substr(0, dtr_dash) : dtr.substr(dtr_dash + 1);
    }
    InteractiveRun run(binary(command[0]), Words(command.begin() + 1, command.end()), dir);
    sim::Eye eye;
    std::vector<sim::Row> rows;
    double zero = 0;
    int images = 0;
    int fits = 0;
    while (run.wait_for(" ", 300)) {
        const std::string& out = run.out();
        if (ends_with(out, "? (yes, or done to stop) ") && run.wait_for("? (yes, or done to stop) ", 0)) {
            double error = 1e9;
            std::sscanf(out.c_str() + out.rfind("expected picture error"), "expected picture error %lf", &error);
            ++fits;
            run.send(error <= 5 || fits == 3 ? "done\n" : "yes\n");
            continue;
        }
        if (!ends_with(out, " angle: ") || !run.wait_for(" angle: ", 0))
            continue;
        int line = -1;
        std::sscanf(out.c_str() + out.rfind("line "), "line %d angle: ", &line);
        int now = 0;
        for (std::size_t at = out.find("created succesfully"); at != std::string::npos;
             at = out.find("created succesfully", at + 1))
            ++now;
        if (now != images) {
            // Without the question after a fit, done at the next image's first line.
            const std::size_t fit_at = out.rfind("expected picture error");
            double error = 1e9;
            if (fit_at != std::string::npos)
                std::sscanf(out.c_str() + fit_at, "expected picture error %lf", &error);
            if (images > 0 && (error <= 5 || images == 3)) {
                run.send("done\n");
                break;
            }
            images = now;
            rows = sim::report_rows(dir, dir + "/refine.rge", disc);
            zero = eye.fresh_zero();
        }
        if (line < 0 || line >= static_cast<int>(rows.size()) || !rows[line].marked ||
            std::fabs(rows[line].drift) > 90) {
            run.send("-\n");
            continue;
        }
        char text[32];
        std::snprintf(text, sizeof text, "%g\n", eye.read(rows[line].angle, zero));
        run.send(text);
    }
    const RunResult end = run.finish(60);
    EXPECT_EQ(end.exit_status, 0) << end.err;
    std::remove((dir + "/refine.rge").c_str());
    return images;
}

TEST(ReadmeRoad, FromABlankDiscToAPictureWithThePastedCommands)
{
    const std::string section = road_section();
    ASSERT_FALSE(section.empty()) << "README.md has no section \"From a blank disc to a picture\"";
    const std::vector<Words> commands = pasted_commands(section);
    const Words* dialogue = command_of(commands, "./build/release/ringetch");
    const Words* refine = command_of(commands, "./build/release/refine/ringetch-refine");
    const Words* picture = command_of(commands, "./build/release/picture/ringetch-picture");
    ASSERT_TRUE(dialogue != nullptr && refine != nullptr && picture != nullptr) << section;

    const std::string dir = make_work_dir();
    std::string tr0;
    std::string dtr;
    const int dialogue_discs = walk_dialogue(*dialogue, dir, tr0, dtr);
    std::printf("left the dialogue at tr0: %s, dtr: %s\n", tr0.c_str(), dtr.c_str());
    const int refine_discs = walk_refinement(*refine, tr0, dtr, dir);

    std::vector<std::uint8_t> grey(64 * 64);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<std::uint8_t>(i % 64 * 4);
    ASSERT_TRUE(write_grey_png(dir + "/photo.png", 64, 64, grey));
    const RunResult drawn = run_program(PICTURE_BINARY, Words(picture->begin() + 1, picture->end()), "", dir, 120);
    ASSERT_EQ(drawn.exit_status, 0) << drawn.err;
    std::remove((dir + "/picture.rge").c_str());
    sim::Model model{0, 0};
    const std::size_t at = drawn.out.find("model tr0 ");
    ASSERT_NE(at, std::string::npos) << drawn.out;
    ASSERT_EQ(std::sscanf(drawn.out.c_str() + at, "model tr0 %lf dtr %lf", &model.tr0, &model.dtr), 2);
    const double error = sim::picture_error(model, disc, full_size);
    const int discs = dialogue_discs + refine_discs + 1;
    std::printf("%s%d discs in all; the picture lands within %.1f degrees\n", drawn.out.c_str(), discs, error);
    EXPECT_LE(error, 15);
    EXPECT_NE(section.find("took " + std::to_string(discs) + " discs"), std::string::npos)
        << "the README's road should say the simulation took " << discs << " discs";
}

}  // namespace
