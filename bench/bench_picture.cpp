// Writes the picture that bench/run gives ringetch-picture: a 4000 x 4000 8-bit
// grey PNG with a radial ramp and a grid of discs, so that the shade changes along
// every turn as in a real photograph.
//   ringetch_bench_picture OUTPUT.png
#include <png.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int side = 4000;

unsigned char shade_at(int x, int y)
{
    const double dx = x - side / 2.0;
    const double dy = y - side / 2.0;
    const double ramp = std::sqrt(dx * dx + dy * dy) / (side * 0.7071);
    const int cell_x = x % 400 - 200;
    const int cell_y = y % 400 - 200;
    const bool in_disc = cell_x * cell_x + cell_y * cell_y < 120 * 120;
    const double shade = in_disc ? 1.0 - ramp : ramp;
    return static_cast<unsigned char>(255.0 * shade);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ringetch_bench_picture OUTPUT.png\n");
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        std::fprintf(stderr, "ringetch_bench_picture: libpng failed\n");
        return 1;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, side, side, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<unsigned char> row(side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x)
            row[x] = shade_at(x, y);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
