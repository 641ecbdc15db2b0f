// The image file's open and close. Output goes through one static block buffer that
// holds a whole number of sectors, so that the disk sees large, sector-aligned writes.
#include "image/output_file.h"

#include <cstdlib>

#include "common/program_name.h"
#include "common/units.h"

namespace {
// About 1 MiB. Blocks from 28 to 896 sectors measured alike: writing the default
// image, the kernel's copy into the page cache costs three to four times what
// producing the bytes does, at any of these sizes.
constexpr int block_sectors = 448;
char output_block[block_sectors * sector_bytes];
}  // namespace

void fail_output()
{
    std::perror(program_name);
    std::exit(1);
}

std::FILE* open_image(const char* path)
{
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr)
        fail_output();
    std::setvbuf(file, output_block, _IOFBF, sizeof output_block);
    return file;
}

void close_image(std::FILE* file, const char* path, bool completed)
{
    if (std::fclose(file) != 0)
        fail_output();
    if (!completed) {
        std::fputs("Creating was break by user\n", stderr);
        return;
    }
    std::printf("image \"%s\" created succesfully.\nburn it by command\n"
                "$ cdrecord -audio dev=<burner-device> \"%s\"\n",
                path, path);
}
