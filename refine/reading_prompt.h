// The readings prompt: "line N angle: " and what may be typed there. Anything that
// is not an answer gets a one-line explanation and the same prompt again.
#pragma once

#include <string>

enum class Answer {
    angle,         // an angle, 0 <= a < 360 degrees
    scan,          // "scan CAPTURE [TURNED]": the burn is to be read from a capture
    unreadable,    // "-": the wedge twists too much or cannot be found
    back,          // "back": ask the previous line again
    done,          // "done": end the session
    input_failed,  // standard input is gone (ten failed reads in a row)
};

// The files a scan answer names: the capture, and perhaps the same disc turned on
// the glass ("" when not). A name with blanks is typed in double quotes.
struct ScanRequest {
    std::string capture;
    std::string turned;
};

// Asks for line's angle until an answer comes; `back` is refused with an
// explanation when there is no previous line to go back to, `scan` when can_scan is
// false (a scan reads a whole burn, so it is taken at the burn's first prompt only).
Answer ask_line_angle(int line, bool can_go_back, bool can_scan, double& angle, ScanRequest& scan);

// After an interrupted image: "image" writes it again (true), "done" ends (false,
// with done set); input failure gives false with done unset.
bool ask_image_again(bool& done);

// After a fit: "write refinement image N? (yes, or done to stop) ". "yes" or an empty
// line gives true; "done" gives false with done set; input failure gives false with
// done unset. Anything else is explained and asked again.
bool ask_next_image(int number, bool& done);

// How a typed line reads as an answer; `text` is one line, newline kept or not.
Answer parse_answer(const char* text, double& angle, ScanRequest& scan, const char*& why);
