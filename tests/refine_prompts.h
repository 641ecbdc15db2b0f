// Driving ringetch-refine's two prompts from a test: "line N angle: " and, after a
// fit, "write refinement image N? (yes, or done to stop) ".
#pragma once

#include <cstdio>
#include <string>

#include "program_run.h"

namespace refine_prompts {

constexpr int asked_next_image = -2;  // next_prompt's answer for the question after a fit

inline bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The prompt the program now waits at: an angle prompt's line number, or
// asked_next_image; -1 when it ended or timeout_seconds passed without a prompt.
inline int next_prompt(InteractiveRun& run, double timeout_seconds = 60)
{
    const std::string question = "? (yes, or done to stop) ";
    while (run.wait_for(" ", timeout_seconds)) {
        // Output read ahead of the space just found: the prompt is taken as read
        // through its end, or it would be found again at the next space.
        const std::string& out = run.out();
        if (ends_with(out, question) && run.wait_for(question, 0))
            return asked_next_image;
        if (ends_with(out, " angle: ") && run.wait_for(" angle: ", 0)) {
            int line = -1;
            std::sscanf(out.c_str() + out.rfind("line "), "line %d angle: ", &line);
            return line;
        }
    }
    return -1;
}

// Each "refinement image N from tr0 T dtr D" line, not the question that names the
// next image: how many there are, and the last one's model.
inline int images_written(const std::string& out, double* tr0 = nullptr, double* dtr = nullptr)
{
    int count = 0;
    const std::string start = "refinement image ";
    for (std::size_t at = out.find(start); at != std::string::npos; at = out.find(start, at + 1)) {
        int number = 0;
        double t = 0;
        double d = 0;
        if (std::sscanf(out.c_str() + at, "refinement image %d from tr0 %lf dtr %lf", &number, &t, &d) != 3)
            continue;
        ++count;
        if (tr0 != nullptr && dtr != nullptr) {
            *tr0 = t;
            *dtr = d;
        }
    }
    return count;
}

// The last "model tr0 T dtr D" line printed.
inline bool last_model(const std::string& out, double& tr0, double& dtr)
{
    const std::size_t at = out.rfind("model tr0 ");
    return at != std::string::npos && std::sscanf(out.c_str() + at, "model tr0 %lf dtr %lf", &tr0, &dtr) == 2;
}

}  // namespace refine_prompts
