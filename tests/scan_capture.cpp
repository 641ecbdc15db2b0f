// The simulated scanner's render and capture. The face comes from the preview's own
// placement of the image's pixel stream (deinterleaved as the preview reads a file),
// so the simulated disc shows what the preview shows; the capture is then built
// from capture pixels back to the disc (the inverse of the truth's homography), one
// channel at a time, and degraded in the order light meets it: the bed's shades and
// the band, the optics' blur, the sensor's noise, the quantising.
#include "scan_capture.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <random>

#include "common/disc_geometry.h"
#include "image/deinterleaver.h"
#include "image/image_input.h"
#include "image/shades.h"
#include "preview/disc_picture.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double mm_per_inch = 25.4;
constexpr double disc_side_mm = 2 * disc_radius_mm;

// The disc outside the track, in shades, and the pattern's middle.
constexpr double hole_radius_mm = 7.5;      // the centre hole: the lid shows through
constexpr double clamping_outer_mm = 23;    // clear plastic from the hole to here
constexpr double clamping_shade = 185;
constexpr double substrate_shade = 150;     // the recordable area, unwritten
constexpr double written_darkening = 6;     // written dye is a little darker on average
constexpr double pattern_middle = (light_shade + dark_shade) / 2.0;
constexpr double pattern_range = light_shade - dark_shade;
constexpr double band_sigma_mm = 4;         // the band's half-width, one standard deviation
constexpr double camera_distance_mm = 300;  // a phone's distance from the disc's centre

// How strongly each colour channel sees the pattern and the band (grey: the first).
constexpr double pattern_weight[3] = {0.6, 1.0, 1.4};
constexpr double band_weight[3] = {1.3, 1.0, 0.5};

struct Matrix3 {
    double m[3][3] = {};
};

Matrix3 multiply(const Matrix3& a, const Matrix3& b)
{
    Matrix3 product;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                product.m[i][j] += a.m[i][k] * b.m[k][j];
    return product;
}

Matrix3 inverse(const Matrix3& a)
{
    const auto& m = a.m;
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix3 r;
    r.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
    r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    r.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
    r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    r.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
    r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return r;
}

// Disc millimetres to capture pixels: mirrored, turned, moved on the bed, then seen
// by a camera tilted about the capture's horizontal axis (a scanner: no tilt), so
// that the bed's centre lands on the capture's centre at pixels_per_mm.
Matrix3 disc_to_capture(const CaptureConditions& c, double pixels_per_mm, int width, int height)
{
    const double r = c.rotation * pi / 180;
    const double flip = c.mirror ? -1 : 1;
    Matrix3 on_bed;
    on_bed.m[0][0] = flip * std::cos(r);
    on_bed.m[0][1] = -std::sin(r);
    on_bed.m[0][2] = c.offset_x_mm;
    on_bed.m[1][0] = flip * std::sin(r);
    on_bed.m[1][1] = std::cos(r);
    on_bed.m[1][2] = c.offset_y_mm;
    on_bed.m[2][2] = 1;
    // A bed point (X, Y) lies Y sin t nearer or farther than the centre:
    // u = W/2 + k X / (1 + s Y), v = H/2 + k Y cos t / (1 + s Y), s = sin t / distance.
    const double t = c.tilt * pi / 180;
    const double s = std::sin(t) / camera_distance_mm;
    const double k = pixels_per_mm;
    Matrix3 camera;
    camera.m[0][0] = k;
    camera.m[0][1] = width / 2.0 * s;
    camera.m[0][2] = width / 2.0;
    camera.m[1][1] = k * std::cos(t) + height / 2.0 * s;
    camera.m[1][2] = height / 2.0;
    camera.m[2][1] = s;
    camera.m[2][2] = 1;
    return multiply(camera, on_bed);
}

// The face's shade at disc point (x, y) mm, bilinear over the pixels that hold
// bytes; no_bytes where under half of the weight does.
double face_shade(const DiscFace& face, double x_mm, double y_mm)
{
    const double scale = face.side / disc_side_mm;
    const double fx = face.side / 2.0 + x_mm * scale - 0.5;
    const double fy = face.side / 2.0 + y_mm * scale - 0.5;
    const double x0 = std::floor(fx);
    const double y0 = std::floor(fy);
    const double ax = fx - x0;
    const double ay = fy - y0;
    double sum = 0;
    double weight = 0;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            const int column = static_cast<int>(x0) + i;
            const int row = static_cast<int>(y0) + j;
            if (column < 0 || row < 0 || column >= face.side || row >= face.side)
                continue;
            const float shade = face.shades[static_cast<std::size_t>(row) * face.side + column];
            if (shade == no_bytes)
                continue;
            const double w = (i == 1 ? ax : 1 - ax) * (j == 1 ? ay : 1 - ay);
            sum += w * shade;
            weight += w;
        }
    return weight < 0.5 ? no_bytes : sum / weight;
}

