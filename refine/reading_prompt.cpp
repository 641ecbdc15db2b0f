// Reading the user's answers robustly: CR LF taken as LF, blanks around a word
// ignored, an over-long line read to its end and refused as a whole.
#include "refine/reading_prompt.h"

#include <cstdio>
#include <cstring>

#include "common/console.h"
#include "common/decimal_text.h"
#include "common/line_input.h"

namespace {

constexpr int answer_bytes = 256;
char answer_text[answer_bytes];
int retries = full_retry_count;

// Reads one whole line into answer_text; false when input is gone. A line too long
// for the buffer is read to its end and handed back as empty with `too_long` set.
bool read_answer(bool& too_long)
{
    too_long = false;
    flush_console();  // whoever drives us through a pipe must see the prompt first
    if (!read_input_line(answer_text, answer_bytes, retries))
        return false;
    while (std::strchr(answer_text, '\n') == nullptr && std::feof(stdin) == 0) {
        too_long = true;
        if (!read_input_once(answer_text, answer_bytes))
            break;
    }
    if (too_long)
        answer_text[0] = '\0';
    return true;
}

// The word a line holds, without the blanks around it.
bool is_word(const char* text, const char* word)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    const std::size_t length = std::strlen(word);
    if (std::strncmp(text, word, length) != 0)
        return false;
    for (text += length; *text != '\0'; ++text)
        if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r')
            return false;
    return true;
}

// The next word of text from *at, in double quotes when it holds blanks; false at the
// line's end or at a quote left open.
bool next_word(const char* text, std::size_t& at, std::string& word)
{
    word.clear();
    while (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')
        ++at;
    if (text[at] == '\0')
        return false;
    if (text[at] == '"') {
        const char* end = std::strchr(text + at + 1, '"');
        if (end == nullptr)
            return false;
        word.assign(text + at + 1, end);
        at = static_cast<std::size_t>(end - text) + 1;
        return !word.empty();
    }
    const std::size_t length = std::strcspn(text + at, " \t\r\n");
    word.assign(text + at, length);
    at += length;
    return true;
}

// "scan CAPTURE" or "scan CAPTURE TURNED": false when the line is not a scan answer,
// with why set when it starts as one but is not whole.
bool read_scan_answer(const char* text, ScanRequest& scan, const char*& why)
{
    std::size_t at = 0;
    std::string word;
    if (!next_word(text, at, word) || !is_word(word.c_str(), "scan"))
        return false;
    ScanRequest request;
    std::string extra;
    if (!next_word(text, at, request.capture) || (next_word(text, at, request.turned) && next_word(text, at, extra)) ||
        text[at + std::strspn(text + at, " \t\r\n")] != '\0') {
        why = "type scan and the capture's file, and perhaps the file of the disc turned on the glass (a name with "
              "blanks in double quotes)";
        return false;
    }
    scan = request;
    return true;
}

// An empty line, or one of blanks only.
bool is_blank(const char* text) { return text[std::strspn(text, " \t\r\n")] == '\0'; }

}  // namespace

Answer parse_answer(const char* text, double& angle, ScanRequest& scan, const char*& why)
{
    why = nullptr;
    if (read_scan_answer(text, scan, why))
        return Answer::scan;
    if (why != nullptr)
        return Answer::input_failed;
    if (is_word(text, "-"))
        return Answer::unreadable;
    if (is_word(text, "back"))
        return Answer::back;
    if (is_word(text, "done"))
        return Answer::done;
    double value = 0;
    if (!read_decimal(text, value)) {
        why = "type the angle in degrees, - for a wedge that cannot be read, back or done";
        return Answer::input_failed;
    }
    if (value < 0 || value >= 360) {
        why = "an angle is 0 or more and under 360 degrees";
        return Answer::input_failed;
    }
    angle = value;
    return Answer::angle;
}

Answer ask_line_angle(int line, bool can_go_back, bool can_scan, double& angle, ScanRequest& scan)
{
    for (;;) {
        std::printf("line %d angle: ", line);
        bool too_long = false;
        if (!read_answer(too_long))
            return Answer::input_failed;
        const char* why = nullptr;
        const Answer answer = too_long ? Answer::input_failed : parse_answer(answer_text, angle, scan, why);
        if (too_long)
            why = "that line is too long: type the angle in degrees, -, back or done";
        else if (answer == Answer::back && !can_go_back)
            why = "there is no line before this one";
        else if (answer == Answer::scan && !can_scan)
            why = "a scan reads the whole image: type it at the image's line 0";
        else if (answer != Answer::input_failed)
            return answer;
        std::puts(why);
    }
}

bool ask_image_again(bool& done)
{
    done = false;
    for (;;) {
        std::fputs("the image was not finished: type image to write it again, or done: ", stdout);
        bool too_long = false;
        if (!read_answer(too_long))
            return false;
        if (!too_long && is_word(answer_text, "image"))
            return true;
        if (!too_long && is_word(answer_text, "done")) {
            done = true;
            return false;
        }
    }
}

bool ask_next_image(int number, bool& done)
{
    done = false;
    for (;;) {
        std::printf("write refinement image %d? (yes, or done to stop) ", number);
        bool too_long = false;
        if (!read_answer(too_long))
            return false;
        if (!too_long && (is_word(answer_text, "yes") || is_blank(answer_text)))
            return true;
        if (!too_long && is_word(answer_text, "done")) {
            done = true;
            return false;
        }
        std::puts("type yes (or just Enter) to write the next image, or done to end with the model for a picture");
    }
}
