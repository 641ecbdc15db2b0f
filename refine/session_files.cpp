// The session's file names and the refusals that keep the user's files: an image
// compared with the other outputs by device and inode (a hard or symbolic link is
// the same file), or by spelling while a file is not there yet.
#include "refine/session_files.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "common/program_name.h"
#include "common/same_file.h"
#include "model_fit/readings_file.h"
#include "model_fit/text_output.h"

namespace {

Readings earlier;  // an earlier session's readings found under the save name: large

// Regular, or not there (yet): named beside the image.
bool is_regular_or_missing(const char* path)
{
    struct stat info {};
    return stat(path, &info) != 0 || S_ISREG(info.st_mode);
}

const char* last_component(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr && slash[1] != '\0' ? slash + 1 : path;
}

bool one_file(const std::string& a, const std::string& b) { return a == b || same_file(a.c_str(), b.c_str()); }

int refuse_same(const char* what, const char* path, const char* other_what, const std::string& other)
{
    std::fprintf(stderr, "%s: %s \"%s\" is the same file as the %s \"%s\": name another %s\n", program_name, what,
                 path, other_what, other.c_str(), what);
    return 1;
}

}  // namespace

SessionFiles name_session_files(const RefineParameters& p)
{
    SessionFiles files;
    const bool beside = is_regular_or_missing(p.image_path);
    const char* stem = beside ? p.image_path : last_component(p.image_path);
    files.protractor = sibling_path(stem, ".svg");
    files.readings = sibling_path(stem, ".readings");
    if (!beside)
        files.note = "image \"" + std::string(p.image_path) + "\" is not a regular file: its protractor goes to \"" +
                     files.protractor + "\" in the current folder";
    if (p.readings_path == nullptr) {
        if (!beside)
            files.note += ", the readings to \"" + files.readings + "\"";
    } else if (is_regular_or_missing(p.readings_path)) {
        files.readings = p.readings_path;
    } else {
        files.note += std::string(files.note.empty() ? "" : "; ") + "readings \"" + p.readings_path +
                      "\" is not a regular file: this session's readings are saved to \"" + files.readings + "\"";
        if (!beside)
            files.note += " in the current folder";
    }
    return files;
}

int check_distinct_files(const RefineParameters& p, const SessionFiles& files)
{
    const std::string image = p.image_path;
    if (p.readings_path != nullptr && one_file(image, p.readings_path))
        return refuse_same("image", p.image_path, "readings file", p.readings_path);
    if (one_file(image, files.readings))
        return refuse_same("image", p.image_path, "readings file", files.readings);
    if (one_file(image, files.protractor))
        return refuse_same("image", p.image_path, "protractor", files.protractor);
    if (one_file(files.protractor, files.readings))
        return refuse_same("protractor", files.protractor.c_str(), "readings file", files.readings);
    if (p.readings_path != nullptr && one_file(files.protractor, p.readings_path))
        return refuse_same("protractor", files.protractor.c_str(), "readings file", p.readings_path);
    if (starts_as_readings(p.image_path)) {
        std::fprintf(stderr, "%s: image \"%s\" holds the readings of a refinement session: name another image\n",
                     program_name, p.image_path);
        return 1;
    }
    return 0;
}

int check_no_earlier_readings(const RefineParameters& p, const SessionFiles& files)
{
    if (p.readings_path != nullptr && one_file(p.readings_path, files.readings))
        return 0;  // the session goes on from them and saves them back
    const char* path = files.readings.c_str();
    struct stat info {};
    if (stat(path, &info) != 0 || (S_ISREG(info.st_mode) && info.st_size == 0))
        return 0;
    const char* afresh = "start afresh under another name with image NAME.rge (its readings then go to "
                         "NAME.readings)";
    char why[256];
    if (!S_ISREG(info.st_mode)) {
        std::fprintf(stderr, "%s: readings \"%s\" is not a regular file, so this session cannot save there: %s\n",
                     program_name, path, afresh);
        return 1;
    }
    if (load_readings(path, earlier, why, sizeof why) != LoadResult::loaded) {
        std::fprintf(stderr, "%s: \"%s\" is there and is not a readings file (%s); this session would replace it: "
                             "move it away or %s\n",
                     program_name, path, why, afresh);
        return 1;
    }
    if (earlier.burn_count == 0)
        return 0;  // the ranges only: no angle was typed into it
    std::fprintf(stderr, "%s: \"%s\" holds the readings of an earlier session (%d image%s); this session would "
                         "replace them: go on from them with readings \"%s\", or %s\n",
                 program_name, path, earlier.burn_count, earlier.burn_count == 1 ? "" : "s", path, afresh);
    return 1;
}