// The light reaching capture pixel (u, v) from the bed, before blur and noise.
double bed_shade(const DiscFace& face, const CaptureConditions& c, const Matrix3& to_disc, double pixels_per_mm,
                 const Capture& capture, int channel, int u, int v)
{
    const double pu = u + 0.5;
    const double pv = v + 0.5;
    const auto& h = to_disc.m;
    const double w = h[2][0] * pu + h[2][1] * pv + h[2][2];
    const double x = (h[0][0] * pu + h[0][1] * pv + h[0][2]) / w;
    const double y = (h[1][0] * pu + h[1][1] * pv + h[1][2]) / w;
    const double radius = std::hypot(x, y);
    double shade = c.lid;
    bool recordable = false;
    if (radius >= hole_radius_mm && radius < clamping_outer_mm) {
        shade = clamping_shade;
    } else if (radius >= clamping_outer_mm && radius < disc_radius_mm) {
        recordable = true;
        shade = substrate_shade;
        const double pattern = face_shade(face, x, y);
        if (pattern != no_bytes)
            shade += -written_darkening +
                     pattern_weight[channel] * c.contrast * 255 * (pattern - pattern_middle) / pattern_range;
    }
    const double across = (pu / capture.width + pv / capture.height) / 2 - 0.5;
    shade *= 1 + c.gradient * across;
    if (recordable && c.band > 0) {
        const double a = c.band_angle * pi / 180;
        const double distance =
            ((pu - capture.width / 2.0) * std::cos(a) + (pv - capture.height / 2.0) * std::sin(a)) / pixels_per_mm;
        shade += band_weight[channel] * c.band * 255 * std::exp(-0.5 * (distance / band_sigma_mm) *
                                                                (distance / band_sigma_mm));
    }
    return shade;
}

// A Gaussian blur of one standard deviation sigma pixels, edges repeated: rows, then
// columns a whole row at a time.
void blur_plane(std::vector<float>& plane, int width, int height, double sigma)
{
    const int reach = static_cast<int>(std::ceil(3 * sigma));
    const int taps = 2 * reach + 1;
    std::vector<float> kernel(static_cast<std::size_t>(taps));
    double total = 0;
    for (int i = 0; i < taps; ++i) {
        const double k = i - reach;
        kernel[static_cast<std::size_t>(i)] = static_cast<float>(std::exp(-0.5 * k * k / (sigma * sigma)));
        total += kernel[static_cast<std::size_t>(i)];
    }
    for (float& w : kernel)
        w = static_cast<float>(w / total);
    std::vector<float> other(plane.size(), 0.0F);
    const auto at = [width](int row, int column) {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(column);
    };
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) {
            float sum = 0;
            for (int i = 0; i < taps; ++i)
                sum += kernel[static_cast<std::size_t>(i)] * plane[at(row, std::clamp(column + i - reach, 0, width - 1))];
            other[at(row, column)] = sum;
        }
    std::fill(plane.begin(), plane.end(), 0.0F);
    for (int row = 0; row < height; ++row)
        for (int i = 0; i < taps; ++i) {
            const float w = kernel[static_cast<std::size_t>(i)];
            const std::size_t from = at(std::clamp(row + i - reach, 0, height - 1), 0);
            const std::size_t to = at(row, 0);
            for (int column = 0; column < width; ++column)
                plane[to + static_cast<std::size_t>(column)] += w * other[from + static_cast<std::size_t>(column)];
        }
}

}  // namespace

int face_side(double dpi) { return static_cast<int>(std::lround(dpi * disc_side_mm / mm_per_inch)); }

