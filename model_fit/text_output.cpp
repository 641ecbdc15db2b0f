// Text files written whole or not at all.
#include "model_fit/text_output.h"

#include <cerrno>
#include <cstring>

#include "common/interrupt.h"

bool open_text_output(const char* path, TextOutput& output, char* why, std::size_t why_size)
{
    output.path = path;
    output.part_path = output.path + ".part";
    output.file = std::fopen(output.part_path.c_str(), "w");
    if (output.file != nullptr) {
        remove_on_stop(output.part_path.c_str());  // a SIGTERM meanwhile leaves no part file
        return true;
    }
    std::snprintf(why, why_size, "\"%s\": %s", output.part_path.c_str(), std::strerror(errno));
    return false;
}

bool close_text_output(TextOutput& output, char* why, std::size_t why_size)
{
    const bool written = std::ferror(output.file) == 0;
    int error = errno;
    const bool closed = std::fclose(output.file) == 0;
    if (!closed)
        error = errno;
    output.file = nullptr;
    remove_on_stop(nullptr);
    if (written && closed) {
        if (std::rename(output.part_path.c_str(), output.path.c_str()) == 0)
            return true;
        error = errno;
        std::snprintf(why, why_size, "%s", std::strerror(error));
    } else {
        std::snprintf(why, why_size, "\"%s\": %s", output.part_path.c_str(), std::strerror(error != 0 ? error : EIO));
    }
    std::remove(output.part_path.c_str());
    return false;
}

std::string sibling_path(const char* image_path, const char* extension)
{
    std::string path = image_path;
    const std::size_t length = path.size();
    if (length > 4 && path.compare(length - 4, 4, ".rge") == 0)
        path.resize(length - 4);
    return path + extension;
}
