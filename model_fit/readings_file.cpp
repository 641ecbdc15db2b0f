// Saving and loading the readings. Models are written with 17 significant digits so
// that a reloaded burn predicts exactly what the saved one did.
#include "model_fit/readings_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "common/decimal_text.h"
#include "common/interrupt.h"
#include "image/test_pattern.h"
#include "model_fit/text_output.h"

namespace {

constexpr char header[] = "ringetch-refine readings\n";

struct Reader {
    std::FILE* file = nullptr;
    int line_number = 0;
    char text[512] = {};
    char* why = nullptr;
    std::size_t why_size = 0;

    // Reads the next line; `end` is set instead at a clean end of the file.
    bool read_line(bool& end)
    {
        line_number += 1;
        end = false;
        if (std::fgets(text, sizeof text, file) == nullptr) {
            end = std::ferror(file) == 0;
            return end || fail("cannot be read");
        }
        if (std::strchr(text, '\n') == nullptr && std::feof(file) == 0)
            return fail("is too long");
        return true;
    }

    bool next()
    {
        bool end = false;
        if (!read_line(end))
            return false;
        return !end || fail("is missing: the file ends too early");
    }

    bool fail(const char* what) const
    {
        std::snprintf(why, why_size, "line %d %s", line_number, what);
        return false;
    }
};

// Splits text at blanks into at most max_words words (null-terminated in place).
int split_words(char* text, char** words, int max_words)
{
    int count = 0;
    char* p = text;
    while (*p != '\0') {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')
            *p++ = '\0';
        if (*p == '\0')
            break;
        if (count == max_words)
            return max_words + 1;
        words[count++] = p;
        while (*p != '\0' && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r')
            ++p;
    }
    return count;
}

bool read_numbers(char** words, int count, double* values)
{
    for (int i = 0; i < count; ++i)
        if (!read_decimal(words[i], values[i]))
            return false;
    return true;
}

bool load_ranges(Reader& in, TrackRanges& ranges)
{
    char* words[6];
    double v[4];
    if (!in.next())
        return false;
    if (split_words(in.text, words, 5) != 5 || std::strcmp(words[0], "ranges") != 0 || !read_numbers(words + 1, 4, v))
        return in.fail("is not \"ranges <tr0_f> <tr0_t> <dtr_t> <dtr_f>\"");
    ranges = {v[0], v[1], v[2], v[3]};
    return true;
}

bool positive_error(double e) { return e > 0 && std::isfinite(e); }

constexpr int max_twist_turns = last_marker_turn - first_marker_turn + 1;

// A scan's row after "<line>": "<angle> error <e>" and perhaps "twist <t> error <te>
// turns <n>".
bool load_scan_row(Reader& in, char** words, int count, BurnReadings& burn, int k)
{
    double v[5] = {};
    const bool angle_only = count == 4;
    const bool with_twist = count == 10 && std::strcmp(words[4], "twist") == 0 && std::strcmp(words[6], "error") == 0 &&
                            std::strcmp(words[8], "turns") == 0;
    if ((!angle_only && !with_twist) || std::strcmp(words[2], "error") != 0 || !read_decimal(words[1], v[0]) ||
        !read_decimal(words[3], v[1]) ||
        (with_twist && (!read_decimal(words[5], v[2]) || !read_decimal(words[7], v[3]) || !read_decimal(words[9], v[4]))))
        return in.fail("is not \"<line> <angle> error <e>\" with perhaps \"twist <t> error <e> turns <n>\" after it");
    if (v[0] < 0 || v[0] >= 360)
        return in.fail("holds an angle that is not 0 or more and under 360");
    if (!positive_error(v[1]) || (with_twist && !positive_error(v[3])))
        return in.fail("holds an error that is not above 0");
    if (with_twist && (v[4] < 2 || v[4] > max_twist_turns || v[4] != static_cast<int>(v[4])))
        return in.fail("holds a twist's turn count out of range");
    burn.twist_turns[k] = static_cast<int>(v[4]);
    burn.read[k] = true;
    burn.angle[k] = v[0];
    burn.error[k] = v[1];
    burn.twist_read[k] = with_twist;
    burn.twist[k] = v[2];
    burn.twist_error[k] = v[3];
    return true;
}

// "burn <tr0> <dtr> lines <count> [eye|scan]" in in.text: burn set up, no line read.
bool load_burn_head(Reader& in, BurnReadings& burn)
{
    char* words[7];
    double v[3];
    const int count = split_words(in.text, words, 6);
    const bool sourced = count == 6 && (std::strcmp(words[5], "eye") == 0 || std::strcmp(words[5], "scan") == 0);
    if ((count != 5 && !sourced) || std::strcmp(words[0], "burn") != 0 || std::strcmp(words[3], "lines") != 0 ||
        !read_numbers(words + 1, 2, v) || !read_numbers(words + 4, 1, v + 2))
        return in.fail("is not \"burn <tr0> <dtr> lines <count>\", with perhaps \"scan\" after it");
    if (!(v[0] > 0) || !(v[1] > 0) || v[2] < 1 || v[2] > max_refine_lines || v[2] != static_cast<int>(v[2]))
        return in.fail("holds a model or a line count out of range");
    burn = BurnReadings{};
    burn.drawn = {v[0], v[1]};
    burn.line_count = static_cast<int>(v[2]);
    burn.source = sourced && std::strcmp(words[5], "scan") == 0 ? ReadBy::scan : ReadBy::eye;
    return true;
}

// Line k's row of the burn, read as its source writes it.
bool load_reading_row(Reader& in, BurnReadings& burn, int k)
{
    if (!in.next())
        return false;
    double line = 0;
    char* row[12];
    const int count = split_words(in.text, row, 11);
    if (count < 2 || !read_decimal(row[0], line) || line != k)
        return in.fail("is not the next line's reading");
    if (count == 2 && std::strcmp(row[1], "-") == 0)
        return true;
    if (burn.source == ReadBy::scan)
        return load_scan_row(in, row, count, burn, k);
    double angle = 0;
    if (count != 2)
        return in.fail("is not the next line's reading");
    if (!read_decimal(row[1], angle) || angle < 0 || angle >= 360)
        return in.fail("holds an angle that is not 0 or more and under 360");
    burn.read[k] = true;
    burn.angle[k] = angle;
    return true;
}

bool load_burn(Reader& in, BurnReadings& burn)
{
    if (!load_burn_head(in, burn))
        return false;
    for (int k = 0; k < burn.line_count; ++k)
        if (!load_reading_row(in, burn, k))
            return false;
    return lines_read(burn) >= 4 || in.fail("ends a burn with fewer than 4 readings");
}

// "first twists <count>" is in in.text; reads its rows.
bool load_first_twists(Reader& in, Readings& readings)
{
    char* words[4];
    double count = 0;
    if (split_words(in.text, words, 3) != 3 || std::strcmp(words[1], "twists") != 0 || !read_decimal(words[2], count) ||
        count < 1 || count > max_first_twists || count != static_cast<int>(count))
        return in.fail("is not \"first twists <count>\" with a count from 1 to 64");
    readings.first_twist_count = static_cast<int>(count);
    for (int i = 0; i < readings.first_twist_count; ++i) {
        if (!in.next())
            return false;
        char* row[11];
        double v[6];
        if (split_words(in.text, row, 10) != 10 || std::strcmp(row[2], "error") != 0 ||
            std::strcmp(row[4], "from") != 0 || std::strcmp(row[6], "to") != 0 || std::strcmp(row[8], "turns") != 0 ||
            !read_decimal(row[0], v[0]) || !read_decimal(row[1], v[1]) || !read_decimal(row[3], v[2]) ||
            !read_decimal(row[5], v[3]) || !read_decimal(row[7], v[4]) || !read_decimal(row[9], v[5]))
            return in.fail("is not \"<line> <twist> error <e> from <position> to <position> turns <count>\"");
        if (v[0] < 0 || v[0] != static_cast<int>(v[0]) || !positive_error(v[2]) || v[3] < 0 || !(v[4] > v[3]) ||
            v[5] < 2 || v[5] > 1e6 || v[5] != static_cast<int>(v[5]))
            return in.fail("holds a line, error, position or turn count out of range");
        readings.first_twists[i] = {static_cast<int>(v[0]), v[3], v[4], static_cast<int>(v[5]), v[1], v[2]};
    }
    return true;
}

bool load_from(Reader& in, Readings& readings)
{
    if (!in.next())
        return false;
    if (std::strcmp(in.text, header) != 0)
        return in.fail("is not \"ringetch-refine readings\"");
    if (!load_ranges(in, readings.ranges))
        return false;
    readings.burn_count = 0;
    readings.first_twist_count = 0;
    for (;;) {
        bool end = false;
        if (!in.read_line(end))
            return false;
        if (end)
            return true;
        if (std::strncmp(in.text, "first", 5) == 0 && readings.burn_count == 0 && readings.first_twist_count == 0) {
            if (!load_first_twists(in, readings))
                return false;
            continue;
        }
        if (readings.burn_count == max_burns)
            return in.fail("starts more burns than a session keeps");
        if (!load_burn(in, readings.burns[readings.burn_count]))
            return false;
        readings.burn_count += 1;
    }
}

}  // namespace

void print_readings(const Readings& readings, std::FILE* file)
{
    const TrackRanges& r = readings.ranges;
    std::fputs(header, file);
    std::fprintf(file, "ranges %.17g %.17g %.17g %.17g\n", r.tr0_f, r.tr0_t, r.dtr_t, r.dtr_f);
    if (readings.first_twist_count > 0)
        std::fprintf(file, "first twists %d\n", readings.first_twist_count);
    for (int i = 0; i < readings.first_twist_count; ++i) {
        const FirstTwist& t = readings.first_twists[i];
        std::fprintf(file, "%d %.17g error %.17g from %.17g to %.17g turns %d\n", t.line, t.twist, t.error, t.from, t.to,
                     t.marked_turns);
    }
    for (int b = 0; b < readings.burn_count; ++b) {
        const BurnReadings& burn = readings.burns[b];
        const bool scan = burn.source == ReadBy::scan;
        std::fprintf(file, "burn %.17g %.17g lines %d%s\n", burn.drawn.tr0, burn.drawn.dtr, burn.line_count,
                     scan ? " scan" : "");
        for (int k = 0; k < burn.line_count; ++k) {
            if (!burn.read[k])
                std::fprintf(file, "%d -\n", k);
            else if (!scan)
                std::fprintf(file, "%d %.17g\n", k, burn.angle[k]);
            else if (!burn.twist_read[k])
                std::fprintf(file, "%d %.17g error %.17g\n", k, burn.angle[k], burn.error[k]);
            else
                std::fprintf(file, "%d %.17g error %.17g twist %.17g error %.17g turns %d\n", k, burn.angle[k],
                             burn.error[k], burn.twist[k], burn.twist_error[k], burn.twist_turns[k]);
        }
    }
}

bool save_readings(const Readings& readings, const char* path, char* why, std::size_t why_size)
{
    TextOutput output;
    if (!open_text_output(path, output, why, why_size))
        return false;
    print_readings(readings, output.file);
    return close_text_output(output, why, why_size);
}

bool starts_as_readings(const char* path)
{
    struct stat info {};
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr)
        return false;
    char first[sizeof header] = {};
    const bool found = std::fgets(first, sizeof first, file) != nullptr && std::strcmp(first, header) == 0;
    std::fclose(file);
    return found;
}

LoadResult load_readings(const char* path, Readings& readings, char* why, std::size_t why_size)
{
    Reader in;
    in.why = why;
    in.why_size = why_size;
    // A FIFO waits in the open for a writer, and in each read for its text: a Ctrl-C
    // must break either wait, so the calls are not restarted meanwhile.
    let_interrupt_break_calls(true);
    if (break_requested == 0)
        in.file = std::fopen(path, "r");
    const int error = errno;
    bool loaded = false;
    if (in.file != nullptr) {
        loaded = load_from(in, readings);
        std::fclose(in.file);
    } else {
        std::snprintf(why, why_size, "%s", std::strerror(error));
    }
    let_interrupt_break_calls(false);
    if (break_requested != 0)
        return LoadResult::interrupted;
    return loaded ? LoadResult::loaded : LoadResult::failed;
}
