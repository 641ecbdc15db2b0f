// Text files written whole or not at all.
#include "model_fit/text_output.h"

#include <cerrno>
#include <cstring>

#include "common/console.h"
#include "common/interrupt.h"

TextOutput open_text_output(const char* path)
{
    TextOutput output;
    output.path = path;
    output.part_path = output.path + ".part";
    output.file = std::fopen(output.part_path.c_str(), "w");
    if (output.file == nullptr)
        fail_output();
    remove_on_stop(output.part_path.c_str());  // a SIGTERM meanwhile leaves no part file
    return output;
}

void close_text_output(TextOutput& output)
{
    const bool written = std::ferror(output.file) == 0;
    int saved_errno = errno;
    const bool closed = std::fclose(output.file) == 0;
    if (!closed)
        saved_errno = errno;
    output.file = nullptr;
    const bool renamed = written && closed && std::rename(output.part_path.c_str(), output.path.c_str()) == 0;
    remove_on_stop(nullptr);
    if (renamed)
        return;
    if (written && closed)
        saved_errno = errno;
    std::remove(output.part_path.c_str());
    errno = saved_errno != 0 ? saved_errno : EIO;
    fail_output();
}

std::string sibling_path(const char* image_path, const char* extension)
{
    std::string path = image_path;
    const std::size_t length = path.size();
    if (length > 4 && path.compare(length - 4, 4, ".rge") == 0)
        path.resize(length - 4);
    return path + extension;
}
