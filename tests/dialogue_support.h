// Texts that ringetch prints, spelled out once for the tests that run the binary
// with a transcript: the prompt, the range display, and a whole image's messages.
#pragma once

#include <string>
#include <vector>

#include "program_run.h"

inline const std::string prompt = "enter number of the LINE\n";

// Too small for a single turn of the default ranges: every image is just its header
// line and the drained interleaver, so a run takes milliseconds.
inline const std::vector<std::string> tiny_image = {"size", "20000"};

inline std::string range_display(const std::string& tr0_f, const std::string& tr0_t, const std::string& dtr_t,
                                 const std::string& dtr_f)
{
    return "tr0: " + tr0_f + "-" + tr0_t + "\ndtr: " + dtr_t + "-" + dtr_f + "\n";
}

inline std::string success_message(const std::string& path = "image.rge")
{
    return "image \"" + path + "\" created succesfully.\nburn it by command\n$ cdrecord -audio dev=<burner-device> \"" +
           path + "\"\n";
}

// Everything an image writer prints when no turn fits (sizes like tiny_image).
inline std::string empty_image(const std::string& path = "image.rge")
{
    return "line number 0, start byte - 0 Mb (white)\n" + success_message(path);
}

inline const std::string default_ranges = range_display("22500", "23550", "1.44", "1.32");

// What a run with tiny_image prints before it reads its first command.
inline const std::string tiny_start = default_ranges + "creating DIRECT image\n" + empty_image() + prompt;

inline std::vector<std::string> with_args(std::vector<std::string> args, const std::vector<std::string>& more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}