bool render_disc_face(const char* image_path, TrackModel disc, int side, DiscFace& face, std::string& why)
{
    static const volatile std::sig_atomic_t never_stopped = 0;
    ImageInput input;
    if (!open_image_input(input, image_path, &never_stopped))
        return false;
    const auto window = std::make_unique<RecoveryWindow>();
    std::vector<std::uint8_t> pixels(block_bytes);
    DiscPicture picture;
    TrackPlacement placement;
    start_picture(picture, placement, disc, side);
    ReadStatus status = ReadStatus::read;
    for (;;) {
        int got = 0;
        status = read_image_block(input, window_space(*window), window_room(*window), got, &never_stopped);
        if (status != ReadStatus::read)
            break;
        const PixelSpan span = recover_from_window(*window, got, pixels.data());
        place_pixels(picture, placement, pixels.data(), span.first, span.count);
    }
    close_image_input(input);
    if (status != ReadStatus::end)
        return false;
    if (input.bytes_read == 0) {
        why = std::string("image \"") + image_path + "\" is empty";
        return false;
    }
    face.side = side;
    face.shades.assign(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), no_bytes);
    for (int row = 0; row < side; ++row)
        for (int column = 0; column < side; ++column) {
            const PictureCell& cell = picture.cells[cell_index(picture, column, row)];
            if (cell.bytes > 0)
                face.shades[static_cast<std::size_t>(row) * side + column] =
                    static_cast<float>(static_cast<double>(cell.shade_sum) / cell.bytes);
        }
    return true;
}

void simulate_capture(const DiscFace& face, const CaptureConditions& conditions, Capture& capture,
                      CaptureTruth& truth)
{
    const double pixels_per_mm = conditions.dpi / mm_per_inch;
    const int side = static_cast<int>(std::lround(conditions.bed_mm * pixels_per_mm));
    capture = Capture{};
    capture.width = side;
    capture.height = side;
    capture.channels = conditions.colour ? 3 : 1;
    capture.bits = conditions.bits;
    const Matrix3 to_capture = disc_to_capture(conditions, pixels_per_mm, side, side);
    const Matrix3 to_disc = inverse(to_capture);

    truth = CaptureTruth{};
    truth.disc = conditions.disc;
    truth.rotation = conditions.rotation;
    truth.mirrored = conditions.mirror;
    truth.tilt = conditions.tilt;
    truth.pixels_per_mm = pixels_per_mm;
    truth.width = side;
    truth.height = side;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            truth.homography[i][j] = to_capture.m[i][j];
    truth.centre_x = to_capture.m[0][2] / to_capture.m[2][2];
    truth.centre_y = to_capture.m[1][2] / to_capture.m[2][2];

    const std::size_t count = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
    capture.samples.assign(count * static_cast<std::size_t>(capture.channels), 0);
    std::vector<float> plane(count);
    std::mt19937 random(conditions.seed);
    std::normal_distribution<float> noise(0.0F, static_cast<float>(conditions.noise));
    const double top = conditions.bits == 16 ? 65535 : 255;
    const double per_shade = top / 255;
    for (int channel = 0; channel < capture.channels; ++channel) {
        for (int v = 0; v < side; ++v)
            for (int u = 0; u < side; ++u)
                plane[static_cast<std::size_t>(v) * side + u] =
                    static_cast<float>(bed_shade(face, conditions, to_disc, pixels_per_mm, capture, channel, u, v));
        if (conditions.blur > 0)
            blur_plane(plane, side, side, conditions.blur);
        for (std::size_t k = 0; k < count; ++k) {
            const double shade = plane[k] + (conditions.noise > 0 ? noise(random) : 0.0F);
            capture.samples[k * capture.channels + channel] =
                static_cast<std::uint16_t>(std::clamp(std::round(shade * per_shade), 0.0, top));
        }
    }
}

double capture_angle(const CaptureTruth& truth, double disc_degrees)
{
    const double angle = truth.mirrored ? truth.rotation - disc_degrees : disc_degrees + truth.rotation;
    const double wrapped = std::fmod(angle, 360.0);
    return wrapped < 0 ? wrapped + 360 : wrapped;
}

void capture_point(const CaptureTruth& truth, double radius_mm, double disc_degrees, double& x, double& y)
{
    const double a = disc_degrees * pi / 180;
    const double dx = radius_mm * std::sin(a);
    const double dy = -radius_mm * std::cos(a);
    const auto& h = truth.homography;
    const double w = h[2][0] * dx + h[2][1] * dy + h[2][2];
    x = (h[0][0] * dx + h[0][1] * dy + h[0][2]) / w;
    y = (h[1][0] * dx + h[1][1] * dy + h[1][2]) / w;
}

std::string truth_line(const CaptureTruth& truth)
{
    char line[320];
    std::snprintf(line, sizeof line,
                  "truth tr0 %.6f dtr %.9f rotation %.6f mirror %d tilt %.3f pixels_per_mm %.6f centre %.3f,%.3f "
                  "size %dx%d",
                  truth.disc.tr0, truth.disc.dtr, truth.rotation, truth.mirrored ? 1 : 0, truth.tilt,
                  truth.pixels_per_mm, truth.centre_x, truth.centre_y, truth.width, truth.height);
    return line;
}
